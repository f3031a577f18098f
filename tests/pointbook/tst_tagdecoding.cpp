#include <pointbook/tag.h>

#include <QSignalSpy>
#include <QtEndian>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>

using Pointbook::Tag;

namespace {

// Little-endian bytes of a value, i.e. byte k has significance k.
template<typename T>
QByteArray littleEndianBytes(T value)
{
    QByteArray bytes(int(sizeof(T)), '\0');
    qToLittleEndian<T>(value, bytes.data());
    return bytes;
}

QByteArray floatBytes(float f)
{
    quint32 bits;
    std::memcpy(&bits, &f, sizeof bits);
    return littleEndianBytes(bits);
}

QByteArray doubleBytes(double d)
{
    quint64 bits;
    std::memcpy(&bits, &d, sizeof bits);
    return littleEndianBytes(bits);
}

// The bytes as the device sends them: position k holds the byte whose
// significance is the k-th digit of the order.
QByteArray deviceBytes(const QByteArray &le, const QString &order)
{
    QByteArray out;
    for (const QChar c : order)
        out.append(le.at(c.digitValue()));
    return out;
}

QVector<quint16> wordsOf(const QByteArray &bytes)
{
    QVector<quint16> words;
    for (int i = 0; i + 1 < bytes.size(); i += 2)
        words.append(quint16((quint8(bytes.at(i)) << 8) | quint8(bytes.at(i + 1))));
    return words;
}

// What the tag must hold after reordering into orderOut: position k holds
// the byte of significance orderOut[k], read back little-endian.
QByteArray expectedConverted(const QByteArray &le, const QString &orderOut)
{
    return deviceBytes(le, orderOut);
}

template<typename T>
T fromLittleEndian(const QByteArray &bytes)
{
    return qFromLittleEndian<T>(reinterpret_cast<const uchar *>(bytes.constData()));
}

const QStringList orders2 = {"01", "10"};
const QStringList orders4 = {"0123", "1032", "3210", "2301"};
const QStringList orders8 = {"01234567", "10325476", "32107654", "23016745",
                             "45670123", "54761032", "76543210", "67452301"};

bool sameVariant(const QVariant &actual, const QVariant &expected)
{
    if (actual.userType() != expected.userType())
        return false;
    switch (expected.userType()) {
    case QMetaType::Float: {
        const float a = actual.toFloat();
        const float e = expected.toFloat();
        return std::memcmp(&a, &e, sizeof a) == 0;
    }
    case QMetaType::Double: {
        const double a = actual.toDouble();
        const double e = expected.toDouble();
        return std::memcmp(&a, &e, sizeof a) == 0;
    }
    default:
        return actual == expected;
    }
}

QString describe(const QVariant &v)
{
    return QStringLiteral("%1(%2)").arg(QString::fromLatin1(v.typeName()),
                                        v.userType() == QMetaType::QByteArray
                                            ? QString::fromLatin1(v.toByteArray().toHex(' '))
                                            : v.toString());
}

} // namespace

class tst_TagDecoding : public QObject
{
    Q_OBJECT

private slots:
    void sizes_data();
    void sizes();

    void decode_data();
    void decode();
    void workedExamples_data();
    void workedExamples();
    void wordsAreKept();

    void conversionStaysInsideData_data();
    void conversionStaysInsideData();

    void dampingSequence();
    void dampingRestartsFromZero();
    void floatNaNPersists();
    void dampingSwitchedOff();
    void dampingWithoutPoints();
    void dampedResult_data();
    void dampedResult();
    void undampedSampleStoredAsIs_data();
    void undampedSampleStoredAsIs();

    void changedValueAlwaysEmitted_data();
    void changedValueAlwaysEmitted();
    void setDampedValueStores();

    void numberFollowsOrderConversion_data();
    void numberFollowsOrderConversion();
};

void tst_TagDecoding::sizes_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("registers");

    QTest::newRow("unknown") << int(Tag::UnknownType) << 5 << 0 << 0;
    QTest::newRow("above 10") << 11 << 5 << 0 << 0;
    QTest::newRow("one uint8") << int(Tag::UInt8) << 1 << 1 << 0;
    QTest::newRow("two int8") << int(Tag::Int8) << 2 << 2 << 1;
    QTest::newRow("three uint8") << int(Tag::UInt8) << 3 << 3 << 1;
    QTest::newRow("uint16") << int(Tag::UInt16) << 1 << 2 << 1;
    QTest::newRow("int16 x3") << int(Tag::Int16) << 3 << 6 << 3;
    QTest::newRow("uint32") << int(Tag::UInt32) << 1 << 4 << 2;
    QTest::newRow("int32") << int(Tag::Int32) << 1 << 4 << 2;
    QTest::newRow("float x2") << int(Tag::Float) << 2 << 8 << 4;
    QTest::newRow("uint64") << int(Tag::UInt64) << 1 << 8 << 4;
    QTest::newRow("int64") << int(Tag::Int64) << 1 << 8 << 4;
    QTest::newRow("double") << int(Tag::Double) << 1 << 8 << 4;
    QTest::newRow("count 0") << int(Tag::Double) << 0 << 0 << 0;
}

void tst_TagDecoding::sizes()
{
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(int, size);
    QFETCH(int, registers);
    Tag tag;
    tag.setDataType(Tag::DataType(type));
    tag.setCount(quint16(count));
    QCOMPARE(int(tag.size()), size);
    QCOMPARE(int(tag.sizeRegisters()), registers);
}

void tst_TagDecoding::decode_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("orderIn");
    QTest::addColumn<QString>("orderOut");
    QTest::addColumn<QVector<quint16>>("words");
    QTest::addColumn<QVariant>("expected");

    // Every type of a width against every byte order of that width, in and
    // out: the device bytes are built from a known value by the input
    // order, the expected value from the same value by the output order.
    const auto addAll = [](Tag::DataType type, const QStringList &orders, const QString &label,
                           const QByteArray &le, auto toVariant) {
        for (const QString &in : orders) {
            for (const QString &out : orders) {
                const QByteArray converted = expectedConverted(le, out);
                QTest::addRow("%s %s %s->%s", qPrintable(Tag::dataTypeToString(type)),
                              qPrintable(label), qPrintable(in), qPrintable(out))
                    << int(type) << in << out << wordsOf(deviceBytes(le, in))
                    << toVariant(converted);
            }
        }
    };

    const auto u16 = [](const QByteArray &b) { return QVariant(int(fromLittleEndian<quint16>(b))); };
    const auto s16 = [](const QByteArray &b) { return QVariant(int(fromLittleEndian<qint16>(b))); };
    const auto u32 = [](const QByteArray &b) { return QVariant(fromLittleEndian<quint32>(b)); };
    const auto s32 = [](const QByteArray &b) { return QVariant(fromLittleEndian<qint32>(b)); };
    const auto u64 = [](const QByteArray &b) { return QVariant(fromLittleEndian<quint64>(b)); };
    const auto s64 = [](const QByteArray &b) { return QVariant(fromLittleEndian<qint64>(b)); };
    const auto f32 = [](const QByteArray &b) {
        const quint32 bits = fromLittleEndian<quint32>(b);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return QVariant(f);
    };
    const auto f64 = [](const QByteArray &b) {
        const quint64 bits = fromLittleEndian<quint64>(b);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return QVariant(d);
    };

    addAll(Tag::UInt16, orders2, "0x1234", littleEndianBytes<quint16>(0x1234), u16);
    addAll(Tag::UInt16, orders2, "max", littleEndianBytes<quint16>(0xFFFF), u16);
    addAll(Tag::Int16, orders2, "min", littleEndianBytes<qint16>(-32768), s16);
    addAll(Tag::Int16, orders2, "max", littleEndianBytes<qint16>(32767), s16);
    addAll(Tag::Int16, orders2, "-2", littleEndianBytes<qint16>(-2), s16);

    addAll(Tag::UInt32, orders4, "0x11223344", littleEndianBytes<quint32>(0x11223344u), u32);
    addAll(Tag::UInt32, orders4, "max", littleEndianBytes<quint32>(0xFFFFFFFFu), u32);
    addAll(Tag::Int32, orders4, "min", littleEndianBytes<qint32>(std::numeric_limits<qint32>::min()), s32);
    addAll(Tag::Int32, orders4, "max", littleEndianBytes<qint32>(std::numeric_limits<qint32>::max()), s32);
    addAll(Tag::Int32, orders4, "-123456789", littleEndianBytes<qint32>(-123456789), s32);

    addAll(Tag::UInt64, orders8, "pattern", littleEndianBytes<quint64>(0x0102030405060708ull), u64);
    addAll(Tag::UInt64, orders8, "max", littleEndianBytes<quint64>(~0ull), u64);
    addAll(Tag::Int64, orders8, "min", littleEndianBytes<qint64>(std::numeric_limits<qint64>::min()), s64);
    addAll(Tag::Int64, orders8, "max", littleEndianBytes<qint64>(std::numeric_limits<qint64>::max()), s64);
    addAll(Tag::Int64, orders8, "-5", littleEndianBytes<qint64>(-5), s64);

    addAll(Tag::Float, orders4, "12.5", floatBytes(12.5f), f32);
    addAll(Tag::Float, orders4, "-0.1", floatBytes(-0.1f), f32);
    addAll(Tag::Float, orders4, "NaN", floatBytes(std::numeric_limits<float>::quiet_NaN()), f32);
    addAll(Tag::Float, orders4, "+inf", floatBytes(std::numeric_limits<float>::infinity()), f32);
    addAll(Tag::Float, orders4, "-inf", floatBytes(-std::numeric_limits<float>::infinity()), f32);
    addAll(Tag::Float, orders4, "max", floatBytes(std::numeric_limits<float>::max()), f32);

    addAll(Tag::Double, orders8, "pi", doubleBytes(3.141592653589793), f64);
    addAll(Tag::Double, orders8, "-1e300", doubleBytes(-1e300), f64);
    addAll(Tag::Double, orders8, "NaN", doubleBytes(std::numeric_limits<double>::quiet_NaN()), f64);
    addAll(Tag::Double, orders8, "+inf", doubleBytes(std::numeric_limits<double>::infinity()), f64);
    addAll(Tag::Double, orders8, "-inf", doubleBytes(-std::numeric_limits<double>::infinity()), f64);
    addAll(Tag::Double, orders8, "denormal", doubleBytes(std::numeric_limits<double>::denorm_min()), f64);

    // 8-bit types read the high byte of the first word, whatever the orders.
    QTest::newRow("uint8 high byte") << int(Tag::UInt8) << "10" << "01"
                                     << QVector<quint16>{0x12AB} << QVariant(0x12);
    QTest::newRow("uint8 255") << int(Tag::UInt8) << "" << "" << QVector<quint16>{0xFF00} << QVariant(255);
    QTest::newRow("int8 -128") << int(Tag::Int8) << "0" << "0" << QVector<quint16>{0x80FF} << QVariant(-128);
    QTest::newRow("int8 127") << int(Tag::Int8) << "" << "" << QVector<quint16>{0x7F00} << QVariant(127);
    QTest::newRow("int8 -1") << int(Tag::Int8) << "" << "" << QVector<quint16>{0xFF00, 0x1234} << QVariant(-1);

    // Longer inputs: the typed read takes the first element only.
    QTest::newRow("uint16 extra words") << int(Tag::UInt16) << "10" << "01"
                                        << QVector<quint16>{0xABCD, 0x1111} << QVariant(0xABCD);

    // Neither words nor type give nothing.
    QTest::newRow("no words") << int(Tag::Int32) << "0123" << "0123" << QVector<quint16>() << QVariant();
    QTest::newRow("unknown type") << int(Tag::UnknownType) << "01" << "01"
                                  << QVector<quint16>{0x1234} << QVariant();
    QTest::newRow("type above 10") << 11 << "01" << "01" << QVector<quint16>{0x1234} << QVariant();
}

void tst_TagDecoding::decode()
{
    QFETCH(int, type);
    QFETCH(QString, orderIn);
    QFETCH(QString, orderOut);
    QFETCH(QVector<quint16>, words);
    QFETCH(QVariant, expected);

    Tag tag;
    tag.setDataType(Tag::DataType(type));
    tag.setCount(1);
    tag.setByteOrderInput(Tag::stringToByteOrder(orderIn));
    tag.setByteOrderOutput(Tag::stringToByteOrder(orderOut));
    tag.setRawData(words);

    const QVariant actual = tag.value();
    QVERIFY2(sameVariant(actual, expected),
             qPrintable(describe(actual) + " != " + describe(expected)));
}

void tst_TagDecoding::workedExamples_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("orderIn");
    QTest::addColumn<int>("orderOut");
    QTest::addColumn<QVector<quint16>>("words");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("uint32 low word first")
        << int(Tag::UInt32) << 1 << int(Tag::Order1032) << int(Tag::Order0123)
        << QVector<quint16>{0x3344, 0x1122} << QVariant(287454020u);
    QTest::newRow("uint32 high word first")
        << int(Tag::UInt32) << 1 << int(Tag::Order3210) << int(Tag::Order0123)
        << QVector<quint16>{0x1122, 0x3344} << QVariant(287454020u);
    QTest::newRow("float 12.5")
        << int(Tag::Float) << 1 << int(Tag::Order3210) << int(Tag::Order0123)
        << QVector<quint16>{0x4148, 0x0000} << QVariant(12.5f);
    QTest::newRow("int16 0xFFFE") << int(Tag::Int16) << 1 << int(Tag::Order10) << int(Tag::Order01)
                                  << QVector<quint16>{0xFFFE} << QVariant(-2);
    QTest::newRow("uint16 0xFFFE") << int(Tag::UInt16) << 1 << int(Tag::Order10) << int(Tag::Order01)
                                   << QVector<quint16>{0xFFFE} << QVariant(65534);
    QTest::newRow("uint16 x3 byte array")
        << int(Tag::UInt16) << 3 << int(Tag::Order10) << int(Tag::Order01)
        << QVector<quint16>{0x0102, 0x0304, 0x0506}
        << QVariant(QByteArray::fromHex("020104030605"));
    QTest::newRow("int32 x2 word swap")
        << int(Tag::Int32) << 2 << int(Tag::Order1032) << int(Tag::Order0123)
        << QVector<quint16>{0x3344, 0x1122, 0x7788, 0x5566}
        << QVariant(QByteArray::fromHex("4433221188776655"));
    // The data type is not consulted for arrays: an unknown type has no
    // elements to reorder.
    QTest::newRow("unknown type x3")
        << int(Tag::UnknownType) << 3 << int(Tag::Order10) << int(Tag::Order01)
        << QVector<quint16>{0x0102, 0x0304} << QVariant(QByteArray());
    QTest::newRow("uint8 x2 byte array")
        << int(Tag::UInt8) << 2 << int(Tag::Order0) << int(Tag::Order0)
        << QVector<quint16>{0xA1B2} << QVariant(QByteArray::fromHex("a1b2"));
}

void tst_TagDecoding::workedExamples()
{
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(int, orderIn);
    QFETCH(int, orderOut);
    QFETCH(QVector<quint16>, words);
    QFETCH(QVariant, expected);

    Tag tag;
    tag.setDataType(Tag::DataType(type));
    tag.setCount(quint16(count));
    tag.setByteOrderInput(Tag::ByteOrder(orderIn));
    tag.setByteOrderOutput(Tag::ByteOrder(orderOut));
    tag.setRawData(words);
    const QVariant actual = tag.value();
    QVERIFY2(sameVariant(actual, expected),
             qPrintable(describe(actual) + " != " + describe(expected)));
}

void tst_TagDecoding::wordsAreKept()
{
    Tag tag;
    tag.setRawData({1, 2, 3});
    tag.setRawData({0xFFFF});
    QCOMPARE(tag.valueByteArray(), QVector<quint16>({0xFFFF}));
}

void tst_TagDecoding::conversionStaysInsideData_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("orderIn");
    QTest::addColumn<QString>("orderOut");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray four = QByteArray::fromHex("a1a2a3a4");
    QTest::newRow("regular") << int(Tag::UInt32) << four << "3210" << "0123"
                             << QByteArray::fromHex("a4a3a2a1");
    // The digits name significances: output significance 0 is found at
    // input position 3 (an order that is not its own inverse shows it).
    QTest::newRow("rotation") << int(Tag::UInt32) << four << "1230" << "0123"
                              << QByteArray::fromHex("a4a1a2a3");
    QTest::newRow("rotation out") << int(Tag::UInt32) << four << "0123" << "1230"
                                  << QByteArray::fromHex("a2a3a4a1");
    // Unknown orders read as zeros: every output byte is input byte 0.
    QTest::newRow("unknown both") << int(Tag::UInt16) << QByteArray::fromHex("a1a2")
                                  << "Unknown" << "Unknown" << QByteArray::fromHex("a1a1a1a1a1a1a1");
    // Output digits absent from the input order give zero bytes.
    QTest::newRow("digits missing from input") << int(Tag::UInt32) << four << "Unknown" << "0123"
                                               << QByteArray::fromHex("a1000000");
    QTest::newRow("empty input order") << int(Tag::UInt16) << QByteArray::fromHex("a1a2")
                                       << "" << "01" << QByteArray::fromHex("0000");
    // Orders longer than the element reach into the next element, and past
    // the end of the data only zeros come.
    QTest::newRow("order longer than element") << int(Tag::UInt16) << four << "0123" << "0123"
                                               << QByteArray::fromHex("a1a2a3a4a3a40000");
    // Data that is not a whole number of elements: the last one is padded.
    QTest::newRow("partial last element") << int(Tag::UInt32) << QByteArray::fromHex("a1a2a3a4a5a6")
                                          << "3210" << "0123"
                                          << QByteArray::fromHex("a4a3a2a10000a6a5");
    QTest::newRow("odd length") << int(Tag::UInt16) << QByteArray::fromHex("a1a2a3")
                                << "10" << "01" << QByteArray::fromHex("a2a100a3");
    QTest::newRow("no element width") << int(Tag::UnknownType) << four << "01" << "01" << QByteArray();
    QTest::newRow("empty data") << int(Tag::Double) << QByteArray() << "01234567" << "76543210"
                                << QByteArray();
    QTest::newRow("empty output order") << int(Tag::UInt16) << four << "01" << "" << QByteArray();
}

void tst_TagDecoding::conversionStaysInsideData()
{
    QFETCH(int, type);
    QFETCH(QByteArray, data);
    QFETCH(QString, orderIn);
    QFETCH(QString, orderOut);
    QFETCH(QByteArray, expected);

    Tag tag;
    tag.setDataType(Tag::DataType(type));
    QCOMPARE(tag.byteOrderConversion(data, orderIn, orderOut).toHex(), expected.toHex());
}

namespace {

void feedInt32(Tag &tag, qint32 value)
{
    tag.setRawData(wordsOf(deviceBytes(littleEndianBytes(value), "3210")));
}

Tag *int32Tag(QObject *parent)
{
    auto tag = new Tag(Tag::IR, Tag::Int32, Tag::Order3210, Tag::Order0123, 0, {}, {}, {}, parent);
    tag->setCount(1);
    return tag;
}

} // namespace

void tst_TagDecoding::dampingSequence()
{
    QObject owner;
    Tag &tag = *int32Tag(&owner);
    tag.setDampingPoints(4);
    QVERIFY(tag.enableDamping());
    tag.setDampedValue(10);

    feedInt32(tag, 20);
    QCOMPARE(tag.dampedValue(), 12.0);
    feedInt32(tag, 20);
    QCOMPARE(tag.dampedValue(), 14.0);
    feedInt32(tag, 14);
    QCOMPARE(tag.dampedValue(), 14.0);
    // Truncation is toward zero, also below zero: (-20 - 14) / 4 + 14 = 5.5.
    feedInt32(tag, -20);
    QCOMPARE(tag.dampedValue(), 5.0);
}

void tst_TagDecoding::dampingRestartsFromZero()
{
    QObject owner;
    Tag &tag = *int32Tag(&owner);
    tag.setDampingPoints(4);
    feedInt32(tag, 1000);
    QCOMPARE(tag.dampedValue(), 1000.0);

    // Samples that damp down to exactly zero restart the average.
    tag.setDampedValue(0.0);
    feedInt32(tag, -77);
    QCOMPARE(tag.dampedValue(), -77.0);
}

void tst_TagDecoding::floatNaNPersists()
{
    Tag tag(Tag::HR, Tag::Float, Tag::Order3210, Tag::Order0123, 0, {}, {}, {});
    tag.setCount(1);
    tag.setDampingPoints(4);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    tag.setRawData(wordsOf(deviceBytes(floatBytes(nan), "3210")));
    QVERIFY(std::isnan(tag.dampedValue()));

    tag.setRawData({0x4148, 0x0000});
    QVERIFY(std::isnan(tag.dampedValue()));

    tag.setEnableDamping(false);
    tag.setRawData({0x4148, 0x0000});
    QCOMPARE(tag.dampedValue(), 12.5);
}

void tst_TagDecoding::dampingSwitchedOff()
{
    QObject owner;
    Tag &tag = *int32Tag(&owner);
    tag.setDampingPoints(4);
    tag.setDampedValue(10);
    tag.setDampingPoints(0);
    QVERIFY(!tag.enableDamping());
    feedInt32(tag, 20);
    QCOMPARE(tag.dampedValue(), 20.0);
}

void tst_TagDecoding::dampingWithoutPoints()
{
    QCOMPARE(Tag::dampingProcess(20, 10, 0), 20.0);
    QCOMPARE(Tag::dampingProcess(20, 10, -3), 20.0);
    QCOMPARE(Tag::dampingProcess(20, 10, 1), 20.0);
    QCOMPARE(Tag::dampingProcess(20, 10, 4), 12.5);
    QCOMPARE(Tag::dampingProcess(20, 0.0, 4), 20.0);
    QVERIFY(std::isnan(Tag::dampingProcess(20, std::nan(""), 4)));

    // Damping switched on by hand with no points stores the samples as
    // they come instead of dividing by zero.
    QObject owner;
    Tag &tag = *int32Tag(&owner);
    tag.setEnableDamping(true);
    tag.setDampedValue(10);
    feedInt32(tag, 20);
    QCOMPARE(tag.dampedValue(), 20.0);
}

void tst_TagDecoding::dampedResult_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("sampleBytes");
    QTest::addColumn<double>("previous");
    QTest::addColumn<int>("points");
    QTest::addColumn<double>("expected");

    const auto u8 = [](quint8 v) { return QByteArray(1, char(v)) + QByteArray(1, '\0'); };

    QTest::newRow("uint8") << int(Tag::UInt8) << u8(200) << 100.0 << 3 << 133.0;
    QTest::newRow("uint8 to zero") << int(Tag::UInt8) << u8(0) << 1.0 << 2 << 0.0;
    QTest::newRow("int8") << int(Tag::Int8) << u8(quint8(-20)) << -10.0 << 4 << -12.0;
    QTest::newRow("uint16") << int(Tag::UInt16) << littleEndianBytes<quint16>(0) << 100.0 << 3 << 66.0;
    QTest::newRow("uint16 high") << int(Tag::UInt16) << littleEndianBytes<quint16>(65535) << 65534.0
                                 << 2 << 65534.0;
    QTest::newRow("int16") << int(Tag::Int16) << littleEndianBytes<qint16>(-20) << -10.0 << 4 << -12.0;
    QTest::newRow("uint32 above int range") << int(Tag::UInt32) << littleEndianBytes<quint32>(4000000010u)
                                            << 4000000000.0 << 4 << 4000000002.0;
    QTest::newRow("int32") << int(Tag::Int32) << littleEndianBytes<qint32>(20) << 10.0 << 4 << 12.0;
    QTest::newRow("int64") << int(Tag::Int64) << littleEndianBytes<qint64>(-5000000000ll)
                           << -1000000000.0 << 3 << -2333333333.0;
    QTest::newRow("uint64") << int(Tag::UInt64) << littleEndianBytes<quint64>(10000000000ull)
                            << 1.0 << 2 << 5000000000.0;
    QTest::newRow("float rounds to single")
        << int(Tag::Float) << floatBytes(0.2f) << 0.1 << 2
        << double(float((double(0.2f) - 0.1) / 2 + 0.1));
    QTest::newRow("double unchanged") << int(Tag::Double) << doubleBytes(0.2) << 0.1 << 3
                                      << (0.2 - 0.1) / 3 + 0.1;

    // Damped results outside the target range are defined: NaN gives 0,
    // everything else saturates before the low bits are taken.
    QTest::newRow("int16 saturates high") << int(Tag::Int16) << littleEndianBytes<qint16>(0)
                                          << 1e9 << 2 << 32767.0;
    QTest::newRow("int16 saturates low") << int(Tag::Int16) << littleEndianBytes<qint16>(0)
                                         << -1e9 << 2 << -32768.0;
    QTest::newRow("uint8 saturates then low bits") << int(Tag::UInt8) << u8(0) << 1e6 << 2 << 255.0;
    QTest::newRow("int32 saturates") << int(Tag::Int32) << littleEndianBytes<qint32>(0)
                                     << 1e300 << 2 << 2147483647.0;
    QTest::newRow("int32 infinity minus infinity") << int(Tag::Int32) << littleEndianBytes<qint32>(0)
                                                   << std::numeric_limits<double>::infinity() << 2 << 0.0;
    QTest::newRow("int32 NaN") << int(Tag::Int32) << littleEndianBytes<qint32>(5)
                               << std::numeric_limits<double>::quiet_NaN() << 2 << 0.0;
    QTest::newRow("uint64 below zero") << int(Tag::UInt64) << littleEndianBytes<quint64>(0)
                                       << -5.0 << 2 << 0.0;
    QTest::newRow("uint64 saturates") << int(Tag::UInt64) << littleEndianBytes<quint64>(0)
                                      << 1e30 << 2 << double(std::numeric_limits<quint64>::max());
    QTest::newRow("int64 saturates") << int(Tag::Int64) << littleEndianBytes<qint64>(0)
                                     << -1e30 << 2 << double(std::numeric_limits<qint64>::min());
    QTest::newRow("float overflows to infinity") << int(Tag::Float) << floatBytes(0.0f) << 1e300 << 2
                                                 << std::numeric_limits<double>::infinity();
}

void tst_TagDecoding::dampedResult()
{
    QFETCH(int, type);
    QFETCH(QByteArray, sampleBytes);
    QFETCH(double, previous);
    QFETCH(int, points);
    QFETCH(double, expected);

    // The device sends the value high byte first: the reverse of its
    // little-endian bytes.
    QString orderIn;
    QString orderOut;
    for (int i = sampleBytes.size() - 1; i >= 0; --i)
        orderIn += QString::number(i);
    for (int i = 0; i < sampleBytes.size(); ++i)
        orderOut += QString::number(i);

    Tag tag;
    tag.setDataType(Tag::DataType(type));
    tag.setCount(1);
    tag.setByteOrderInput(Tag::stringToByteOrder(orderIn));
    tag.setByteOrderOutput(Tag::stringToByteOrder(orderOut));
    tag.setDampingPoints(points);
    tag.setDampedValue(previous);

    const QByteArray device = (type == Tag::UInt8 || type == Tag::Int8) ? sampleBytes
                                                                          : deviceBytes(sampleBytes, orderIn);
    tag.setRawData(wordsOf(device));
    QCOMPARE(tag.dampedValue(), expected);
}

void tst_TagDecoding::undampedSampleStoredAsIs_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<QVector<quint16>>("words");
    QTest::addColumn<double>("expected");

    QTest::newRow("int16 -2") << int(Tag::Int16) << 1 << QVector<quint16>{0xFFFE} << -2.0;
    QTest::newRow("uint16 65534") << int(Tag::UInt16) << 1 << QVector<quint16>{0xFFFE} << 65534.0;
    QTest::newRow("uint8 high byte") << int(Tag::UInt8) << 1 << QVector<quint16>{0x12AB} << 18.0;
    QTest::newRow("int8 -1") << int(Tag::Int8) << 1 << QVector<quint16>{0xFF00} << -1.0;
    QTest::newRow("uint32 max") << int(Tag::UInt32) << 1 << QVector<quint16>{0xFFFF, 0xFFFF}
                                << 4294967295.0;
    QTest::newRow("int64 min") << int(Tag::Int64) << 1 << QVector<quint16>{0x8000, 0, 0, 0}
                               << -9223372036854775808.0;
    QTest::newRow("no words gives 0") << int(Tag::Int32) << 1 << QVector<quint16>() << 0.0;
    QTest::newRow("array converts as text") << int(Tag::UInt16) << 3
                                            << QVector<quint16>{0x0102, 0x0304, 0x0506} << 0.0;
}

void tst_TagDecoding::undampedSampleStoredAsIs()
{
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(QVector<quint16>, words);
    QFETCH(double, expected);

    Tag tag;
    tag.setDataType(Tag::DataType(type));
    tag.setCount(quint16(count));
    tag.setByteOrderInput(type == Tag::UInt16 || type == Tag::Int16 ? Tag::Order10
                          : type == Tag::Int64                      ? Tag::Order76543210
                                                                    : Tag::Order3210);
    tag.setByteOrderOutput(type == Tag::UInt16 || type == Tag::Int16 ? Tag::Order01
                           : type == Tag::Int64                      ? Tag::Order01234567
                                                                     : Tag::Order0123);
    tag.setDampedValue(123.0);
    tag.setRawData(words);
    QCOMPARE(tag.dampedValue(), expected);
}

void tst_TagDecoding::changedValueAlwaysEmitted_data()
{
    QTest::addColumn<int>("type");
    for (int type = 0; type <= 11; ++type)
        QTest::addRow("type %d", type) << type;
}

void tst_TagDecoding::changedValueAlwaysEmitted()
{
    QFETCH(int, type);
    Tag tag;
    tag.setDataType(Tag::DataType(type));
    tag.setCount(1);
    tag.setDampedValue(42.0);
    QSignalSpy spy(&tag, &Tag::changedValue);
    tag.setRawData({0x0001, 0x0002, 0x0003, 0x0004});
    tag.setRawData({0x0001, 0x0002, 0x0003, 0x0004});
    QCOMPARE(spy.count(), 2);
    if (type == Tag::UnknownType || type > Tag::Double)
        QCOMPARE(tag.dampedValue(), 42.0);
}

void tst_TagDecoding::setDampedValueStores()
{
    Tag tag;
    tag.setDampedValue(-0.5);
    QCOMPARE(tag.dampedValue(), -0.5);
}

void tst_TagDecoding::numberFollowsOrderConversion_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("words");
    // Orders shorter, as long as and longer than the element; replies that
    // supply fewer words than an order reaches for.
    const int types[] = {Tag::UInt16, Tag::Int16, Tag::UInt32, Tag::Int32, Tag::UInt64, Tag::Int64};
    for (int type : types) {
        const int width = Tag::elementWidth(Tag::DataType(type)) / 2;
        for (int words : {1, width, 4})
            QTest::addRow("%s, %d words", qPrintable(Tag::dataTypeToString(Tag::DataType(type))), words)
                << type << words;
    }
}

// A single number is the first bytes of the text-form conversion, read
// little-endian, for every pair of orders.
void tst_TagDecoding::numberFollowsOrderConversion()
{
    QFETCH(int, type);
    QFETCH(int, words);
    const int width = Tag::elementWidth(Tag::DataType(type));
    QVector<quint16> raw;
    QByteArray bytes;
    for (int i = 0; i < words; ++i) {
        raw.append(quint16(0x8192 + 0x2325 * i));
        bytes.append(char(raw.last() >> 8));
        bytes.append(char(raw.last() & 0xFF));
    }
    for (int in = Tag::UnknownOrder; in <= Tag::Order67452301; ++in) {
        for (int out = Tag::UnknownOrder; out <= Tag::Order67452301; ++out) {
            Tag tag;
            tag.setDataType(Tag::DataType(type));
            tag.setCount(1);
            tag.setByteOrderInput(Tag::ByteOrder(in));
            tag.setByteOrderOutput(Tag::ByteOrder(out));
            tag.setRawData(raw);
            QByteArray converted = tag.byteOrderConversion(
                bytes, Tag::byteOrderToString(Tag::ByteOrder(in)),
                Tag::byteOrderToString(Tag::ByteOrder(out)));
            converted = converted.left(width).leftJustified(width, '\0');
            double expected = 0;
            switch (type) {
            case Tag::UInt16: expected = qFromLittleEndian<quint16>(converted.constData()); break;
            case Tag::Int16: expected = qFromLittleEndian<qint16>(converted.constData()); break;
            case Tag::UInt32: expected = qFromLittleEndian<quint32>(converted.constData()); break;
            case Tag::Int32: expected = qFromLittleEndian<qint32>(converted.constData()); break;
            case Tag::UInt64: expected = double(qFromLittleEndian<quint64>(converted.constData())); break;
            default: expected = double(qFromLittleEndian<qint64>(converted.constData())); break;
            }
            if (tag.dampedValue() != expected)
                QFAIL(qPrintable(QStringLiteral("orders %1 -> %2: %3 instead of %4")
                                     .arg(in).arg(out).arg(tag.dampedValue(), 0, 'g', 20)
                                     .arg(expected, 0, 'g', 20)));
        }
    }
}

QTEST_GUILESS_MAIN(tst_TagDecoding)
#include "tst_tagdecoding.moc"
