#pragma once

#include "extensionsystem_global.h"

#include <QObject>
#include <QStringList>
#include <QVector>

namespace ExtensionSystem {

class PluginSpec;

// Base class of every plug-in. The manager constructs the plug-in, calls
// initialize() once (dependencies first), extensionsInitialized() once all
// are initialised, and aboutToShutdown() before deleting it.
class EXTENSIONSYSTEM_EXPORT IPlugin : public QObject
{
    Q_OBJECT

public:
    enum ShutdownFlag {
        SynchronousShutdown = 0,
        AsynchronousShutdown = 1
    };

    IPlugin();
    ~IPlugin() override;

    virtual bool initialize(const QStringList &arguments, QString *errorString) = 0;
    virtual void extensionsInitialized() {}
    virtual bool delayedInitialize() { return false; }
    virtual ShutdownFlag aboutToShutdown() { return SynchronousShutdown; }
    // Arguments sent by another start of the program; a plug-in that handles
    // them may return an object that lives as long as the request.
    virtual QObject *remoteCommand(const QStringList &options,
                                   const QString &workingDirectory,
                                   const QStringList &arguments);
    virtual QVector<QObject *> createTestObjects() const;

    PluginSpec *pluginSpec() const;

signals:
    void asynchronousShutdownFinished();

private:
    friend class PluginSpec;
    PluginSpec *m_spec = nullptr;
};

} // namespace ExtensionSystem

#define ExtensionSystem_IPlugin_iid "app.Plugin"
