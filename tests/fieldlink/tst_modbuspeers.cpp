// The driver against independent peers: Debian's pymodbus server (values
// packed on the Python side with struct) over TCP, and Qt's RTU slave over a
// pseudo-terminal pair made by socat.

#include <fieldlink/imodbustransaction.h>
#include <fieldlink/modbusconnection.h>
#include <fieldlink/qmodbussettings.h>

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QModbusDeviceIdentification>
#include <QModbusRtuSerialSlave>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cstring>

using namespace Fieldlink::FieldlinkCore;

namespace {

using Tx = IModbusTransaction;

struct Ending
{
    int emissions = 0;
    bool ok = false;
    QVector<quint16> words;
    QVector<quint8> bits;
    Tx::Outcome outcome = Tx::Pending;
    int exceptionCode = 0;
    QModbusDeviceIdentification identification;
};

// Hands the transaction over and waits for its single completion.
Ending execute(ModbusConnection *c, Tx *t, int waitMs = 10000)
{
    Ending e;
    if (!t)
        return e;
    QObject::connect(t, qOverload<bool, QVector<quint16>, int>(&Tx::transactionExecutionEnded),
                     [&e, t](bool ok, QVector<quint16> v, int) {
                         ++e.emissions;
                         e.ok = ok;
                         e.words = v;
                         e.outcome = t->outcome();
                         e.exceptionCode = t->exceptionCode();
                     });
    QObject::connect(t, qOverload<bool, QVector<quint8>, int>(&Tx::transactionExecutionEnded),
                     [&e, t](bool ok, QVector<quint8> v, int) {
                         ++e.emissions;
                         e.ok = ok;
                         e.bits = v;
                         e.outcome = t->outcome();
                         e.exceptionCode = t->exceptionCode();
                         e.identification = t->deviceIdentification();
                     });
    c->addTransactionExec(t);
    if (!QTest::qWaitFor([&e]() { return e.emissions > 0; }, waitMs))
        qWarning("the transaction did not end within %d ms", waitMs);
    QTest::qWait(1); // lets the connection release the transaction
    return e;
}

quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// A pseudo-terminal pair whose ends are reached through fixed links, so
// that a line started again is found under the same names.
bool startLine(QProcess *socat, const QString &deviceEnd, const QString &toolEnd)
{
    const QString program = QStandardPaths::findExecutable("socat");
    if (program.isEmpty())
        return false;
    socat->setProcessChannelMode(QProcess::SeparateChannels);
    socat->start(program, {"-d", "-d", "pty,raw,echo=0,link=" + deviceEnd, "pty,raw,echo=0,link=" + toolEnd});
    if (!socat->waitForStarted(5000))
        return false;
    QByteArray log;
    return QTest::qWaitFor([&]() {
        log += socat->readAllStandardError();
        return log.contains("starting data transfer loop") || socat->state() == QProcess::NotRunning;
    }, 10000) && socat->state() == QProcess::Running;
}

QModbusRtuSerialSlave *serialDevice(const QString &port)
{
    auto *device = new QModbusRtuSerialSlave;
    QModbusDataUnitMap map;
    map.insert(QModbusDataUnit::HoldingRegisters, {QModbusDataUnit::HoldingRegisters, 0, 10});
    device->setMap(map);
    device->setServerAddress(5);
    device->setConnectionParameter(QModbusDevice::SerialPortNameParameter, port);
    device->setConnectionParameter(QModbusDevice::SerialBaudRateParameter, 19200);
    device->setConnectionParameter(QModbusDevice::SerialParityParameter, QSerialPort::EvenParity);
    if (!device->connectDevice()) {
        delete device;
        return nullptr;
    }
    return device;
}

QStringList s_linkWarnings;
QtMessageHandler s_previousHandler = nullptr;

void keepLinkWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && context.category && qstrcmp(context.category, "fieldlink.connection") == 0)
        s_linkWarnings.append(message);
    s_previousHandler(type, context, message);
}

QVector<quint16> toWords(const QJsonValue &value)
{
    QVector<quint16> words;
    for (const QJsonValue &v : value.toArray())
        words.append(quint16(v.toInt()));
    return words;
}

} // namespace

class tst_ModbusPeers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void peerRegisters_data();
    void peerRegisters();
    void peerBits_data();
    void peerBits();
    void peerValuesDecode();
    void peerException();
    void peerLateAnswerIsNotMistaken();
    void peerDeviceIdentification();
    void peerRestartIsRecovered();

    void rtuReadsAndWrites();
    void rtuFaults();
    void rtuDeviceIdentification();
    void rtuLostPortReconnects();

private:
    bool startPeer();
    bool startRtu();
    QModbusSettings peerSettings(int timeout = 3000) const { return QModbusSettings(1, timeout, 0); }

    QProcess m_peer;
    quint16 m_peerPort = 0;
    QJsonObject m_served;
    ModbusConnection *m_tcp = nullptr;
    QString m_peerSkip;

    QProcess m_socat;
    QString m_ptyA, m_ptyB;
    QModbusRtuSerialSlave *m_slave = nullptr;
    ModbusConnection *m_rtu = nullptr;
    QString m_rtuSkip;
};

bool tst_ModbusPeers::startPeer()
{
    m_peer.setProgram("/usr/bin/python3");
    m_peer.setArguments({QStringLiteral(KORVANE_TEST_DATA_DIR "/pymodbus_peer.py"),
                         QString::number(m_peerPort)});
    m_peer.setProcessChannelMode(QProcess::SeparateChannels);
    m_peer.start();
    if (!m_peer.waitForStarted(5000))
        return false;
    if (!QTest::qWaitFor([this]() { return m_peer.canReadLine() || m_peer.state() == QProcess::NotRunning; }, 15000))
        return false;
    const QByteArray line = m_peer.readLine();
    const QJsonDocument doc = QJsonDocument::fromJson(line);
    if (!doc.isObject()) {
        qWarning() << "peer said:" << line << m_peer.readAllStandardError();
        return false;
    }
    m_served = doc.object();
    return true;
}

bool tst_ModbusPeers::startRtu()
{
    const QString socat = QStandardPaths::findExecutable("socat");
    if (socat.isEmpty())
        return false;
    m_socat.start(socat, {"-d", "-d", "pty,raw,echo=0", "pty,raw,echo=0"});
    if (!m_socat.waitForStarted(5000))
        return false;
    QString log;
    const QRegularExpression ptyLine("PTY is (\\S+)");
    QStringList ptys;
    const bool ready = QTest::qWaitFor([&]() {
        log += QString::fromLocal8Bit(m_socat.readAllStandardError());
        ptys.clear();
        auto it = ptyLine.globalMatch(log);
        while (it.hasNext())
            ptys << it.next().captured(1);
        return ptys.size() >= 2 && log.contains("starting data transfer loop");
    }, 10000);
    if (!ready || ptys.size() < 2)
        return false;
    m_ptyA = ptys.at(0);
    m_ptyB = ptys.at(1);

    m_slave = new QModbusRtuSerialSlave;
    QModbusDataUnitMap map;
    map.insert(QModbusDataUnit::HoldingRegisters, {QModbusDataUnit::HoldingRegisters, 0, 100});
    map.insert(QModbusDataUnit::Coils, {QModbusDataUnit::Coils, 0, 64});
    m_slave->setMap(map);
    m_slave->setServerAddress(5);
    QModbusDeviceIdentification id;
    id.setConformityLevel(QModbusDeviceIdentification::BasicConformityLevel);
    id.insert(QModbusDeviceIdentification::VendorNameObjectId, "Korvane Serial");
    id.insert(QModbusDeviceIdentification::ProductCodeObjectId, "KS-485");
    id.insert(QModbusDeviceIdentification::MajorMinorRevisionObjectId, "1.4");
    m_slave->setValue(QModbusServer::DeviceIdentification, QVariant::fromValue(id));
    m_slave->setConnectionParameter(QModbusDevice::SerialPortNameParameter, m_ptyA);
    m_slave->setConnectionParameter(QModbusDevice::SerialBaudRateParameter, 19200);
    m_slave->setConnectionParameter(QModbusDevice::SerialParityParameter, QSerialPort::EvenParity);
    m_slave->setConnectionParameter(QModbusDevice::SerialDataBitsParameter, QSerialPort::Data8);
    m_slave->setConnectionParameter(QModbusDevice::SerialStopBitsParameter, QSerialPort::OneStop);
    if (!m_slave->connectDevice())
        return false;

    m_rtu = new ModbusConnection;
    m_rtu->setConnectionType(ModbusConnection::Rtu);
    m_rtu->setSerialPortName(m_ptyB);
    m_rtu->setBaudRate(19200);
    m_rtu->setParity(QSerialPort::EvenParity);
    m_rtu->setDataBits(QSerialPort::Data8);
    m_rtu->setStopBits(QSerialPort::OneStop);
    if (!m_rtu->connectDevice())
        return false;
    return QTest::qWaitFor([this]() { return m_rtu->isConnected(); }, 5000);
}

void tst_ModbusPeers::initTestCase()
{
    if (!QFileInfo::exists("/usr/bin/python3")) {
        m_peerSkip = "no /usr/bin/python3";
    } else {
        m_peerPort = freePort();
        if (!m_peerPort || !startPeer()) {
            m_peerSkip = "the pymodbus peer did not start (python3-pymodbus installed?)";
        } else {
            m_tcp = new ModbusConnection;
            m_tcp->setReconnectDelays(100, 400);
            m_tcp->setHost("127.0.0.1");
            m_tcp->setPort(m_peerPort);
            QVERIFY(m_tcp->connectDevice());
            QTRY_VERIFY_WITH_TIMEOUT(m_tcp->isConnected(), 5000);
        }
    }
    if (!startRtu())
        m_rtuSkip = "no pseudo-terminal pair from socat";
}

void tst_ModbusPeers::cleanupTestCase()
{
    delete m_tcp;
    delete m_rtu;
    if (m_slave)
        m_slave->disconnectDevice();
    delete m_slave;
    for (QProcess *p : {&m_peer, &m_socat}) {
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished(5000);
        }
    }
}

void tst_ModbusPeers::peerRegisters_data()
{
    QTest::addColumn<bool>("input");
    QTest::addColumn<int>("start");
    QTest::addColumn<QVector<quint16>>("expected");
    for (const char *table : {"ir", "hr"}) {
        const QJsonObject blocks = m_served.value(table).toObject();
        for (auto it = blocks.begin(); it != blocks.end(); ++it)
            QTest::addRow("%s %s", table, qPrintable(it.key()))
                << (QByteArray(table) == "ir") << it.key().toInt() << toWords(it.value());
    }
}

void tst_ModbusPeers::peerRegisters()
{
    if (!m_peerSkip.isEmpty())
        QFAIL(qPrintable(m_peerSkip));
    QFETCH(bool, input);
    QFETCH(int, start);
    QFETCH(QVector<quint16>, expected);
    QModbusSettings s = peerSettings();
    Tx *t = input ? m_tcp->readInputs(start, expected.size(), &s, Tx::Priority(3))
                  : m_tcp->readHoldings(start, expected.size(), &s, Tx::Priority(3));
    const Ending e = execute(m_tcp, t);
    QCOMPARE(e.emissions, 1);
    QVERIFY(e.ok);
    QCOMPARE(e.words, expected);
}

void tst_ModbusPeers::peerBits_data()
{
    QTest::addColumn<bool>("coils");
    QTest::addColumn<QVector<quint16>>("expected");
    QTest::newRow("coils") << true << toWords(m_served.value("co"));
    QTest::newRow("discrete inputs") << false << toWords(m_served.value("di"));
}

void tst_ModbusPeers::peerBits()
{
    if (!m_peerSkip.isEmpty())
        QFAIL(qPrintable(m_peerSkip));
    QFETCH(bool, coils);
    QFETCH(QVector<quint16>, expected);
    QModbusSettings s = peerSettings();
    Tx *t = coils ? m_tcp->readCoils(0, expected.size(), &s, Tx::Priority(3))
                  : m_tcp->readDiscretes(0, expected.size(), &s, Tx::Priority(3));
    const Ending e = execute(m_tcp, t);
    QVERIFY(e.ok);
    QCOMPARE(e.bits.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(int(e.bits.at(i)), int(expected.at(i)));
}

void tst_ModbusPeers::peerValuesDecode()
{
    if (!m_peerSkip.isEmpty())
        QFAIL(qPrintable(m_peerSkip));
    // Decoded here without the peer's help: big-endian words as sent.
    QModbusSettings s = peerSettings();
    const Ending e = execute(m_tcp, m_tcp->readInputs(0, 13, &s, Tx::Priority(3)));
    QVERIFY(e.ok);
    QCOMPARE(e.words.size(), 13);
    QByteArray bytes;
    for (quint16 w : e.words) {
        bytes.append(char(w >> 8));
        bytes.append(char(w & 0xff));
    }
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const quint32 floatBits = qFromBigEndian<quint32>(p);
    float f;
    std::memcpy(&f, &floatBits, sizeof f);
    QCOMPARE(f, 3.14159f);
    QCOMPARE(qFromBigEndian<qint32>(p + 4), -123456);
    QCOMPARE(qFromBigEndian<quint16>(p + 8), quint16(65535));
    const quint64 doubleBits = qFromBigEndian<quint64>(p + 10);
    double d;
    std::memcpy(&d, &doubleBits, sizeof d);
    QCOMPARE(d, -2.5e10);
    QCOMPARE(bytes.mid(18, 8), QByteArray("KORVANE1"));
}

void tst_ModbusPeers::peerException()
{
    if (!m_peerSkip.isEmpty())
        QFAIL(qPrintable(m_peerSkip));
    const int size = m_served.value("size").toInt();
    QModbusSettings s = peerSettings();
    const quint64 before = m_tcp->statistics().exceptionsByCode().value(2);
    const Ending e = execute(m_tcp, m_tcp->readHoldings(size - 5, 10, &s, Tx::Priority(3)));
    QCOMPARE(e.emissions, 1);
    QVERIFY(!e.ok);
    QCOMPARE(e.outcome, Tx::ExceptionReply);
    QCOMPARE(e.exceptionCode, 2);
    QCOMPARE(m_tcp->statistics().exceptionsByCode().value(2), before + 1);
}

void tst_ModbusPeers::peerLateAnswerIsNotMistaken()
{
    if (!m_peerSkip.isEmpty())
        QFAIL(qPrintable(m_peerSkip));
    // The peer holds this answer for 1.5 s; ours gives up after 300 ms. The
    // late answer must not be taken for the next request's.
    QModbusSettings quick = peerSettings(300);
    const quint64 timeouts = m_tcp->statistics().timeouts();
    const Ending slow = execute(m_tcp, m_tcp->readHoldings(m_served.value("slow").toInt(), 1, &quick, Tx::Priority(3)));
    QVERIFY(!slow.ok);
    QCOMPARE(slow.outcome, Tx::Timeout);
    QCOMPARE(m_tcp->statistics().timeouts(), timeouts + 1);

    QModbusSettings patient = peerSettings(5000);
    const Ending next = execute(m_tcp, m_tcp->readHoldings(100, 3, &patient, Tx::Priority(3)));
    QVERIFY(next.ok);
    const QJsonObject hr = m_served.value("hr").toObject();
    QCOMPARE(next.words, toWords(hr.value("100")) + toWords(hr.value("101")));
}

void tst_ModbusPeers::peerDeviceIdentification()
{
    if (!m_peerSkip.isEmpty())
        QFAIL(qPrintable(m_peerSkip));
    QModbusSettings s = peerSettings();
    const Ending e = execute(m_tcp, m_tcp->readDeviceIdentification(&s, Tx::HighPriority));
    QVERIFY(e.ok);
    QCOMPARE(e.identification.value(QModbusDeviceIdentification::VendorNameObjectId), QByteArray("Korvane Peer"));
    QCOMPARE(e.identification.value(QModbusDeviceIdentification::ProductCodeObjectId), QByteArray("KP-30"));
    QCOMPARE(e.identification.value(QModbusDeviceIdentification::MajorMinorRevisionObjectId), QByteArray("3.0"));
}

void tst_ModbusPeers::peerRestartIsRecovered()
{
    if (!m_peerSkip.isEmpty())
        QFAIL(qPrintable(m_peerSkip));
    QSignalSpy lost(m_tcp, &ModbusConnection::disconnected);
    m_peer.kill();
    QVERIFY(m_peer.waitForFinished(5000));
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 5000);

    QModbusSettings s = peerSettings(200);
    const Ending down = execute(m_tcp, m_tcp->readHoldings(100, 1, &s, Tx::Priority(3)));
    QCOMPARE(down.emissions, 1);
    QVERIFY(!down.ok);

    QVERIFY(startPeer());
    QTRY_VERIFY_WITH_TIMEOUT(m_tcp->isConnected(), 10000);
    s.setResponseTimeout(3000);
    const Ending up = execute(m_tcp, m_tcp->readHoldings(100, 1, &s, Tx::Priority(3)));
    QVERIFY(up.ok);
    QCOMPARE(up.words, toWords(m_served.value("hr").toObject().value("100")));
}

void tst_ModbusPeers::rtuReadsAndWrites()
{
    if (!m_rtuSkip.isEmpty())
        QFAIL(qPrintable(m_rtuSkip));
    QModbusSettings s(5, 1000, 1);
    const QVector<quint16> words{0xBEEF, 1, 0x8000, 65535};
    const Ending w = execute(m_rtu, m_rtu->writeHoldings(20, words, &s, Tx::HighPriority));
    QVERIFY(w.ok);
    const Ending r = execute(m_rtu, m_rtu->readHoldings(20, 4, &s, Tx::Priority(3)));
    QVERIFY(r.ok);
    QCOMPARE(r.words, words);

    const QVector<quint8> bits{1, 1, 0, 1, 0, 0, 1, 0, 1, 1};
    QVERIFY(execute(m_rtu, m_rtu->writeCoils(3, bits, &s, Tx::HighPriority)).ok);
    const Ending c = execute(m_rtu, m_rtu->readCoils(3, bits.size(), &s, Tx::Priority(3)));
    QVERIFY(c.ok);
    QCOMPARE(c.bits, bits);
}

void tst_ModbusPeers::rtuFaults()
{
    if (!m_rtuSkip.isEmpty())
        QFAIL(qPrintable(m_rtuSkip));
    QModbusSettings s(5, 500, 0);
    const Ending ex = execute(m_rtu, m_rtu->readHoldings(95, 10, &s, Tx::Priority(3)));
    QVERIFY(!ex.ok);
    QCOMPARE(ex.outcome, Tx::ExceptionReply);
    QCOMPARE(ex.exceptionCode, 2);

    // Nobody answers to unit 9 on this line.
    QModbusSettings other(9, 200, 0);
    const Ending silent = execute(m_rtu, m_rtu->readHoldings(0, 1, &other, Tx::Priority(3)));
    QVERIFY(!silent.ok);
    QCOMPARE(silent.outcome, Tx::Timeout);

    QVERIFY(execute(m_rtu, m_rtu->readHoldings(0, 1, &s, Tx::Priority(3))).ok);
}

void tst_ModbusPeers::rtuDeviceIdentification()
{
    if (!m_rtuSkip.isEmpty())
        QFAIL(qPrintable(m_rtuSkip));
    QModbusSettings s(5, 1000, 0);
    const Ending e = execute(m_rtu, m_rtu->readDeviceIdentification(&s, Tx::HighPriority));
    QVERIFY(e.ok);
    QCOMPARE(e.identification.value(QModbusDeviceIdentification::VendorNameObjectId), QByteArray("Korvane Serial"));
    QCOMPARE(e.identification.value(QModbusDeviceIdentification::MajorMinorRevisionObjectId), QByteArray("1.4"));
}

// The line goes away under a connected master (socat ended, as an adapter
// pulled out): the link is lost once, said once, tried again with the
// growing delays of every lost link, and back when the line is.
void tst_ModbusPeers::rtuLostPortReconnects()
{
    QTemporaryDir dir;
    const QString deviceEnd = dir.filePath("device");
    const QString toolEnd = dir.filePath("tool");
    QProcess socat;
    if (!startLine(&socat, deviceEnd, toolEnd))
        QFAIL("no pseudo-terminal pair from socat");
    QScopedPointer<QModbusRtuSerialSlave> device(serialDevice(deviceEnd));
    QVERIFY(device);
    device->setData(QModbusDataUnit::HoldingRegisters, 3, 0x1234);

    ModbusConnection master;
    master.setConnectionType(ModbusConnection::Rtu);
    master.setSerialPortName(toolEnd);
    master.setReconnectDelays(100, 400);
    QVERIFY(master.connectDevice());
    QTRY_VERIFY_WITH_TIMEOUT(master.isConnected(), 5000);
    QModbusSettings s(5, 1000, 0);
    QVERIFY(execute(&master, master.readHoldings(3, 1, &s, Tx::Priority(3))).ok);

    QSignalSpy lost(&master, &ModbusConnection::disconnected);
    QSignalSpy scheduled(&master, &ModbusConnection::reconnectScheduled);
    s_linkWarnings.clear();
    s_previousHandler = qInstallMessageHandler(keepLinkWarnings);
    socat.terminate();
    QVERIFY(socat.waitForFinished(5000));
    device.reset();
    QTRY_COMPARE_WITH_TIMEOUT(master.state(), QModbusDevice::UnconnectedState, 5000);
    // Several attempts while the line is away, each said no more than once.
    QTRY_VERIFY_WITH_TIMEOUT(scheduled.count() >= 4, 10000);
    qInstallMessageHandler(s_previousHandler);
    QCOMPARE(lost.count(), 1);
    QVERIFY2(s_linkWarnings.size() <= 2 && s_linkWarnings.value(0).contains("was lost"),
             qPrintable(s_linkWarnings.join('\n')));
    QVector<int> delays;
    for (const QList<QVariant> &call : qAsConst(scheduled))
        delays.append(call.at(0).toInt());
    QCOMPARE(delays.mid(0, 4), (QVector<int>{100, 200, 400, 400}));

    QVERIFY(startLine(&socat, deviceEnd, toolEnd));
    device.reset(serialDevice(deviceEnd));
    QVERIFY(device);
    device->setData(QModbusDataUnit::HoldingRegisters, 3, 0x4321);
    QTRY_VERIFY_WITH_TIMEOUT(master.isConnected(), 10000);
    const Ending back = execute(&master, master.readHoldings(3, 1, &s, Tx::Priority(3)));
    QVERIFY(back.ok);
    QCOMPARE(back.words, QVector<quint16>{0x4321});
    master.disconnectDevice();
    device->disconnectDevice();
    socat.terminate();
    socat.waitForFinished(5000);
}

QTEST_GUILESS_MAIN(tst_ModbusPeers)

#include "tst_modbuspeers.moc"
