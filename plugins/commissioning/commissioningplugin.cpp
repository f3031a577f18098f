#include "commissioningplugin.h"
#include "changelog.h"
#include "changelogdialog.h"
#include "commissioningrecord.h"
#include "parametercomparedialog.h"
#include "parametersets.h"

#include <clearance/clearanceplugin.h>
#include <core/actioncontainer.h>
#include <core/actionmanager.h>
#include <core/command.h>
#include <core/context.h>
#include <core/icore.h>
#include <sqlstore/sqlstoreplugin.h>
#include <workspace/connectionprofile.h>
#include <workspace/connectionstatuswidget.h>
#include <workspace/workspacepage.h>
#include <workspace/workspacecontroller.h>
#include <workspace/workspaceplugin.h>

#include <popnote/popnoteplugin.h>

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>

namespace Commissioning {

namespace {
CommissioningPlugin *s_instance = nullptr;
}

CommissioningPlugin::CommissioningPlugin()
{
    s_instance = this;
}

CommissioningPlugin::~CommissioningPlugin()
{
    // The writer outlives this plug-in; its hook must not reach a dead log.
    if (auto *workspace = Workspace::WorkspacePlugin::instance())
        if (workspace->controller() && workspace->controller()->writer())
            workspace->controller()->writer()->setWriteAhead({});
    delete m_dialog;
    if (s_instance == this)
        s_instance = nullptr;
}

CommissioningPlugin *CommissioningPlugin::instance()
{
    return s_instance;
}

bool CommissioningPlugin::initialize(const QStringList &arguments, QString *errorString)
{
    Q_UNUSED(arguments)
    Q_UNUSED(errorString)
    m_sessionStart = QDateTime::currentDateTimeUtc();
    m_log = new ChangeLog(this);
    if (auto *sql = Sqlstore::Internal::SqlstorePlugin::instance()) {
        m_log->setDataBaseConnection(sql->dataBaseConnection());
        m_log->setServerConnection(sql->serverConnection());
        connect(sql, &Sqlstore::Internal::SqlstorePlugin::serverSettingsChanged, this, [this, sql] {
            m_log->setServerConnection(sql->serverConnection());
            if (m_dialog && m_dialog->isVisible())
                m_dialog->reload();
        });
    }

    if (auto *workspace = Workspace::WorkspacePlugin::instance()) {
        Workspace::WorkspaceController *controller = workspace->controller();
        // Every write that goes out is in the log before the device sees it.
        controller->writer()->setWriteAhead(
            [this, controller](const Pointbook::TagWriter::Outcome &outcome,
                               const Pointbook::TagWriter::Proceed &proceed) {
                auto *levels = Clearance::ClearancePlugin::instance();
                m_log->recordAhead(outcome, levels ? levels->currentClearance() : QString(),
                                   controller->profile().displayName(), controller->version(), proceed);
            });
        connect(controller, &Workspace::WorkspaceController::writeFinished, this,
                [this, controller](const Pointbook::TagWriter::Outcome &outcome) {
                    auto *levels = Clearance::ClearancePlugin::instance();
                    m_log->record(outcome, levels ? levels->currentClearance() : QString(),
                                  controller->profile().displayName(), controller->version());
                });
    }

    auto *show = new QAction(tr("Change log…"), this);
    show->setObjectName(QStringLiteral("actionChangeLog"));
    connect(show, &QAction::triggered, this, &CommissioningPlugin::showChangeLog);
    const Core::Context global(Core::Id("Global Context"));
    Core::Command *command = Core::ActionManager::registerAction(show, "App.Commissioning.ChangeLog", global);
    if (Core::ActionContainer *tools = Core::ActionManager::actionContainer("App.Menu.Tools"))
        if (command)
            tools->addAction(command, "App.Group.Tools.Other");
    createParameterActions();
    return true;
}

void CommissioningPlugin::extensionsInitialized()
{
    // The database plug-in may have started its worker after our initialize.
    if (!m_log->dataBaseConnection())
        if (auto *sql = Sqlstore::Internal::SqlstorePlugin::instance())
            m_log->setDataBaseConnection(sql->dataBaseConnection());
}

void CommissioningPlugin::showChangeLog()
{
    if (!m_dialog)
        m_dialog = new ChangeLogDialog(m_log, Core::ICore::mainWindow());
    else
        m_dialog->reload();
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
}

ExtensionSystem::IPlugin::ShutdownFlag CommissioningPlugin::aboutToShutdown()
{
    if (m_compare)
        m_compare->close();
    if (m_dialog)
        m_dialog->close();
    return SynchronousShutdown;
}

} // namespace Commissioning

namespace Commissioning {

ParameterCompareDialog *CommissioningPlugin::compareDialog() const
{
    return m_compare;
}

void CommissioningPlugin::createParameterActions()
{
    Workspace::WorkspacePlugin *workspace = Workspace::WorkspacePlugin::instance();
    if (!workspace)
        return;
    m_sets = new ParameterSets(workspace->controller(), this);
    m_saveAction = new QAction(tr("Save parameters…"), this);
    m_saveAction->setObjectName(QStringLiteral("actionSaveParameters"));
    m_compareAction = new QAction(tr("Compare with parameter file…"), this);
    m_compareAction->setObjectName(QStringLiteral("actionCompareParameters"));
    m_recordAction = new QAction(tr("Commissioning record…"), this);
    m_recordAction->setObjectName(QStringLiteral("actionCommissioningRecord"));
    const QString filter = tr("Parameter files (*.kvparams)");
    connect(m_saveAction, &QAction::triggered, this, [this, filter]() {
        QString name = QFileDialog::getSaveFileName(Core::ICore::mainWindow(), tr("Save parameters"),
                                                    QString(), filter);
        if (name.isEmpty())
            return;
        if (!name.endsWith(QLatin1String(".kvparams"), Qt::CaseInsensitive))
            name += QStringLiteral(".kvparams");
        saveParameters(name);
    });
    connect(m_compareAction, &QAction::triggered, this, [this, filter]() {
        const QString name = QFileDialog::getOpenFileName(Core::ICore::mainWindow(),
                                                          tr("Compare with parameter file"), QString(), filter);
        if (!name.isEmpty())
            compareWith(name);
    });
    connect(m_recordAction, &QAction::triggered, this, [this]() {
        QString name = QFileDialog::getSaveFileName(Core::ICore::mainWindow(), tr("Commissioning record"),
                                                    QString(), tr("PDF files (*.pdf)"));
        if (name.isEmpty())
            return;
        if (!name.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
            name += QStringLiteral(".pdf");
        writeRecord(name);
    });
    const Core::Context global(Core::Id("Global Context"));
    Core::ActionContainer *file = Core::ActionManager::actionContainer("App.Menu.File");
    const struct { QAction *action; const char *id; } entries[] = {
        {m_saveAction, "App.Commissioning.SaveParameters"},
        {m_compareAction, "App.Commissioning.CompareParameters"},
        {m_recordAction, "App.Commissioning.Record"}};
    for (const auto &entry : entries) {
        Core::Command *command = Core::ActionManager::registerAction(entry.action, entry.id, global);
        if (file && command)
            file->addAction(command, "App.Group.File.Save");
    }
    Workspace::WorkspaceController *controller = workspace->controller();
    connect(controller, &Workspace::WorkspaceController::phaseChanged, this,
            &CommissioningPlugin::updateParameterActions);
    updateParameterActions();
}

void CommissioningPlugin::updateParameterActions()
{
    if (!m_sets)
        return;
    const QString reason = m_sets->unavailableReason();
    for (QAction *action : {m_saveAction, m_compareAction, m_recordAction}) {
        action->setEnabled(reason.isEmpty());
        action->setStatusTip(reason);
    }
}

void CommissioningPlugin::report(const QString &title, const QString &message, bool ok)
{
    Popnote::PopnotePlugin::notify(title, message, ok ? Popnote::PopnotePlugin::Information
                                                      : Popnote::PopnotePlugin::Error);
}

bool CommissioningPlugin::readParameters(const QString &what, const std::function<void()> &then)
{
    const QString reason = m_sets ? m_sets->unavailableReason() : tr("No device workspace.");
    if (!reason.isEmpty() || m_sets->isReading()) {
        report(what, reason.isEmpty() ? tr("The parameters are being read already.") : reason, false);
        return false;
    }
    if (m_prompts) {
        m_readProgress = new QProgressDialog(tr("Reading the parameters from the device…"), tr("Cancel"), 0,
                                             0, Core::ICore::mainWindow());
        m_readProgress->setObjectName(QStringLiteral("progressReadParameters"));
        m_readProgress->setWindowTitle(what);
        m_readProgress->setWindowModality(Qt::WindowModal);
        m_readProgress->setMinimumDuration(300);
        connect(m_readProgress, &QProgressDialog::canceled, m_sets, &ParameterSets::cancelRead);
        connect(m_sets, &ParameterSets::readProgress, m_readProgress, [this](int done, int total) {
            if (m_readProgress) {
                m_readProgress->setMaximum(total);
                m_readProgress->setValue(done);
            }
        });
    }
    auto *once = new QMetaObject::Connection;
    *once = connect(m_sets, &ParameterSets::readFinished, this, [this, once, then]() {
        disconnect(*once);
        delete once;
        if (m_readProgress) {
            m_readProgress->close();
            m_readProgress->deleteLater();
        }
        then();
    });
    m_sets->readDevice();
    return true;
}

void CommissioningPlugin::saveParameters(const QString &fileName, GapPolicy policy)
{
    const QString title = tr("Save parameters");
    if (!readParameters(title, [this, fileName, policy]() { finishSave(fileName, policy); }))
        emit parametersSaved(false, m_sets ? m_sets->unavailableReason() : QString());
}

void CommissioningPlugin::finishSave(const QString &fileName, GapPolicy policy)
{
    const QString title = tr("Save parameters");
    if (m_sets->wasCancelled()) {
        emit parametersSaved(false, tr("Cancelled; nothing was saved."));
        return;
    }
    const QStringList failures = m_sets->failures();
    if (!failures.isEmpty()) {
        bool keep = policy == SaveWhatWasRead;
        if (policy == AskOnGaps && m_prompts) {
            QMessageBox box(QMessageBox::Warning, title,
                            tr("%n parameter(s) could not be read, so the file would have gaps:", nullptr,
                               failures.size()),
                            QMessageBox::NoButton, Core::ICore::mainWindow());
            box.setObjectName(QStringLiteral("messageSaveGaps"));
            box.setInformativeText(failures.join(QLatin1Char('\n')));
            QPushButton *partial = box.addButton(tr("Save what was read"), QMessageBox::AcceptRole);
            box.addButton(QMessageBox::Cancel);
            box.exec();
            keep = box.clickedButton() == partial;
        }
        if (!keep) {
            const QString message = tr("Nothing was saved: %1").arg(failures.join(QLatin1String("; ")));
            report(title, message, false);
            emit parametersSaved(false, message);
            return;
        }
    }
    const Pointbook::ParameterSet set = m_sets->parameterSet();
    QString error;
    if (!set.save(fileName, &error)) {
        report(title, error, false);
        emit parametersSaved(false, error);
        return;
    }
    const QString message = set.missing.isEmpty()
        ? tr("%n parameter(s) saved to %1.", nullptr, set.parameters.size()).arg(QDir::toNativeSeparators(fileName))
        : tr("%n parameter(s) saved to %1; missing: %2.", nullptr, set.parameters.size())
              .arg(QDir::toNativeSeparators(fileName), set.missing.join(QLatin1String(", ")));
    report(title, message, true);
    emit parametersSaved(true, message);
}

void CommissioningPlugin::compareWith(const QString &fileName)
{
    const QString title = tr("Compare with parameter file");
    Pointbook::ParameterSet file;
    QString error;
    if (!Pointbook::ParameterSet::load(fileName, &file, &error)) {
        error = tr("%1 cannot be used, nothing was compared:\n%2").arg(QFileInfo(fileName).fileName(), error);
        if (m_prompts)
            QMessageBox::warning(Core::ICore::mainWindow(), title, error);
        else
            report(title, error, false);
        emit comparisonShown(false, error);
        return;
    }
    const bool started = readParameters(title, [this, file, fileName, title]() {
        if (m_sets->wasCancelled()) {
            emit comparisonShown(false, tr("Cancelled."));
            return;
        }
        const QStringList failures = m_sets->failures();
        if (!failures.isEmpty()) {
            const QString message = tr("The device could not be read, so nothing is compared: %1")
                                        .arg(failures.join(QLatin1String("; ")));
            report(title, message, false);
            emit comparisonShown(false, message);
            return;
        }
        if (m_compare)
            m_compare->close();
        m_compare = new ParameterCompareDialog(m_sets, file, fileName, Core::ICore::mainWindow());
        m_compare->setAttribute(Qt::WA_DeleteOnClose);
        m_compare->show();
        emit comparisonShown(true, QString());
    });
    if (!started)
        emit comparisonShown(false, m_sets ? m_sets->unavailableReason() : QString());
}

void CommissioningPlugin::writeRecord(const QString &fileName)
{
    const QString title = tr("Commissioning record");
    const bool started = readParameters(title, [this, fileName, title]() {
        if (m_sets->wasCancelled()) {
            emit recordWritten(false, tr("Cancelled."));
            return;
        }
        auto *once = new QMetaObject::Connection;
        const QDateTime since = m_sessionStart;
        *once = connect(m_log, &ChangeLog::rowsLoaded, this,
                        [this, once, fileName, title, since](bool ok, const QVector<QVector<QVariant>> &rows) {
            disconnect(*once);
            delete once;
            CommissioningRecord record = m_sets->recordOfLastRead();
            const int timeColumn = ChangeLog::columns().indexOf(QStringLiteral("time_utc"));
            // Newest first from the log; the record reads oldest first.
            for (int i = rows.size() - 1; ok && i >= 0; --i) {
                const QDateTime t = QDateTime::fromString(rows.at(i).value(timeColumn).toString(), Qt::ISODateWithMs);
                if (t.isValid() && t >= since)
                    record.changes << rows.at(i);
            }
            QString error;
            if (!record.write(fileName, &error)) {
                report(title, error, false);
                emit recordWritten(false, error);
                return;
            }
            const QString message = tr("The record was written to %1 (and %2).")
                                        .arg(QDir::toNativeSeparators(fileName),
                                             QFileInfo(CommissioningRecord::htmlFileName(fileName)).fileName());
            report(title, message, true);
            emit recordWritten(true, message);
        });
        // Without a database the log answers at once, and the record has no changes.
        m_log->load();
    });
    if (!started)
        emit recordWritten(false, m_sets ? m_sets->unavailableReason() : QString());
}

} // namespace Commissioning
