#include "iplugin.h"

namespace ExtensionSystem {

IPlugin::IPlugin() = default;

IPlugin::~IPlugin() = default;

QObject *IPlugin::remoteCommand(const QStringList &, const QString &, const QStringList &)
{
    return nullptr;
}

QVector<QObject *> IPlugin::createTestObjects() const
{
    return {};
}

PluginSpec *IPlugin::pluginSpec() const
{
    return m_spec;
}

} // namespace ExtensionSystem
