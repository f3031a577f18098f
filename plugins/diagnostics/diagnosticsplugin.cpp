#include "diagnosticsplugin.h"
#include "diagnosticsdock.h"

#include <core/actionmanager.h>
#include <core/icore.h>
#include <core/id.h>
#include <core/mainwindow.h>
#include <fieldlink/fieldlinkplugin.h>
#include <fieldlink/modbusconnection.h>
#include <fieldlink/trafficrecorder.h>

#include <QAction>

namespace Diagnostics {

namespace {
DiagnosticsPlugin *s_instance = nullptr;
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
    // The library may be unloaded after this: the dock, though the main
    // window's child, must not outlive the plug-in.
    if (m_dock) {
        Core::ActionManager::unregisterAction(m_dock->toggleViewAction(),
                                              Core::Id::fromString(QStringLiteral("App.Dock.") + m_dock->objectName()));
        delete m_dock.data();
    }
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

    auto *window = qobject_cast<Core::Internal::MainWindow *>(Core::ICore::mainWindow());
    m_dock = new DiagnosticsDock(link, m_recorder.data(), window);
    QAction *toggle = m_dock->toggleViewAction();
    toggle->setText(tr("Link Diagnostics"));
    toggle->setObjectName(QStringLiteral("actionDiagnostics"));
    toggle->setToolTip(tr("Request and error counters, round-trip times and the traffic log"));
    // Closed on the first start; the main window's saved state reopens it
    // in later runs when it was open at the end of the last one.
    m_dock->hide();
    if (window)
        window->addDock(m_dock, Qt::BottomDockWidgetArea); // also puts it into the Tools menu
    return true;
}

ExtensionSystem::IPlugin::ShutdownFlag DiagnosticsPlugin::aboutToShutdown()
{
    return SynchronousShutdown;
}

} // namespace Diagnostics
