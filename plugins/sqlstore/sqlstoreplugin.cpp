#include "sqlstoreplugin.h"

#include "databaseconnection.h"
#include "databasedialog.h"
#include "databasesettings.h"
#include "dbcustomcommandreturndata.h"
#include "dboutboxsetup.h"
#include "outbox.h"
#include "outboxsender.h"
#include "serverpasswordstore.h"

#include <core/actioncontainer.h>
#include <core/actionmanager.h>
#include <core/command.h>
#include <core/context.h>
#include <core/coreconstants.h>
#include <core/icore.h>
#include <core/mainwindow.h>

#include <QAction>
#include <climits>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>
#include <QStatusBar>

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
    delete m_sender;
    m_sender = nullptr;
    OutboxSender::waitForEnding();
    delete m_serverConnection;
    m_serverConnection = nullptr;
    delete m_serverSettings;
    m_serverSettings = nullptr;
    // The connection's worker may still hold the settings: it goes first.
    delete m_connection;
    m_connection = nullptr;
    delete m_settings;
    m_settings = nullptr;
    delete m_passwords;
    m_passwords = nullptr;
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
    m_databaseFile = fileName;

    auto *action = new QAction(tr("Database…"), this);
    action->setObjectName(QStringLiteral("actionDatabase"));
    connect(action, &QAction::triggered, this, &SqlstorePlugin::showDatabaseDialog);
    const Core::Context global(Core::Id("Global Context"));
    if (Core::Command *command = Core::ActionManager::registerAction(action, "App.Sqlstore.Database", global)) {
        if (Core::ActionContainer *tools = Core::ActionManager::actionContainer(Core::Constants::M_TOOLS))
            tools->addAction(command, Core::Constants::G_TOOLS_OPTIONS);
    }

    if (!m_passwords)
        m_passwords = new ServerPasswordStore(passwordFolder());
    m_server = ServerSettings::load(Core::ICore::settings(), m_passwords, Core::ICore::settingsDatabase());
    applyServerSettings();
    return true;
}

void SqlstorePlugin::extensionsInitialized()
{
    if (!m_statusLabel && m_mainWindow) {
        m_statusLabel = new QLabel(m_mainWindow->statusBar());
        m_statusLabel->setObjectName(QStringLiteral("labelServerStatus"));
        m_statusLabel->setStyleSheet(QStringLiteral("color: #b00020;"));
        m_mainWindow->statusBar()->addPermanentWidget(m_statusLabel);
    }
    updateStatus();
}

QString SqlstorePlugin::passwordFolder()
{
    return QFileInfo(Core::ICore::settings()->fileName()).absolutePath() + QLatin1String("/Korvane_Config/private");
}

bool SqlstorePlugin::setServerSettings(const ServerSettings &settings, QString *error)
{
    const bool changed = settings != m_server;
    m_server = settings;
    if (!m_passwords)
        m_passwords = new ServerPasswordStore(passwordFolder());
    const bool kept = m_server.save(Core::ICore::settings(), m_passwords, error);
    if (changed)
        applyServerSettings();
    return kept;
}

void SqlstorePlugin::applyServerSettings()
{
    delete m_sender;
    m_sender = nullptr;
    delete m_serverConnection;
    m_serverConnection = nullptr;
    delete m_serverSettings;
    m_serverSettings = nullptr;

    const bool useServer = m_server.useServer && m_server.isComplete();
    if (m_connection && (useServer || m_outboxSeen)) {
        // Rows recorded from now on are kept for the server (or no longer).
        auto *control = new DBOutboxSetup(Outbox::controlStatements(useServer, m_server.effectiveStation()),
                                          IDataBaseTransaction::High);
        connect(control, qOverload<bool>(&IDataBaseTransaction::transactionExecutionEnded), this,
                [control](bool) { control->setStatus(IDataBaseTransaction::Completed); });
        m_connection->addTransactionExec(control);
        m_outboxSeen = true;
    } else if (m_connection) {
        // Local only: a file that never had an outbox stays as it is; one that
        // has (a server was used before) stops copying rows.
        auto *probe = new DBCustomCommandReturnData(
            QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = 'outbox_control'"),
            IDataBaseTransaction::High);
        connect(probe, qOverload<bool, QVector<QVector<QVariant>>>(&IDataBaseTransaction::transactionExecutionEnded),
                this, [this, probe](bool ok, const QVector<QVector<QVariant>> &rows) {
                    probe->setStatus(IDataBaseTransaction::Completed);
                    if (!ok || rows.isEmpty() || rows.first().value(0).toInt() == 0 || !m_connection)
                        return;
                    auto *off = new DBOutboxSetup(
                        Outbox::localSchema()
                            << QStringLiteral("UPDATE outbox_control SET enabled = 0 WHERE id = 1 AND enabled <> 0"),
                        IDataBaseTransaction::High);
                    connect(off, qOverload<bool>(&IDataBaseTransaction::transactionExecutionEnded), this,
                            [off](bool) { off->setStatus(IDataBaseTransaction::Completed); });
                    m_connection->addTransactionExec(off);
                });
        m_connection->addTransactionExec(probe);
    }

    if (useServer && m_connection) {
        m_serverSettings = new DataBaseSettings;
        m_server.fillIn(m_serverSettings);
        m_serverConnection = new DataBaseConnection(this);
        m_serverConnection->initDataBaseConnection();
        m_serverConnection->setSettings(m_serverSettings);
        m_serverConnection->start();
        m_sender = new OutboxSender(m_databaseFile, *m_serverSettings, this);
        connect(m_sender, &OutboxSender::statusChanged, this, &SqlstorePlugin::updateStatus);
        m_sender->start();
    }
    updateStatus();
    emit serverSettingsChanged();
}

DataBaseConnection *SqlstorePlugin::readConnection() const
{
    return m_serverConnection ? m_serverConnection : m_connection;
}

QString SqlstorePlugin::statusText(bool online, qint64 waiting, bool encrypted)
{
    if (online)
        return encrypted ? QString() : tr("server connection not encrypted");
    return tr("server offline, %n rows waiting", nullptr, int(qBound<qint64>(0, waiting, INT_MAX)));
}

void SqlstorePlugin::updateStatus()
{
    if (!m_statusLabel)
        return;
    // Only once the sender has tried: a start must not flash "offline".
    const bool known = m_sender && m_sender->waiting() >= 0;
    const bool plain = known && m_sender->isOnline() && !m_sender->isEncrypted();
    const QString text = known ? statusText(m_sender->isOnline(), m_sender->waiting(), !plain) : QString();
    m_statusLabel->setText(text);
    m_statusLabel->setToolTip(plain ? tr("The password and every row cross the network readable. Choose the "
                                         "encryption in Tools → Database…")
                                    : known ? m_sender->lastError() : QString());
    m_statusLabel->setVisible(!text.isEmpty());
}

void SqlstorePlugin::showDatabaseDialog()
{
    DatabaseDialog dialog(m_server, Core::ICore::mainWindow());
    if (dialog.exec() != QDialog::Accepted)
        return;
    QString error;
    if (!setServerSettings(dialog.settings(), &error)) {
        QMessageBox::warning(Core::ICore::mainWindow(), tr("Database"),
                             tr("The settings are used in this run, but the password could not be kept: "
                                "after a restart it must be entered again.\n%1")
                                 .arg(error));
    }
}

ExtensionSystem::IPlugin::ShutdownFlag SqlstorePlugin::aboutToShutdown()
{
    delete m_sender;
    m_sender = nullptr;
    OutboxSender::waitForEnding();
    delete m_serverConnection;
    m_serverConnection = nullptr;
    delete m_serverSettings;
    m_serverSettings = nullptr;
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
