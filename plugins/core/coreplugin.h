#pragma once

#include "core_global.h"

#include <extensionsystem/iplugin.h>

namespace Core {

class ActionManager;
class ICore;
class SettingsDatabase;

namespace Internal {
class MainWindow;
}

// The required plug-in that owns the main window, the action manager and
// the settings database.
class CORE_EXPORT CorePlugin : public ExtensionSystem::IPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "app.Plugin" FILE "Core.json")

public:
    CorePlugin();
    ~CorePlugin() override;

    static CorePlugin *instance();

    // Accepts "-test-quit-after <ms>": quit the application that many
    // milliseconds after start (end-to-end tests).
    bool initialize(const QStringList &arguments, QString *errorString) override;
    void extensionsInitialized() override;
    ShutdownFlag aboutToShutdown() override;
    // Another start of the program: bring the running window to the front.
    QObject *remoteCommand(const QStringList &options, const QString &workingDirectory,
                           const QStringList &arguments) override;

    // The delay requested by "-test-quit-after", or -1.
    int quitAfterMs() const { return m_quitAfterMs; }

private:
    void quitWhenLoopRuns();
    ActionManager *m_actionManager = nullptr;
    SettingsDatabase *m_settingsDatabase = nullptr;
    Internal::MainWindow *m_mainWindow = nullptr;
    ICore *m_core = nullptr;
    int m_quitAfterMs = -1;
};

} // namespace Core
