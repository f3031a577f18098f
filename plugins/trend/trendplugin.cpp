#include "trendplugin.h"
#include "recorder.h"

#include <core/icore.h>
#include <core/mainwindow.h>
#include <core/settingsdatabase.h>
#include <pointbook/basetag.h>
#include <pointbook/pointbookplugin.h>
#include <pointbook/statusupdatebase.h>
#include <pointbook/tagbase.h>
#include <popnote/popnoteplugin.h>
#include <sqlstore/sqlstoreplugin.h>
#include <workspace/connectionstatuswidget.h>
#include <workspace/tagtablemodel.h>
#include <workspace/workspacecontroller.h>
#include <workspace/workspacepage.h>
#include <workspace/workspaceplugin.h>

#include <QAction>
#include <QMainWindow>
#include <QToolBar>

using Pointbook::Tag;
using Workspace::TagTableModel;
using Workspace::WorkspaceController;

namespace Trend {

namespace {
TrendPlugin *s_instance = nullptr;
const char SettingsGroup[] = "Trend";
const char ChangesOnlyKey[] = "RecordChangesOnly";
const char DaysKey[] = "RetentionDays";
const char MegabytesKey[] = "RetentionMB";
const char DeadbandSuffix[] = "_deadband";

QString deadbandGroup(const QString &version)
{
    return QLatin1String(SettingsGroup) + QLatin1Char('/') + version;
}

WorkspaceController *controller()
{
    Workspace::WorkspacePlugin *workspace = Workspace::WorkspacePlugin::instance();
    return workspace ? workspace->controller() : nullptr;
}
} // namespace

TrendPlugin::TrendPlugin()
{
    s_instance = this;
}

TrendPlugin::~TrendPlugin()
{
    if (m_toolBar && !m_toolBar->parent())
        delete m_toolBar;
    if (s_instance == this)
        s_instance = nullptr;
}

TrendPlugin *TrendPlugin::instance()
{
    return s_instance;
}

bool TrendPlugin::initialize(const QStringList &arguments, QString *errorString)
{
    Q_UNUSED(errorString)
    m_recordOnConnect = arguments.contains(QStringLiteral("-record"));

    m_recorder = new Recorder(this);
    if (auto *sqlstore = Sqlstore::Internal::SqlstorePlugin::instance())
        m_recorder->setConnection(sqlstore->dataBaseConnection());
    if (Core::SettingsDatabase *database = Core::ICore::settingsDatabase()) {
        database->beginGroup(QLatin1String(SettingsGroup));
        m_recorder->setChangesOnly(database->value(QLatin1String(ChangesOnlyKey), false).toBool());
        m_recorder->setRetention(
            database->value(QLatin1String(DaysKey), Recorder::DefaultMaxDays).toInt(),
            database->value(QLatin1String(MegabytesKey), int(Recorder::DefaultMaxBytes >> 20)).toLongLong() << 20);
        database->endGroup();
    }

    connect(m_recorder, &Recorder::failed, this, [](const QString &reason) {
        Popnote::PopnotePlugin::notify(tr("Recording"), tr("Recording stopped: %1").arg(reason),
                                       Popnote::PopnotePlugin::Error);
    });

    if (Pointbook::PointbookPlugin *pointbook = Pointbook::PointbookPlugin::instance()) {
        if (Pointbook::TagBase *engine = pointbook->tagBase())
            connect(engine, &Pointbook::TagBase::updateAllBase, m_recorder, &Recorder::passEnded);
    }
    if (WorkspaceController *workspace = controller()) {
        connect(workspace, &WorkspaceController::phaseChanged, this,
                [this](WorkspaceController::Phase phase) {
                    if (phase != WorkspaceController::Running)
                        return;
                    updateTags();
                    if (m_recordOnConnect) {
                        m_recordOnConnect = false;
                        setRecording(true);
                    }
                });
        // Rights or a reloaded map change the rows.
        connect(workspace->model(), &QAbstractItemModel::modelReset, this, &TrendPlugin::updateTags);
    }

    createActions();
    return true;
}

void TrendPlugin::createActions()
{
    m_toolBar = new QToolBar(tr("Trend"));
    m_toolBar->setObjectName(QStringLiteral("toolBarTrend"));
    m_record = m_toolBar->addAction(tr("Record"));
    m_record->setObjectName(QStringLiteral("actionRecord"));
    m_record->setCheckable(true);
    m_record->setToolTip(tr("Store every polled value of the shown tags in the database"));
    connect(m_record, &QAction::triggered, this, &TrendPlugin::setRecording);
    connect(m_recorder, &Recorder::stateChanged, m_record,
            [this](Recorder::State state) { m_record->setChecked(state != Recorder::Off); });

    if (auto *window = qobject_cast<QMainWindow *>(Core::ICore::mainWindow()))
        window->addToolBar(Qt::TopToolBarArea, m_toolBar);
}

void TrendPlugin::extensionsInitialized()
{
}

ExtensionSystem::IPlugin::ShutdownFlag TrendPlugin::aboutToShutdown()
{
    // The database driver stops after this plug-in and still runs what was
    // queued: the last passes are kept.
    if (m_recorder)
        m_recorder->stop(true);
    return SynchronousShutdown;
}

QString TrendPlugin::version() const
{
    WorkspaceController *workspace = controller();
    return workspace && workspace->phase() == WorkspaceController::Running ? workspace->version()
                                                                           : QString();
}

QList<Tag *> TrendPlugin::visibleTags() const
{
    QList<Tag *> tags;
    WorkspaceController *workspace = controller();
    if (!workspace)
        return tags;
    const TagTableModel *model = workspace->model();
    for (int t = 0; t < model->rowCount(); ++t) {
        const QModelIndex table = model->index(t, 0);
        for (int k = 0; k < model->rowCount(table); ++k) {
            const QModelIndex kind = model->index(k, 0, table);
            for (int r = 0; r < model->rowCount(kind); ++r) {
                if (Tag *tag = model->tagAt(model->index(r, 0, kind)))
                    tags.append(tag);
            }
        }
    }
    return tags;
}

void TrendPlugin::updateTags()
{
    const QString current = version();
    if (current.isEmpty())
        return;
    m_recorder->setTags(current, visibleTags());
    loadDeadbands();
}

void TrendPlugin::loadDeadbands()
{
    Core::SettingsDatabase *database = Core::ICore::settingsDatabase();
    const QString current = version();
    if (!database || current.isEmpty())
        return;
    database->beginGroup(deadbandGroup(current));
    for (Tag *tag : visibleTags()) {
        const QString key = Recorder::tagKey(tag->registerType(), tag->Id()) + QLatin1String(DeadbandSuffix);
        m_recorder->setDeadband(tag->registerType(), tag->Id(), database->value(key, 0.0).toDouble());
    }
    database->endGroup();
}

double TrendPlugin::deadband(const Tag *tag) const
{
    return tag ? m_recorder->deadband(tag->registerType(), tag->Id()) : 0.0;
}

void TrendPlugin::setDeadband(const Tag *tag, double deadband)
{
    if (!tag)
        return;
    m_recorder->setDeadband(tag->registerType(), tag->Id(), deadband);
    Core::SettingsDatabase *database = Core::ICore::settingsDatabase();
    const QString current = version();
    if (!database || current.isEmpty())
        return;
    database->beginGroup(deadbandGroup(current));
    database->setValue(Recorder::tagKey(tag->registerType(), tag->Id()) + QLatin1String(DeadbandSuffix),
                       m_recorder->deadband(tag->registerType(), tag->Id()));
    database->endGroup();
}

void TrendPlugin::setChangesOnly(bool on)
{
    m_recorder->setChangesOnly(on);
    if (Core::SettingsDatabase *database = Core::ICore::settingsDatabase()) {
        database->beginGroup(QLatin1String(SettingsGroup));
        database->setValue(QLatin1String(ChangesOnlyKey), on);
        database->endGroup();
    }
}

void TrendPlugin::setRetention(int maxDays, int maxMegabytes)
{
    m_recorder->setRetention(maxDays, qint64(qMax(0, maxMegabytes)) << 20);
    if (Core::SettingsDatabase *database = Core::ICore::settingsDatabase()) {
        database->beginGroup(QLatin1String(SettingsGroup));
        database->setValue(QLatin1String(DaysKey), m_recorder->maxDays());
        database->setValue(QLatin1String(MegabytesKey), maxMegabytes);
        database->endGroup();
    }
}

void TrendPlugin::setRecording(bool on)
{
    if (on) {
        updateTags();
        if (!m_recorder->start())
            m_record->setChecked(false);
    } else {
        m_recorder->stop();
    }
}

} // namespace Trend
