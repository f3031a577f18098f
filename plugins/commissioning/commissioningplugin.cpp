#include "commissioningplugin.h"
#include "changelog.h"
#include "changelogdialog.h"

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

#include <QAction>

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
    m_log = new ChangeLog(this);
    if (auto *sql = Sqlstore::Internal::SqlstorePlugin::instance())
        m_log->setDataBaseConnection(sql->dataBaseConnection());

    if (auto *workspace = Workspace::WorkspacePlugin::instance()) {
        Workspace::WorkspaceController *controller = workspace->controller();
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
    if (m_dialog)
        m_dialog->close();
    return SynchronousShutdown;
}

} // namespace Commissioning
