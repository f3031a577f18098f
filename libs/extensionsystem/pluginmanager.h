#pragma once

#include "extensionsystem_global.h"
#include "pluginspec.h"

#include <QObject>
#include <QStringList>
#include <QVector>

QT_BEGIN_NAMESPACE
class QSettings;
class QTimer;
QT_END_NAMESPACE

namespace ExtensionSystem {

// Finds the plug-ins in the plug-in folders, orders them by their declared
// dependencies and drives each through its life cycle. Errors are recorded
// in the plug-in's PluginSpec; nothing is thrown. One manager exists per
// process, created on the stack of the entry function.
class EXTENSIONSYSTEM_EXPORT PluginManager : public QObject
{
    Q_OBJECT

public:
    explicit PluginManager(QObject *parent = nullptr);
    ~PluginManager() override;

    // The manager that currently exists, or null.
    static PluginManager *instance();

    void setPluginIID(const QString &iid);
    QString pluginIID() const { return m_pluginIID; }

    // The manager keeps the stores but does not own them.
    void setGlobalSettings(QSettings *settings);
    QSettings *globalSettings() const { return m_globalSettings; }
    void setSettings(QSettings *settings);
    QSettings *settings() const { return m_settings; }

    // Scans the folders (and their sub-folders) for plug-ins, reads their
    // metadata, resolves dependencies and works out the load order. Plug-ins
    // named in the "Plugins/Ignored" list of either settings store stay
    // disabled unless they are Required.
    void setPluginPaths(const QStringList &paths);
    QStringList pluginPaths() const { return m_pluginPaths; }

    QVector<PluginSpec *> plugins() const { return m_specs; }
    PluginSpec *pluginByName(const QString &name) const;
    // Dependencies before their dependents; plug-ins with errors or
    // disabled are left out.
    QVector<PluginSpec *> loadQueue() const { return m_loadQueue; }

    // Loads, constructs and initialises every enabled plug-in (dependencies
    // first), then calls extensionsInitialized() in reverse order.
    void loadPlugins();
    bool hasError() const;

    // The words of `commandLine` meant for a plug-in with these argument
    // descriptions: each matching option, followed by the next word when
    // the description names a parameter.
    static QStringList argumentsFor(const QVector<PluginArgumentDescription> &descriptions,
                                    const QStringList &commandLine);

public slots:
    // `message` is the sender's working directory followed by its arguments,
    // one per line. Every running plug-in gets the options it declared and
    // the plain (non-option) arguments.
    void remoteArguments(const QString &message, QObject *socket);
    // aboutToShutdown() in reverse load order, then deletion in reverse order.
    void shutdown();

signals:
    void pluginsChanged();
    void initializationDone();

private:
    void readPlugins();
    void resolve();
    bool enqueue(PluginSpec *spec, QVector<PluginSpec *> &queue, QVector<PluginSpec *> &path);
    QStringList ignoredPlugins() const;
    void nextDelayedInitialize();

    static PluginManager *m_instance;

    QString m_pluginIID;
    QSettings *m_globalSettings = nullptr;
    QSettings *m_settings = nullptr;
    QStringList m_pluginPaths;
    QVector<PluginSpec *> m_specs;
    QVector<PluginSpec *> m_loadQueue;
    QVector<PluginSpec *> m_delayedQueue;
    QTimer *m_delayedTimer = nullptr;
    bool m_loaded = false;
    bool m_shutDown = false;
};

} // namespace ExtensionSystem
