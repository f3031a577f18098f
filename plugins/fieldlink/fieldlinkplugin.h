#pragma once

#include <fieldlink/fieldlink_global.h>
#include <fieldlink/qmodbussettings.h>

#include <extensionsystem/iplugin.h>

namespace Fieldlink {
namespace FieldlinkCore {

class ModbusConnection;

// Owns the application's one Modbus connection and the request settings that
// go with it; both keep their parameters in Core's user settings (group
// "Fieldlink") between runs. Connecting is left to the user or another
// plug-in: a start of the program never opens a link on its own.
class FIELDLINK_EXPORT FieldlinkPlugin : public ExtensionSystem::IPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "app.Plugin" FILE "Fieldlink.json")

public:
    FieldlinkPlugin();
    ~FieldlinkPlugin() override;

    static FieldlinkPlugin *instance();

    bool initialize(const QStringList &arguments, QString *errorString) override;
    ShutdownFlag aboutToShutdown() override;

    // Null before initialize().
    ModbusConnection *connection() const { return m_connection; }
    // Request settings to hand to users of the connection; never null.
    QModbusSettings *modbusSettings() { return &m_settings; }

    // Reads / writes the link and request parameters from / to Core's user
    // settings. Unusable stored values fall back to the defaults.
    void loadSettings();
    void saveSettings() const;

private:
    ModbusConnection *m_connection = nullptr;
    QModbusSettings m_settings;
};

} // namespace FieldlinkCore
} // namespace Fieldlink
