#include "testsupport.h"

#include <sqlstore/databaseconnection.h>
#include <sqlstore/serversettings.h>
#include <sqlstore/sqlstoreplugin.h>

#include <core/coreplugin.h>
#include <core/icore.h>
#include <core/mainwindow.h>
#include <core/settingsdatabase.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QPluginLoader>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace Sqlstore::Internal;
using SqlstoreTest::Rows;

class PluginTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void metadata();
    void instanceAndConnectionBeforeInitialize();
    void firstStartCreatesFolderAndFile();
    void existingFileUsedUnchanged();
    void readOnlyWorkFolder();
    void missingMainWindow();
    void shutdownTwice();
    void serverPasswordKeptPrivate_data();
    void serverPasswordKeptPrivate();

private:
    void startCore();
    QString workPath() const
    {
        auto *window = qobject_cast<Core::Internal::MainWindow *>(Core::ICore::mainWindow());
        return window ? window->workPath() : QString();
    }
    QString databaseFile() const { return workPath() + "/configmodules/database/database.db"; }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Core::CorePlugin> m_core;
    std::unique_ptr<SqlstorePlugin> m_plugin;
};

void PluginTest::initTestCase()
{
    qRegisterMetaType<Rows>();
    QStandardPaths::setTestModeEnabled(true);
    // No desktop secret store: the password goes to the owner-only file.
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
}

void PluginTest::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    // Everything the stores write goes below the temporary folder.
    qputenv("HOME", QFile::encodeName(m_dir->path()));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir->filePath("user"));
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, m_dir->filePath("system"));
}

void PluginTest::cleanup()
{
    if (m_plugin)
        m_plugin->aboutToShutdown();
    m_plugin.reset();
    if (m_core)
        m_core->aboutToShutdown();
    m_core.reset();
    if (!workPath().isEmpty())
        QFile::setPermissions(workPath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_dir.reset();
}

void PluginTest::startCore()
{
    m_core.reset(new Core::CorePlugin);
    QString error;
    QVERIFY2(m_core->initialize({}, &error), qPrintable(error));
    QVERIFY(workPath().startsWith(m_dir->path()));
}

void PluginTest::metadata()
{
    QPluginLoader loader(QStringLiteral(KORVANE_BUILD_DIR "/lib/appcore/plugins/libSqlstore.so"));
    const QJsonObject all = loader.metaData();
    QCOMPARE(all.value("IID").toString(), QStringLiteral("app.Plugin"));
    QCOMPARE(all.value("className").toString(), QStringLiteral("SqlstorePlugin"));
    const QJsonObject data = all.value("MetaData").toObject();
    QCOMPARE(data.value("Name").toString(), QStringLiteral("Sqlstore"));
    QCOMPARE(data.value("Version").toString(), QStringLiteral("5.48.00"));
    QCOMPARE(data.value("CompatVersion").toString(), QStringLiteral("5.48.00"));
    QCOMPARE(data.value("Category").toString(), QStringLiteral("Driver"));
    QCOMPARE(data.value("Description").toString(), QStringLiteral("Драйвер баз данных."));
    QCOMPARE(data.value("License").toString(), QString());
    QCOMPARE(data.value("Required").toBool(), true);
    const QJsonArray dependencies = data.value("Dependencies").toArray();
    QCOMPARE(dependencies.size(), 1);
    QCOMPARE(dependencies.at(0).toObject().value("Name").toString(), QStringLiteral("Core"));
    QCOMPARE(dependencies.at(0).toObject().value("Version").toString(), QStringLiteral("5.48.00"));
    QCOMPARE(data.value("Arguments").toArray().size(), 3);
}

void PluginTest::instanceAndConnectionBeforeInitialize()
{
    QVERIFY(!SqlstorePlugin::instance());
    m_plugin.reset(new SqlstorePlugin);
    QCOMPARE(SqlstorePlugin::instance(), m_plugin.get());
    QVERIFY(!m_plugin->dataBaseConnection());
    m_plugin.reset();
    QVERIFY(!SqlstorePlugin::instance());
}

void PluginTest::firstStartCreatesFolderAndFile()
{
    startCore();
    QVERIFY(!QFileInfo::exists(workPath() + "/configmodules"));
    m_plugin.reset(new SqlstorePlugin);
    QString error;
    QVERIFY2(m_plugin->initialize({}, &error), qPrintable(error));
    QVERIFY(QFileInfo(workPath() + "/configmodules/database").isDir());
    QVERIFY(QFileInfo::exists(databaseFile()));

    // The worker works on that file.
    DataBaseConnection *connection = m_plugin->dataBaseConnection();
    QVERIFY(connection);
    QList<bool> results;
    for (IDataBaseTransaction *transaction :
         {connection->createTable("notes", {"id INTEGER PRIMARY KEY", "text TEXT"}),
          connection->insertDataTable("notes", {"text"}, {IDataBaseTransaction::protect("hello")})}) {
        connect(transaction, SqlstoreTest::ended, this, [&results, transaction](bool ok) {
            results.append(ok);
            transaction->setStatus(IDataBaseTransaction::Completed);
        });
        connection->addTransactionExec(transaction);
    }
    QTRY_COMPARE_WITH_TIMEOUT(results, QList<bool>({true, true}), 10000);
    QCOMPARE(SqlstoreTest::readRows(databaseFile(), "SELECT text FROM notes"), Rows{{"hello"}});
}

void PluginTest::existingFileUsedUnchanged()
{
    startCore();
    QVERIFY(QDir().mkpath(workPath() + "/configmodules/database"));
    QVERIFY(SqlstoreTest::execute(databaseFile(), {"CREATE TABLE kept (v TEXT)",
                                                   "INSERT INTO kept VALUES ('old')"}));
    QFile file(databaseFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    m_plugin.reset(new SqlstorePlugin);
    QString error;
    QVERIFY2(m_plugin->initialize({}, &error), qPrintable(error));
    DataBaseConnection *connection = m_plugin->dataBaseConnection();
    Rows rows;
    IDataBaseTransaction *select = connection->selectionDataTable("kept");
    connect(select, SqlstoreTest::endedWithRows, this, [&rows](bool, const Rows &data) { rows = data; });
    connection->addTransactionExec(select);
    QTRY_COMPARE_WITH_TIMEOUT(rows, Rows{{"old"}}, 10000);
    m_plugin->aboutToShutdown();

    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
}

void PluginTest::readOnlyWorkFolder()
{
    if (SqlstoreTest::privileged())
        QSKIP("Folder permissions do not bind this user");
    startCore();
    QVERIFY(QFile::setPermissions(workPath(), QFile::ReadOwner | QFile::ExeOwner));
    m_plugin.reset(new SqlstorePlugin);
    QString error;
    QVERIFY(!m_plugin->initialize({}, &error));
    QVERIFY2(error.contains("database.db"), qPrintable(error));
    QVERIFY(!m_plugin->dataBaseConnection());
    QVERIFY(!QFileInfo::exists(databaseFile()));
}

void PluginTest::missingMainWindow()
{
    QVERIFY(!Core::ICore::instance());
    m_plugin.reset(new SqlstorePlugin);
    QString error;
    QVERIFY(!m_plugin->initialize({}, &error));
    QVERIFY(error.contains("main window"));
    QVERIFY(!m_plugin->dataBaseConnection());
    QVERIFY(!m_plugin->initialize({}, nullptr));
}

void PluginTest::serverPasswordKeptPrivate_data()
{
    QTest::addColumn<QString>("earlier"); // kept in clear by an earlier version
    QTest::newRow("first start") << QString();
    QTest::newRow("from the settings database") << QString("old s3cret");
}

// Only the owner may read the password: the real files' modes, and what the
// INI file and the settings database hold, before and after a restart.
void PluginTest::serverPasswordKeptPrivate()
{
    QFETCH(QString, earlier);
    const QFile::Permissions foreign = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
                                       | QFile::WriteOther | QFile::ExeOther;
    startCore();
    const QString settingsFile = Core::ICore::settingsDatabase()->fileName();
    QCOMPARE(QFileInfo(settingsFile).permissions() & foreign, QFile::Permissions());
    if (!earlier.isEmpty()) {
        Core::ICore::settingsDatabase()->setValue("Sqlstore/ServerPassword", earlier);
        m_core->aboutToShutdown();
        m_core.reset();
        QVERIFY(QFile::setPermissions(settingsFile, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                                                        | QFile::ReadOther));
        startCore();
        QCOMPARE(QFileInfo(settingsFile).permissions() & foreign, QFile::Permissions());
    }
    m_plugin.reset(new SqlstorePlugin);
    QString error;
    QVERIFY2(m_plugin->initialize({}, &error), qPrintable(error));
    QCOMPARE(m_plugin->serverSettings().password, earlier);
    const QString passwordFile = SqlstorePlugin::passwordFolder() + "/serverpassword";
    QCOMPARE(QFileInfo::exists(passwordFile), !earlier.isEmpty());

    ServerSettings server = m_plugin->serverSettings();
    server.host = "127.0.0.1";
    server.database = server.user = "team";
    server.password = QString::fromUtf8("new s3cret \xe2\x98\x83");
    QVERIFY2(m_plugin->setServerSettings(server, &error), qPrintable(error));
    QCOMPARE(QFileInfo(passwordFile).permissions() & foreign, QFile::Permissions());
    QCOMPARE(QFileInfo(SqlstorePlugin::passwordFolder()).permissions() & foreign, QFile::Permissions());
    QFile kept(passwordFile);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), server.password.toUtf8());
    for (const QString &file : {settingsFile, Core::ICore::settings()->fileName()}) {
        QFile f(file);
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(file));
        QVERIFY2(!f.readAll().contains("s3cret"), qPrintable(file));
    }
    m_plugin->aboutToShutdown();
    m_plugin.reset();
    m_core->aboutToShutdown();
    m_core.reset();

    startCore();
    m_plugin.reset(new SqlstorePlugin);
    QVERIFY2(m_plugin->initialize({}, &error), qPrintable(error));
    QCOMPARE(m_plugin->serverSettings().password, server.password);
    QCOMPARE(m_plugin->serverSettings().host, server.host);
}

void PluginTest::shutdownTwice()
{
    startCore();
    m_plugin.reset(new SqlstorePlugin);
    QString error;
    QVERIFY2(m_plugin->initialize({}, &error), qPrintable(error));
    QPointer<DataBaseConnection> connection = m_plugin->dataBaseConnection();
    QVERIFY(connection);
    QSignalSpy stopped(connection.data(), &DataBaseConnection::stopped);
    QCOMPARE(m_plugin->aboutToShutdown(), ExtensionSystem::IPlugin::SynchronousShutdown);
    QCOMPARE(stopped.count(), 1);
    QVERIFY(connection.isNull());
    QVERIFY(!m_plugin->dataBaseConnection());
    QCOMPARE(m_plugin->aboutToShutdown(), ExtensionSystem::IPlugin::SynchronousShutdown);
    QVERIFY(!m_plugin->dataBaseConnection());
}

SQLSTORE_TEST_MAIN(PluginTest, QApplication)

#include "tst_plugin.moc"
