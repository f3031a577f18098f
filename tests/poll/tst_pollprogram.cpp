// The korvane-poll program end to end: against the device simulator running
// in this process, and against a pymodbus device whose values are packed
// independently in Python.

#include <devicesim/devicesimulator.h>
#include <pointbook/basetag.h>
#include <pointbook/tag.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QModbusPdu>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

using Pointbook::Tag;

Q_DECLARE_METATYPE(QVector<quint16>)

namespace {

const QString MapVersion = QStringLiteral("2.10");

QString dataFile(const QString &name)
{
    return QStringLiteral(KORVANE_TEST_DATA_DIR "/data/") + name;
}

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs the poller; the event loop keeps turning meanwhile, so the simulator
// of this process answers.
Run poll(const QStringList &arguments, int timeoutMs = 60000)
{
    Run run;
    QProcess process;
    process.setProgram(QStringLiteral(KORVANE_BUILD_DIR "/bin/korvane-poll"));
    process.setArguments(arguments);
    process.start();
    if (!process.waitForStarted(10000))
        return run;
    if (!QTest::qWaitFor([&process]() { return process.state() == QProcess::NotRunning; }, timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        return run;
    }
    if (process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// One CSV line by the usual rules (quoted fields, doubled quotes).
QStringList csvFields(const QString &line)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line.at(i + 1) == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields << field;
            field.clear();
        } else {
            field += c;
        }
    }
    fields << field;
    return fields;
}

QList<QStringList> csvRecords(const QString &text)
{
    QList<QStringList> records;
    const QStringList lines = text.split('\n', Qt::SkipEmptyParts);
    for (int i = 1; i < lines.size(); ++i) // after the header
        records << csvFields(lines.at(i));
    return records;
}

QString words(const QVector<quint16> &values)
{
    QStringList parts;
    for (quint16 w : values)
        parts << QStringLiteral("0x%1").arg(w, 4, 16, QLatin1Char('0'));
    return parts.join(' ');
}

quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

QString readAll(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool writeFile(const QString &fileName, const QByteArray &content)
{
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

class tst_PollProgram : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void help();
    void usageError();
    void badMap_data();
    void badMap();
    void connectionRefused();

    void simulatorValues();
    void selection_data();
    void selection();
    void failures_data();
    void failures();
    void mapDirection_data();
    void mapDirection();
    void intervalPasses_data();
    void intervalPasses();

    void peerValues_data();
    void peerValues();
    void peerJson();
    void peerException();
    void peerUnsafeVersion();

    void writes_data();
    void writes();
    void peerWrites_data();
    void peerWrites();
    void lateAnswers_data();
    void lateAnswers();

private:
    bool startPeer(QProcess *peer, quint16 port, const QString &revision);
    QStringList simulatorArgs() const;

    Devicesim::DeviceSimulator *m_simulator = nullptr;
    QProcess m_peer;
    quint16 m_peerPort = 0;
    QProcess m_writablePeer;
    quint16 m_writablePeerPort = 0;
    QString m_peerSkip;
};

void tst_PollProgram::initTestCase()
{
    QVERIFY2(QFileInfo::exists(KORVANE_BUILD_DIR "/bin/korvane-poll"), "korvane-poll is not built");

    m_simulator = new Devicesim::DeviceSimulator;
    QVERIFY2(m_simulator->loadMap(dataFile("base_v2.10.xml")), qPrintable(m_simulator->errorString()));
    QCOMPARE(m_simulator->version(), MapVersion);
    m_simulator->setUpdateInterval(0); // values stand still between reads
    m_simulator->setStep(5);
    QVERIFY(m_simulator->listen(QStringLiteral("127.0.0.1"), 0));

    m_peerPort = freePort();
    if (!QFileInfo::exists("/usr/bin/python3"))
        m_peerSkip = QStringLiteral("/usr/bin/python3 is missing");
    else if (!startPeer(&m_peer, m_peerPort, MapVersion))
        m_peerSkip = QStringLiteral("the pymodbus device did not start: ")
                     + QString::fromLocal8Bit(m_peer.readAllStandardError());
}

void tst_PollProgram::cleanupTestCase()
{
    if (m_writablePeer.state() != QProcess::NotRunning) {
        m_writablePeer.kill();
        m_writablePeer.waitForFinished(5000);
    }
    if (m_peer.state() != QProcess::NotRunning) {
        m_peer.kill();
        m_peer.waitForFinished(5000);
    }
    delete m_simulator;
    m_simulator = nullptr;
}

bool tst_PollProgram::startPeer(QProcess *peer, quint16 port, const QString &revision)
{
    peer->setProgram(QStringLiteral("/usr/bin/python3"));
    peer->setArguments({dataFile("../pymodbus_device.py"), QString::number(port), revision});
    peer->start();
    if (!peer->waitForStarted(10000))
        return false;
    if (!QTest::qWaitFor([peer]() { return peer->canReadLine() || peer->state() == QProcess::NotRunning; },
                         20000))
        return false;
    return peer->readLine().trimmed() == "listening";
}

QStringList tst_PollProgram::simulatorArgs() const
{
    return {"--tcp", QStringLiteral("127.0.0.1:%1").arg(m_simulator->port()), "--map",
            dataFile("base_v2.10.xml"), "--version", MapVersion, "--timeout", "3000"};
}

void tst_PollProgram::help()
{
    const Run run = poll({"--help"});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.startsWith("Usage: korvane-poll"));
    QVERIFY(run.out.contains("Example against the device simulator"));
    QVERIFY(run.err.isEmpty());
}

void tst_PollProgram::usageError()
{
    const Run run = poll({"--tcp", "127.0.0.1", "--map", "x.xml", "--format", "yaml"});
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.contains("korvane-poll: --format must be table, csv or json"), qPrintable(run.err));
}

void tst_PollProgram::badMap_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: no file at all
    QTest::addColumn<QString>("message");

    QTest::newRow("missing") << QByteArray() << "File does not exist.";
    QTest::newRow("not well-formed") << QByteArray("<base version=\"2.10\"><ir><tag></ir></base>")
                                     << ": line - 1, column - ";
    QTest::newRow("other version") << QByteArray("<base version=\"2.1\"/>")
                                   << "The file is not an MODBUSBASE version 2.10 file.";
    QTest::newRow("other root") << QByteArray("<map version=\"2.10\"/>")
                                << "The file is not an MODBUSBASE version 2.10 file.";
}

void tst_PollProgram::badMap()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);

    QTemporaryDir dir;
    const QString file = dir.filePath("base_v2.10.xml");
    if (!content.isEmpty())
        QVERIFY(writeFile(file, content));
    // Nothing listens on port 1: the map is judged before any connection.
    const Run run = poll({"--tcp", "127.0.0.1:1", "--map", file, "--version", MapVersion});
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY2(run.err.contains(file), qPrintable(run.err));
    QVERIFY2(!run.err.contains("Cannot connect"), qPrintable(run.err));
}

void tst_PollProgram::connectionRefused()
{
    const quint16 port = freePort();
    QVERIFY(port);
    const Run run = poll({"--tcp", QStringLiteral("127.0.0.1:%1").arg(port), "--map",
                          dataFile("base_v2.10.xml"), "--version", MapVersion});
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.contains(QStringLiteral("Cannot connect to 127.0.0.1:%1").arg(port)), qPrintable(run.err));
}

void tst_PollProgram::simulatorValues()
{
    const Run run = poll(simulatorArgs() << "--once" << "--format" << "csv");
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
    QVERIFY(run.out.startsWith("register,id,name,address,type,value,unit,raw\n"));

    const QList<QStringList> records = csvRecords(run.out);
    int total = 0;
    for (int type = Tag::IR; type <= Tag::CO; ++type)
        total += m_simulator->base()->sizeTagHash(Tag::RegisterType(type));
    QCOMPARE(records.size(), total);

    QPair<int, int> previous(0, 0);
    for (const QStringList &r : records) {
        QCOMPARE(r.size(), 8);
        const Tag::RegisterType type = Tag::stringToRegisterType(r.at(0));
        const Tag *tag = m_simulator->base()->tagHash(type).value(r.at(1));
        QVERIFY2(tag, qPrintable(r.join(',')));
        // Ordered by table, then address.
        const QPair<int, int> position(type, tag->startAddress());
        QVERIFY2(!(position < previous), qPrintable(r.join(',')));
        previous = position;

        QCOMPARE(r.at(2), tag->name());
        QCOMPARE(r.at(3).toInt(), int(tag->startAddress()));
        QCOMPARE(r.at(4), Tag::dataTypeToString(tag->dataType()));
        QCOMPARE(r.at(6), tag->unit());
        const QVector<quint16> served = m_simulator->tagWords(type, tag->Id());
        QCOMPARE(r.at(7), words(served));

        const QVariant value = m_simulator->tagValue(type, tag->Id());
        QString expected;
        if (tag->bitfield()) {
            expected = (served.value(0) & tag->mask()) ? "1" : "0";
        } else if (value.type() == QVariant::ByteArray) {
            QStringList bytes;
            for (char b : value.toByteArray())
                bytes << QStringLiteral("%1").arg(quint8(b), 2, 16, QLatin1Char('0'));
            expected = bytes.join(' ');
        } else if (tag->dataType() == Tag::Float && tag->precision() < 0) {
            // Shortest text: it must read back as exactly the served float.
            QCOMPARE(r.at(5).toFloat(), value.value<float>());
            QVERIFY(r.at(5).size() <= 12);
            continue;
        } else if (tag->dataType() == Tag::Float) {
            expected = QString::number(double(value.value<float>()), 'f', tag->precision());
        } else if (tag->dataType() == Tag::Double) {
            expected = QString::number(value.toDouble(), 'f', tag->precision());
        } else if (tag->dataType() == Tag::UInt64 || tag->dataType() == Tag::UInt32) {
            expected = QString::number(value.toULongLong());
        } else {
            expected = QString::number(value.toLongLong());
        }
        QCOMPARE(r.at(5), expected);
    }
}

void tst_PollProgram::selection_data()
{
    QTest::addColumn<QStringList>("tags");
    QTest::addColumn<QStringList>("printed");
    QTest::addColumn<int>("requests");

    QTest::newRow("one tag, one request") << QStringList{"I16AFT"} << QStringList{"I16AFT"} << 1;
    QTest::newRow("printed in table and address order")
        << QStringList{"COOn", "I16AFT", "SetPoint", "F32BE"}
        << QStringList{"F32BE", "I16AFT", "SetPoint", "COOn"} << 4;
    QTest::newRow("bit fields of one register by mask")
        << QStringList{"BITHI", "BITLO"} << QStringList{"BITLO", "BITHI"} << 1;
    QTest::newRow("a tag named twice prints once") << QStringList{"Mode", "Mode"} << QStringList{"Mode"} << 1;
}

void tst_PollProgram::selection()
{
    QFETCH(QStringList, tags);
    QFETCH(QStringList, printed);
    QFETCH(int, requests);

    QStringList args = simulatorArgs() << "--format" << "csv";
    for (const QString &id : tags)
        args << "--tag" << id;
    const quint64 before = m_simulator->requestCount();
    const Run run = poll(args);
    QCOMPARE(run.exitCode, 0);
    QStringList ids;
    for (const QStringList &r : csvRecords(run.out)) {
        ids << r.value(1);
        QVERIFY2(!r.value(5).isEmpty(), qPrintable(r.join(',')));
    }
    QCOMPARE(ids, printed);
    // Only the selected tags were polled.
    QCOMPARE(int(m_simulator->requestCount() - before), requests);

    const Run unknown = poll(args << "--tag" << "NoSuchTag");
    QCOMPARE(unknown.exitCode, 2);
    QVERIFY2(unknown.err.contains("no tag \"NoSuchTag\""), qPrintable(unknown.err));
}

void tst_PollProgram::failures_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<QString>("line");

    enum { Exception, Delay, Drop };
    QTest::newRow("exception answer")
        << int(Exception) << QStringList{"--tag", "SetPoint", "--tag", "Mode", "--tag", "F32BE"}
        << "korvane-poll: hr start 0 count 3: exception 3 (illegal data value)";
    QTest::newRow("timeout")
        << int(Delay) << QStringList{"--tag", "Mode", "--timeout", "300", "--retries", "0"}
        << "korvane-poll: hr start 2 count 1: timeout";
    QTest::newRow("connection lost")
        << int(Drop) << QStringList{"--tag", "Mode"} << "korvane-poll: hr start 2 count 1: connection lost";
}

void tst_PollProgram::failures()
{
    QFETCH(int, fault);
    QFETCH(QStringList, extra);
    QFETCH(QString, line);

    switch (fault) {
    case 0:
        m_simulator->addExceptionRange(QModbusDataUnit::HoldingRegisters, 0, 9,
                                       QModbusPdu::IllegalDataValue);
        break;
    case 1:
        m_simulator->setResponseDelay(1200);
        break;
    default:
        m_simulator->setDropEvery(1);
        break;
    }
    const Run run = poll(simulatorArgs() << "--format" << "csv" << extra);
    m_simulator->clearExceptionRanges();
    m_simulator->setResponseDelay(0);
    m_simulator->setDropEvery(0);

    QVERIFY2(run.exitCode == 1, qPrintable(run.err));
    QVERIFY2(run.err.contains(line), qPrintable(run.err));
    QCOMPARE(run.err.count("korvane-poll: hr start"), 1); // one line per failed request
    for (const QStringList &r : csvRecords(run.out)) {
        // The failed tags print empty; the others keep their values.
        const bool failed = r.value(0) == "hr";
        QCOMPARE(r.value(5).isEmpty(), failed);
        QCOMPARE(r.value(7).isEmpty(), failed);
    }
    QVERIFY(!csvRecords(run.out).isEmpty());
}

void tst_PollProgram::mapDirection_data()
{
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<QString>("firstId");

    QTest::newRow("version from the device") << QStringList() << "F32BE";
    QTest::newRow("version given overrides the device") << QStringList{"--version", "1.00"} << "Decoy";
}

void tst_PollProgram::mapDirection()
{
    QFETCH(QStringList, extra);
    QFETCH(QString, firstId);

    QTemporaryDir dir;
    QVERIFY(QFile::copy(dataFile("base_v2.10.xml"), dir.filePath("base_v2.10.xml")));
    QVERIFY(writeFile(dir.filePath("base_v1.00.xml"),
                      "<base version=\"1.00\"><ir><tag><information id=\"Decoy\" name=\"Decoy\"/>"
                      "<modbussettins datatype=\"uint16\" byteOrderInput=\"10\" byteOrderOutput=\"01\"/>"
                      "</tag></ir></base>"));
    const QStringList args{"--tcp", QStringLiteral("127.0.0.1:%1").arg(m_simulator->port()),
                           "--map-dir", dir.path(), "--format", "csv", "--timeout", "3000"};
    const Run run = poll(args + extra);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(csvRecords(run.out).value(0).value(1), firstId);

    // The device's version names a file the folder does not have.
    QVERIFY(QFile::remove(dir.filePath("base_v2.10.xml")));
    const Run missing = poll(args);
    QCOMPARE(missing.exitCode, 2);
    QVERIFY2(missing.err.contains("base_v2.10.xml") && missing.err.contains("File does not exist."),
             qPrintable(missing.err));
}

void tst_PollProgram::intervalPasses_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("csv") << "csv";
    QTest::newRow("json") << "json";
}

void tst_PollProgram::intervalPasses()
{
    QFETCH(QString, format);

    const quint64 before = m_simulator->requestCount();
    const Run run = poll(simulatorArgs() << "--tag" << "F32BE" << "--tag" << "U64BE" << "--interval"
                                         << "100" << "--count" << "3" << "--format" << format);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(int(m_simulator->requestCount() - before), 6); // two intervals a pass

    const QRegularExpression stamp("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z$");
    QStringList times;
    if (format == "csv") {
        QVERIFY(run.out.startsWith("time,register,id,name,address,type,value,unit,raw\n"));
        const QList<QStringList> records = csvRecords(run.out);
        QCOMPARE(records.size(), 6);
        for (const QStringList &r : records) {
            QVERIFY2(stamp.match(r.value(0)).hasMatch(), qPrintable(r.value(0)));
            times << r.value(0);
        }
    } else {
        const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3); // one array per pass
        for (const QString &line : lines) {
            const QJsonArray pass = QJsonDocument::fromJson(line.toUtf8()).array();
            QCOMPARE(pass.size(), 2);
            QVERIFY(stamp.match(pass.at(0).toObject().value("time").toString()).hasMatch());
            times << pass.at(0).toObject().value("time").toString() << pass.at(1).toObject().value("time").toString();
        }
    }
    // Both records of a pass carry its time; passes follow in time order.
    QCOMPARE(times.at(0), times.at(1));
    QVERIFY(times.at(2) > times.at(0));
    QVERIFY(times.at(4) > times.at(2));
}

void tst_PollProgram::peerValues_data()
{
    QTest::addColumn<QStringList>("source");
    QTest::newRow("map file and version") << QStringList{"--map", dataFile("base_v2.10.xml"), "--version", MapVersion};
    QTest::newRow("map folder, version from the device") << QStringList{"--map-dir", dataFile("")};
}

void tst_PollProgram::peerValues()
{
    if (!m_peerSkip.isEmpty())
        QSKIP(qPrintable(m_peerSkip));
    QFETCH(QStringList, source);

    const Run run = poll(QStringList{"--tcp", QStringLiteral("127.0.0.1:%1").arg(m_peerPort), "--once",
                                     "--format", "csv"} + source);
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
    const QStringList got = run.out.split('\n');
    const QStringList expected = readAll(dataFile("expected_pymodbus.csv")).split('\n');
    QCOMPARE(got.size(), expected.size());
    for (int i = 0; i < got.size(); ++i)
        QCOMPARE(got.at(i), expected.at(i));
}

void tst_PollProgram::peerJson()
{
    if (!m_peerSkip.isEmpty())
        QSKIP(qPrintable(m_peerSkip));
    const Run run = poll({"--tcp", QStringLiteral("127.0.0.1:%1").arg(m_peerPort), "--map-dir",
                          dataFile(""), "--format", "json", "--tag", "U64BE", "--tag", "F32WS",
                          "--tag", "ARR3", "--tag", "COOn"});
    QCOMPARE(run.exitCode, 0);
    // 64-bit integers are written exactly, not through a double.
    QVERIFY2(run.out.contains("\"value\":12345678901234567890,"), qPrintable(run.out));
    const QJsonArray records = QJsonDocument::fromJson(run.out.toUtf8()).array();
    QCOMPARE(records.size(), 4);
    const QJsonObject f = records.at(0).toObject();
    QCOMPARE(f.value("id").toString(), QStringLiteral("F32WS"));
    QCOMPARE(f.value("register").toString(), QStringLiteral("ir"));
    QCOMPARE(f.value("address").toInt(), 2);
    QCOMPARE(f.value("type").toString(), QStringLiteral("float"));
    QVERIFY(f.value("value").isDouble());
    QCOMPARE(f.value("value").toDouble(), -0.75);
    QCOMPARE(f.value("raw").toString(), QStringLiteral("0x0000 0xbf40"));
    QCOMPARE(records.at(2).toObject().value("value").toString(), QStringLiteral("02 01 04 03 06 05"));
    QCOMPARE(records.at(3).toObject().value("register").toString(), QStringLiteral("co"));
    QCOMPARE(records.at(3).toObject().value("value").toInt(), 1);
}

void tst_PollProgram::peerException()
{
    if (!m_peerSkip.isEmpty())
        QSKIP(qPrintable(m_peerSkip));
    const Run run = poll({"--tcp", QStringLiteral("127.0.0.1:%1").arg(m_peerPort), "--map",
                          dataFile("faults.xml"), "--version", MapVersion, "--format", "csv"});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("korvane-poll: hr start 200 count 1: exception 2 (illegal data address)"),
             qPrintable(run.err));
    QCOMPARE(run.out, QStringLiteral("register,id,name,address,type,value,unit,raw\n"
                                     "hr,Mode,Mode,2,uint16,7,,0x0007\n"
                                     "hr,Beyond,Beyond the table,200,uint16,,,\n"));
}

void tst_PollProgram::peerUnsafeVersion()
{
    if (!m_peerSkip.isEmpty())
        QSKIP(qPrintable(m_peerSkip));
    // A device whose version would lead out of the map folder.
    QProcess peer;
    const quint16 port = freePort();
    QVERIFY(startPeer(&peer, port, QStringLiteral("../data/base_v2.10")));
    const Run run = poll({"--tcp", QStringLiteral("127.0.0.1:%1").arg(port), "--map-dir", dataFile("")});
    peer.kill();
    peer.waitForFinished(5000);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains("cannot name a register map file"), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

void tst_PollProgram::writes_data()
{
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("address"); // -1: nothing may reach the device
    QTest::addColumn<QVector<quint16>>("served");

    const auto hr = [](std::initializer_list<quint16> w) { return QVector<quint16>(w); };
    QTest::newRow("float") << QStringList{"WFloat=12.5"} << 0
                           << "WFloat: written 12.5 bar, read back 12.5" << 0 << hr({0x4148, 0x0000});
    QTest::newRow("int32 word-swapped") << QStringList{"WInt32=-123456"} << 0
                                        << "WInt32: written -123456, read back -123456" << 2
                                        << hr({0x1DC0, 0xFFFE});
    QTest::newRow("array") << QStringList{"WArray=1,2,3"} << 0
                           << "WArray: written [1, 2, 3], read back [1, 2, 3]" << 5 << hr({1, 2, 3});
    QTest::newRow("coil by 15") << QStringList{"--write-multiple", "WCoil=on"} << 0
                                << "WCoil: written on, read back on" << -2 << hr({});
    QTest::newRow("exception") << QStringList{"WReject=5"} << 1
                               << "WReject: not written (exception): the device answered with exception 3 (illegal data value)"
                               << -2 << hr({});
    QTest::newRow("mismatch") << QStringList{"WMismatch=5"} << 1
                              << "WMismatch: written 5, read back" << -2 << hr({});
    QTest::newRow("out of range") << QStringList{"WFloat=100.5"} << 2
                                  << "WFloat: refused: 100.5 is outside the tag's limits -100 to 100" << -1 << hr({});
    QTest::newRow("one of two refused") << QStringList{"WFloat=1", "WRead=1"} << 2
                                        << "WRead: refused: The register map makes this tag read-only." << -1 << hr({});
    QTest::newRow("unknown id") << QStringList{"Nope=1"} << 2
                                << "Nope: refused: no tag with this id in the register map" << -1 << hr({});
    QTest::newRow("bad value") << QStringList{"WInt32=1.5"} << 2
                               << "WInt32: refused: 1.5 is not a whole number" << -1 << hr({});

    // Both limits are allowed, one step beyond each is not.
    QTest::newRow("float at its max") << QStringList{"WFloat=100"} << 0
                                      << "WFloat: written 100 bar, read back 100" << 0 << hr({0x42C8, 0x0000});
    QTest::newRow("float at its min") << QStringList{"WFloat=-100"} << 0
                                      << "WFloat: written -100 bar, read back -100" << 0 << hr({0xC2C8, 0x0000});
    QTest::newRow("float a step above its max")
        << QStringList{"WFloat=100.00001"} << 2
        << "WFloat: refused: 100.00001 is outside the tag's limits -100 to 100" << -1 << hr({});
    QTest::newRow("float a step below its min")
        << QStringList{"WFloat=-100.00001"} << 2
        << "WFloat: refused: -100.00001 is outside the tag's limits -100 to 100" << -1 << hr({});
    // Limits at the tag's own type: no float rounds 33554431 up or 1e300 to 0.
    QTest::newRow("uint32 at its max") << QStringList{"WLimited=33554431"} << 0
                                       << "WLimited: written 33554431, read back 33554431" << 20 << hr({0x01FF, 0xFFFF});
    QTest::newRow("uint32 at its min") << QStringList{"WLimited=1"} << 0
                                       << "WLimited: written 1, read back 1" << 20 << hr({0x0000, 0x0001});
    QTest::newRow("uint32 a step above its max")
        << QStringList{"WLimited=33554432"} << 2
        << "WLimited: refused: 33554432 is outside the tag's limits 1 to 33554431" << -1 << hr({});
    QTest::newRow("uint32 a step below its min")
        << QStringList{"WLimited=0"} << 2 << "WLimited: refused: 0 is outside the tag's limits 1 to 33554431" << -1 << hr({});
    QTest::newRow("double at its min") << QStringList{"WWide=-1e300"} << 0
                                       << "WWide: written -1e+300, read back -1e+300" << 22
                                       << hr({0xFE37, 0xE43C, 0x8800, 0x759C});
    QTest::newRow("double at its max") << QStringList{"WWide=1e300"} << 0
                                       << "WWide: written 1e+300, read back 1e+300" << 22
                                       << hr({0x7E37, 0xE43C, 0x8800, 0x759C});
    QTest::newRow("double beyond its min")
        << QStringList{"WWide=-1e301"} << 2
        << "WWide: refused: -1e+301 is outside the tag's limits -1e+300 to 1e+300" << -1 << hr({});
    QTest::newRow("double NaN") << QStringList{"WWide=nan"} << 2
                                << "WWide: refused: NaN is outside the tag's limits" << -1 << hr({});
    QTest::newRow("double infinity") << QStringList{"WWide=inf"} << 2
                                     << "WWide: refused: inf is outside the tag's limits" << -1 << hr({});
    // What the program prints is taken back as the same words.
    QTest::newRow("uint64 2^53 + 1") << QStringList{"WU64=9007199254740993"} << 0
                                     << "WU64: written 9007199254740993, read back 9007199254740993" << 26
                                     << hr({0x0020, 0x0000, 0x0000, 0x0001});
    QTest::newRow("int64 -(2^53 + 1)") << QStringList{"WI64=-9007199254740993"} << 0
                                       << "WI64: written -9007199254740993, read back -9007199254740993" << 30
                                       << hr({0xFFDF, 0xFFFF, 0xFFFF, 0xFFFF});
    QTest::newRow("float max as printed") << QStringList{"WF=3.4028235e+38"} << 0
                                          << "WF: written 3.4028235e+38, read back 3.4028235e+38" << 34
                                          << hr({0x7F7F, 0xFFFF});
    QTest::newRow("float lowest as printed") << QStringList{"WF=-3.4028235e+38"} << 0
                                             << "WF: written -3.4028235e+38, read back -3.4028235e+38" << 34
                                             << hr({0xFF7F, 0xFFFF});
    QTest::newRow("float beyond max") << QStringList{"WF=3.4028236e+38"} << 2
                                      << "WF: refused: 3.4028236e+38 is outside the range of a float" << -1 << hr({});
    QTest::newRow("float denormal") << QStringList{"WF=1e-45"} << 0
                                    << "WF: written 1e-45, read back 1e-45" << 34 << hr({0x0000, 0x0001});
    QTest::newRow("float negative zero") << QStringList{"WF=-0"} << 0
                                         << "WF: written -0, read back -0" << 34 << hr({0x8000, 0x0000});
    // An empty element would shift the later values into other registers.
    QTest::newRow("array with an empty element") << QStringList{"WArray=1,2,,3"} << 2
                                                 << "WArray: refused: element 3 is empty" << -1 << hr({});
    QTest::newRow("array with a trailing comma") << QStringList{"WArray=1,2,3,"} << 2
                                                 << "WArray: refused: element 4 is empty" << -1 << hr({});
}

void tst_PollProgram::writes()
{
    QFETCH(QStringList, writes);
    QFETCH(int, exitCode);
    QFETCH(QString, line);
    QFETCH(int, address);
    QFETCH(QVector<quint16>, served);

    Devicesim::DeviceSimulator device;
    QVERIFY2(device.loadMap(dataFile("base_v3.0.xml")), qPrintable(device.errorString()));
    QString error;
    QVERIFY(device.addWriteExceptionRange("hr:11:3", &error));
    QVERIFY(device.addIgnoredWriteRange("hr:10", &error));
    QVERIFY(device.listen(QStringLiteral("127.0.0.1"), 0));

    QStringList args{"--tcp", QStringLiteral("127.0.0.1:%1").arg(device.port()), "--map",
                     dataFile("base_v3.0.xml"), "--version", "3.0", "--timeout", "3000"};
    for (const QString &w : writes)
        args << (w.startsWith("--") ? QStringList{w} : QStringList{"--write", w});
    const Run run = poll(args);
    QVERIFY2(run.out.contains(line), qPrintable(run.out + run.err));
    QCOMPARE(run.exitCode, exitCode);
    if (address == -1)
        QCOMPARE(device.requestCount(), quint64(0)); // refused before anything was sent
    for (int i = 0; i < served.size(); ++i)
        QCOMPARE(device.served(QModbusDataUnit::HoldingRegisters, address + i), served.at(i));
}

void tst_PollProgram::lateAnswers_data()
{
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("secondSent");

    const QString unknown = QStringLiteral(": outcome unknown: no answer; the device may have taken the value");
    QTest::newRow("the next write waits") << QStringList()
                                          << QStringList{"WFloat" + unknown,
                                                         "WInt32: skipped (stopped after an unknown outcome)"}
                                          << false;
    QTest::newRow("--continue-on-failure") << QStringList{"--continue-on-failure"}
                                           << QStringList{"WFloat" + unknown, "WInt32" + unknown} << true;
}

// The device takes each write but answers after the poller stopped waiting.
void tst_PollProgram::lateAnswers()
{
    QFETCH(QStringList, extra);
    QFETCH(QStringList, lines);
    QFETCH(bool, secondSent);

    Devicesim::DeviceSimulator device;
    QVERIFY2(device.loadMap(dataFile("base_v3.0.xml")), qPrintable(device.errorString()));
    QVERIFY(device.listen(QStringLiteral("127.0.0.1"), 0));
    device.setResponseDelay(900);
    const quint16 before = device.served(QModbusDataUnit::HoldingRegisters, 2);

    const Run run = poll(QStringList{"--tcp", QStringLiteral("127.0.0.1:%1").arg(device.port()), "--map",
                                     dataFile("base_v3.0.xml"), "--version", "3.0", "--timeout", "200",
                                     "--retries", "0", "--write", "WFloat=12.5", "--write", "WInt32=-123456"}
                         << extra);
    QVERIFY2(run.exitCode == 1, qPrintable(run.out + run.err));
    for (const QString &line : lines)
        QVERIFY2(run.out.contains(line + '\n'), qPrintable(run.out + run.err));
    QTRY_COMPARE_WITH_TIMEOUT(device.served(QModbusDataUnit::HoldingRegisters, 0), quint16(0x4148), 10000);
    if (secondSent)
        QTRY_COMPARE_WITH_TIMEOUT(device.served(QModbusDataUnit::HoldingRegisters, 2), quint16(0x1DC0), 10000);
    else
        QCOMPARE(device.served(QModbusDataUnit::HoldingRegisters, 2), before);
}

void tst_PollProgram::peerWrites_data()
{
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("dump"); // the peer's registers 0-11 and coils 0-3 afterwards

    // The peer's own registers, packed here by hand: 12.5 as big-endian
    // float, -123456 word-swapped, bit 2 set beside the peer's own bits 0
    // and 15 of register 4, an array, a coil.
    QTest::newRow("all at once")
        << QStringList{"WFloat=12.5", "WInt32=-123456", "WBit2=on", "WArray=7,8,9", "WCoil=on"} << 0
        << "16712 0 7616 65534 32773 7 8 9 0 0 0 0 1 0 0 0";
    QTest::newRow("bit field of several bits") << QStringList{"WBits=0x50"} << 0
                                               << "16712 0 7616 65534 32853 7 8 9 0 0 0 0 1 0 0 0";
    QTest::newRow("outside the peer's table") << QStringList{"WOutside=1"} << 1
                                               << "16712 0 7616 65534 32853 7 8 9 0 0 0 0 1 0 0 0";
    QTest::newRow("read-only coil") << QStringList{"WCoil=off", "WCoilRO=on"} << 2
                                    << "16712 0 7616 65534 32853 7 8 9 0 0 0 0 1 0 0 0";
}

void tst_PollProgram::peerWrites()
{
    if (!QFileInfo::exists("/usr/bin/python3"))
        QSKIP("/usr/bin/python3 is missing");
    QFETCH(QStringList, writes);
    QFETCH(int, exitCode);
    QFETCH(QString, dump);

    // One peer for all rows: each row builds on the ones before.
    if (m_writablePeer.state() == QProcess::NotRunning) {
        m_writablePeerPort = freePort();
        m_writablePeer.setProgram(QStringLiteral("/usr/bin/python3"));
        m_writablePeer.setArguments({dataFile("../pymodbus_writable.py"),
                                     QString::number(m_writablePeerPort), "3.0"});
        m_writablePeer.start();
        QVERIFY(m_writablePeer.waitForStarted(10000));
        QVERIFY(QTest::qWaitFor([this] { return m_writablePeer.canReadLine()
                                                || m_writablePeer.state() == QProcess::NotRunning; },
                                20000));
        if (m_writablePeer.readLine().trimmed() != "listening")
            QSKIP(qPrintable("the writable pymodbus device did not start: "
                             + QString::fromLocal8Bit(m_writablePeer.readAllStandardError())));
    }
    QStringList args{"--tcp", QStringLiteral("127.0.0.1:%1").arg(m_writablePeerPort), "--map-dir",
                     dataFile(""), "--timeout", "3000"};
    for (const QString &w : writes)
        args << "--write" << w;
    const Run run = poll(args);
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.out + run.err));

    m_writablePeer.write("dump\n");
    QVERIFY(QTest::qWaitFor([this] { return m_writablePeer.canReadLine(); }, 10000));
    QCOMPARE(QString::fromLatin1(m_writablePeer.readLine().trimmed()), dump);
}

QTEST_GUILESS_MAIN(tst_PollProgram)
#include "tst_pollprogram.moc"
