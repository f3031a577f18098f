// The driver against peers living in the test process: Qt's own Modbus TCP
// server for well-behaved answers and a scripted raw TCP peer for the faults
// a real device produces (silence, short answers, dropped links).

#include <fieldlink/imodbustransaction.h>
#include <fieldlink/modbusconnection.h>
#include <fieldlink/qmodbussettings.h>

#include <QElapsedTimer>
#include <QModbusDeviceIdentification>
#include <QModbusTcpServer>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtEndian>
#include <QtTest>

#include <functional>

using namespace Fieldlink::FieldlinkCore;

namespace {

using Tx = IModbusTransaction;
const auto RegistersEnded = qOverload<bool, QVector<quint16>, int>(&Tx::transactionExecutionEnded);
const auto BitsEnded = qOverload<bool, QVector<quint8>, int>(&Tx::transactionExecutionEnded);

quint16 freePort()
{
    // QModbusTcpServer cannot bind port 0 itself; borrow one from the system.
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

// What one transaction reported, captured inside its completion slot.
struct Ending
{
    int emissions = 0;
    int registerEmissions = 0;
    int bitEmissions = 0;
    bool ok = false;
    int id = -1;
    QVector<quint16> words;
    QVector<quint8> bits;
    Tx::Outcome outcome = Tx::Pending;
    int exceptionCode = 0;
    QModbusDeviceIdentification identification;
    QPointer<Tx> object;
};

void watch(Tx *t, Ending *e, QVector<int> *order = nullptr)
{
    e->object = t;
    QObject::connect(t, RegistersEnded, [t, e, order](bool ok, QVector<quint16> v, int id) {
        ++e->emissions;
        ++e->registerEmissions;
        e->ok = ok;
        e->words = v;
        e->id = id;
        e->outcome = t->outcome();
        e->exceptionCode = t->exceptionCode();
        t->setStatus(Tx::Finished);
        if (order)
            order->append(id);
    });
    QObject::connect(t, BitsEnded, [t, e, order](bool ok, QVector<quint8> v, int id) {
        ++e->emissions;
        ++e->bitEmissions;
        e->ok = ok;
        e->bits = v;
        e->id = id;
        e->outcome = t->outcome();
        e->exceptionCode = t->exceptionCode();
        e->identification = t->deviceIdentification();
        t->setStatus(Tx::Finished);
        if (order)
            order->append(id);
    });
}

// A Modbus TCP peer whose every answer is scripted by the test.
class RawPeer : public QObject
{
    Q_OBJECT
public:
    // Raw: `chunks` go out as they are, one write each, 30 ms apart (an
    // empty one closes the link instead).
    enum Action { Answer, Silent, Close, Raw };
    struct Reply
    {
        Action action = Answer;
        QByteArray pdu;
        int delayMs = 0;
    };
    std::function<Reply(const QByteArray &pdu)> script;
    QByteArray header; // of the request being answered
    QList<QByteArray> chunks;
    int received = 0;
    int outstanding = 0;
    int maxOutstanding = 0;

    RawPeer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this]() {
            while (QTcpSocket *s = m_server.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, this, [this, s]() { onData(s); });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    quint16 port() const { return m_server.serverPort(); }

    // Answer PDU for a register or bit read of the given request.
    static QByteArray readAnswer(const QByteArray &request, int dataBytes)
    {
        QByteArray pdu;
        pdu.append(request.at(0));
        pdu.append(char(quint8(dataBytes)));
        for (int i = 0; i < dataBytes; ++i)
            pdu.append(char(i + 1));
        return pdu;
    }
    static int quantity(const QByteArray &request)
    {
        return qFromBigEndian<quint16>(reinterpret_cast<const uchar *>(request.constData() + 3));
    }

private:
    void onData(QTcpSocket *s)
    {
        m_buffers[s] += s->readAll();
        QByteArray &buffer = m_buffers[s];
        while (buffer.size() >= 7) {
            const int length = qFromBigEndian<quint16>(reinterpret_cast<const uchar *>(buffer.constData() + 4));
            if (buffer.size() < 6 + length)
                break;
            header = buffer.left(7);
            const QByteArray pdu = buffer.mid(7, length - 1);
            buffer.remove(0, 6 + length);
            ++received;
            ++outstanding;
            maxOutstanding = std::max(maxOutstanding, outstanding);
            const Reply r = script ? script(pdu) : Reply{Silent, {}, 0};
            if (r.action == Silent)
                continue;
            if (r.action == Close) {
                --outstanding;
                m_buffers.remove(s);
                s->abort();
                return;
            }
            QPointer<QTcpSocket> socket = s;
            if (r.action == Raw) {
                for (int i = 0; i < chunks.size(); ++i) {
                    QTimer::singleShot(30 * i, this, [socket, chunk = chunks.at(i)]() {
                        if (!socket)
                            return;
                        if (chunk.isEmpty()) {
                            socket->abort();
                            return;
                        }
                        socket->write(chunk);
                        socket->flush();
                    });
                }
                continue;
            }
            QTimer::singleShot(r.delayMs, this, [this, socket, header = header, r]() {
                --outstanding;
                if (!socket)
                    return;
                QByteArray frame = header;
                qToBigEndian<quint16>(quint16(r.pdu.size() + 1), reinterpret_cast<uchar *>(frame.data() + 4));
                socket->write(frame + r.pdu);
            });
        }
    }

    QTcpServer m_server;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};

// How the raw peer frames its answers in tcpFraming.
enum Framing {
    Split, LateThenAnswer, AnswerTwice, WrongTransaction, WrongProtocol, WrongUnit,
    LengthTooBig, LengthTooSmall, ClosedMidFrame, WriteEcho, WrongWriteEcho
};

// An MBAP frame answering the request of `header`, header fields changed as asked.
QByteArray mbap(const QByteArray &header, const QByteArray &pdu, int transactionDelta = 0,
                int protocol = 0, int unitDelta = 0, int length = -1)
{
    QByteArray frame = header + pdu;
    uchar *h = reinterpret_cast<uchar *>(frame.data());
    qToBigEndian<quint16>(quint16(qFromBigEndian<quint16>(h) + transactionDelta), h);
    qToBigEndian<quint16>(quint16(protocol), h + 2);
    qToBigEndian<quint16>(quint16(length >= 0 ? length : pdu.size() + 1), h + 4);
    h[6] = uchar(h[6] + unitDelta);
    return frame;
}

} // namespace

class tst_ModbusConnection : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void requestLimits_data();
    void requestLimits();
    void requestPackageLayout();
    void settingsAreClampedAndComparable();

    void readsFromServer_data();
    void readsFromServer();
    void writesReachServer();
    void deviceIdentification();
    void priorityThenArrivalOrder();
    void oneRequestOnTheWire();
    void exceptionIsCountedByCode();
    void timeoutHonoursRetries_data();
    void timeoutHonoursRetries();
    void mismatchedAnswer_data();
    void mismatchedAnswer();
    void linkLostWhileWaiting();
    void linkDownEndsAfterTimeout();
    void linkComingUpServesWaitingRequest();
    void clearTransactionsEndsQueuedOnce();
    void reconnectsAfterServerRestart();
    void invalidParametersAreReported();
    void teardownWithPendingTransactions();
    void tcpFraming_data();
    void tcpFraming();
    void singleWriteFunction_data();
    void singleWriteFunction();

private:
    bool startServer(quint16 port = 0);
    bool connectTo(quint16 port);
    bool waitEnded(const Ending &e, int ms = 10000);

    QModbusTcpServer *m_server = nullptr;
    ModbusConnection *m_connection = nullptr;
    quint16 m_port = 0;
};

void tst_ModbusConnection::init()
{
    m_connection = new ModbusConnection;
    m_connection->setReconnectDelays(50, 400);
}

void tst_ModbusConnection::cleanup()
{
    delete m_connection;
    m_connection = nullptr;
    delete m_server;
    m_server = nullptr;
}

bool tst_ModbusConnection::startServer(quint16 port)
{
    if (!m_server) {
        m_server = new QModbusTcpServer;
        QModbusDataUnitMap map;
        map.insert(QModbusDataUnit::InputRegisters, {QModbusDataUnit::InputRegisters, 0, 200});
        map.insert(QModbusDataUnit::HoldingRegisters, {QModbusDataUnit::HoldingRegisters, 0, 200});
        map.insert(QModbusDataUnit::DiscreteInputs, {QModbusDataUnit::DiscreteInputs, 0, 2000});
        map.insert(QModbusDataUnit::Coils, {QModbusDataUnit::Coils, 0, 2000});
        m_server->setMap(map);
        m_server->setServerAddress(1);
        QModbusDeviceIdentification id;
        id.setConformityLevel(QModbusDeviceIdentification::BasicConformityLevel);
        id.insert(QModbusDeviceIdentification::VendorNameObjectId, "Korvane Works");
        id.insert(QModbusDeviceIdentification::ProductCodeObjectId, "KV-100");
        id.insert(QModbusDeviceIdentification::MajorMinorRevisionObjectId, "2.7");
        m_server->setValue(QModbusServer::DeviceIdentification, QVariant::fromValue(id));
    }
    m_port = port ? port : freePort();
    m_server->setConnectionParameter(QModbusDevice::NetworkAddressParameter, "127.0.0.1");
    m_server->setConnectionParameter(QModbusDevice::NetworkPortParameter, m_port);
    return m_port != 0 && m_server->connectDevice();
}

bool tst_ModbusConnection::connectTo(quint16 port)
{
    m_connection->setConnectionType(ModbusConnection::Tcp);
    m_connection->setHost("127.0.0.1");
    m_connection->setPort(port);
    if (!m_connection->connectDevice())
        return false;
    return QTest::qWaitFor([this]() { return m_connection->isConnected(); }, 5000);
}

bool tst_ModbusConnection::waitEnded(const Ending &e, int ms)
{
    return QTest::qWaitFor([&e]() { return e.emissions > 0; }, ms);
}

void tst_ModbusConnection::requestLimits_data()
{
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("valid");

    QTest::newRow("ir 1") << int(Tx::ReadInputRegisters) << 0 << 1 << true;
    QTest::newRow("ir 125") << int(Tx::ReadInputRegisters) << 0 << 125 << true;
    QTest::newRow("ir 126") << int(Tx::ReadInputRegisters) << 0 << 126 << false;
    QTest::newRow("hr 0") << int(Tx::ReadHoldingRegisters) << 0 << 0 << false;
    QTest::newRow("hr negative count") << int(Tx::ReadHoldingRegisters) << 0 << -3 << false;
    QTest::newRow("hr negative start") << int(Tx::ReadHoldingRegisters) << -1 << 1 << false;
    QTest::newRow("hr last register") << int(Tx::ReadHoldingRegisters) << 65535 << 1 << true;
    QTest::newRow("hr past 65535") << int(Tx::ReadHoldingRegisters) << 65535 << 2 << false;
    QTest::newRow("hr up to 65535") << int(Tx::ReadHoldingRegisters) << 65411 << 125 << true;
    QTest::newRow("hr start 65536") << int(Tx::ReadHoldingRegisters) << 65536 << 1 << false;
    QTest::newRow("co 1016") << int(Tx::ReadCoils) << 0 << 1016 << true;
    QTest::newRow("co 1017") << int(Tx::ReadCoils) << 0 << 1017 << false;
    QTest::newRow("di 2000") << int(Tx::ReadDiscreteInputs) << 0 << 2000 << false;
    QTest::newRow("di past 65535") << int(Tx::ReadDiscreteInputs) << 65530 << 7 << false;
    QTest::newRow("write hr 123") << int(Tx::WriteHoldingRegisters) << 0 << 123 << true;
    QTest::newRow("write hr 124") << int(Tx::WriteHoldingRegisters) << 0 << 124 << false;
    QTest::newRow("write hr none") << int(Tx::WriteHoldingRegisters) << 0 << 0 << false;
    QTest::newRow("write co 1968") << int(Tx::WriteCoils) << 0 << 1968 << true;
    QTest::newRow("write co 1969") << int(Tx::WriteCoils) << 0 << 1969 << false;
}

void tst_ModbusConnection::requestLimits()
{
    QFETCH(int, function);
    QFETCH(int, start);
    QFETCH(int, count);
    QFETCH(bool, valid);

    QModbusSettings settings;
    const auto p = Tx::NormalPriority;
    Tx *t = nullptr;
    switch (Tx::Function(function)) {
    case Tx::ReadInputRegisters: t = m_connection->readInputs(start, count, &settings, p); break;
    case Tx::ReadHoldingRegisters: t = m_connection->readHoldings(start, count, &settings, p); break;
    case Tx::ReadDiscreteInputs: t = m_connection->readDiscretes(start, count, &settings, p); break;
    case Tx::ReadCoils: t = m_connection->readCoils(start, count, &settings, p); break;
    case Tx::WriteHoldingRegisters:
        t = m_connection->writeHoldings(start, QVector<quint16>(std::max(count, 0), 7), &settings, p);
        break;
    case Tx::WriteCoils:
        t = m_connection->writeCoils(start, QVector<quint8>(std::max(count, 0), 1), &settings, p);
        break;
    case Tx::ReadDeviceIdentification: break;
    }
    QCOMPARE(t != nullptr, valid);
    if (t) {
        QCOMPARE(t->status(), Tx::Created);
        QCOMPARE(t->count(), count);
    }
}

void tst_ModbusConnection::requestPackageLayout()
{
    QModbusSettings settings(3, 250, 0);
    Tx *a = m_connection->readHoldings(0x1234, 10, &settings, Tx::Priority(3));
    Tx *b = m_connection->readCoils(0xFFF0, 16, nullptr, Tx::Priority(3));
    Tx *w = m_connection->writeHoldings(0x0102, {0xAABB, 0x0C0D}, &settings, Tx::HighPriority);
    QVERIFY(a && b && w);
    QVERIFY(a->transactionID() != b->transactionID());
    QVERIFY(b->transactionID() != w->transactionID());
    QCOMPARE(a->requestPackage()->functionCode(), QModbusPdu::ReadHoldingRegisters);
    QCOMPARE(a->requestPackage()->data(), QByteArray::fromHex("1234000a"));
    QCOMPARE(b->requestPackage()->data(), QByteArray::fromHex("fff00010"));
    QCOMPARE(w->requestPackage()->data(), QByteArray::fromHex("0102000204aabb0c0d"));
    // The transaction keeps its own copy of the settings.
    settings.setServerAddress(9);
    QCOMPARE(a->settings().serverAddress(), 3);
    QCOMPARE(b->settings(), QModbusSettings());
    QCOMPARE(int(a->priority()), 3);
}

void tst_ModbusConnection::settingsAreClampedAndComparable()
{
    QModbusSettings s(300, 1, -4);
    QCOMPARE(s.serverAddress(), 255);
    QCOMPARE(s.responseTimeout(), int(QModbusSettings::MinResponseTimeout));
    QCOMPARE(s.numberOfRetries(), 0);
    QModbusSettings copy = s;
    QVERIFY(copy == s);
    copy.setResponseTimeout(500);
    QVERIFY(copy != s);
}

void tst_ModbusConnection::readsFromServer_data()
{
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("start");
    QTest::addColumn<QVector<quint16>>("stored");

    QTest::newRow("input registers") << int(Tx::ReadInputRegisters) << 10
                                     << QVector<quint16>{1, 0xFFFF, 0x8000, 42};
    QTest::newRow("holding registers, full 125") << int(Tx::ReadHoldingRegisters) << 0
                                                 << [] { QVector<quint16> v; for (int i = 0; i < 125; ++i) v << quint16(i * 517); return v; }();
    QTest::newRow("discrete inputs") << int(Tx::ReadDiscreteInputs) << 3
                                     << QVector<quint16>{1, 0, 1, 1, 0, 0, 0, 0, 1, 1};
    QTest::newRow("coils, 1016 bits") << int(Tx::ReadCoils) << 5
                                      << [] { QVector<quint16> v; for (int i = 0; i < 1016; ++i) v << quint16(i % 3 == 0); return v; }();
}

void tst_ModbusConnection::readsFromServer()
{
    QFETCH(int, function);
    QFETCH(int, start);
    QFETCH(QVector<quint16>, stored);
    QVERIFY(startServer());
    QVERIFY(connectTo(m_port));

    const auto f = Tx::Function(function);
    const QModbusDataUnit::RegisterType type =
        f == Tx::ReadInputRegisters ? QModbusDataUnit::InputRegisters
        : f == Tx::ReadHoldingRegisters ? QModbusDataUnit::HoldingRegisters
        : f == Tx::ReadDiscreteInputs ? QModbusDataUnit::DiscreteInputs
                                      : QModbusDataUnit::Coils;
    QVERIFY(m_server->setData(QModbusDataUnit(type, start, stored)));

    QModbusSettings settings(1, 2000, 0);
    Tx *t = nullptr;
    if (f == Tx::ReadInputRegisters)
        t = m_connection->readInputs(start, stored.size(), &settings, Tx::Priority(3));
    else if (f == Tx::ReadHoldingRegisters)
        t = m_connection->readHoldings(start, stored.size(), &settings, Tx::Priority(3));
    else if (f == Tx::ReadDiscreteInputs)
        t = m_connection->readDiscretes(start, stored.size(), &settings, Tx::Priority(3));
    else
        t = m_connection->readCoils(start, stored.size(), &settings, Tx::Priority(3));
    QVERIFY(t);
    const int id = t->transactionID();
    Ending e;
    watch(t, &e);
    // The completion comes once, before the signal, with what it carries.
    Ending c;
    t->setCompletion([&c, &e](bool ok, const QVector<quint16> &words, const QVector<quint8> &bits) {
        c.emissions += 1 + 10 * e.emissions;
        c.ok = ok;
        c.words = words;
        c.bits = bits;
    });
    m_connection->addTransactionExec(t);
    QCOMPARE(e.emissions, 0); // never from inside addTransactionExec
    QVERIFY(waitEnded(e));
    QVERIFY(e.ok);
    QCOMPARE(e.id, id);
    QCOMPARE(e.outcome, Tx::Ok);
    QCOMPARE(c.emissions, 1);
    QVERIFY(c.ok);
    QCOMPARE(c.words, e.words);
    QCOMPARE(c.bits, e.bits);
    if (t && (f == Tx::ReadInputRegisters || f == Tx::ReadHoldingRegisters)) {
        QCOMPARE(e.registerEmissions, 1);
        QCOMPARE(e.words, stored);
    } else {
        QCOMPARE(e.bitEmissions, 1);
        QCOMPARE(e.bits.size(), stored.size());
        for (int i = 0; i < stored.size(); ++i)
            QCOMPARE(int(e.bits.at(i)), int(stored.at(i)));
    }
    // Freed after its signal, and never signalled twice.
    QTRY_VERIFY(e.object.isNull());
    QTest::qWait(20);
    QCOMPARE(e.emissions, 1);
    const ModbusStatistics stats = m_connection->statistics();
    QCOMPARE(stats.requests(), quint64(1));
    QCOMPARE(stats.successes(), quint64(1));
    QVERIFY(stats.minResponseTime() >= 0);
    QVERIFY(stats.minResponseTime() <= stats.medianResponseTime());
    QVERIFY(stats.medianResponseTime() <= stats.maxResponseTime());
}

void tst_ModbusConnection::writesReachServer()
{
    QVERIFY(startServer());
    QVERIFY(connectTo(m_port));
    QModbusSettings settings(1, 2000, 0);

    const QVector<quint16> words{0x1234, 0xFFFF, 0};
    Tx *w = m_connection->writeHoldings(50, words, &settings, Tx::HighPriority);
    Ending ew;
    watch(w, &ew);
    m_connection->addTransactionExec(w);
    const QVector<quint8> bits{1, 0, 1, 1, 0, 1, 0, 0, 1};
    Tx *c = m_connection->writeCoils(7, bits, &settings, Tx::HighPriority);
    Ending ec;
    watch(c, &ec);
    m_connection->addTransactionExec(c);
    Tx *single = m_connection->writeHoldings(199, {77}, &settings, Tx::HighPriority);
    Ending es;
    watch(single, &es);
    m_connection->addTransactionExec(single);

    QVERIFY(waitEnded(ew) && waitEnded(ec) && waitEnded(es));
    QVERIFY(ew.ok && ec.ok && es.ok);
    QCOMPARE(ew.words, words);
    QCOMPARE(ec.bits, bits);

    QModbusDataUnit unit(QModbusDataUnit::HoldingRegisters, 50, 3);
    QVERIFY(m_server->data(&unit));
    QCOMPARE(unit.values(), words);
    QModbusDataUnit last(QModbusDataUnit::HoldingRegisters, 199, 1);
    QVERIFY(m_server->data(&last));
    QCOMPARE(last.value(0), quint16(77));
    QModbusDataUnit coils(QModbusDataUnit::Coils, 7, bits.size());
    QVERIFY(m_server->data(&coils));
    for (int i = 0; i < bits.size(); ++i)
        QCOMPARE(int(coils.value(i)), int(bits.at(i)));
}

void tst_ModbusConnection::deviceIdentification()
{
    QVERIFY(startServer());
    QVERIFY(connectTo(m_port));
    QModbusSettings settings(1, 2000, 0);
    Tx *t = m_connection->readDeviceIdentification(&settings, Tx::HighPriority);
    QVERIFY(t);
    QCOMPARE(t->requestPackage()->data(), QByteArray::fromHex("0e0100"));
    Ending e;
    watch(t, &e);
    m_connection->addTransactionExec(t);
    QVERIFY(waitEnded(e));
    QVERIFY(e.ok);
    QCOMPARE(e.bitEmissions, 1);
    QCOMPARE(e.identification.value(QModbusDeviceIdentification::VendorNameObjectId), QByteArray("Korvane Works"));
    QCOMPARE(e.identification.value(QModbusDeviceIdentification::ProductCodeObjectId), QByteArray("KV-100"));
    QCOMPARE(e.identification.value(QModbusDeviceIdentification::MajorMinorRevisionObjectId), QByteArray("2.7"));
    QCOMPARE(m_connection->statistics().successes(), quint64(1));
}

void tst_ModbusConnection::priorityThenArrivalOrder()
{
    QVERIFY(startServer());
    QVERIFY(connectTo(m_port));
    QModbusSettings settings(1, 2000, 0);
    const QVector<Tx::Priority> priorities{Tx::LowPriority, Tx::NormalPriority, Tx::HighPriority,
                                           Tx::NormalPriority, Tx::HighestPriority, Tx::LowPriority};
    QVector<int> ids;
    QVector<int> order;
    QVector<Ending> endings(priorities.size());
    for (int i = 0; i < priorities.size(); ++i) {
        Tx *t = m_connection->readHoldings(i, 1, &settings, priorities.at(i));
        ids << t->transactionID();
        watch(t, &endings[i], &order);
        m_connection->addTransactionExec(t);
    }
    QTRY_COMPARE_WITH_TIMEOUT(order.size(), priorities.size(), 10000);
    const QVector<int> expected{ids[4], ids[2], ids[1], ids[3], ids[0], ids[5]};
    QCOMPARE(order, expected);
}

void tst_ModbusConnection::oneRequestOnTheWire()
{
    RawPeer peer;
    peer.script = [](const QByteArray &pdu) {
        return RawPeer::Reply{RawPeer::Answer, RawPeer::readAnswer(pdu, RawPeer::quantity(pdu) * 2), 15};
    };
    QVERIFY(peer.listen());
    QVERIFY(connectTo(peer.port()));
    QModbusSettings settings(1, 2000, 0);
    QVector<Ending> endings(6);
    for (int i = 0; i < endings.size(); ++i) {
        Tx *t = m_connection->readInputs(i * 10, 4, &settings, Tx::Priority(3));
        watch(t, &endings[i]);
        m_connection->addTransactionExec(t);
    }
    QTRY_VERIFY_WITH_TIMEOUT(std::all_of(endings.cbegin(), endings.cend(), [](const Ending &e) { return e.emissions == 1; }), 10000);
    QCOMPARE(peer.received, 6);
    QCOMPARE(peer.maxOutstanding, 1);
    for (const Ending &e : endings) {
        QVERIFY(e.ok);
        QCOMPARE(e.words, (QVector<quint16>{0x0102, 0x0304, 0x0506, 0x0708}));
    }
}

void tst_ModbusConnection::exceptionIsCountedByCode()
{
    QVERIFY(startServer());
    QVERIFY(connectTo(m_port));
    QModbusSettings settings(1, 2000, 0);
    // The server's holding registers end at 199.
    Tx *t = m_connection->readHoldings(190, 20, &settings, Tx::Priority(3));
    Ending e;
    watch(t, &e);
    m_connection->addTransactionExec(t);
    QVERIFY(waitEnded(e));
    QVERIFY(!e.ok);
    QVERIFY(e.words.isEmpty());
    QCOMPARE(e.outcome, Tx::ExceptionReply);
    QCOMPARE(e.exceptionCode, 2);
    const ModbusStatistics stats = m_connection->statistics();
    QCOMPARE(stats.exceptionsByCode().value(2), quint64(1));
    QCOMPARE(stats.exceptions(), quint64(1));
    QCOMPARE(stats.successes(), quint64(0));

    // The link stays usable after an exception.
    Tx *good = m_connection->readHoldings(0, 5, &settings, Tx::Priority(3));
    Ending eg;
    watch(good, &eg);
    m_connection->addTransactionExec(good);
    QVERIFY(waitEnded(eg));
    QVERIFY(eg.ok);
}

void tst_ModbusConnection::timeoutHonoursRetries_data()
{
    QTest::addColumn<int>("retries");
    QTest::newRow("no retry") << 0;
    QTest::newRow("two retries") << 2;
}

void tst_ModbusConnection::timeoutHonoursRetries()
{
    QFETCH(int, retries);
    RawPeer peer; // never answers
    QVERIFY(peer.listen());
    QVERIFY(connectTo(peer.port()));
    QModbusSettings settings(1, 150, retries);
    Tx *t = m_connection->readHoldings(0, 3, &settings, Tx::Priority(3));
    Ending e;
    watch(t, &e);
    m_connection->addTransactionExec(t);
    QVERIFY(waitEnded(e));
    QVERIFY(!e.ok);
    QCOMPARE(e.outcome, Tx::Timeout);
    QCOMPARE(peer.received, retries + 1);
    QCOMPARE(m_connection->statistics().timeouts(), quint64(1));
    QTRY_VERIFY(e.object.isNull());
}

void tst_ModbusConnection::mismatchedAnswer_data()
{
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("answeredBytes");
    QTest::addColumn<int>("declaredBytes"); // -1: consistent with the answer
    QTest::addColumn<int>("answeredFunction"); // -1: the request's
    QTest::addColumn<int>("outcome");

    const int length = Tx::LengthMismatch;
    QTest::newRow("one register short") << int(Tx::ReadHoldingRegisters) << 10 << 18 << -1 << -1 << length;
    QTest::newRow("one register long") << int(Tx::ReadInputRegisters) << 10 << 22 << -1 << -1 << length;
    QTest::newRow("odd byte count") << int(Tx::ReadHoldingRegisters) << 2 << 3 << -1 << -1 << length;
    QTest::newRow("byte count lies") << int(Tx::ReadHoldingRegisters) << 4 << 8 << 6 << -1 << length;
    QTest::newRow("bits short") << int(Tx::ReadCoils) << 20 << 2 << -1 << -1 << length;
    QTest::newRow("bits long") << int(Tx::ReadDiscreteInputs) << 8 << 2 << -1 << -1 << length;
    // Right length, answer of another function: words of another table.
    QTest::newRow("holding answered as input")
        << int(Tx::ReadHoldingRegisters) << 4 << 8 << -1 << 4 << int(Tx::InvalidResponse);
    QTest::newRow("coils answered as discretes")
        << int(Tx::ReadCoils) << 8 << 1 << -1 << 2 << int(Tx::InvalidResponse);
}

void tst_ModbusConnection::mismatchedAnswer()
{
    QFETCH(int, function);
    QFETCH(int, count);
    QFETCH(int, answeredBytes);
    QFETCH(int, declaredBytes);
    QFETCH(int, answeredFunction);
    QFETCH(int, outcome);
    RawPeer peer;
    peer.script = [=](const QByteArray &pdu) {
        QByteArray answer = RawPeer::readAnswer(pdu, answeredBytes);
        if (declaredBytes >= 0)
            answer[1] = char(declaredBytes);
        if (answeredFunction >= 0)
            answer[0] = char(answeredFunction);
        return RawPeer::Reply{RawPeer::Answer, answer, 0};
    };
    QVERIFY(peer.listen());
    QVERIFY(connectTo(peer.port()));
    QModbusSettings settings(1, 500, 0);
    Tx *t = nullptr;
    switch (Tx::Function(function)) {
    case Tx::ReadInputRegisters: t = m_connection->readInputs(0, count, &settings, Tx::Priority(3)); break;
    case Tx::ReadHoldingRegisters: t = m_connection->readHoldings(0, count, &settings, Tx::Priority(3)); break;
    case Tx::ReadDiscreteInputs: t = m_connection->readDiscretes(0, count, &settings, Tx::Priority(3)); break;
    default: t = m_connection->readCoils(0, count, &settings, Tx::Priority(3)); break;
    }
    Ending e;
    watch(t, &e);
    m_connection->addTransactionExec(t);
    QVERIFY(waitEnded(e));
    QVERIFY(!e.ok);
    QVERIFY(e.words.isEmpty() && e.bits.isEmpty());
    QCOMPARE(int(e.outcome), outcome);
    const ModbusStatistics stats = m_connection->statistics();
    QCOMPARE(stats.successes(), quint64(0));
    QCOMPARE(stats.failures(), quint64(1));
}

void tst_ModbusConnection::linkLostWhileWaiting()
{
    RawPeer peer;
    peer.script = [](const QByteArray &) { return RawPeer::Reply{RawPeer::Close, {}, 0}; };
    QVERIFY(peer.listen());
    m_connection->setAutoReconnect(false);
    QVERIFY(connectTo(peer.port()));
    QSignalSpy lost(m_connection, &ModbusConnection::disconnected);
    QModbusSettings settings(1, 3000, 0);
    Tx *t = m_connection->readHoldings(0, 3, &settings, Tx::Priority(3));
    Ending e;
    watch(t, &e);
    m_connection->addTransactionExec(t);
    QVERIFY(waitEnded(e, 8000));
    QVERIFY(!e.ok);
    QCOMPARE(e.outcome, Tx::ConnectionLost);
    QCOMPARE(m_connection->statistics().connectionLosses(), quint64(1));
    QTRY_COMPARE(lost.count(), 1);
    QVERIFY(!m_connection->isConnected());
}

void tst_ModbusConnection::linkDownEndsAfterTimeout()
{
    // Never connected: each request waits its timeout, then fails, so a
    // polling loop is paced instead of spinning.
    QModbusSettings settings(1, 300, 0);
    QVector<Ending> endings(2);
    QElapsedTimer clock;
    clock.start();
    for (Ending &e : endings) {
        Tx *t = m_connection->readHoldings(0, 3, &settings, Tx::Priority(3));
        watch(t, &e);
        m_connection->addTransactionExec(t);
    }
    QTest::qWait(100);
    QCOMPARE(endings[0].emissions, 0);
    QVERIFY(waitEnded(endings[1], 5000));
    QVERIFY(clock.elapsed() >= 250);
    for (const Ending &e : endings) {
        QCOMPARE(e.emissions, 1);
        QVERIFY(!e.ok);
        QCOMPARE(e.outcome, Tx::LinkDown);
    }
    QCOMPARE(m_connection->statistics().linkDownFailures(), quint64(2));
    QCOMPARE(m_connection->statistics().requests(), quint64(0));
}

void tst_ModbusConnection::linkComingUpServesWaitingRequest()
{
    QModbusSettings settings(1, 5000, 0);
    Tx *t = m_connection->readHoldings(0, 2, &settings, Tx::Priority(3));
    Ending e;
    watch(t, &e);
    m_connection->addTransactionExec(t);
    QTest::qWait(100);
    QVERIFY(startServer());
    QVERIFY(m_server->setData(QModbusDataUnit(QModbusDataUnit::HoldingRegisters, 0, {5, 6})));
    QVERIFY(connectTo(m_port));
    QVERIFY(waitEnded(e));
    QVERIFY(e.ok);
    QCOMPARE(e.words, (QVector<quint16>{5, 6}));
}

void tst_ModbusConnection::clearTransactionsEndsQueuedOnce()
{
    RawPeer peer; // silent: the first request stays on the wire
    QVERIFY(peer.listen());
    QVERIFY(connectTo(peer.port()));
    QModbusSettings settings(1, 400, 0);
    Ending first;
    Tx *t0 = m_connection->readHoldings(0, 1, &settings, Tx::Priority(3));
    watch(t0, &first);
    m_connection->addTransactionExec(t0);
    QTRY_COMPARE(peer.received, 1);

    QVector<Ending> queued(3);
    for (Ending &e : queued) {
        Tx *t = m_connection->readHoldings(10, 1, &settings, Tx::Priority(3));
        watch(t, &e);
        m_connection->addTransactionExec(t);
    }
    Ending neverHanded;
    watch(m_connection->readCoils(0, 8, &settings, Tx::Priority(3)), &neverHanded);
    QCOMPARE(m_connection->queuedCount(), 3);

    m_connection->clearTransactions();
    QCOMPARE(m_connection->queuedCount(), 0);
    // Nobody is left waiting: each handed-over request ends once, as dropped,
    // from the event loop; one never handed over just goes.
    for (const Ending &e : queued)
        QCOMPARE(e.emissions, 0);
    QTRY_VERIFY(std::all_of(queued.cbegin(), queued.cend(), [](const Ending &e) { return e.object.isNull(); }));
    QTRY_VERIFY(neverHanded.object.isNull());

    // The request on the wire still ends (here by timeout); nothing else runs.
    QVERIFY(waitEnded(first));
    QCOMPARE(first.outcome, Tx::Timeout);
    QTest::qWait(200);
    QCOMPARE(peer.received, 1);
    for (const Ending &e : queued) {
        QCOMPARE(e.emissions, 1);
        QVERIFY(!e.ok);
        QCOMPARE(e.outcome, Tx::Dropped);
    }
    QCOMPARE(neverHanded.emissions, 0);
}

void tst_ModbusConnection::reconnectsAfterServerRestart()
{
    QVERIFY(startServer());
    QVERIFY(m_server->setData(QModbusDataUnit(QModbusDataUnit::InputRegisters, 4, QVector<quint16>{99})));
    QVERIFY(connectTo(m_port));
    QSignalSpy states(m_connection, &ModbusConnection::stateChanged);
    QSignalSpy scheduled(m_connection, &ModbusConnection::reconnectScheduled);

    m_server->disconnectDevice();
    QTRY_VERIFY_WITH_TIMEOUT(!m_connection->isConnected(), 5000);

    // Requests during the outage fail after their timeout, not at once.
    QModbusSettings settings(1, 200, 0);
    Tx *t = m_connection->readInputs(4, 1, &settings, Tx::Priority(3));
    Ending down;
    watch(t, &down);
    m_connection->addTransactionExec(t);
    QVERIFY(waitEnded(down));
    QVERIFY(!down.ok);

    QTRY_VERIFY(scheduled.count() >= 2); // keeps trying, with growing delays
    QVERIFY(scheduled.at(1).at(0).toInt() > scheduled.at(0).at(0).toInt());
    QVERIFY(m_server->connectDevice());
    QTRY_VERIFY_WITH_TIMEOUT(m_connection->isConnected(), 5000);
    QCOMPARE(m_connection->statistics().reconnects(), quint64(1));

    settings.setResponseTimeout(2000);
    Tx *again = m_connection->readInputs(4, 1, &settings, Tx::Priority(3));
    Ending up;
    watch(again, &up);
    m_connection->addTransactionExec(again);
    QVERIFY(waitEnded(up));
    QVERIFY(up.ok);
    QCOMPARE(up.words, QVector<quint16>{99});
    QVERIFY(states.count() >= 2);
}

void tst_ModbusConnection::invalidParametersAreReported()
{
    QSignalSpy errors(m_connection, &ModbusConnection::errorOccurred);
    m_connection->setHost("");
    QVERIFY(!m_connection->connectDevice());
    QCOMPARE(errors.count(), 1);
    QVERIFY(!m_connection->errorString().isEmpty());

    m_connection->setHost("127.0.0.1");
    m_connection->setPort(70000);
    QVERIFY(!m_connection->connectDevice());

    m_connection->setConnectionType(ModbusConnection::Rtu);
    m_connection->setSerialPortName("");
    QVERIFY(!m_connection->connectDevice());
    QCOMPARE(errors.count(), 3);
    QCOMPARE(m_connection->state(), QModbusDevice::UnconnectedState);

    // An adapter not plugged in yet: said plainly, and tried again later.
    QSignalSpy scheduled(m_connection, &ModbusConnection::reconnectScheduled);
    m_connection->setSerialPortName("/dev/ttyKorvaneAbsent0");
    QVERIFY(!m_connection->connectDevice());
    QCOMPARE(errors.count(), 4);
    QVERIFY2(m_connection->errorString().contains("/dev/ttyKorvaneAbsent0 does not exist"),
             qPrintable(m_connection->errorString()));
    QCOMPARE(scheduled.count(), 1);
    m_connection->disconnectDevice();
}

void tst_ModbusConnection::teardownWithPendingTransactions()
{
    RawPeer peer;
    QVERIFY(peer.listen());
    QVERIFY(connectTo(peer.port()));
    QModbusSettings settings(1, 2000, 0);
    QVector<Ending> endings(3);
    for (Ending &e : endings) {
        Tx *t = m_connection->readHoldings(0, 1, &settings, Tx::Priority(3));
        watch(t, &e);
        m_connection->addTransactionExec(t);
    }
    m_connection->readInputs(0, 1, &settings, Tx::Priority(3));
    QTRY_COMPARE(peer.received, 1);
    delete m_connection;
    m_connection = nullptr;
    for (const Ending &e : endings) {
        QVERIFY(e.object.isNull());
        QCOMPARE(e.emissions, 0);
    }
}

void tst_ModbusConnection::tcpFraming_data()
{
    QTest::addColumn<int>("framing");
    QTest::addColumn<int>("outcome");
    QTest::newRow("split over three segments") << int(Split) << int(Tx::Ok);
    QTest::newRow("late answer and answer in one read") << int(LateThenAnswer) << int(Tx::Ok);
    QTest::newRow("answer sent twice") << int(AnswerTwice) << int(Tx::Ok);
    QTest::newRow("wrong transaction id") << int(WrongTransaction) << int(Tx::Timeout);
    QTest::newRow("wrong protocol id") << int(WrongProtocol) << int(Tx::Timeout);
    QTest::newRow("wrong unit id") << int(WrongUnit) << int(Tx::Timeout);
    QTest::newRow("length field too big") << int(LengthTooBig) << int(Tx::InvalidResponse);
    QTest::newRow("length field too small") << int(LengthTooSmall) << int(Tx::InvalidResponse);
    QTest::newRow("closed mid-frame") << int(ClosedMidFrame) << int(Tx::ConnectionLost);
    QTest::newRow("write echoed") << int(WriteEcho) << int(Tx::Ok);
    QTest::newRow("write echoed wrongly") << int(WrongWriteEcho) << int(Tx::InvalidResponse);
}

void tst_ModbusConnection::tcpFraming()
{
    QFETCH(int, framing);
    QFETCH(int, outcome);
    RawPeer peer;
    peer.script = [&peer, framing](const QByteArray &pdu) {
        // Reads get two registers; a single write is echoed.
        QByteArray answer = pdu.at(0) == 3 ? RawPeer::readAnswer(pdu, 4) : pdu;
        if (framing == WrongWriteEcho)
            answer[4] = char(answer.at(4) ^ 1);
        const QByteArray good = mbap(peer.header, answer);
        QList<QByteArray> &chunks = peer.chunks;
        chunks = {good};
        switch (Framing(framing)) {
        case Split: chunks = {good.left(1), good.mid(1, 7), good.mid(8)}; break;
        case LateThenAnswer: chunks = {mbap(peer.header, answer, -1) + good}; break;
        case AnswerTwice: chunks = {good + good}; break;
        case WrongTransaction: chunks = {mbap(peer.header, answer, 1)}; break;
        case WrongProtocol: chunks = {mbap(peer.header, answer, 0, 1)}; break;
        case WrongUnit: chunks = {mbap(peer.header, answer, 0, 0, 1)}; break;
        case LengthTooBig: chunks = {mbap(peer.header, answer, 0, 0, 0, 300)}; break;
        case LengthTooSmall: chunks = {mbap(peer.header, answer, 0, 0, 0, 1)}; break;
        case ClosedMidFrame: chunks = {good.left(9), QByteArray()}; break;
        case WriteEcho:
        case WrongWriteEcho: break;
        }
        return RawPeer::Reply{RawPeer::Raw, {}, 0};
    };
    QVERIFY(peer.listen());
    QVERIFY(connectTo(peer.port()));
    const bool write = framing == WriteEcho || framing == WrongWriteEcho;
    QModbusSettings settings(1, 300, 0);
    // Twice: the second request shows that the byte stream is still in step
    // (or, after a reset or a close, that the link came back).
    for (int round = 0; round < 2; ++round) {
        QTRY_VERIFY_WITH_TIMEOUT(m_connection->isConnected(), 5000);
        Tx *t = write ? m_connection->writeHoldings(5, {0x1234}, &settings, Tx::Priority(3))
                      : m_connection->readHoldings(0, 2, &settings, Tx::Priority(3));
        Ending e;
        watch(t, &e);
        m_connection->addTransactionExec(t);
        QVERIFY(waitEnded(e));
        QCOMPARE(int(e.outcome), outcome);
        if (outcome == Tx::Ok)
            QCOMPARE(e.words, write ? QVector<quint16>{0x1234} : QVector<quint16>({0x0102, 0x0304}));
    }
    QCOMPARE(peer.received, 2);
}

void tst_ModbusConnection::singleWriteFunction_data()
{
    QTest::addColumn<bool>("coil");
    QTest::addColumn<bool>("writeMultiple");
    QTest::addColumn<QByteArray>("expected"); // the request PDU on the wire
    QTest::newRow("register") << false << false << QByteArray::fromHex("0600071234");
    QTest::newRow("register, write-multiple") << false << true << QByteArray::fromHex("10000700010212 34");
    QTest::newRow("coil") << true << false << QByteArray::fromHex("050007ff00");
    QTest::newRow("coil, write-multiple") << true << true << QByteArray::fromHex("0f0007000101 01");
}

void tst_ModbusConnection::singleWriteFunction()
{
    QFETCH(bool, coil);
    QFETCH(bool, writeMultiple);
    QFETCH(QByteArray, expected);
    RawPeer peer;
    QByteArray seen;
    peer.script = [&seen](const QByteArray &pdu) {
        seen = pdu;
        // Function, address and value (5, 6) or quantity (15, 16).
        return RawPeer::Reply{RawPeer::Answer, pdu.left(5), 0};
    };
    QVERIFY(peer.listen());
    QVERIFY(connectTo(peer.port()));
    m_connection->setAlwaysWriteMultiple(writeMultiple);
    QModbusSettings settings(1, 2000, 0);
    Tx *t = coil ? m_connection->writeCoils(7, {1}, &settings, Tx::Priority(4))
                 : m_connection->writeHoldings(7, {0x1234}, &settings, Tx::Priority(4));
    Ending e;
    watch(t, &e);
    m_connection->addTransactionExec(t);
    QVERIFY(waitEnded(e));
    QCOMPARE(seen.toHex(), expected.toHex());
    QVERIFY(e.ok);
}

QTEST_GUILESS_MAIN(tst_ModbusConnection)

#include "tst_modbusconnection.moc"
