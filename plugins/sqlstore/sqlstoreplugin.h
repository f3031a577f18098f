#pragma once

#include "sqlstore_global.h"

#include "serversettings.h"

#include <extensionsystem/iplugin.h>

#include <QPointer>

QT_BEGIN_NAMESPACE
class QLabel;
QT_END_NAMESPACE

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
class OutboxSender;
class ServerPasswordStore;

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

    // The team's server, if one is configured. Applied at once: the local
    // file starts or stops keeping rows for the server, the sender and the
    // server's reading connection are replaced. Stored in the user settings.
    ServerSettings serverSettings() const { return m_server; }
    // False when the password could not be kept (the rest is applied), with
    // the reason.
    bool setServerSettings(const ServerSettings &settings, QString *error = nullptr);
    // Where the server's password is kept when no secret store runs.
    static QString passwordFolder();
    bool usesServer() const { return m_server.useServer && m_serverConnection; }
    QString station() const { return m_server.effectiveStation(); }
    // Where views read: the server when one is configured, else the local file.
    DataBaseConnection *readConnection() const;
    DataBaseConnection *serverConnection() const { return m_serverConnection; }
    OutboxSender *outboxSender() const { return m_sender; }
    // The status bar's text for the sender's state; empty while all is well.
    static QString statusText(bool online, qint64 waiting, bool encrypted = true);

public slots:
    void showDatabaseDialog();

signals:
    void serverSettingsChanged();

private:
    void applyServerSettings();
    void updateStatus();

    Core::ICore *m_core = nullptr;
    Core::Internal::MainWindow *m_mainWindow = nullptr;
    DataBaseConnection *m_connection = nullptr;
    DataBaseSettings *m_settings = nullptr;
    ServerSettings m_server;
    DataBaseConnection *m_serverConnection = nullptr;
    DataBaseSettings *m_serverSettings = nullptr;
    OutboxSender *m_sender = nullptr;
    ServerPasswordStore *m_passwords = nullptr;
    QPointer<QLabel> m_statusLabel;
    QString m_databaseFile;
    // The copying has been switched in this run: switching it off again
    // needs no probe.
    bool m_outboxSeen = false;
};

} // namespace Internal
} // namespace Sqlstore
