#include "sqlstoreplugin.h"

#include "databaseconnection.h"
#include "databasesettings.h"

#include <core/icore.h>
#include <core/mainwindow.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSql>

namespace Sqlstore {
namespace Internal {

static SqlstorePlugin *s_instance = nullptr;

SqlstorePlugin::SqlstorePlugin()
{
    s_instance = this;
}

SqlstorePlugin::~SqlstorePlugin()
{
    // The connection's worker may still hold the settings: it goes first.
    delete m_connection;
    m_connection = nullptr;
    delete m_settings;
    m_settings = nullptr;
    if (s_instance == this)
        s_instance = nullptr;
}

SqlstorePlugin *SqlstorePlugin::instance()
{
    return s_instance;
}

QString SqlstorePlugin::databaseFolder(const QString &workPath)
{
    return workPath + QLatin1String("/configmodules/database/");
}

QString SqlstorePlugin::databaseFile(const QString &workPath)
{
    return workPath + QLatin1String("/configmodules/database/database.db");
}

bool SqlstorePlugin::initialize(const QStringList &arguments, QString *errorString)
{
    Q_UNUSED(arguments)
    if (m_connection)
        return true;

    m_core = Core::ICore::instance();
    m_mainWindow = qobject_cast<Core::Internal::MainWindow *>(Core::ICore::mainWindow());
    if (!m_mainWindow) {
        if (errorString) {
            *errorString = tr("The database driver cannot find its work folder: "
                              "the application's main window is missing.");
        }
        return false;
    }
    const QString workPath = m_mainWindow->workPath();
    if (workPath.isEmpty()) {
        if (errorString)
            *errorString = tr("The database driver cannot find its work folder.");
        return false;
    }

    QDir().mkpath(databaseFolder(workPath));
    const QString fileName = databaseFile(workPath);
    if (!QFileInfo::exists(fileName)) {
        // An empty file is an empty SQLite database.
        QFile file(fileName);
        if (!file.open(QIODevice::ReadWrite)) {
            if (errorString) {
                *errorString = tr("Cannot create the database file \"%1\": %2")
                                   .arg(QDir::toNativeSeparators(fileName), file.errorString());
            }
            return false;
        }
        file.close();
    }

    // No connect options and no pragmas: the database keeps SQLite's rollback
    // journal with full synchronisation, so a transaction reported as done
    // survives a crash or a power loss. (Write-ahead logging would save disk
    // flushes but needs a pragma outside any transaction, which neither these
    // settings nor the worker, which wraps every request in one, provide.)
    m_settings = new DataBaseSettings;
    m_settings->setDriver(QStringLiteral("QSQLITE"));
    m_settings->setConnectOptions(QString());
    m_settings->setDatabaseName(fileName);
    m_settings->setHostName(QStringLiteral("localhost"));
    m_settings->setUserName(QStringLiteral("SqlstorePlugin"));
    m_settings->setPassword(QStringLiteral("kvdb"));
    m_settings->setPort(-1);
    m_settings->setPrecisionPolicy(QSql::HighPrecision);

    m_connection = new DataBaseConnection(this);
    m_connection->initDataBaseConnection();
    m_connection->setSettings(m_settings);
    m_connection->start();
    return true;
}

void SqlstorePlugin::extensionsInitialized()
{
}

ExtensionSystem::IPlugin::ShutdownFlag SqlstorePlugin::aboutToShutdown()
{
    delete m_connection;
    m_connection = nullptr;
    delete m_settings;
    m_settings = nullptr;
    return SynchronousShutdown;
}

DataBaseConnection *SqlstorePlugin::dataBaseConnection() const
{
    return m_connection;
}

} // namespace Internal
} // namespace Sqlstore
