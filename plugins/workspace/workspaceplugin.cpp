#include "workspaceplugin.h"
#include "connectionhistory.h"
#include "connectionprofile.h"
#include "connectionstatuswidget.h"
#include "demodevice.h"
#include "workspacecontroller.h"
#include "workspacepage.h"

#include <core/actioncontainer.h>
#include <core/actionmanager.h>
#include <core/command.h>
#include <core/context.h>
#include <core/icore.h>
#include <core/mainwindow.h>
#include <core/settingsdatabase.h>
#include <fieldlink/fieldlinkplugin.h>
#include <fieldlink/modbusconnection.h>
#include <popnote/popnoteplugin.h>

#include <QAction>
#include <QStatusBar>

namespace Workspace {

namespace {
WorkspacePlugin *s_instance = nullptr;
const char SettingsGroup[] = "Workspace";
const char PeriodKey[] = "PollingPeriod";
} // namespace

WorkspacePlugin::WorkspacePlugin()
{
    s_instance = this;
}

WorkspacePlugin::~WorkspacePlugin()
{
    // The page belongs to the main window; without one it is ours.
    if (m_page && !m_page->parent())
        delete m_page;
    if (s_instance == this)
        s_instance = nullptr;
}

WorkspacePlugin *WorkspacePlugin::instance()
{
    return s_instance;
}

bool WorkspacePlugin::initialize(const QStringList &arguments, QString *errorString)
{
    Q_UNUSED(errorString)
    m_demoOnStart = arguments.contains(QStringLiteral("-demo"));

    Core::SettingsDatabase *database = Core::ICore::settingsDatabase();
    m_history = new ConnectionHistory(database, this);
    auto *fieldlink = Fieldlink::FieldlinkCore::FieldlinkPlugin::instance();
    m_controller = new WorkspaceController(fieldlink ? fieldlink->connection() : nullptr,
                                           fieldlink ? fieldlink->modbusSettings() : nullptr,
                                           m_history, this);
    if (database) {
        database->beginGroup(QLatin1String(SettingsGroup));
        const int fallback = WorkspaceController::DefaultPollingPeriodMs;
        m_controller->setPollingPeriod(
            database->value(QLatin1String(PeriodKey), fallback).toInt());
        database->endGroup();
    }
    m_demo = new DemoDevice(this);

    m_page = new WorkspacePage(m_controller);
    connect(m_page.data(), &WorkspacePage::demoRequested, this, &WorkspacePlugin::startDemo);
    connect(m_controller, &WorkspaceController::problemOccurred, this,
            [](const QString &text) {
                if (!text.isEmpty())
                    Popnote::PopnotePlugin::notify(tr("Device workspace"), text,
                                                   Popnote::PopnotePlugin::NotFound);
            });

    connect(m_controller, &WorkspaceController::writeFinished, this,
            [](const Pointbook::TagWriter::Outcome &o) {
                using Pointbook::TagWriter;
                const QString name = o.tagName.isEmpty() ? o.tagId : o.tagName;
                if (o.result == TagWriter::Ok)
                    Popnote::PopnotePlugin::notify(name, tr("Written %1, read back %2.").arg(o.newValue, o.readBack),
                                                   Popnote::PopnotePlugin::Information);
                else
                    Popnote::PopnotePlugin::notify(name, tr("Not written: %1").arg(o.detail),
                                                   o.result == TagWriter::Refused ? Popnote::PopnotePlugin::NotFound
                                                                                  : Popnote::PopnotePlugin::Error);
            });

    auto *window = qobject_cast<Core::Internal::MainWindow *>(Core::ICore::mainWindow());
    m_status = new ConnectionStatusWidget(window ? window->statusBar() : nullptr);
    if (window) {
        window->setCentralPage(m_page);
        window->statusBar()->addPermanentWidget(m_status);
    }
    if (Fieldlink::FieldlinkCore::ModbusConnection *link = m_controller->connection()) {
        using Fieldlink::FieldlinkCore::ModbusConnection;
        connect(link, &ModbusConnection::stateChanged, m_status.data(), &ConnectionStatusWidget::setState);
        connect(link, &ModbusConnection::errorOccurred, m_status.data(), &ConnectionStatusWidget::setError);
        connect(link, &ModbusConnection::reconnectScheduled, m_status.data(),
                &ConnectionStatusWidget::setReconnectScheduled);
    }
    connect(m_controller, &WorkspaceController::profileChanged, m_status.data(),
            [this](const ConnectionProfile &profile) { m_status->setTarget(profile.displayName()); });
    connect(m_controller, &WorkspaceController::versionChanged, m_status.data(),
            &ConnectionStatusWidget::setDeviceVersion);
    connect(m_controller, &WorkspaceController::phaseChanged, m_status.data(),
            [this](WorkspaceController::Phase phase) {
                if (phase == WorkspaceController::Idle)
                    m_status->setUserDisconnected();
            });
    if (!window)
        m_status->setParent(m_page);

    createActions();
    return true;
}

void WorkspacePlugin::createActions()
{
    Core::ActionContainer *file = Core::ActionManager::actionContainer("App.Menu.File");
    const Core::Context global(Core::Id("Global Context"));
    const struct
    {
        QAction *action;
        const char *id;
    } entries[] = {
        {m_page->connectAction(), "App.Workspace.Connect"},
        {m_page->disconnectAction(), "App.Workspace.Disconnect"},
        {m_page->demoAction(), "App.Workspace.Demo"},
    };
    for (const auto &entry : entries) {
        Core::Command *command = Core::ActionManager::registerAction(entry.action, entry.id, global);
        if (file && command)
            file->addAction(command, "App.Group.File.Open");
    }
}

void WorkspacePlugin::extensionsInitialized()
{
}

bool WorkspacePlugin::delayedInitialize()
{
    if (m_demoOnStart)
        startDemo();
    return m_demoOnStart;
}

bool WorkspacePlugin::startDemo()
{
    if (!m_demo->start()) {
        Popnote::PopnotePlugin::notify(tr("Device workspace"), m_demo->errorString(),
                                       Popnote::PopnotePlugin::Error);
        return false;
    }
    ConnectionProfile profile = ConnectionProfile::demo();
    profile.setPort(m_demo->port());
    m_controller->connectTo(profile);
    return true;
}

ExtensionSystem::IPlugin::ShutdownFlag WorkspacePlugin::aboutToShutdown()
{
    if (m_controller) {
        m_controller->disconnectFromDevice();
        if (Core::SettingsDatabase *database = Core::ICore::settingsDatabase()) {
            database->beginTransaction();
            database->beginGroup(QLatin1String(SettingsGroup));
            database->setValue(QLatin1String(PeriodKey), m_controller->pollingPeriod());
            database->endGroup();
            database->endTransaction();
        }
    }
    if (m_demo)
        m_demo->stop();
    return SynchronousShutdown;
}

} // namespace Workspace
