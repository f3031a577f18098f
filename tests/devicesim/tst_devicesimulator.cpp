// The device simulator: its encoding is the exact inverse of the tag's
// decoding, it serves what it claims over a plain Qt client, answers device
// identification, injects its faults, and the program reports its port.

#include <devicesim/devicesimulator.h>
#include <pointbook/basetag.h>

#include <QModbusDeviceIdentification>
#include <QModbusReply>
#include <QModbusTcpClient>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

#include <limits>
#include <memory>

using namespace Pointbook;
using Devicesim::DeviceSimulator;

Q_DECLARE_METATYPE(QVector<quint16>)

namespace {

const QString AllTypesMap = QStringLiteral(KORVANE_SOURCE_DIR "/tests/tagbase/data/alltypes.xml");

std::unique_ptr<QModbusTcpClient> connectTo(quint16 port)
{
    auto client = std::make_unique<QModbusTcpClient>();
    client->setConnectionParameter(QModbusDevice::NetworkAddressParameter, "127.0.0.1");
    client->setConnectionParameter(QModbusDevice::NetworkPortParameter, port);
    client->setTimeout(2000);
    client->setNumberOfRetries(0);
    client->connectDevice();
    const bool connected =
        QTest::qWaitFor([&] { return client->state() == QModbusDevice::ConnectedState; }, 5000);
    Q_UNUSED(connected) // callers check the state
    return client;
}

// Sends and waits; the reply is owned by the caller.
QModbusReply *await(QModbusReply *reply)
{
    if (reply && !reply->isFinished()) {
        const bool finished = QTest::qWaitFor([reply] { return reply->isFinished(); }, 5000);
        Q_UNUSED(finished) // callers check the reply
    }
    return reply;
}

} // namespace

class tst_DeviceSimulator : public QObject
{
    Q_OBJECT

private slots:
    void encodingInvertsDecoding_data();
    void encodingInvertsDecoding();
    void servesEveryTagWithinItsLimits();
    void valuesMoveOverTime();
    void answersDeviceIdentification();
    void exceptionRange();
    void exceptionRangeText_data();
    void exceptionRangeText();
    void dropsEveryNthRequest();
    void keepsWhatIsWritten_data();
    void keepsWhatIsWritten();
    void writeFaults();
    void badMapsAreReported();
    void programPrintsItsPort();
    void programRejectsBadOptions_data();
    void programRejectsBadOptions();
};

void tst_DeviceSimulator::encodingInvertsDecoding_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("orderIn");
    QTest::addColumn<int>("orderOut");
    QTest::addColumn<int>("count");
    QTest::addColumn<QVariant>("value");

    const QVector<Tag::ByteOrder> orders16{Tag::Order10, Tag::Order01};
    const QVector<Tag::ByteOrder> orders32{Tag::Order0123, Tag::Order1032, Tag::Order3210,
                                           Tag::Order2301};
    const QVector<Tag::ByteOrder> orders64{Tag::Order01234567, Tag::Order10325476,
                                           Tag::Order32107654, Tag::Order23016745,
                                           Tag::Order45670123, Tag::Order54761032,
                                           Tag::Order76543210, Tag::Order67452301};
    auto add = [](Tag::DataType type, Tag::ByteOrder in, Tag::ByteOrder out, int count,
                  const QVariant &value) {
        QTest::addRow("%s %s->%s x%d %s", qPrintable(Tag::dataTypeToString(type)),
                      qPrintable(Tag::byteOrderToString(in)), qPrintable(Tag::byteOrderToString(out)),
                      count, qPrintable(value.toString().left(16)))
            << int(type) << int(in) << int(out) << count << value;
    };
    for (auto in : orders16) {
        add(Tag::UInt16, in, Tag::Order01, 1, QVariant(65534));
        add(Tag::Int16, in, Tag::Order01, 1, QVariant(-2));
        add(Tag::Int16, in, Tag::Order10, 1, QVariant(-32768)); // reversed output
    }
    for (auto in : orders32) {
        add(Tag::UInt32, in, Tag::Order0123, 1, QVariant(uint(287454020)));
        add(Tag::Int32, in, Tag::Order0123, 1, QVariant(std::numeric_limits<int>::min()));
        add(Tag::Float, in, Tag::Order0123, 1, QVariant(12.5f));
        add(Tag::Float, in, Tag::Order3210, 1, QVariant(-0.001f));
    }
    for (auto in : orders64) {
        add(Tag::UInt64, in, Tag::Order01234567, 1, QVariant(qulonglong(0xfedcba9876543210ull)));
        add(Tag::Int64, in, Tag::Order01234567, 1, QVariant(qlonglong(-1234567890123ll)));
        add(Tag::Double, in, Tag::Order01234567, 1, QVariant(-2.5e-300));
    }
    add(Tag::UInt8, Tag::Order0, Tag::Order0, 1, QVariant(200));
    add(Tag::Int8, Tag::Order0, Tag::Order0, 1, QVariant(-100));
    add(Tag::UInt16, Tag::Order10, Tag::Order01, 3, QVariant(QByteArray::fromHex("020104030605")));
    add(Tag::UInt8, Tag::Order0, Tag::Order0, 2, QVariant(QByteArray::fromHex("ab12")));
    add(Tag::UInt32, Tag::Order2301, Tag::Order0123, 2, QVariant(QByteArray::fromHex("0102030405060708")));
}

void tst_DeviceSimulator::encodingInvertsDecoding()
{
    QFETCH(int, type);
    QFETCH(int, orderIn);
    QFETCH(int, orderOut);
    QFETCH(int, count);
    QFETCH(QVariant, value);

    Tag tag(Tag::HR, Tag::DataType(type), Tag::ByteOrder(orderIn), Tag::ByteOrder(orderOut), 0,
            "t", "", "");
    tag.setCount(quint16(count));
    const QVector<quint16> words = tag.encode(value);
    QCOMPARE(words.size(), qMax(1, int(tag.sizeRegisters())));
    tag.setRawData(words);
    QCOMPARE(tag.value(), value);
}

void tst_DeviceSimulator::servesEveryTagWithinItsLimits()
{
    DeviceSimulator simulator;
    QVERIFY2(simulator.loadMap(AllTypesMap), qPrintable(simulator.errorString()));
    QCOMPARE(simulator.version(), QStringLiteral("7.2"));
    QVERIFY(simulator.listen());
    QVERIFY(simulator.port() != 0);
    auto client = connectTo(simulator.port());
    QCOMPARE(client->state(), QModbusDevice::ConnectedState);

    for (auto type : {Tag::IR, Tag::HR}) {
        for (const Tag *tag : simulator.base()->tagHash(type)) {
            const QVariant value = simulator.tagValue(type, tag->Id());
            if (tag->count() == 1 && !tag->bitfield()) {
                const double number = value.toDouble();
                QVERIFY2(number >= double(tag->minValue()) - 1e-6 * std::abs(tag->minValue())
                             && number <= double(tag->maxValue()) * (1 + 1e-6) + 1e-6,
                         qPrintable(tag->Id() + " " + value.toString()));
            }
            const QVector<quint16> words = simulator.tagWords(type, tag->Id());
            if (words.isEmpty())
                continue;
            // A plain Qt client reads the same words from the socket.
            const auto table = type == Tag::IR ? QModbusDataUnit::InputRegisters
                                               : QModbusDataUnit::HoldingRegisters;
            std::unique_ptr<QModbusReply> reply(await(client->sendReadRequest(
                QModbusDataUnit(table, tag->startAddress(), quint16(words.size())), 1)));
            QVERIFY(reply);
            QCOMPARE(reply->error(), QModbusDevice::NoError);
            if (!tag->bitfield())
                QCOMPARE(reply->result().values(), words);
        }
    }
    // Bit fields of one register are served as one word holding each field.
    const quint16 bits = simulator.served(QModbusDataUnit::InputRegisters,
                                          simulator.base()->tagHash(Tag::IR).value("bf_low")->startAddress());
    QCOMPARE(simulator.tagValue(Tag::IR, "bf_low").toInt(), int(bits));
    QCOMPARE(simulator.tagValue(Tag::IR, "bf_high").toInt(), int(bits));
}

void tst_DeviceSimulator::valuesMoveOverTime()
{
    DeviceSimulator simulator;
    QVERIFY(simulator.loadMap(AllTypesMap));
    const QVariant before = simulator.tagValue(Tag::IR, "f_3210");
    simulator.advance();
    simulator.advance();
    QVERIFY(simulator.tagValue(Tag::IR, "f_3210") != before);

    QSignalSpy changed(&simulator, &DeviceSimulator::valuesChanged);
    simulator.setUpdateInterval(20);
    QVERIFY(changed.wait(2000));
    simulator.setUpdateInterval(0); // still
    const quint64 step = simulator.step();
    QTest::qWait(60);
    QCOMPARE(simulator.step(), step);
}

void tst_DeviceSimulator::answersDeviceIdentification()
{
    DeviceSimulator simulator;
    QVERIFY(simulator.loadMap(AllTypesMap));
    QVERIFY(simulator.listen());
    auto client = connectTo(simulator.port());
    std::unique_ptr<QModbusReply> reply(await(client->sendRawRequest(
        QModbusRequest(QModbusPdu::EncapsulatedInterfaceTransport, QByteArray::fromHex("0e0100")),
        1)));
    QVERIFY(reply && reply->isFinished());
    const QModbusDeviceIdentification id =
        QModbusDeviceIdentification::fromByteArray(reply->rawResult().data());
    QVERIFY(id.isValid());
    QCOMPARE(id.value(QModbusDeviceIdentification::MajorMinorRevisionObjectId), QByteArray("7.2"));
    QCOMPARE(id.value(QModbusDeviceIdentification::VendorNameObjectId), QByteArray("Korvane"));
}

void tst_DeviceSimulator::exceptionRange()
{
    DeviceSimulator simulator;
    QVERIFY(simulator.loadMap(AllTypesMap));
    QString error;
    QVERIFY(simulator.addExceptionRange("hr:100-119:2", &error));
    QVERIFY(simulator.listen());
    auto client = connectTo(simulator.port());

    std::unique_ptr<QModbusReply> hit(await(client->sendReadRequest(
        QModbusDataUnit(QModbusDataUnit::HoldingRegisters, 95, 10), 1)));
    QCOMPARE(hit->error(), QModbusDevice::ProtocolError);
    // Read the code from the raw bytes: Qt's inline accessors load the
    // exception function code as an out-of-range enumerator.
    QCOMPARE(hit->rawResult().data().left(1), QByteArray(1, char(QModbusPdu::IllegalDataAddress)));
    std::unique_ptr<QModbusReply> miss(await(client->sendReadRequest(
        QModbusDataUnit(QModbusDataUnit::HoldingRegisters, 120, 10), 1)));
    QCOMPARE(miss->error(), QModbusDevice::NoError);
    std::unique_ptr<QModbusReply> otherTable(await(client->sendReadRequest(
        QModbusDataUnit(QModbusDataUnit::InputRegisters, 100, 1), 1)));
    QCOMPARE(otherTable->error(), QModbusDevice::NoError);
}

void tst_DeviceSimulator::exceptionRangeText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("range") << "ir:0-9:4" << true;
    QTest::newRow("one address") << "co:7:1" << true;
    QTest::newRow("table case") << "HR:1-2:6" << true;
    QTest::newRow("unknown table") << "xx:1-2:2" << false;
    QTest::newRow("reversed") << "hr:5-1:2" << false;
    QTest::newRow("code 0") << "hr:1-2:0" << false;
    QTest::newRow("code 256") << "hr:1-2:256" << false;
    QTest::newRow("past the end") << "hr:1-70000:2" << false;
    QTest::newRow("negative") << "hr:-1-3:2" << false;
    QTest::newRow("no code") << "hr:1-2" << false;
    QTest::newRow("empty") << "" << false;
}

void tst_DeviceSimulator::exceptionRangeText()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    DeviceSimulator simulator;
    QString error;
    QCOMPARE(simulator.addExceptionRange(text, &error), valid);
    QCOMPARE(error.isEmpty(), valid);
}

void tst_DeviceSimulator::keepsWhatIsWritten_data()
{
    QTest::addColumn<int>("table");
    QTest::addColumn<int>("address");
    QTest::addColumn<QVector<quint16>>("values");

    // Function 6, 16, 5 and 15 in turn (Qt picks the single form for one value).
    QTest::newRow("set point, 16") << int(QModbusDataUnit::HoldingRegisters) << 0
                                   << QVector<quint16>{0x4148, 0x0000};
    QTest::newRow("damping, 6") << int(QModbusDataUnit::HoldingRegisters) << 6
                                << QVector<quint16>{7};
    QTest::newRow("pump run, 5") << int(QModbusDataUnit::Coils) << 0 << QVector<quint16>{1};
    QTest::newRow("coils, 15") << int(QModbusDataUnit::Coils) << 0 << QVector<quint16>{0, 1, 1};
}

void tst_DeviceSimulator::keepsWhatIsWritten()
{
    QFETCH(int, table);
    QFETCH(int, address);
    QFETCH(QVector<quint16>, values);

    DeviceSimulator simulator;
    QVERIFY2(simulator.loadMap(KORVANE_SOURCE_DIR "/share/appcore/demo/pointbook/base_v1.00.xml"),
             qPrintable(simulator.errorString()));
    QVERIFY(simulator.listen());
    auto client = connectTo(simulator.port());
    QSignalSpy written(&simulator, &DeviceSimulator::written);
    const auto type = QModbusDataUnit::RegisterType(table);
    std::unique_ptr<QModbusReply> reply(
        await(client->sendWriteRequest(QModbusDataUnit(type, address, values), 1)));
    QCOMPARE(reply->error(), QModbusDevice::NoError);
    QCOMPARE(written.count(), 1);
    // Parameters and commands stay as written while time goes on.
    for (int step = 0; step < 5; ++step) {
        simulator.advance();
        for (int i = 0; i < values.size(); ++i)
            QCOMPARE(simulator.served(type, address + i), values.at(i));
    }
    if (address == 0 && type == QModbusDataUnit::HoldingRegisters)
        QCOMPARE(simulator.tagValue(Tag::HR, "SetPoint"), QVariant(12.5f));
}

void tst_DeviceSimulator::writeFaults()
{
    DeviceSimulator simulator;
    QVERIFY(simulator.loadMap(AllTypesMap));
    QString error;
    QVERIFY(simulator.addWriteExceptionRange("hr:0-1:3", &error));
    QVERIFY(simulator.addIgnoredWriteRange("hr:2", &error));
    QVERIFY(!simulator.addWriteExceptionRange("ir:0-1:3", &error));
    QVERIFY(error.contains("table hr or co"));
    QVERIFY(!simulator.addIgnoredWriteRange("hr:5-2", &error));
    QVERIFY(simulator.listen());
    auto client = connectTo(simulator.port());

    const auto write = [&](int address, quint16 value) {
        std::unique_ptr<QModbusReply> reply(await(client->sendWriteRequest(
            QModbusDataUnit(QModbusDataUnit::HoldingRegisters, address, QVector<quint16>{value}), 1)));
        return reply->error() == QModbusDevice::ProtocolError
                   ? int(quint8(reply->rawResult().data().at(0)))
                   : reply->error() == QModbusDevice::NoError ? 0 : -1;
    };
    const quint16 before0 = simulator.served(QModbusDataUnit::HoldingRegisters, 0);
    QCOMPARE(write(0, quint16(before0 ^ 0xFF)), 3);
    QCOMPARE(simulator.served(QModbusDataUnit::HoldingRegisters, 0), before0);
    QCOMPARE(write(60000, 1), 2); // no tag there
    const quint16 before2 = simulator.served(QModbusDataUnit::HoldingRegisters, 2);
    QCOMPARE(write(2, quint16(before2 ^ 0xFF)), 0); // acknowledged, not kept
    QCOMPARE(simulator.served(QModbusDataUnit::HoldingRegisters, 2), before2);
}

void tst_DeviceSimulator::dropsEveryNthRequest()
{
    DeviceSimulator simulator;
    QVERIFY(simulator.loadMap(AllTypesMap));
    simulator.setDropEvery(2);
    QVERIFY(simulator.listen());
    auto client = connectTo(simulator.port());
    const QModbusDataUnit unit(QModbusDataUnit::InputRegisters, 0, 4);

    std::unique_ptr<QModbusReply> first(await(client->sendReadRequest(unit, 1)));
    QCOMPARE(first->error(), QModbusDevice::NoError);
    std::unique_ptr<QModbusReply> second(await(client->sendReadRequest(unit, 1)));
    QVERIFY(second->error() != QModbusDevice::NoError);
    QTRY_COMPARE(client->state(), QModbusDevice::UnconnectedState);
    QCOMPARE(simulator.requestCount(), quint64(2));

    first.reset(); // replies belong to their client too
    second.reset();
    client = connectTo(simulator.port()); // the device takes the next link
    std::unique_ptr<QModbusReply> third(await(client->sendReadRequest(unit, 1)));
    QCOMPARE(third->error(), QModbusDevice::NoError);
}

void tst_DeviceSimulator::badMapsAreReported()
{
    QTemporaryDir dir;
    DeviceSimulator simulator;
    QVERIFY(!simulator.loadMap(dir.filePath("missing.xml")));
    QVERIFY(!simulator.errorString().isEmpty());

    QFile notMap(dir.filePath("other.xml"));
    QVERIFY(notMap.open(QIODevice::WriteOnly));
    notMap.write("<other version=\"1\"/>");
    notMap.close();
    QVERIFY(!simulator.loadMap(notMap.fileName()));
    QVERIFY(simulator.errorString().contains("base"));

    QVERIFY(!simulator.loadMap(AllTypesMap, "9.9")); // another version wanted
    QVERIFY(simulator.errorString().contains("9.9"));
    QVERIFY(simulator.loadMap(AllTypesMap));
}

void tst_DeviceSimulator::programPrintsItsPort()
{
    QProcess program;
    program.start(KORVANE_BUILD_DIR "/bin/korvane-devicesim",
                  {"--map", AllTypesMap, "--port", "0", "--interval", "0"});
    QVERIFY(program.waitForStarted(5000));
    auto cleanup = qScopeGuard([&program] {
        program.kill();
        program.waitForFinished(5000);
    });
    QTRY_VERIFY_WITH_TIMEOUT(program.canReadLine(), 10000);
    const QString line = QString::fromUtf8(program.readLine()).trimmed();
    const auto match = QRegularExpression("^listening on 127\\.0\\.0\\.1:(\\d+)$").match(line);
    QVERIFY2(match.hasMatch(), qPrintable(line));

    auto client = connectTo(quint16(match.captured(1).toUInt()));
    std::unique_ptr<QModbusReply> reply(await(client->sendReadRequest(
        QModbusDataUnit(QModbusDataUnit::HoldingRegisters, 0, 124), 1)));
    QCOMPARE(reply->error(), QModbusDevice::NoError);

    DeviceSimulator expected; // values at step 0 are the program's
    QVERIFY(expected.loadMap(AllTypesMap));
    QCOMPARE(reply->result().values().mid(0, 122), expected.tagWords(Tag::HR, "block"));
}

void tst_DeviceSimulator::programRejectsBadOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("no map") << QStringList{"--port", "0"} << "--map";
    QTest::newRow("missing map") << QStringList{"--map", "/nonexistent/map.xml"} << "map";
    QTest::newRow("bad port") << QStringList{"--map", AllTypesMap, "--port", "70000"} << "--port";
    QTest::newRow("bad delay") << QStringList{"--map", AllTypesMap, "--delay", "x"} << "--delay";
    QTest::newRow("bad exception") << QStringList{"--map", AllTypesMap, "--exception", "hr:1"}
                                   << "hr:1";
}

void tst_DeviceSimulator::programRejectsBadOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QProcess program;
    program.start(KORVANE_BUILD_DIR "/bin/korvane-devicesim", arguments);
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitCode(), 1);
    const QString error = QString::fromUtf8(program.readAllStandardError());
    QVERIFY2(error.contains(message), qPrintable(error));
    QVERIFY(program.readAllStandardOutput().isEmpty());
}

QTEST_MAIN(tst_DeviceSimulator)
#include "tst_devicesimulator.moc"
