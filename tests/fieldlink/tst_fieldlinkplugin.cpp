// The plug-in: one connection, parameters kept in Core's user settings.

#include <fieldlink/fieldlinkplugin.h>
#include <fieldlink/modbusconnection.h>

#include <core/coreplugin.h>
#include <core/icore.h>

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace Fieldlink::FieldlinkCore;

class tst_FieldlinkPlugin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void instanceAndConnection();
    void storedParametersAreApplied_data();
    void storedParametersAreApplied();
    void parametersSurviveShutdown();

private:
    QSettings *store() const { return Core::ICore::settings(); }

    QTemporaryDir m_dir;
    std::unique_ptr<Core::CorePlugin> m_core;
};

void tst_FieldlinkPlugin::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.filePath("user"));
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, m_dir.filePath("system"));
}

void tst_FieldlinkPlugin::init()
{
    m_core.reset(new Core::CorePlugin);
    QString error;
    QVERIFY2(m_core->initialize({}, &error), qPrintable(error));
    store()->remove("Fieldlink");
}

void tst_FieldlinkPlugin::cleanup()
{
    if (m_core)
        m_core->aboutToShutdown();
    m_core.reset();
}

void tst_FieldlinkPlugin::instanceAndConnection()
{
    QVERIFY(!FieldlinkPlugin::instance());
    {
        FieldlinkPlugin plugin;
        QCOMPARE(FieldlinkPlugin::instance(), &plugin);
        QVERIFY(!plugin.connection());
        QString error;
        QVERIFY(plugin.initialize({}, &error));
        QVERIFY(plugin.connection());
        QVERIFY(plugin.modbusSettings());
        // Starting the program never opens a link by itself.
        QCOMPARE(plugin.connection()->state(), QModbusDevice::UnconnectedState);
        plugin.aboutToShutdown();
    }
    QVERIFY(!FieldlinkPlugin::instance());
}

void tst_FieldlinkPlugin::storedParametersAreApplied_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("port") << "Port" << QVariant(1502) << QVariant(1502);
    QTest::newRow("port not a number") << "Port" << QVariant("abc") << QVariant(502);
    QTest::newRow("port out of range") << "Port" << QVariant(70000) << QVariant(502);
    QTest::newRow("host") << "Host" << QVariant("10.0.0.7") << QVariant("10.0.0.7");
    QTest::newRow("host blank") << "Host" << QVariant("  ") << QVariant("127.0.0.1");
    QTest::newRow("rtu") << "ConnectionType" << QVariant(1) << QVariant(1);
    QTest::newRow("unknown type") << "ConnectionType" << QVariant(7) << QVariant(0);
    QTest::newRow("parity odd") << "Parity" << QVariant(3) << QVariant(3);
    QTest::newRow("parity invalid") << "Parity" << QVariant(1) << QVariant(2);
    QTest::newRow("baud") << "BaudRate" << QVariant(115200) << QVariant(115200);
    QTest::newRow("baud negative") << "BaudRate" << QVariant(-9600) << QVariant(19200);
    QTest::newRow("server address") << "ServerAddress" << QVariant(17) << QVariant(17);
    QTest::newRow("server address too big") << "ServerAddress" << QVariant(999) << QVariant(1);
    QTest::newRow("timeout") << "ResponseTimeout" << QVariant(250) << QVariant(250);
    QTest::newRow("timeout zero") << "ResponseTimeout" << QVariant(0) << QVariant(1000);
    QTest::newRow("retries") << "NumberOfRetries" << QVariant(3) << QVariant(3);
    QTest::newRow("retries negative") << "NumberOfRetries" << QVariant(-1) << QVariant(1);
}

void tst_FieldlinkPlugin::storedParametersAreApplied()
{
    QFETCH(QString, key);
    QFETCH(QVariant, stored);
    QFETCH(QVariant, expected);
    store()->setValue("Fieldlink/" + key, stored);

    FieldlinkPlugin plugin;
    QString error;
    QVERIFY(plugin.initialize({}, &error));
    const ModbusConnection *c = plugin.connection();
    const QModbusSettings *s = plugin.modbusSettings();
    const QMap<QString, QVariant> actual{
        {"Port", c->port()},
        {"Host", c->host()},
        {"ConnectionType", int(c->connectionType())},
        {"Parity", int(c->parity())},
        {"BaudRate", c->baudRate()},
        {"ServerAddress", s->serverAddress()},
        {"ResponseTimeout", s->responseTimeout()},
        {"NumberOfRetries", s->numberOfRetries()},
    };
    QCOMPARE(actual.value(key).toString(), expected.toString());
}

void tst_FieldlinkPlugin::parametersSurviveShutdown()
{
    {
        FieldlinkPlugin plugin;
        QString error;
        QVERIFY(plugin.initialize({}, &error));
        plugin.connection()->setConnectionType(ModbusConnection::Rtu);
        plugin.connection()->setSerialPortName("/dev/ttyUSB3");
        plugin.connection()->setStopBits(QSerialPort::TwoStop);
        plugin.modbusSettings()->setServerAddress(42);
        plugin.aboutToShutdown();
    }
    FieldlinkPlugin again;
    QString error;
    QVERIFY(again.initialize({}, &error));
    QCOMPARE(again.connection()->connectionType(), ModbusConnection::Rtu);
    QCOMPARE(again.connection()->serialPortName(), QString("/dev/ttyUSB3"));
    QCOMPARE(again.connection()->stopBits(), QSerialPort::TwoStop);
    QCOMPARE(again.modbusSettings()->serverAddress(), 42);
}

QTEST_MAIN(tst_FieldlinkPlugin)

#include "tst_fieldlinkplugin.moc"
