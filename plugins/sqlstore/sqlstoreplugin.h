#pragma once

#include "sqlstore_global.h"

#include <extensionsystem/iplugin.h>

namespace Core {
class ICore;
namespace Internal {
class MainWindow;
}
} // namespace Core

namespace Sqlstore {
namespace Internal {

class DataBaseConnection;
class DataBaseSettings;

// The database driver plug-in: keeps the local SQLite database under the
// application's work folder and runs its worker. Other plug-ins reach the
// database through instance()->dataBaseConnection().
class SQLSTORE_EXPORT SqlstorePlugin : public ExtensionSystem::IPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "app.Plugin" FILE "Sqlstore.json")

public:
    SqlstorePlugin();
    ~SqlstorePlugin() override;

    static SqlstorePlugin *instance();

    bool initialize(const QStringList &arguments, QString *errorString) override;
    void extensionsInitialized() override;
    ShutdownFlag aboutToShutdown() override;

    // Null before initialize() and after aboutToShutdown().
    DataBaseConnection *dataBaseConnection() const;

    // Below the work folder.
    static QString databaseFolder(const QString &workPath);
    static QString databaseFile(const QString &workPath);

private:
    Core::ICore *m_core = nullptr;
    Core::Internal::MainWindow *m_mainWindow = nullptr;
    DataBaseConnection *m_connection = nullptr;
    DataBaseSettings *m_settings = nullptr;
};

} // namespace Internal
} // namespace Sqlstore
