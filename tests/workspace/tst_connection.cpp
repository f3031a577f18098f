#include <workspace/connectiondialog.h>
#include <workspace/connectionhistory.h>
#include <workspace/connectionprofile.h>
#include <workspace/connectionstatuswidget.h>
#include <workspace/workspacecontroller.h>

#include <core/settingsdatabase.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <qled/qled.h>

#include <QtTest>

using Workspace::ConnectionDialog;
using Workspace::ConnectionHistory;
using Workspace::ConnectionProfile;
using Workspace::ConnectionStatusWidget;
using Workspace::WorkspaceController;

Q_DECLARE_METATYPE(Workspace::ConnectionProfile)

class tst_Connection : public QObject
{
    Q_OBJECT

private slots:
    void profileRoundTrip();
    void damagedStoredProfile_data();
    void damagedStoredProfile();
    void profileKeyAndText_data();
    void profileKeyAndText();
    void historyKeepsNewestDistinct();
    void historySurvivesRestart();
    void historyWritesWhatItRemembers_data();
    void historyWritesWhatItRemembers();
    void dialogRefusesIncompleteInput_data();
    void dialogRefusesIncompleteInput();
    void dialogRecentFillsForm();
    void dialogHasNoGapForTcp();
    void statusTexts();
    void usableVersions_data();
    void usableVersions();
    void versionsFromFiles();
};

void tst_Connection::profileRoundTrip()
{
    ConnectionProfile p;
    p.setKind(ConnectionProfile::Rtu);
    p.setSerialPortName("/dev/ttyUSB3");
    p.setBaudRate(57600);
    p.setParity(QSerialPort::OddParity);
    p.setDataBits(QSerialPort::Data7);
    p.setStopBits(QSerialPort::TwoStop);
    p.setUnit(17);
    p.setResponseTimeout(2500);
    p.setRetries(4);
    QCOMPARE(ConnectionProfile::fromMap(p.toMap()), p);
}

void tst_Connection::damagedStoredProfile_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");

    QTest::newRow("kind out of range") << "kind" << QVariant(99);
    QTest::newRow("parity out of range") << "parity" << QVariant(-7);
    QTest::newRow("data bits text") << "dataBits" << QVariant("many");
    QTest::newRow("stop bits out of range") << "stopBits" << QVariant(1000);
    QTest::newRow("port too big") << "port" << QVariant(700000);
    QTest::newRow("unit negative") << "unit" << QVariant(-3);
    QTest::newRow("timeout zero") << "timeout" << QVariant(0);
    QTest::newRow("retries huge") << "retries" << QVariant(1 << 30);
}

void tst_Connection::damagedStoredProfile()
{
    QFETCH(QString, key);
    QFETCH(QVariant, value);
    QVariantMap map = ConnectionProfile().toMap();
    map.insert(key, value);
    const ConnectionProfile p = ConnectionProfile::fromMap(map);
    QVERIFY(p.kind() == ConnectionProfile::Tcp || p.kind() == ConnectionProfile::Rtu
            || p.kind() == ConnectionProfile::Demo);
    QVERIFY(p.port() >= 0 && p.port() <= ConnectionProfile::MaxPort);
    QVERIFY(p.unit() >= ConnectionProfile::MinUnit && p.unit() <= ConnectionProfile::MaxUnit);
    QVERIFY(p.responseTimeout() >= ConnectionProfile::MinTimeout);
    QVERIFY(p.retries() <= ConnectionProfile::MaxRetries);
    QVERIFY(p.dataBits() >= QSerialPort::Data5 && p.dataBits() <= QSerialPort::Data8);
    QVERIFY(p.stopBits() >= QSerialPort::OneStop && p.stopBits() <= QSerialPort::OneAndHalfStop);
}

void tst_Connection::profileKeyAndText_data()
{
    QTest::addColumn<ConnectionProfile>("profile");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");

    QTest::newRow("tcp") << ConnectionProfile::tcp("10.0.0.5", 1502, 3) << "tcp:10.0.0.5:1502:3"
                         << "TCP 10.0.0.5:1502, unit 3";
    ConnectionProfile rtu;
    rtu.setKind(ConnectionProfile::Rtu);
    rtu.setSerialPortName("ttyS1");
    rtu.setBaudRate(9600);
    rtu.setParity(QSerialPort::NoParity);
    rtu.setUnit(5);
    QTest::newRow("rtu") << rtu << "rtu:ttyS1:5" << "RTU ttyS1 9600 8N1, unit 5";
    ConnectionProfile demo = ConnectionProfile::demo();
    demo.setPort(40000);
    QTest::newRow("demo keeps one key") << demo << "demo" << "Demo device (127.0.0.1:40000)";
}

void tst_Connection::profileKeyAndText()
{
    QFETCH(ConnectionProfile, profile);
    QFETCH(QString, key);
    QFETCH(QString, text);
    QCOMPARE(profile.key(), key);
    QCOMPARE(profile.displayName(), text);
    QVERIFY(profile.validationError().isEmpty());
}

void tst_Connection::historyKeepsNewestDistinct()
{
    ConnectionHistory history(nullptr);
    for (int i = 0; i < ConnectionHistory::MaxRecent + 3; ++i)
        history.remember(ConnectionProfile::tcp("h", 1000 + i));
    QCOMPARE(history.recent().size(), int(ConnectionHistory::MaxRecent));
    QCOMPARE(history.recent().first().port(), 1000 + ConnectionHistory::MaxRecent + 2);
    // The same device again moves to the front with its new timing.
    ConnectionProfile again = ConnectionProfile::tcp("h", 1005);
    again.setResponseTimeout(3000);
    history.remember(again);
    QCOMPARE(history.recent().size(), int(ConnectionHistory::MaxRecent));
    QCOMPARE(history.recent().first(), again);
    int same = 0;
    for (const ConnectionProfile &p : history.recent())
        same += p.key() == again.key() ? 1 : 0;
    QCOMPARE(same, 1);
}

void tst_Connection::historySurvivesRestart()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("settings.db");
    const ConnectionProfile tcp = ConnectionProfile::tcp("192.168.1.20", 502, 2);
    {
        Core::SettingsDatabase db(file);
        ConnectionHistory history(&db);
        history.remember(tcp);
        history.setChosenVersion(tcp.key(), "2.10");
    }
    Core::SettingsDatabase db(file);
    ConnectionHistory history(&db);
    QCOMPARE(history.recent().size(), 1);
    QCOMPARE(history.recent().first(), tcp);
    QCOMPARE(history.chosenVersion(tcp.key()), QString("2.10"));
    QCOMPARE(history.chosenVersion("tcp:other:502:1"), QString());
    history.setChosenVersion(tcp.key(), QString());
    QCOMPARE(history.chosenVersion(tcp.key()), QString());

    // A damaged entry is skipped, the others load.
    db.beginGroup("Workspace");
    db.setValue("RecentConnections", QVariantList{QVariant("junk"), tcp.toMap()});
    db.endGroup();
    history.load();
    QCOMPARE(history.recent().size(), 1);
}

void tst_Connection::historyWritesWhatItRemembers_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("after the delay") << "timer";
    QTest::newRow("when saved") << "save";
    QTest::newRow("when destroyed") << "destruction";
}

void tst_Connection::historyWritesWhatItRemembers()
{
    QFETCH(QString, how);
    QTemporaryDir dir;
    const QString file = dir.filePath("settings.db");
    const ConnectionProfile tcp = ConnectionProfile::tcp("10.0.0.7", 502, 3);
    {
        Core::SettingsDatabase db(file);
        auto history = std::make_unique<ConnectionHistory>(&db);
        history->remember(tcp);
        QVERIFY(history->hasPendingSave());
        if (how == "timer")
            QTRY_VERIFY_WITH_TIMEOUT(!history->hasPendingSave(), ConnectionHistory::SaveDelayMs * 10);
        else if (how == "save")
            history->save();
        // Nothing is left for the destructor unless it is the way tested.
        QCOMPARE(history->hasPendingSave(), how == "destruction");
    }
    Core::SettingsDatabase db(file);
    ConnectionHistory reread(&db);
    QCOMPARE(reread.recent().size(), 1);
    QCOMPARE(reread.recent().first(), tcp);
}

void tst_Connection::dialogRefusesIncompleteInput_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("serialPort");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("tcp without host") << 0 << "" << "" << false;
    QTest::newRow("tcp with host") << 0 << "plc.local" << "" << true;
    QTest::newRow("rtu without port") << 1 << "" << "" << false;
    QTest::newRow("rtu with typed port") << 1 << "" << "/dev/ttyV0" << true;
}

void tst_Connection::dialogRefusesIncompleteInput()
{
    QFETCH(int, kind);
    QFETCH(QString, host);
    QFETCH(QString, serialPort);
    QFETCH(bool, accepted);

    ConnectionDialog dialog;
    QCOMPARE(dialog.objectName(), QString("ConnectionDialog"));
    auto *kindBox = dialog.findChild<QComboBox *>("comboBoxKind");
    kindBox->setCurrentIndex(kindBox->findData(kind));
    dialog.findChild<QLineEdit *>("lineEditHost")->setText(host);
    dialog.findChild<QComboBox *>("comboBoxSerialPort")->setEditText(serialPort);
    dialog.findChild<QSpinBox *>("spinBoxUnit")->setValue(9);
    dialog.show();
    dialog.accept();
    QCOMPARE(dialog.result() == QDialog::Accepted, accepted);
    QCOMPARE(dialog.findChild<QLabel *>("labelError")->isVisible(), !accepted);
    if (accepted) {
        QCOMPARE(dialog.profile().unit(), 9);
        if (kind == 1)
            QCOMPARE(dialog.profile().serialPortName(), serialPort);
        else
            QCOMPARE(dialog.profile().host(), host);
    }
}

void tst_Connection::dialogRecentFillsForm()
{
    ConnectionDialog dialog;
    const ConnectionProfile a = ConnectionProfile::tcp("first", 1502, 4);
    ConnectionProfile b;
    b.setKind(ConnectionProfile::Rtu);
    b.setSerialPortName("/dev/ttyUSB9");
    b.setBaudRate(4800);
    dialog.setRecent({a, ConnectionProfile::demo(), b});
    auto *recent = dialog.findChild<QComboBox *>("comboBoxRecent");
    QCOMPARE(recent->count(), 2); // the demo device is not offered for editing
    recent->setCurrentIndex(1);
    emit recent->activated(1);
    QCOMPARE(dialog.profile(), b);
    emit recent->activated(0);
    QCOMPARE(dialog.profile(), a);
}

void tst_Connection::dialogHasNoGapForTcp()
{
    ConnectionDialog dialog;
    auto *kindBox = dialog.findChild<QComboBox *>("comboBoxKind");
    kindBox->setCurrentIndex(kindBox->findData(1));
    dialog.show();
    const int rtu = dialog.sizeHint().height();
    kindBox->setCurrentIndex(kindBox->findData(0));
    // The TCP form has two fields where RTU has five: no room is kept for them.
    QVERIFY2(dialog.sizeHint().height() < rtu, qPrintable(QString::number(rtu)));
    QCOMPARE(dialog.height(), dialog.sizeHint().height());
}

void tst_Connection::statusTexts()
{
    ConnectionStatusWidget status;
    QCOMPARE(status.text(), QString("Not connected"));
    status.setTarget("TCP 10.0.0.5:502, unit 1");
    status.setState(QModbusDevice::ConnectingState);
    QCOMPARE(status.text(), QString("Connecting to TCP 10.0.0.5:502, unit 1…"));
    status.setState(QModbusDevice::UnconnectedState);
    status.setError("Connection refused");
    status.setReconnectScheduled(1500);
    QCOMPARE(status.text(), QString("Cannot connect to TCP 10.0.0.5:502, unit 1: Connection refused, retrying in 2 s"));
    status.setState(QModbusDevice::ConnectedState);
    status.setDeviceVersion("1.00");
    QCOMPARE(status.text(), QString("Connected to TCP 10.0.0.5:502, unit 1, device version 1.00"));
    status.setAnswering(false);
    QCOMPARE(status.text(), QString("Connected to TCP 10.0.0.5:502, unit 1, not answering"));
    QCOMPARE(status.ledColor(), int(QLed::Orange));
    status.setAnswering(true);
    QCOMPARE(status.ledColor(), int(QLed::Green));
    status.setState(QModbusDevice::UnconnectedState);
    status.setError("The remote host closed the connection");
    QVERIFY(status.text().startsWith("Link to TCP 10.0.0.5:502, unit 1 lost: The remote host closed"));
    status.setUserDisconnected();
    QCOMPARE(status.text(), QString("Disconnected from TCP 10.0.0.5:502, unit 1"));

    // Narrower than its line (a small window's status bar): shortened in
    // the middle, so both ends stay readable; the whole line in the tooltip.
    status.setState(QModbusDevice::ConnectedState);
    const QString line = status.text();
    auto *label = status.findChild<QLabel *>("labelConnectionState");
    status.resize(status.minimumSizeHint());
    status.show();
    QVERIFY(QTest::qWaitForWindowExposed(&status));
    QVERIFY(label->text().contains(QChar(0x2026)));
    QVERIFY(label->text().startsWith("Conn"));
    QVERIFY(label->text().endsWith(line.right(4)));
    QCOMPARE(label->toolTip(), line);
    status.resize(status.sizeHint());
    QTRY_COMPARE(label->text(), line);

    // The size asked for follows the line and the font.
    const int connected = status.sizeHint().width();
    status.setUserDisconnected();
    const int disconnected = status.sizeHint().width();
    QCOMPARE(disconnected - connected, label->fontMetrics().horizontalAdvance(status.text())
                                           - label->fontMetrics().horizontalAdvance(line));
    QFont larger = status.font();
    larger.setPixelSize(QFontInfo(larger).pixelSize() * 2);
    status.setFont(larger);
    QVERIFY(status.sizeHint().width() > disconnected);
}

void tst_Connection::usableVersions_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("usable");

    QTest::newRow("plain") << "1.00" << true;
    QTest::newRow("letters") << "2.1b-rc_3" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("path") << "../x" << false;
    QTest::newRow("separator") << "a/b" << false;
    QTest::newRow("dots only") << ".." << false;
    QTest::newRow("space") << "1 0" << false;
    QTest::newRow("too long") << QString(33, 'a') << false;
    QTest::newRow("control") << QString("1\n0") << false;
}

void tst_Connection::usableVersions()
{
    QFETCH(QString, version);
    QFETCH(bool, usable);
    QCOMPARE(WorkspaceController::isUsableVersion(version), usable);
}

void tst_Connection::versionsFromFiles()
{
    QTemporaryDir dir;
    for (const char *name : {"base_v1.10.xml", "base_v1.9.xml", "base_v2.00.xml", "base_v.xml",
                             "base_vbad name.xml", "other.xml", "base_v3.00.txt"}) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QCOMPARE(WorkspaceController::versionsIn(dir.path()), (QStringList{"1.9", "1.10", "2.00"}));
    QCOMPARE(WorkspaceController::versionsIn(dir.filePath("missing")), QStringList());
}

QTEST_MAIN(tst_Connection)
#include "tst_connection.moc"
