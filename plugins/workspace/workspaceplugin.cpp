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
#include <clearance/clearanceplugin.h>
#include <pointbook/pointbookplugin.h>
#include <pointbook/statusupdatebase.h>
#include <popnote/popnoteplugin.h>

#include <QAction>
#include <QStatusBar>
#include <QToolButton>

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
    // The map loads on the device's own thread while the other plug-ins
    // start and the window paints; the demo is then ready to connect.
    if (m_demoOnStart)
        m_demo->prepare();

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
                else if (o.result == TagWriter::Unknown)
                    Popnote::PopnotePlugin::notify(name, tr("Writing %1: outcome unknown: %2").arg(o.newValue, o.detail),
                                                   Popnote::PopnotePlugin::Error);
                else
                    Popnote::PopnotePlugin::notify(name, tr("Not written: %1").arg(o.detail),
                                                   o.result == TagWriter::Refused ? Popnote::PopnotePlugin::NotFound
                                                                                  : Popnote::PopnotePlugin::Error);
            });

    auto *window = qobject_cast<Core::Internal::MainWindow *>(Core::ICore::mainWindow());
    if (window)
        window->setCentralPage(m_page);
    placeStatusWidgets(window);
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
                updatePollStrip();
            });
    connect(m_controller, &WorkspaceController::pollingChanged, this, &WorkspacePlugin::updatePollStrip);
    connect(m_controller, &WorkspaceController::answeringChanged, m_status.data(),
            &ConnectionStatusWidget::setAnswering);
    if (Clearance::ClearancePlugin *levels = Clearance::ClearancePlugin::instance()) {
        connect(levels, &Clearance::ClearancePlugin::changeCurrentClearance, this,
                &WorkspacePlugin::updateAccessLevel);
        connect(levels, &Clearance::ClearancePlugin::baseClearanceLoaded, this,
                &WorkspacePlugin::updateAccessLevel);
        connect(m_accessLevel.data(), &QToolButton::clicked, levels,
                [levels] { levels->showClearanceDialog(); });
    }
    updateAccessLevel();
    updatePollStrip();

    createActions();
    return true;
}

void WorkspacePlugin::placeStatusWidgets(QWidget *window)
{
    auto *mainWindow = qobject_cast<Core::Internal::MainWindow *>(window);
    QStatusBar *bar = mainWindow ? mainWindow->statusBar() : nullptr;
    m_status = new ConnectionStatusWidget(bar);
    m_accessLevel = new QToolButton(bar);
    m_accessLevel->setObjectName(QStringLiteral("buttonAccessLevel"));
    m_accessLevel->setAutoRaise(true);
    m_accessLevel->setToolTip(tr("Change the access level"));
    if (!bar) {
        m_status->setParent(m_page);
        m_accessLevel->setParent(m_page);
        return;
    }
    // The tag base's update strip sits next to the connection state, among
    // the lasting widgets, so that no passing message hides it while a
    // device is polled.
    Pointbook::PointbookPlugin *tags = Pointbook::PointbookPlugin::instance();
    if (QWidget *strip = tags ? tags->statusUpdateBase() : nullptr) {
        bar->removeWidget(strip);
        bar->addPermanentWidget(strip);
    }
    bar->addPermanentWidget(m_status);
    bar->addPermanentWidget(m_accessLevel);
}

QToolButton *WorkspacePlugin::accessLevelButton() const
{
    return m_accessLevel.data();
}

void WorkspacePlugin::updatePollStrip()
{
    Pointbook::PointbookPlugin *tags = Pointbook::PointbookPlugin::instance();
    QWidget *strip = tags ? tags->statusUpdateBase() : nullptr;
    if (!strip || !m_controller)
        return;
    const bool polled = m_controller->phase() == WorkspaceController::Running;
    strip->setVisible(polled);
}

void WorkspacePlugin::updateAccessLevel()
{
    if (!m_accessLevel)
        return;
    Clearance::ClearancePlugin *levels = Clearance::ClearancePlugin::instance();
    const QString id = levels ? levels->currentClearance() : QString();
    m_accessLevel->setVisible(levels != nullptr);
    const QString name = levels ? levels->clearances().value(id, id) : QString();
    m_accessLevel->setText(tr("Access level: %1").arg(name.isEmpty() ? tr("none") : name));
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
    updateAccessLevel();
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
    if (m_history && m_history->hasPendingSave())
        m_history->save();
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
