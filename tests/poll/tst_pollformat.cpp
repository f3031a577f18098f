// The poller's command line and its record formatting, without a device.

#include <poll/pollformatter.h>
#include <poll/polloptions.h>

#include <pointbook/tag.h>

#include <QtTest>

using namespace Poll;
using Pointbook::Tag;

Q_DECLARE_METATYPE(Poll::PollRecord::ValueKind)

class tst_PollFormat : public QObject
{
    Q_OBJECT

private slots:
    void parseConnection_data();
    void parseConnection();
    void parseErrors_data();
    void parseErrors();
    void parseModes();

    void csvField_data();
    void csvField();
    void jsonString_data();
    void jsonString();
    void formatValue_data();
    void formatValue();
    void csvOutput();
    void jsonOutput();
    void tableOutput();
};

namespace {

QStringList argv(const QString &line)
{
    return QStringList{QStringLiteral("korvane-poll")} + line.split(' ', Qt::SkipEmptyParts);
}

} // namespace

void tst_PollFormat::parseConnection_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("link");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");

    const QString map = QStringLiteral(" --map m.xml");
    QTest::newRow("host only: port 502") << "--tcp plc.local" + map << int(PollOptions::Tcp) << "plc.local" << 502;
    QTest::newRow("host and port") << "--tcp 10.0.0.7:1502" + map << int(PollOptions::Tcp) << "10.0.0.7" << 1502;
    QTest::newRow("bracketed IPv6 with port") << "--tcp [::1]:5020" + map << int(PollOptions::Tcp) << "::1" << 5020;
    QTest::newRow("bare IPv6") << "--tcp fe80::1" + map << int(PollOptions::Tcp) << "fe80::1" << 502;
    QTest::newRow("serial line") << "--rtu /dev/ttyUSB0" + map << int(PollOptions::Rtu) << "" << 502;
}

void tst_PollFormat::parseConnection()
{
    QFETCH(QString, line);
    QFETCH(int, link);
    QFETCH(QString, host);
    QFETCH(int, port);

    PollOptions options;
    QCOMPARE(options.parse(argv(line)), PollOptions::Ok);
    QCOMPARE(int(options.link), link);
    QCOMPARE(options.host, host);
    QCOMPARE(options.port, port);
}

void tst_PollFormat::parseErrors_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("message");

    QTest::newRow("no connection") << "--map m.xml" << "exactly one connection";
    QTest::newRow("two connections") << "--tcp a --rtu b --map m.xml" << "exactly one connection";
    QTest::newRow("no map") << "--tcp a" << "exactly one register map";
    QTest::newRow("two maps") << "--tcp a --map m.xml --map-dir d" << "exactly one register map";
    QTest::newRow("port 0") << "--tcp a:0 --map m.xml" << "port must be";
    QTest::newRow("port too large") << "--tcp a:65536 --map m.xml" << "port must be";
    QTest::newRow("empty port") << "--tcp a: --map m.xml" << "port must be";
    QTest::newRow("unclosed bracket") << "--tcp [::1:502 --map m.xml" << "Missing ']'";
    QTest::newRow("serial option on TCP") << "--tcp a --baud 9600 --map m.xml" << "--baud applies to --rtu";
    QTest::newRow("parity mark") << "--rtu d --parity mark --map m.xml" << "--parity must be";
    QTest::newRow("nine data bits") << "--rtu d --data-bits 9 --map m.xml" << "--data-bits needs";
    QTest::newRow("unit 256") << "--tcp a --unit 256 --map m.xml" << "--unit needs";
    QTest::newRow("timeout below driver limit") << "--tcp a --timeout 5 --map m.xml" << "--timeout needs";
    QTest::newRow("retries 11") << "--tcp a --retries 11 --map m.xml" << "--retries needs";
    QTest::newRow("not a number") << "--tcp a --unit one --map m.xml" << "--unit needs";
    QTest::newRow("once and interval") << "--tcp a --map m.xml --once --interval 10" << "exclude each other";
    QTest::newRow("count without interval") << "--tcp a --map m.xml --count 3" << "--count needs --interval";
    QTest::newRow("count 0") << "--tcp a --map m.xml --interval 10 --count 0" << "--count needs";
    QTest::newRow("unknown format") << "--tcp a --map m.xml --format xml" << "--format must be";
    QTest::newRow("empty value") << "--tcp a --map= --map-dir d" << "exactly one register map";
    QTest::newRow("empty map") << "--tcp a --map=" << "--map needs a value";
    QTest::newRow("stray argument") << "--tcp a --map m.xml extra" << "Unexpected argument";
    QTest::newRow("unknown option") << "--tcp a --map m.xml --verbose" << "verbose";
}

void tst_PollFormat::parseErrors()
{
    QFETCH(QString, line);
    QFETCH(QString, message);

    PollOptions options;
    QCOMPARE(options.parse(argv(line)), PollOptions::Error);
    QVERIFY2(options.errorText().contains(message), qPrintable(options.errorText()));
}

void tst_PollFormat::parseModes()
{
    PollOptions options;
    QCOMPARE(options.parse(argv("--rtu /dev/ttyS1 --baud 9600 --parity none --data-bits 7 "
                                "--stop-bits 2 --unit 17 --timeout 250 --retries 0 --map-dir maps "
                                "--version 1.4 --tag A --tag B --tag A --all --interval 500 "
                                "--count 4 --format JSON")),
             PollOptions::Ok);
    QCOMPARE(options.serialDevice, QStringLiteral("/dev/ttyS1"));
    QCOMPARE(options.baudRate, 9600);
    QCOMPARE(options.parity, QSerialPort::NoParity);
    QCOMPARE(options.dataBits, QSerialPort::Data7);
    QCOMPARE(options.stopBits, QSerialPort::TwoStop);
    QCOMPARE(options.unit, 17);
    QCOMPARE(options.timeoutMs, 250);
    QCOMPARE(options.retries, 0);
    QCOMPARE(options.mapDir, QStringLiteral("maps"));
    QCOMPARE(options.version, QStringLiteral("1.4"));
    QCOMPARE(options.tags, QStringList({"A", "B"}));
    QVERIFY(options.all);
    QCOMPARE(options.intervalMs, 500);
    QCOMPARE(options.count, 4);
    QCOMPARE(options.format, PollOptions::Json);
    QVERIFY(options.formatGiven);

    // The last of repeated values counts.
    QCOMPARE(options.parse(argv("--tcp a --map m.xml --unit 2 --unit 3 --map n.xml")), PollOptions::Ok);
    QCOMPARE(options.unit, 3);
    QCOMPARE(options.mapFile, QStringLiteral("n.xml"));

    // A second parse starts from the defaults again.
    QCOMPARE(options.parse(argv("--tcp a --map m.xml")), PollOptions::Ok);
    QVERIFY(options.tags.isEmpty());
    QCOMPARE(options.intervalMs, 0);
    QCOMPARE(options.unit, 1);
    QVERIFY(!options.formatGiven);

    QCOMPARE(options.parse(argv("--help")), PollOptions::HelpRequested);
    const QString help = PollOptions::helpText();
    QVERIFY(help.startsWith("Usage: korvane-poll"));
    QVERIFY(help.contains("korvane-devicesim --map"));
    for (const char *option : {"--tcp", "--rtu", "--baud", "--parity", "--data-bits", "--stop-bits",
                               "--unit", "--timeout", "--retries", "--map ", "--map-dir",
                               "--version", "--tag", "--all", "--once", "--interval", "--count",
                               "--format"})
        QVERIFY2(help.contains(option), option);
}

void tst_PollFormat::csvField_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << "Pressure" << "Pressure";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("comma") << "Set point, main" << "\"Set point, main\"";
    QTest::newRow("quote") << "12\" pipe" << "\"12\"\" pipe\"";
    QTest::newRow("line break") << "two\nlines" << "\"two\nlines\"";
    QTest::newRow("carriage return") << "a\rb" << "\"a\rb\"";
    QTest::newRow("blanks and unicode kept") << " m³/h " << " m³/h ";
}

void tst_PollFormat::csvField()
{
    QFETCH(QString, field);
    QFETCH(QString, expected);
    QCOMPARE(PollFormatter::csvField(field), expected);
}

void tst_PollFormat::jsonString_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << "bar" << "\"bar\"";
    QTest::newRow("quote and backslash") << "a\"b\\c" << "\"a\\\"b\\\\c\"";
    QTest::newRow("line break and tab") << "a\nb\tc" << "\"a\\nb\\tc\"";
    QTest::newRow("control character") << QString(QChar(1)) << "\"\\u0001\"";
    QTest::newRow("unicode kept") << "°C" << "\"°C\"";
}

void tst_PollFormat::jsonString()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(PollFormatter::jsonString(text), expected);
    // Whatever the text, the result is a valid JSON string.
    const QJsonDocument doc = QJsonDocument::fromJson("[" + expected.toUtf8() + "]");
    QVERIFY(doc.isArray());
    QCOMPARE(doc.array().at(0).toString(), text);
}

void tst_PollFormat::formatValue_data()
{
    QTest::addColumn<Tag::DataType>("type");
    QTest::addColumn<Tag::ByteOrder>("orderIn");
    QTest::addColumn<Tag::ByteOrder>("orderOut");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("precision");
    QTest::addColumn<quint64>("mask"); // bit field when not 0
    QTest::addColumn<QVector<quint16>>("words");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<PollRecord::ValueKind>("kind");

    const auto F = Tag::Float;
    const auto o3210 = Tag::Order3210;
    const auto o0123 = Tag::Order0123;
    const auto o10 = Tag::Order10;
    const auto o01 = Tag::Order01;
    const auto o8in = Tag::Order76543210;
    const auto o8out = Tag::Order01234567;
    const auto N = PollRecord::Number;
    const auto T = PollRecord::Text;

    QTest::newRow("float, two decimals") << F << o3210 << o0123 << 1 << 2 << quint64(0)
                                         << QVector<quint16>{0x4148, 0x0000} << "12.50" << N;
    QTest::newRow("float, no decimals rounds") << F << o3210 << o0123 << 1 << 0 << quint64(0)
                                               << QVector<quint16>{0x4149, 0x999a} << "13" << N;
    QTest::newRow("float, shortest without precision")
        << F << o3210 << o0123 << 1 << -1 << quint64(0) << QVector<quint16>{0x3dcc, 0xcccd} << "0.1" << N;
    QTest::newRow("float nan") << F << o3210 << o0123 << 1 << 2 << quint64(0)
                               << QVector<quint16>{0x7fc0, 0x0000} << "nan" << T;
    QTest::newRow("float -inf") << F << o3210 << o0123 << 1 << 2 << quint64(0)
                                << QVector<quint16>{0xff80, 0x0000} << "-inf" << T;
    QTest::newRow("double, absurd precision is bounded")
        << Tag::Double << o8in << o8out << 1 << 100000 << quint64(0)
        << QVector<quint16>{0x3ff8, 0, 0, 0} << "1." + QString(40, '0').replace(0, 1, "5") << N;
    QTest::newRow("uint64 maximum") << Tag::UInt64 << o8in << o8out << 1 << 3 << quint64(0)
                                    << QVector<quint16>{0xffff, 0xffff, 0xffff, 0xffff}
                                    << "18446744073709551615" << N;
    QTest::newRow("int64 minimum") << Tag::Int64 << o8in << o8out << 1 << 0 << quint64(0)
                                   << QVector<quint16>{0x8000, 0, 0, 0} << "-9223372036854775808" << N;
    QTest::newRow("int16 negative") << Tag::Int16 << o10 << o01 << 1 << 2 << quint64(0)
                                    << QVector<quint16>{0xfffe} << "-2" << N;
    QTest::newRow("bit field of a signed type has no sign")
        << Tag::Int16 << o10 << o01 << 1 << 0 << quint64(0xff00) << QVector<quint16>{0xfffe} << "1" << N;
    QTest::newRow("bit field set is 1, not its masked bits")
        << Tag::UInt16 << o10 << o01 << 1 << 0 << quint64(0x0030) << QVector<quint16>{0x00f6} << "1" << N;
    QTest::newRow("bit field clear is 0")
        << Tag::UInt16 << o10 << o01 << 1 << 0 << quint64(0x0008) << QVector<quint16>{0x00f6} << "0" << N;
    QTest::newRow("array as its bytes") << Tag::UInt16 << o10 << o01 << 3 << 0 << quint64(0)
                                        << QVector<quint16>{0x0102, 0x0304, 0x0506} << "02 01 04 03 06 05" << T;
    QTest::newRow("no words") << Tag::UInt16 << o10 << o01 << 1 << 0 << quint64(0)
                              << QVector<quint16>() << "" << PollRecord::NoValue;
    QTest::newRow("unknown type") << Tag::UnknownType << o10 << o01 << 1 << 0 << quint64(0)
                                  << QVector<quint16>{0x0001} << "" << PollRecord::NoValue;
}

void tst_PollFormat::formatValue()
{
    QFETCH(Tag::DataType, type);
    QFETCH(Tag::ByteOrder, orderIn);
    QFETCH(Tag::ByteOrder, orderOut);
    QFETCH(int, count);
    QFETCH(int, precision);
    QFETCH(quint64, mask);
    QFETCH(QVector<quint16>, words);
    QFETCH(QString, expected);
    QFETCH(PollRecord::ValueKind, kind);

    Tag tag(Tag::IR, type, orderIn, orderOut, 7, "n", "u", "d");
    tag.setCount(quint16(count));
    tag.setPrecision(precision);
    if (mask) {
        tag.setBitfield(true);
        tag.setMask(mask);
    }
    tag.setRawData(words);

    PollRecord::ValueKind got = PollRecord::Number;
    QCOMPARE(PollFormatter::formatValue(tag, &got), expected);
    QCOMPARE(got, kind);

    const PollRecord withValue = PollFormatter::record(tag, true);
    QCOMPARE(withValue.value, expected);
    QCOMPARE(withValue.raw.count("0x"), words.size());
    // A tag not read in this pass keeps its old words, but prints nothing.
    const PollRecord without = PollFormatter::record(tag, false);
    QVERIFY(without.value.isEmpty());
    QVERIFY(without.raw.isEmpty());
    QCOMPARE(without.kind, PollRecord::NoValue);
}

namespace {

QVector<PollRecord> sampleRecords()
{
    PollRecord a;
    a.registerType = "ir";
    a.id = "F32BE";
    a.name = "Float, big-endian";
    a.address = 0;
    a.type = "float";
    a.value = "12.50";
    a.kind = PollRecord::Number;
    a.unit = "bar";
    a.raw = "0x4148 0x0000";
    PollRecord b;
    b.registerType = "hr";
    b.id = "Beyond";
    b.name = "Beyond \"the\" table";
    b.address = 200;
    b.type = "uint16";
    PollRecord c;
    c.registerType = "co";
    c.id = "Arr";
    c.address = 65535;
    c.type = "uint8";
    c.value = "ab cd";
    c.kind = PollRecord::Text;
    return {a, b, c};
}

} // namespace

void tst_PollFormat::csvOutput()
{
    const PollFormatter once(PollOptions::Csv, false);
    QCOMPARE(once.header(), QStringLiteral("register,id,name,address,type,value,unit,raw\n"));
    QCOMPARE(once.pass(sampleRecords(), QDateTime()),
             QStringLiteral("ir,F32BE,\"Float, big-endian\",0,float,12.50,bar,0x4148 0x0000\n"
                            "hr,Beyond,\"Beyond \"\"the\"\" table\",200,uint16,,,\n"
                            "co,Arr,,65535,uint8,ab cd,,\n"));

    const PollFormatter timed(PollOptions::Csv, true);
    QCOMPARE(timed.header(), QStringLiteral("time,register,id,name,address,type,value,unit,raw\n"));
    const QDateTime time(QDate(2024, 3, 5), QTime(6, 7, 8, 9), Qt::UTC);
    QVERIFY(timed.pass(sampleRecords(), time).startsWith("2024-03-05T06:07:08.009Z,ir,F32BE,"));
    // Local times are written in UTC so that records of a run compare.
    QVERIFY(timed.pass(sampleRecords(), time.toLocalTime()).startsWith("2024-03-05T06:07:08.009Z,"));
}

void tst_PollFormat::jsonOutput()
{
    const PollFormatter plain(PollOptions::Json, false);
    QVERIFY(plain.header().isEmpty());
    const QString text = plain.pass(sampleRecords(), QDateTime());
    QVERIFY(text.endsWith("]\n"));
    QCOMPARE(text.count('\n'), 1); // one line per pass
    QVERIFY(text.contains("\"value\":12.50,"));
    QVERIFY(text.contains("\"value\":null,"));
    QVERIFY(text.contains("\"value\":\"ab cd\","));

    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8());
    QVERIFY(doc.isArray());
    const QJsonArray records = doc.array();
    QCOMPARE(records.size(), 3);
    const QStringList keys{"address", "id", "name", "raw", "register", "type", "unit", "value"};
    QCOMPARE(records.at(0).toObject().keys(), keys);
    QCOMPARE(records.at(0).toObject().value("value").toDouble(), 12.5);
    QCOMPARE(records.at(1).toObject().value("name").toString(), QStringLiteral("Beyond \"the\" table"));
    QVERIFY(records.at(1).toObject().value("value").isNull());
    QCOMPARE(records.at(2).toObject().value("address").toInt(), 65535);

    const PollFormatter timed(PollOptions::Json, true);
    const QDateTime time(QDate(2024, 3, 5), QTime(6, 7, 8, 9), Qt::UTC);
    const QJsonArray stamped = QJsonDocument::fromJson(timed.pass(sampleRecords(), time).toUtf8()).array();
    QCOMPARE(stamped.at(2).toObject().value("time").toString(), QStringLiteral("2024-03-05T06:07:08.009Z"));
    QCOMPARE(PollFormatter(PollOptions::Json, false).pass({}, QDateTime()), QStringLiteral("[]\n"));
}

void tst_PollFormat::tableOutput()
{
    QVector<PollRecord> records = sampleRecords();
    records[2].name = "two\nlines";
    const PollFormatter table(PollOptions::Table, false);
    QVERIFY(table.header().isEmpty());
    const QStringList lines = table.pass(records, QDateTime()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4); // header and three records: no line torn apart
    QVERIFY(lines.at(0).startsWith("register"));
    // Every column starts at the same position in every line.
    const int valueColumn = lines.at(0).indexOf("value");
    QCOMPARE(lines.at(1).mid(valueColumn, 5), QStringLiteral("12.50"));
    QCOMPARE(lines.at(3).mid(valueColumn, 5), QStringLiteral("ab cd"));
    for (const QString &line : lines)
        QVERIFY2(!line.endsWith(' '), qPrintable(line));
}

QTEST_GUILESS_MAIN(tst_PollFormat)
#include "tst_pollformat.moc"
