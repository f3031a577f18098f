#include <pointbook/tag.h>

#include <QMetaMethod>
#include <QSignalSpy>
#include <QtTest>

using Pointbook::Tag;

class tst_Tag : public QObject
{
    Q_OBJECT

private slots:
    void defaults();
    void registerTypeConstructor();
    void fullConstructor();
    void slotOrder();

    void dataTypeText_data();
    void dataTypeText();
    void dataTypeNames();
    void registerTypeText_data();
    void registerTypeText();
    void byteOrderText_data();
    void byteOrderText();
    void byteOrderRoundTrip();
    void typeAccess_data();
    void typeAccess();
    void typeTag_data();
    void typeTag();

    void dampingPoints();
    void lessThan_data();
    void lessThan();
};

void tst_Tag::defaults()
{
    QObject parent;
    Tag tag(&parent);
    QCOMPARE(tag.parent(), &parent);
    QCOMPARE(tag.registerType(), Tag::UnknownRegister);
    QCOMPARE(tag.dataType(), Tag::UnknownType);
    QVERIFY(tag.Id().isEmpty() && tag.name().isEmpty() && tag.description().isEmpty());
    QVERIFY(tag.unit().isEmpty() && tag.access().isEmpty());
    QVERIFY(tag.typeChart().isEmpty() && tag.typeTag().isEmpty());
    QCOMPARE(tag.mask(), quint64(0));
    QCOMPARE(tag.count(), quint16(0));
    QCOMPARE(tag.startAddress(), quint16(0));
    QCOMPARE(tag.offset(), quint16(0));
    QCOMPARE(tag.precision(), 0);
    QCOMPARE(tag.dampingPoints(), 0);
    QVERIFY(!tag.bitfield() && !tag.bitfieldEnd());
    QVERIFY(tag.isUpdate());
    QVERIFY(!tag.enableDamping() && !tag.damping());
    QVERIFY(!tag.visibleChart() && !tag.visible() && !tag.profileParameter());
    QCOMPARE(tag.defaultValue(), 0.0f);
    QCOMPARE(tag.minValue(), 0.0f);
    QCOMPARE(tag.maxValue(), 0.0f);
    QCOMPARE(tag.dampedValue(), 0.0);
    QCOMPARE(tag.byteOrderInput(), Tag::UnknownOrder);
    QCOMPARE(tag.byteOrderOutput(), Tag::UnknownOrder);
    QVERIFY(tag.valueByteArray().isEmpty());
    QCOMPARE(tag.colorChart(), QColor(0, 0, 0, 255));
    QVERIFY(!tag.value().isValid());

    tag.setPrecision();
    QCOMPARE(tag.precision(), -1);
}

void tst_Tag::registerTypeConstructor()
{
    QObject parent;
    Tag tag(Tag::CO, &parent);
    QCOMPARE(tag.parent(), &parent);
    QCOMPARE(tag.registerType(), Tag::CO);
    QCOMPARE(tag.dataType(), Tag::UnknownType);
    QVERIFY(tag.isUpdate());
}

void tst_Tag::fullConstructor()
{
    Tag tag(Tag::HR, Tag::Float, Tag::Order3210, Tag::Order0123, 4711,
            QStringLiteral("Pressure"), QStringLiteral("kPa"), QStringLiteral("Line pressure"));
    QCOMPARE(tag.registerType(), Tag::HR);
    QCOMPARE(tag.dataType(), Tag::Float);
    QCOMPARE(tag.byteOrderInput(), Tag::Order3210);
    QCOMPARE(tag.byteOrderOutput(), Tag::Order0123);
    QCOMPARE(tag.startAddress(), quint16(4711));
    QCOMPARE(tag.name(), QStringLiteral("Pressure"));
    QCOMPARE(tag.unit(), QStringLiteral("kPa"));
    QCOMPARE(tag.description(), QStringLiteral("Line pressure"));
    QCOMPARE(tag.count(), quint16(0));
    QVERIFY(tag.Id().isEmpty());
    QVERIFY(!tag.parent());
}

void tst_Tag::slotOrder()
{
    const QStringList expected = {
        "setRegisterType", "setId", "setName", "setDescription", "setUnit", "setBitfield",
        "setBitfieldEnd", "setDataType", "setCount", "setAccess", "setDefaultValue",
        "setMinValue", "setMaxValue", "setPrecision", "setPrecision", "setStartAddress",
        "setOffset", "setMask", "setRawData", "setTypeChart", "setVisibleChart", "setVisible",
        "setProfileParameter", "setColorChart", "setTypeTag", "setUpdate", "setByteOrderInput",
        "setByteOrderOutput", "setDampedValue", "setDampingPoints", "setDamping",
        "setEnableDamping"};
    QStringList slotNames;
    QStringList signalNames;
    const QMetaObject &mo = Tag::staticMetaObject;
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i) {
        const QMetaMethod m = mo.method(i);
        if (m.methodType() == QMetaMethod::Slot)
            slotNames << QString::fromLatin1(m.name());
        else if (m.methodType() == QMetaMethod::Signal)
            signalNames << QString::fromLatin1(m.methodSignature());
    }
    QCOMPARE(slotNames, expected);
    QCOMPARE(signalNames, QStringList({"changedValue()", "changedDampingPoints(int)"}));
}

void tst_Tag::dataTypeText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("type");

    QTest::newRow("uint8") << "uint8" << int(Tag::UInt8);
    QTest::newRow("int8") << "int8" << int(Tag::Int8);
    QTest::newRow("uint16") << "uint16" << int(Tag::UInt16);
    QTest::newRow("int16") << "int16" << int(Tag::Int16);
    QTest::newRow("uint32 upper") << "UINT32" << int(Tag::UInt32);
    QTest::newRow("int32 mixed") << "Int32" << int(Tag::Int32);
    QTest::newRow("uint64") << "uint64" << int(Tag::UInt64);
    QTest::newRow("int64") << "int64" << int(Tag::Int64);
    QTest::newRow("float") << "float" << int(Tag::Float);
    QTest::newRow("double upper") << "DOUBLE" << int(Tag::Double);
    QTest::newRow("float trailing blank") << "float " << int(Tag::UnknownType);
    QTest::newRow("empty") << "" << int(Tag::UnknownType);
    QTest::newRow("other") << "real" << int(Tag::UnknownType);
}

void tst_Tag::dataTypeText()
{
    QFETCH(QString, text);
    QFETCH(int, type);
    QCOMPARE(int(Tag::stringToDataType(text)), type);
}

void tst_Tag::dataTypeNames()
{
    const QStringList names = {"uint16", "uint8", "int8", "uint16", "int16", "uint32",
                               "int32", "uint64", "int64", "float", "double"};
    for (int i = 0; i < names.size(); ++i)
        QCOMPARE(Tag::dataTypeToString(Tag::DataType(i)), names.at(i));
    QCOMPARE(Tag::dataTypeToString(Tag::DataType(11)), QString());
    // The printed unknown type reads back as UInt16.
    QCOMPARE(Tag::stringToDataType(Tag::dataTypeToString(Tag::UnknownType)), Tag::UInt16);
    for (int i = 1; i <= 10; ++i)
        QCOMPARE(int(Tag::stringToDataType(Tag::dataTypeToString(Tag::DataType(i)))), i);
}

void tst_Tag::registerTypeText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("type");

    QTest::newRow("ir") << "ir" << int(Tag::IR);
    QTest::newRow("HR") << "HR" << int(Tag::HR);
    QTest::newRow("Hr") << "Hr" << int(Tag::HR);
    QTest::newRow("di") << "di" << int(Tag::DI);
    QTest::newRow("DI") << "DI" << int(Tag::DI);
    QTest::newRow("co") << "co" << int(Tag::CO);
    QTest::newRow("empty") << "" << int(Tag::UnknownRegister);
    QTest::newRow("blank") << "ir " << int(Tag::UnknownRegister);
    QTest::newRow("other") << "coil" << int(Tag::UnknownRegister);
}

void tst_Tag::registerTypeText()
{
    QFETCH(QString, text);
    QFETCH(int, type);
    QCOMPARE(int(Tag::stringToRegisterType(text)), type);
    if (type != Tag::UnknownRegister)
        QCOMPARE(Tag::registerTypeToString(Tag::RegisterType(type)), text.toLower());
    else
        QCOMPARE(Tag::registerTypeToString(Tag::UnknownRegister), QString());
    QCOMPARE(Tag::registerTypeToString(Tag::RegisterType(5)), QString());
}

void tst_Tag::byteOrderText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("order");

    QTest::newRow("3210") << "3210" << int(Tag::Order3210);
    QTest::newRow("0") << "0" << int(Tag::Order0);
    QTest::newRow("Unknown") << "Unknown" << int(Tag::UnknownOrder);
    QTest::newRow("unknown lower") << "unknown" << int(Tag::UnknownOrder);
    QTest::newRow("trailing blank") << "3210 " << int(Tag::UnknownOrder);
    QTest::newRow("leading blank") << " 3210" << int(Tag::UnknownOrder);
    QTest::newRow("letters") << "abcd" << int(Tag::UnknownOrder);
    QTest::newRow("not a listed order") << "0132" << int(Tag::UnknownOrder);
    QTest::newRow("empty") << "" << int(Tag::UnknownOrder);
}

void tst_Tag::byteOrderText()
{
    QFETCH(QString, text);
    QFETCH(int, order);
    QCOMPARE(int(Tag::stringToByteOrder(text)), order);
}

void tst_Tag::byteOrderRoundTrip()
{
    const QStringList texts = {"Unknown", "0", "01", "10", "0123", "1032", "3210", "2301",
                               "01234567", "10325476", "32107654", "23016745", "45670123",
                               "54761032", "76543210", "67452301"};
    for (int i = 0; i < texts.size(); ++i) {
        QCOMPARE(Tag::byteOrderToString(Tag::ByteOrder(i)), texts.at(i));
        QCOMPARE(int(Tag::stringToByteOrder(texts.at(i))), i);
    }
    QCOMPARE(Tag::byteOrderToString(Tag::ByteOrder(16)), QString());
    QCOMPARE(Tag::byteOrderToString(Tag::ByteOrder(-1)), QString());
}

void tst_Tag::typeAccess_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("access");

    QTest::newRow("R") << "R" << int(Tag::Read);
    QTest::newRow("r") << "r" << int(Tag::Read);
    QTest::newRow("Read") << "Read" << int(Tag::Read);
    QTest::newRow("READ") << "READ" << int(Tag::Read);
    QTest::newRow("W") << "W" << int(Tag::Write);
    QTest::newRow("write") << "write" << int(Tag::Write);
    QTest::newRow("RW") << "RW" << int(Tag::ReadWrite);
    QTest::newRow("rW") << "rW" << int(Tag::ReadWrite);
    QTest::newRow("ReadWrite") << "ReadWrite" << int(Tag::ReadWrite);
    QTest::newRow("rEADwRITE") << "rEADwRITE" << int(Tag::ReadWrite);
    QTest::newRow("X") << "X" << int(Tag::UnknownAccess);
    QTest::newRow("WR") << "WR" << int(Tag::UnknownAccess);
    QTest::newRow("empty") << "" << int(Tag::UnknownAccess);
}

void tst_Tag::typeAccess()
{
    QFETCH(QString, text);
    QFETCH(int, access);
    QCOMPARE(int(Tag::stringToTypeAccess(text)), access);
}

void tst_Tag::typeTag_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("typeTag");

    QTest::newRow("status") << "status" << int(Tag::Status);
    QTest::newRow("Parameter") << "Parameter" << int(Tag::Parameter);
    QTest::newRow("DIMENSION") << "DIMENSION" << int(Tag::Dimension);
    QTest::newRow("command") << "command" << int(Tag::Command);
    QTest::newRow("empty") << "" << int(Tag::UnknownTag);
    QTest::newRow("other") << "alarm" << int(Tag::UnknownTag);
}

void tst_Tag::typeTag()
{
    QFETCH(QString, text);
    QFETCH(int, typeTag);
    QCOMPARE(int(Tag::stringToTypeTag(text)), typeTag);
}

void tst_Tag::dampingPoints()
{
    Tag tag;
    QSignalSpy spy(&tag, &Tag::changedDampingPoints);

    tag.setDampingPoints(4);
    tag.setDampingPoints(4);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), 4);
    QVERIFY(tag.enableDamping());

    tag.setDampingPoints(0);
    QCOMPARE(spy.count(), 2);
    QVERIFY(!tag.enableDamping());

    // Switching damping on by hand keeps the points as they are.
    tag.setEnableDamping(true);
    QVERIFY(tag.enableDamping());
    QCOMPARE(tag.dampingPoints(), 0);
    QCOMPARE(spy.count(), 2);
}

void tst_Tag::lessThan_data()
{
    QTest::addColumn<int>("typeA");
    QTest::addColumn<int>("addressA");
    QTest::addColumn<quint64>("maskA");
    QTest::addColumn<int>("typeB");
    QTest::addColumn<int>("addressB");
    QTest::addColumn<quint64>("maskB");
    QTest::addColumn<bool>("aFirst");
    QTest::addColumn<bool>("bFirst");

    QTest::newRow("masks 01 and 10") << 2 << 7 << quint64(1) << 2 << 7 << quint64(2) << true << false;
    QTest::newRow("equal") << 2 << 7 << quint64(1) << 2 << 7 << quint64(1) << false << false;
    QTest::newRow("type before address") << 1 << 9 << quint64(0) << 2 << 1 << quint64(0) << true << false;
    QTest::newRow("address before mask") << 3 << 1 << quint64(8) << 3 << 2 << quint64(1) << true << false;
    QTest::newRow("address unsigned") << 1 << 65535 << quint64(0) << 1 << 1 << quint64(0) << false << true;
    QTest::newRow("mask unsigned 64") << 1 << 0 << (quint64(1) << 63) << 1 << 0 << quint64(1) << false << true;
}

void tst_Tag::lessThan()
{
    QFETCH(int, typeA);
    QFETCH(int, addressA);
    QFETCH(quint64, maskA);
    QFETCH(int, typeB);
    QFETCH(int, addressB);
    QFETCH(quint64, maskB);
    QFETCH(bool, aFirst);
    QFETCH(bool, bFirst);

    Tag a{Tag::RegisterType(typeA)};
    a.setStartAddress(quint16(addressA));
    a.setMask(maskA);
    Tag b{Tag::RegisterType(typeB)};
    b.setStartAddress(quint16(addressB));
    b.setMask(maskB);
    QCOMPARE(Tag::lessThan(&a, &b), aFirst);
    QCOMPARE(Tag::lessThan(&b, &a), bFirst);
}

QTEST_GUILESS_MAIN(tst_Tag)
#include "tst_tag.moc"
