#pragma once

#include "diagnostics_global.h"

#include <extensionsystem/iplugin.h>

#include <QPointer>
#include <QScopedPointer>

QT_BEGIN_NAMESPACE
class QAction;
QT_END_NAMESPACE

namespace Fieldlink {
namespace FieldlinkCore {
class TrafficRecorder;
}
} // namespace Fieldlink

namespace Diagnostics {

class DiagnosticsDock;

// The link diagnostics: records the traffic of the application's Modbus
// connection and shows it in a dock of the main window, opened from
// Tools → Link Diagnostics; whether the dock is open is kept with the main
// window's state between runs.
class DIAGNOSTICS_EXPORT DiagnosticsPlugin : public ExtensionSystem::IPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "app.Plugin" FILE "Diagnostics.json")

public:
    DiagnosticsPlugin();
    ~DiagnosticsPlugin() override;

    static DiagnosticsPlugin *instance();

    bool initialize(const QStringList &arguments, QString *errorString) override;
    ShutdownFlag aboutToShutdown() override;

    Fieldlink::FieldlinkCore::TrafficRecorder *recorder() const { return m_recorder.data(); }
    DiagnosticsDock *dock() const { return m_dock; }
    QAction *toggleAction() const;

private:
    QScopedPointer<Fieldlink::FieldlinkCore::TrafficRecorder> m_recorder;
    QPointer<DiagnosticsDock> m_dock;
};

} // namespace Diagnostics
