#include "diagnosticsplugin.h"
#include "diagnosticsdock.h"

#include <core/actioncontainer.h>
#include <core/actionmanager.h>
#include <core/command.h>
#include <core/context.h>
#include <core/icore.h>
#include <core/settingsdatabase.h>
#include <fieldlink/fieldlinkplugin.h>
#include <fieldlink/modbusconnection.h>
#include <fieldlink/trafficrecorder.h>

#include <QAction>
#include <QMainWindow>

namespace Diagnostics {

namespace {
DiagnosticsPlugin *s_instance = nullptr;
const char SettingsGroup[] = "Diagnostics";
const char OpenKey[] = "DockOpen";
const char ActionId[] = "App.Diagnostics.ShowDock";
} // namespace

using Fieldlink::FieldlinkCore::FieldlinkPlugin;
using Fieldlink::FieldlinkCore::ModbusConnection;
using Fieldlink::FieldlinkCore::TrafficRecorder;

DiagnosticsPlugin::DiagnosticsPlugin()
{
    s_instance = this;
}

DiagnosticsPlugin::~DiagnosticsPlugin()
{
    // The connection may outlive us: it must not write into a freed recorder.
    FieldlinkPlugin *fieldlink = FieldlinkPlugin::instance();
    if (ModbusConnection *link = fieldlink ? fieldlink->connection() : nullptr) {
        if (link->trafficRecorder() == m_recorder.data())
            link->setTrafficRecorder(nullptr);
    }
    if (m_dock && !m_dock->parent())
        delete m_dock.data();
    if (s_instance == this)
        s_instance = nullptr;
}

DiagnosticsPlugin *DiagnosticsPlugin::instance()
{
    return s_instance;
}

QAction *DiagnosticsPlugin::toggleAction() const
{
    return m_dock ? m_dock->toggleViewAction() : nullptr;
}

bool DiagnosticsPlugin::initialize(const QStringList &arguments, QString *errorString)
{
    Q_UNUSED(arguments)
    Q_UNUSED(errorString)
    m_recorder.reset(new TrafficRecorder);
    FieldlinkPlugin *fieldlink = FieldlinkPlugin::instance();
    ModbusConnection *link = fieldlink ? fieldlink->connection() : nullptr;
    if (link)
        link->setTrafficRecorder(m_recorder.data());

    auto *window = qobject_cast<QMainWindow *>(Core::ICore::mainWindow());
    m_dock = new DiagnosticsDock(link, m_recorder.data(), window);
    if (window) {
        window->addDockWidget(Qt::BottomDockWidgetArea, m_dock);
    }
    m_dock->hide();
    QAction *toggle = m_dock->toggleViewAction();
    toggle->setText(tr("Link Diagnostics"));
    toggle->setObjectName(QStringLiteral("actionDiagnostics"));
    toggle->setToolTip(tr("Request and error counters, round-trip times and the traffic log"));
    // Follows the dock's own close button too; hiding the whole window at
    // the end of the program does not count as closing the dock.
    connect(toggle, &QAction::toggled, this, [this](bool open) { m_wantOpen = open; });
    Core::ActionContainer *tools = Core::ActionManager::actionContainer("App.Menu.Tools");
    Core::Command *command =
        Core::ActionManager::registerAction(toggle, ActionId, Core::Context(Core::Id("Global Context")));
    if (tools && command)
        tools->addAction(command, "App.Group.Tools.Other");
    return true;
}

void DiagnosticsPlugin::extensionsInitialized()
{
    if (Core::SettingsDatabase *db = Core::ICore::settingsDatabase()) {
        db->beginGroup(QLatin1String(SettingsGroup));
        m_wantOpen = db->value(QLatin1String(OpenKey), false).toBool();
        db->endGroup();
    }
    if (m_dock && m_wantOpen)
        m_dock->show();
}

ExtensionSystem::IPlugin::ShutdownFlag DiagnosticsPlugin::aboutToShutdown()
{
    if (Core::SettingsDatabase *db = Core::ICore::settingsDatabase()) {
        db->beginTransaction();
        db->beginGroup(QLatin1String(SettingsGroup));
        db->setValue(QLatin1String(OpenKey), m_wantOpen);
        db->endGroup();
        db->endTransaction();
    }
    if (m_dock)
        Core::ActionManager::unregisterAction(m_dock->toggleViewAction(), ActionId);
    return SynchronousShutdown;
}

} // namespace Diagnostics
