// Encoding is the inverse of decoding for every type and byte order, and a
// value the type cannot hold is refused, never wrapped.

#include <pointbook/tag.h>

#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>

using Pointbook::Tag;

Q_DECLARE_METATYPE(QVector<quint16>)

namespace {

struct Orders {
    Tag::DataType type;
    QVector<Tag::ByteOrder> orders;
};

const QVector<Tag::ByteOrder> Orders16{Tag::Order01, Tag::Order10};
const QVector<Tag::ByteOrder> Orders32{Tag::Order0123, Tag::Order1032, Tag::Order3210, Tag::Order2301};
const QVector<Tag::ByteOrder> Orders64{Tag::Order01234567, Tag::Order10325476, Tag::Order32107654,
                                       Tag::Order23016745, Tag::Order45670123, Tag::Order54761032,
                                       Tag::Order76543210, Tag::Order67452301};

QVector<Tag::ByteOrder> ordersOf(Tag::DataType type)
{
    switch (Tag::elementWidth(type)) {
    case 2: return Orders16;
    case 4: return Orders32;
    case 8: return Orders64;
    default: return {Tag::Order0};
    }
}

Tag::ByteOrder littleEndian(Tag::DataType type)
{
    switch (Tag::elementWidth(type)) {
    case 2: return Tag::Order01;
    case 4: return Tag::Order0123;
    case 8: return Tag::Order01234567;
    default: return Tag::Order0;
    }
}

const QVector<Tag::DataType> AllTypes{Tag::UInt8, Tag::Int8, Tag::UInt16, Tag::Int16, Tag::UInt32,
                                      Tag::Int32, Tag::UInt64, Tag::Int64, Tag::Float, Tag::Double};

// Identical values, floats by their bits (NaN, negative zero).
bool sameValue(const QVariant &a, const QVariant &b)
{
    if (a.type() == QVariant::Double && b.type() == QVariant::Double) {
        const double x = a.toDouble(), y = b.toDouble();
        return std::memcmp(&x, &y, sizeof x) == 0;
    }
    if (a.userType() == QMetaType::Float && b.userType() == QMetaType::Float) {
        const float x = a.toFloat(), y = b.toFloat();
        return std::memcmp(&x, &y, sizeof x) == 0;
    }
    return a == b && a.userType() == b.userType();
}

} // namespace

class tst_TagEncoding : public QObject
{
    Q_OBJECT

private slots:
    void wordsSurviveDecodeAndEncode_data();
    void wordsSurviveDecodeAndEncode();
    void edgeValuesSurviveEncodeAndDecode_data();
    void edgeValuesSurviveEncodeAndDecode();
    void refusals_data();
    void refusals();
    void bitFieldsAndBits_data();
    void bitFieldsAndBits();
};

void tst_TagEncoding::wordsSurviveDecodeAndEncode_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("orderIn");
    QTest::addColumn<int>("orderOut");
    QTest::addColumn<int>("count");
    QTest::addColumn<QVector<quint16>>("words");

    const QVector<quint16> pattern{0x4148, 0x8001, 0xFFFE, 0x7F00, 0x0102, 0x0304, 0x0506, 0x0708};
    for (const Tag::DataType type : AllTypes) {
        const int width = Tag::elementWidth(type);
        for (const Tag::ByteOrder in : ordersOf(type)) {
            // Little-endian output and the reversed one, single and array.
            QVector<Tag::ByteOrder> outs{littleEndian(type)};
            if (width == 4)
                outs.append(Tag::Order3210);
            for (const Tag::ByteOrder out : outs) {
                for (const int count : {1, 2}) {
                    QVector<quint16> words = pattern.mid(0, std::max(1, count * width / 2));
                    if (width == 1 && count == 1)
                        words = {0xAB00}; // the high byte only
                    QTest::addRow("%s %s>%s x%d", qPrintable(Tag::dataTypeToString(type)),
                                  qPrintable(Tag::byteOrderToString(in)),
                                  qPrintable(Tag::byteOrderToString(out)), count)
                        << int(type) << int(in) << int(out) << count << words;
                }
            }
        }
    }
}

void tst_TagEncoding::wordsSurviveDecodeAndEncode()
{
    QFETCH(int, type);
    QFETCH(int, orderIn);
    QFETCH(int, orderOut);
    QFETCH(int, count);
    QFETCH(QVector<quint16>, words);

    Tag tag(Tag::HR, Tag::DataType(type), Tag::ByteOrder(orderIn), Tag::ByteOrder(orderOut), 0,
            "t", "", "");
    tag.setCount(quint16(count));
    tag.setRawData(words);
    QString error;
    QCOMPARE(tag.encode(tag.value(), &error), words);
    QVERIFY(error.isEmpty());
}

void tst_TagEncoding::edgeValuesSurviveEncodeAndDecode_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("value");

    using L = std::numeric_limits<qint64>;
    const QVector<QPair<Tag::DataType, QVariantList>> cases{
        {Tag::UInt8, {0, 255}},
        {Tag::Int8, {-128, 127, 0}},
        {Tag::UInt16, {0, 65535}},
        {Tag::Int16, {-32768, 32767, -1}},
        {Tag::UInt32, {0u, 4294967295u}},
        {Tag::Int32, {std::numeric_limits<int>::min(), std::numeric_limits<int>::max()}},
        {Tag::UInt64, {qulonglong(0), std::numeric_limits<qulonglong>::max()}},
        {Tag::Int64, {qlonglong(L::min()), qlonglong(L::max())}},
        {Tag::Float, {12.5f, -0.0f, std::numeric_limits<float>::max(),
                      std::numeric_limits<float>::denorm_min(), std::numeric_limits<float>::infinity()}},
        {Tag::Double, {-0.0, std::numeric_limits<double>::lowest(), 1e-310,
                       std::numeric_limits<double>::quiet_NaN()}},
    };
    for (const auto &c : cases) {
        for (const Tag::ByteOrder in : ordersOf(c.first)) {
            for (const QVariant &v : c.second)
                QTest::addRow("%s %s %s", qPrintable(Tag::dataTypeToString(c.first)),
                              qPrintable(Tag::byteOrderToString(in)), qPrintable(v.toString()))
                    << int(c.first) << v;
        }
    }
}

void tst_TagEncoding::edgeValuesSurviveEncodeAndDecode()
{
    QFETCH(int, type);
    QFETCH(QVariant, value);

    // Every input order of the type, read little-endian.
    for (const Tag::ByteOrder in : ordersOf(Tag::DataType(type))) {
        Tag tag(Tag::HR, Tag::DataType(type), in, littleEndian(Tag::DataType(type)), 0, "t", "", "");
        tag.setCount(1);
        QString error;
        const QVector<quint16> words = tag.encode(value, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        tag.setRawData(words);
        QVERIFY2(sameValue(tag.value(), value),
                 qPrintable(tag.value().toString() + " != " + value.toString()));
        // The text form of the value gives the same words.
        if (value.userType() != QMetaType::Float && value.userType() != QMetaType::Double)
            QCOMPARE(tag.encode(value.toString()), words);
    }
}

void tst_TagEncoding::refusals_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("reason");

    QTest::newRow("uint8 256") << int(Tag::UInt8) << 1 << QVariant(256) << "outside the range of uint8";
    QTest::newRow("int8 -129") << int(Tag::Int8) << 1 << QVariant("-129") << "outside the range of int8";
    QTest::newRow("uint16 -1") << int(Tag::UInt16) << 1 << QVariant(-1) << "outside the range";
    QTest::newRow("int16 32768") << int(Tag::Int16) << 1 << QVariant(32768.0) << "outside the range";
    QTest::newRow("uint32 2^32") << int(Tag::UInt32) << 1 << QVariant("4294967296") << "outside the range";
    QTest::newRow("int32 1.5") << int(Tag::Int32) << 1 << QVariant(1.5) << "not a whole number";
    QTest::newRow("uint64 2^64") << int(Tag::UInt64) << 1 << QVariant("18446744073709551616") << "too large";
    QTest::newRow("int64 below") << int(Tag::Int64) << 1 << QVariant("-9223372036854775809") << "outside the range";
    QTest::newRow("int16 NaN") << int(Tag::Int16) << 1 << QVariant(std::nan("")) << "not a finite number";
    QTest::newRow("int32 text") << int(Tag::Int32) << 1 << QVariant("12 bar") << "is not a number";
    QTest::newRow("float 1e39") << int(Tag::Float) << 1 << QVariant(1e39) << "outside the range of a float";
    QTest::newRow("double text") << int(Tag::Double) << 1 << QVariant("twelve") << "is not a number";
    QTest::newRow("empty") << int(Tag::Float) << 1 << QVariant(QString()) << "no value";
    QTest::newRow("array short") << int(Tag::UInt16) << 3 << QVariant("1, 2") << "2 values given where the tag holds 3";
    QTest::newRow("array element") << int(Tag::Int8) << 2 << QVariant(QVariantList{1, 300}) << "element 2";
    QTest::newRow("array bytes") << int(Tag::UInt16) << 2 << QVariant(QByteArray(3, 'x')) << "3 bytes given";
    QTest::newRow("odd bytes") << int(Tag::UInt8) << 3 << QVariant("1,2,3") << "no register of its own";
    QTest::newRow("no type") << int(Tag::UnknownType) << 1 << QVariant(1) << "no data type";
}

void tst_TagEncoding::refusals()
{
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(QVariant, value);
    QFETCH(QString, reason);

    const Tag::DataType t = Tag::DataType(type);
    Tag tag(Tag::HR, t, ordersOf(t).constFirst(), littleEndian(t), 0, "t", "", "");
    tag.setCount(quint16(count));
    QString error;
    QVERIFY(tag.encode(value, &error).isEmpty());
    QVERIFY2(error.contains(reason), qPrintable(error));
}

void tst_TagEncoding::bitFieldsAndBits_data()
{
    QTest::addColumn<int>("registerType");
    QTest::addColumn<quint64>("mask");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVector<quint16>>("words"); // empty: refused

    const QVector<quint16> refused;
    QTest::newRow("bit 2 on") << int(Tag::HR) << quint64(0x4) << QVariant(true) << QVector<quint16>{0x0004};
    QTest::newRow("bit 2 by 1") << int(Tag::HR) << quint64(0x4) << QVariant(1) << QVector<quint16>{0x0004};
    QTest::newRow("bit 2 off") << int(Tag::HR) << quint64(0x4) << QVariant("off") << QVector<quint16>{0x0000};
    QTest::newRow("field pattern") << int(Tag::HR) << quint64(0x3C) << QVariant(0x14) << QVector<quint16>{0x0014};
    QTest::newRow("field on") << int(Tag::HR) << quint64(0x3C) << QVariant("on") << QVector<quint16>{0x003C};
    QTest::newRow("outside mask") << int(Tag::HR) << quint64(0x3C) << QVariant(0x41) << refused;
    QTest::newRow("negative") << int(Tag::HR) << quint64(0x3C) << QVariant(-4) << refused;
    QTest::newRow("coil on") << int(Tag::CO) << quint64(0) << QVariant("on") << QVector<quint16>{1};
    QTest::newRow("coil 0") << int(Tag::CO) << quint64(0) << QVariant(0) << QVector<quint16>{0};
    QTest::newRow("coil 2") << int(Tag::CO) << quint64(0) << QVariant(2) << refused;
}

void tst_TagEncoding::bitFieldsAndBits()
{
    QFETCH(int, registerType);
    QFETCH(quint64, mask);
    QFETCH(QVariant, value);
    QFETCH(QVector<quint16>, words);

    Tag tag(Tag::RegisterType(registerType), Tag::UInt16, Tag::Order10, Tag::Order01, 0, "t", "", "");
    tag.setCount(1);
    tag.setBitfield(mask != 0);
    tag.setMask(mask);
    QString error;
    QCOMPARE(tag.encode(value, &error), words);
    QCOMPARE(error.isEmpty(), !words.isEmpty());
}

QTEST_GUILESS_MAIN(tst_TagEncoding)
#include "tst_tagencoding.moc"
