#include <pointbook/basetag.h>
#include <pointbook/tagbaseloader.h>

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

using Pointbook::BaseTag;
using Pointbook::Tag;
using Pointbook::TagBaseLoader;

namespace {

const char header[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

// One tag element from "id,datatype,offset,bitfield,bitfieldend,counter";
// an empty id leaves out the information element altogether.
QString tagElement(const QString &spec)
{
    const QStringList f = spec.split(QLatin1Char(','));
    QString xml = QStringLiteral("  <tag>\n");
    if (!f.at(0).isEmpty())
        xml += QStringLiteral("    <information id=\"%1\" name=\"%1\"/>\n").arg(f.at(0));
    xml += QStringLiteral("    <modbussettins datatype=\"%1\" offset=\"%2\" bitfield=\"%3\" "
                          "bitfieldend=\"%4\" counter=\"%5\"/>\n  </tag>\n")
               .arg(f.at(1), f.at(2), f.at(3), f.at(4), f.at(5));
    return xml;
}

} // namespace

class tst_TagBaseLoader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void initialState();
    void addresses_data();
    void addresses();
    void fieldsAndDefaults();
    void conversions_data();
    void conversions();
    void properties();
    void sectionsInDocumentOrder();
    void specialCharactersInValues();
    void declaredCodec();
    void lineEndsAndByteOrderMark();
    void emptyBaseLoads();

    void formatErrors_data();
    void formatErrors();
    void missingFileThenValidFile();
    void unreadableFile();
    void malformedFile();
    void zeroByte_data();
    void zeroByte();
    void entityBomb();
    void limits_data();
    void limits();
    void fileSizeLimit();

    void reloadReplacesTags();
    void duplicateIdsKeepTheLast();
    void largeFile();

private:
    QString write(const QString &name, const QByteArray &content);
    QString writeBase(const QString &body, const QString &version = QStringLiteral("1.0"));

    QTemporaryDir m_dir;
};

void tst_TagBaseLoader::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qRegisterMetaType<Tag::RegisterType>();
    qRegisterMetaType<TagBaseLoader::Error>();
}

void tst_TagBaseLoader::init()
{
    // Files of one test never leak into the next.
    QDir dir(m_dir.path());
    for (const QString &f : dir.entryList(QDir::Files))
        dir.remove(f);
}

QString tst_TagBaseLoader::write(const QString &name, const QByteArray &content)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QString tst_TagBaseLoader::writeBase(const QString &body, const QString &version)
{
    return write(QStringLiteral("base_v%1.xml").arg(version),
                 QByteArray(header)
                     + QStringLiteral("<base version=\"%1\">\n%2</base>\n").arg(version, body).toUtf8());
}

void tst_TagBaseLoader::initialState()
{
    TagBaseLoader loader;
    QCOMPARE(loader.error(), TagBaseLoader::NoError);
    QCOMPARE(loader.errorString(), QStringLiteral("no error"));
    QVERIFY(loader.fileName().isEmpty());
    QVERIFY(loader.versionBase().isEmpty());
    QVERIFY(loader.base());
    QCOMPARE(loader.base()->parent(), &loader);

    TagBaseLoader named("/x/base_v2.xml", "2");
    QCOMPARE(named.fileName(), QStringLiteral("/x/base_v2.xml"));
    QCOMPARE(named.versionBase(), QStringLiteral("2"));
    named.setFileName("a");
    named.setVersionBase("b");
    QCOMPARE(named.fileName(), QStringLiteral("a"));
    QCOMPARE(named.versionBase(), QStringLiteral("b"));
    QCOMPARE(int(TagBaseLoader::FileError), 2);
    QCOMPARE(int(TagBaseLoader::FormatError), 3);
    QCOMPARE(int(TagBaseLoader::ParseError), 4);
}

void tst_TagBaseLoader::addresses_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QStringList>("tags");
    QTest::addColumn<QString>("expected");

    QTest::newRow("offsets 10, 12, 13")
        << "hr" << QStringList{"A,uint32,10,0,0,1", "B,uint16,0,0,0,1", "C,uint16,0,0,0,1"}
        << "A=10 B=12 C=13";
    QTest::newRow("bit-field group")
        << "hr"
        << QStringList{"P,uint16,5,0,0,1", "A,uint16,0,1,0,1", "B,uint16,0,1,1,1", "C,uint16,0,1,0,1"}
        << "P=5 A=6 B=6 C=7";
    QTest::newRow("run of bit fields until the end mark")
        << "co"
        << QStringList{"A,uint16,3,1,0,1", "B,uint16,0,1,0,1", "C,uint16,0,1,1,1",
                       "D,uint16,0,1,1,1", "E,uint16,0,0,0,1"}
        << "A=3 B=3 C=3 D=3 E=4";
    QTest::newRow("closed group, next not a bit field")
        << "hr" << QStringList{"A,uint16,8,1,1,1", "B,uint32,0,0,0,1", "C,int16,0,0,0,1"}
        << "A=8 B=9 C=11";
    QTest::newRow("offset inside a bit-field group is ignored")
        << "hr" << QStringList{"A,uint16,8,1,0,1", "B,uint16,40,1,0,1"} << "A=8 B=8";
    QTest::newRow("tag without information still advances")
        << "ir" << QStringList{"A,uint32,0,0,0,1", ",double,0,0,0,1", "C,uint16,0,0,0,1"}
        << "A=0 C=6";
    QTest::newRow("first tag without information")
        << "ir" << QStringList{",uint16,20,0,0,1", "B,float,0,0,0,1"} << "B=21";
    QTest::newRow("explicit offset goes back")
        << "hr" << QStringList{"A,uint16,100,0,0,1", "B,uint16,50,0,0,1", "C,uint16,0,0,0,3"}
        << "A=100 B=50 C=51";
    QTest::newRow("counter and 8-bit sizes")
        << "hr"
        << QStringList{"A,int16,0,0,0,4", "B,uint8,0,0,0,1", "C,uint8,0,0,0,3", "D,float,0,0,0,2",
                       "E,uint16,0,0,0,1"}
        << "A=0 B=4 C=4 D=5 E=9";
    QTest::newRow("unknown type spans nothing")
        << "di" << QStringList{"A,bits,7,0,0,1", "B,uint16,0,0,0,1"} << "A=7 B=7";
    QTest::newRow("last register")
        << "hr" << QStringList{"A,uint16,65534,0,0,1", "B,uint16,0,0,0,1"} << "A=65534 B=65535";
}

void tst_TagBaseLoader::addresses()
{
    QFETCH(QString, section);
    QFETCH(QStringList, tags);
    QFETCH(QString, expected);

    QString body = QStringLiteral(" <%1>\n").arg(section);
    for (const QString &t : tags)
        body += tagElement(t);
    body += QStringLiteral(" </%1>\n").arg(section);

    TagBaseLoader loader(writeBase(body), "1.0");
    QVERIFY2(loader.readBase(), qPrintable(loader.errorString()));

    const Tag::RegisterType type = Tag::stringToRegisterType(section);
    const QHash<QString, Tag *> hash = loader.base()->tagHash(type);
    QStringList actual;
    for (const QString &item : expected.split(QLatin1Char(' '))) {
        const QString id = item.section(QLatin1Char('='), 0, 0);
        QVERIFY2(hash.contains(id), qPrintable(id));
        actual << QStringLiteral("%1=%2").arg(id).arg(hash.value(id)->startAddress());
    }
    QCOMPARE(actual.join(QLatin1Char(' ')), expected);
    QCOMPARE(hash.size(), actual.size());
}

void tst_TagBaseLoader::fieldsAndDefaults()
{
    const QString body = QStringLiteral(
        " <ir>\n"
        "  <tag>\n"
        "   <information id=\"full\" name=\"Pressure\" unit=\"kPa\" description=\"Line\"/>\n"
        "   <modbussettins bitfield=\"true\" bitfieldend=\"1\" offset=\"7\" datatype=\"INT32\"\n"
        "      byteOrderInput=\"1032\" byteOrderOutput=\"0123\" counter=\"2\" mask=\"101\" access=\"RW\"/>\n"
        "   <value default=\"1.5\" min=\"-2.25\" max=\"3e3\" precision=\"3\" dampening=\"TRUE\"/>\n"
        "   <chart type=\"bar\"/>\n"
        "   <typetag type=\"status\" profile=\"yes\"/>\n"
        "   <unknown foo=\"bar\"/>\n"
        "  </tag>\n"
        "  <tag>\n"
        "   <information id=\"defaults\"/>\n"
        "   <modbussettins/>\n"
        "   <value/>\n"
        "   <chart/>\n"
        "   <typetag/>\n"
        "  </tag>\n"
        "  <tag>\n"
        "   <information id=\"bare\"/>\n"
        "  </tag>\n"
        "  <tag>\n"
        "   <information id=\"later wins\" name=\"first\"/>\n"
        "   <information id=\"later\" name=\"second\"/>\n"
        "  </tag>\n"
        " </ir>\n");
    TagBaseLoader loader(writeBase(body), "1.0");
    QVERIFY2(loader.readBase(), qPrintable(loader.errorString()));
    const QHash<QString, Tag *> hash = loader.base()->tagHash(Tag::IR);
    QCOMPARE(hash.size(), 4);

    const Tag *t = hash.value("full");
    QVERIFY(t);
    QCOMPARE(t->registerType(), Tag::IR);
    QCOMPARE(t->name(), QStringLiteral("Pressure"));
    QCOMPARE(t->unit(), QStringLiteral("kPa"));
    QCOMPARE(t->description(), QStringLiteral("Line"));
    QVERIFY(t->bitfield());
    QVERIFY(t->bitfieldEnd());
    QCOMPARE(t->offset(), quint16(7));
    QCOMPARE(t->startAddress(), quint16(7));
    QCOMPARE(t->dataType(), Tag::Int32);
    QCOMPARE(t->byteOrderInput(), Tag::Order1032);
    QCOMPARE(t->byteOrderOutput(), Tag::Order0123);
    QCOMPARE(t->count(), quint16(2));
    QCOMPARE(t->mask(), quint64(5));
    QCOMPARE(t->access(), QStringLiteral("RW"));
    QCOMPARE(t->defaultValue(), 1.5f);
    QCOMPARE(t->minValue(), -2.25f);
    QCOMPARE(t->maxValue(), 3000.0f);
    QCOMPARE(t->precision(), 3);
    QVERIFY(t->damping());
    QCOMPARE(t->typeChart(), QStringLiteral("bar"));
    QCOMPARE(t->typeTag(), QStringLiteral("status"));
    QVERIFY(t->profileParameter());
    QVERIFY(t->isUpdate());

    const Tag *d = hash.value("defaults");
    QVERIFY(d);
    QVERIFY(d->name().isEmpty());
    QVERIFY(!d->bitfield() && !d->bitfieldEnd());
    QCOMPARE(d->offset(), quint16(0));
    QCOMPARE(d->dataType(), Tag::UnknownType);
    QCOMPARE(d->byteOrderInput(), Tag::UnknownOrder);
    QCOMPARE(d->count(), quint16(1));
    QCOMPARE(d->mask(), quint64(0));
    QCOMPARE(d->access(), QStringLiteral("R"));
    QCOMPARE(d->defaultValue(), 0.0f);
    QCOMPARE(d->minValue(), 0.0f);
    QCOMPARE(d->maxValue(), 100.0f);
    QCOMPARE(d->precision(), 0);
    QVERIFY(!d->damping());
    QCOMPARE(d->typeChart(), QStringLiteral("plot"));
    QCOMPARE(d->typeTag(), QStringLiteral("dimension"));
    QVERIFY(!d->profileParameter());

    // Missing elements leave the constructor defaults.
    const Tag *b = hash.value("bare");
    QVERIFY(b);
    QCOMPARE(b->count(), quint16(0));
    QVERIFY(b->access().isEmpty());
    QCOMPARE(b->maxValue(), 0.0f);
    QVERIFY(b->typeChart().isEmpty());
    QVERIFY(b->typeTag().isEmpty());

    QVERIFY(!hash.contains("later wins"));
    QCOMPARE(hash.value("later")->name(), QStringLiteral("second"));
}

void tst_TagBaseLoader::conversions_data()
{
    QTest::addColumn<QString>("attributes");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("bool empty") << "bitfield=\"\"" << "bitfield" << QVariant(false);
    QTest::newRow("bool 0") << "bitfield=\"0\"" << "bitfield" << QVariant(false);
    QTest::newRow("bool FaLsE") << "bitfield=\"FaLsE\"" << "bitfield" << QVariant(false);
    QTest::newRow("bool no is true") << "bitfield=\"no\"" << "bitfield" << QVariant(true);
    QTest::newRow("bool 1") << "bitfield=\"1\"" << "bitfield" << QVariant(true);
    QTest::newRow("bool 00 is true") << "bitfield=\"00\"" << "bitfield" << QVariant(true);
    QTest::newRow("offset max") << "offset=\"65535\"" << "offset" << QVariant(65535);
    // An offset that is no address would put the tag after the previous one.
    const QVariant notAddress = QStringList{"refused", "is not an address from 0 to 65535."};
    QTest::newRow("offset too large") << "offset=\"65536\"" << "offset" << notAddress;
    QTest::newRow("offset negative") << "offset=\"-1\"" << "offset" << notAddress;
    QTest::newRow("offset hex") << "offset=\"0x10\"" << "offset" << notAddress;
    QTest::newRow("counter text") << "counter=\"two\"" << "count" << QVariant(0);
    QTest::newRow("counter empty") << "counter=\"\"" << "count" << QVariant(0);
    QTest::newRow("mask 64 ones") << QString("mask=\"%1\"").arg(QString(64, '1')) << "mask"
                                  << QVariant(~quint64(0));
    QTest::newRow("mask top bit") << QString("mask=\"1%1\"").arg(QString(63, '0')) << "mask"
                                  << QVariant(quint64(1) << 63);
    QTest::newRow("mask 65 digits") << QString("mask=\"%1\"").arg(QString(65, '0') + "1") << "mask"
                                    << QVariant(quint64(0));
    QTest::newRow("mask digit 2") << "mask=\"1021\"" << "mask" << QVariant(quint64(0));
    QTest::newRow("mask blank") << "mask=\" 11\"" << "mask" << QVariant(quint64(0));
    QTest::newRow("mask 1100") << "mask=\"1100\"" << "mask" << QVariant(quint64(12));
    QTest::newRow("byte order case") << "byteOrderInput=\"unknown\"" << "byteOrderInput"
                                     << QVariant(int(Tag::UnknownOrder));
    QTest::newRow("byte order") << "byteOrderInput=\"67452301\"" << "byteOrderInput"
                                << QVariant(int(Tag::Order67452301));
    QTest::newRow("access kept") << "access=\"readwrite\"" << "access" << QVariant("readwrite");
    QTest::newRow("precision negative") << "v:precision=\"-3\"" << "precision" << QVariant(-3);
    QTest::newRow("precision text") << "v:precision=\"x\"" << "precision" << QVariant(0);
    QTest::newRow("float text") << "v:min=\"low\"" << "minValue" << QVariant(0.0f);
    QTest::newRow("float out of range") << "v:max=\"1e60\"" << "maxValue" << QVariant(0.0f);
    QTest::newRow("float comma") << "v:default=\"1,5\"" << "defaultValue" << QVariant(0.0f);

    // Plain numbers take a shorter way than Qt's conversions; both must agree.
    const auto qtFloat = [](const QString &text) {
        bool ok = false;
        const float value = text.toFloat(&ok);
        return QVariant(ok ? value : 0.0f);
    };
    for (const char *text : {"0.1", "-100.0", "-0.0", "123456789012345", "1234567890123456", "9999999999999999999999.5", "0.333333333333333",
                             "16777217", "007.5", "1.", ".5", "+1.5", " 1.5", "1.5 ", "-", "", "3.4028236e38"})
        QTest::newRow(qPrintable(QStringLiteral("float %1").arg(text)))
            << QStringLiteral("v:max=\"%1\"").arg(text) << "maxValue" << qtFloat(text);
    for (const char *text : {"00065535", "65536", "70000", "123456789", "+5", " 5", "5 "}) {
        bool ok = false;
        const int offset = QString(text).toUShort(&ok);
        QTest::newRow(qPrintable(QStringLiteral("offset %1").arg(text)))
            << QStringLiteral("offset=\"%1\"").arg(text) << "offset" << (ok ? QVariant(offset) : notAddress);
    }
    for (const char *text : {"-0", "-", "-2147483648", "2147483648", "999999999", "-1234567890"})
        QTest::newRow(qPrintable(QStringLiteral("precision %1").arg(text)))
            << QStringLiteral("v:precision=\"%1\"").arg(text) << "precision" << QVariant(QString(text).toInt());
}

void tst_TagBaseLoader::conversions()
{
    QFETCH(QString, attributes);
    QFETCH(QString, field);
    QFETCH(QVariant, expected);

    const bool onValue = attributes.startsWith(QLatin1String("v:"));
    const QString element = onValue ? QStringLiteral("<value %1/>").arg(attributes.mid(2))
                                    : QStringLiteral("<modbussettins %1/>").arg(attributes);
    TagBaseLoader loader(writeBase(QStringLiteral("<hr><tag><information id=\"T\"/>%1</tag></hr>")
                                       .arg(element)),
                         "1.0");
    if (expected.userType() == QMetaType::QStringList) {
        QVERIFY(!loader.readBase());
        QCOMPARE(loader.error(), TagBaseLoader::FormatError);
        QVERIFY2(loader.errorString().startsWith("Tag \"T\" (line 3): its offset"), qPrintable(loader.errorString()));
        QVERIFY2(loader.errorString().endsWith(expected.toStringList().at(1)), qPrintable(loader.errorString()));
        return;
    }
    QVERIFY2(loader.readBase(), qPrintable(loader.errorString()));
    const Tag *t = loader.base()->tagHash(Tag::HR).value("T");
    QVERIFY(t);

    QVariant actual;
    if (field == "bitfield") actual = t->bitfield();
    else if (field == "offset") actual = int(t->offset());
    else if (field == "count") actual = int(t->count());
    else if (field == "mask") actual = t->mask();
    else if (field == "byteOrderInput") actual = int(t->byteOrderInput());
    else if (field == "access") actual = t->access();
    else if (field == "precision") actual = t->precision();
    else if (field == "minValue") actual = t->minValue();
    else if (field == "maxValue") actual = t->maxValue();
    else if (field == "defaultValue") actual = t->defaultValue();
    // Exactly: comparing variants of floats forgives the last digits.
    if (expected.userType() == QMetaType::Float)
        QVERIFY2(actual.toFloat() == expected.toFloat(),
                 qPrintable(QString::number(actual.toFloat(), 'g', 9) + " != "
                            + QString::number(expected.toFloat(), 'g', 9)));
    QCOMPARE(actual, expected);
}

void tst_TagBaseLoader::properties()
{
    const QString body = QStringLiteral(
        "<hr>"
        "<tag><information id=\"three\"/>"
        "<property propertyName_0=\"scale\" propertyValue_0=\"10\" propertyName_1=\"lost\"/></tag>"
        "<tag><information id=\"two\"/>"
        "<property propertyValue_1=\"b\" propertyName_0=\"first\" propertyValue_0=\"a\" "
        "propertyName_1=\"Ünit\"/></tag>"
        "<tag><information id=\"unnamed\"/>"
        "<property propertyValue_0=\"v\" other=\"x\"/></tag>"
        "</hr>");
    TagBaseLoader loader(writeBase(body), "1.0");
    QVERIFY2(loader.readBase(), qPrintable(loader.errorString()));
    const QHash<QString, Tag *> hash = loader.base()->tagHash(Tag::HR);

    const Tag *three = hash.value("three");
    QCOMPARE(three->property("scale"), QVariant(QStringLiteral("10")));
    QCOMPARE(three->property("scale").userType(), int(QMetaType::QString));
    QVERIFY(!three->property("lost").isValid());
    QCOMPARE(three->dynamicPropertyNames().size(), 1);

    const Tag *two = hash.value("two");
    QCOMPARE(two->property("first"), QVariant(QStringLiteral("a")));
    QCOMPARE(two->property(QStringLiteral("Ünit").toUtf8().constData()), QVariant(QStringLiteral("b")));

    // A value without a name cannot be read back by name: it is skipped.
    QVERIFY(hash.value("unnamed")->dynamicPropertyNames().isEmpty());
}

void tst_TagBaseLoader::sectionsInDocumentOrder()
{
    const QString body = QStringLiteral(
        "<co>" "<tag><information id=\"c1\"/><modbussettins offset=\"4\"/></tag>" "</co>"
        "<junk><tag><information id=\"lost\"/></tag></junk>"
        "<HR><tag><information id=\"upper\"/></tag></HR>"
        "<hr>" "<tag><information id=\"h1\"/><modbussettins datatype=\"uint32\" offset=\"9\"/></tag>"
        "<other/>"
        "<tag><information id=\"h2\"/><modbussettins datatype=\"uint16\"/></tag>" "</hr>"
        "<!-- a comment -->"
        "<hr><tag><information id=\"h3\"/><modbussettins datatype=\"uint16\"/></tag></hr>"
        "<ir/><di/>");
    TagBaseLoader loader(writeBase(body), "1.0");
    QSignalSpy updates(loader.base(), &BaseTag::updateBase);
    QSignalSpy changes(&loader, &TagBaseLoader::changeBase);
    QVERIFY2(loader.readBase(), qPrintable(loader.errorString()));
    QCOMPARE(changes.count(), 1);

    QStringList order;
    for (const QList<QVariant> &args : updates)
        order << Tag::registerTypeToString(args.at(0).value<Tag::RegisterType>());
    QCOMPARE(order, QStringList({"ir", "hr", "di", "co", "co", "hr", "hr", "hr"}));

    const BaseTag *base = loader.base();
    QCOMPARE(base->sizeTagHash(Tag::CO), 1);
    QCOMPARE(base->sizeTagHash(Tag::HR), 3);
    QCOMPARE(base->sizeTagHash(Tag::IR), 0);
    QCOMPARE(base->tagHash(Tag::HR).value("h2")->startAddress(), quint16(11));
    // A new occurrence of a section starts the address walk afresh.
    QCOMPARE(base->tagHash(Tag::HR).value("h3")->startAddress(), quint16(0));
    QCOMPARE(base->tagHash(Tag::CO).value("c1")->startAddress(), quint16(4));
}

void tst_TagBaseLoader::specialCharactersInValues()
{
    const QString body = QStringLiteral(
        "<hr><tag><information id=\"T\" name=\"R&D <main> 'A'\" unit=\"&amp;\" "
        "description=\"a > b &lt; c\"/></tag></hr>");
    TagBaseLoader loader(writeBase(body), "1.0");
    QVERIFY2(loader.readBase(), qPrintable(loader.errorString()));
    const Tag *t = loader.base()->tagHash(Tag::HR).value("T");
    QVERIFY(t);
    QCOMPARE(t->name(), QStringLiteral("R&D <main> 'A'"));
    QCOMPARE(t->unit(), QStringLiteral("&amp;"));
    QCOMPARE(t->description(), QStringLiteral("a > b &lt; c"));
}

void tst_TagBaseLoader::declaredCodec()
{
    QTextCodec *cp1251 = QTextCodec::codecForName("windows-1251");
    QVERIFY(cp1251);
    const QString name = QString::fromUtf8("Давление на входе");
    const QString unit = QString::fromUtf8("кПа");
    const QString text = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n<base version=\"7\"><ir><tag>"
        "<information id=\"P\" name=\"%1\" unit=\"%2\"/></tag></ir></base>\n").arg(name, unit);
    const QByteArray bytes = cp1251->fromUnicode(text);
    QVERIFY(QString::fromUtf8(bytes) != text);

    TagBaseLoader loader(write("cp1251.xml", bytes), "7");
    QVERIFY2(loader.readBase(), qPrintable(loader.errorString()));
    const Tag *t = loader.base()->tagHash(Tag::IR).value("P");
    QVERIFY(t);
    QCOMPARE(t->name(), name);
    QCOMPARE(t->unit(), unit);
}

void tst_TagBaseLoader::lineEndsAndByteOrderMark()
{
    const QByteArray text = "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<base version=\"1\">\r\n"
                            "<hr><tag><information id=\"T\" name=\"a\r\nb\" unit=\"\rc\r\r\nd\r\"/></tag></hr>\r\n</base>\r";
    TagBaseLoader loader(write("crlf.xml", text), "1");
    QVERIFY2(loader.readBase(), qPrintable(loader.errorString()));
    const Tag *t = loader.base()->tagHash(Tag::HR).value("T");
    QVERIFY(t);
    // The file is read as text: CR LF arrives as LF, also inside values.
    QCOMPARE(t->name(), QStringLiteral("a\nb"));
    // Every carriage return is dropped, also one without a line feed.
    QCOMPARE(t->unit(), QStringLiteral("c\nd"));
}

void tst_TagBaseLoader::emptyBaseLoads()
{
    TagBaseLoader loader(writeBase(QString()), "1.0");
    QSignalSpy changes(&loader, &TagBaseLoader::changeBase);
    QSignalSpy errors(&loader, &TagBaseLoader::errorOccurred);
    QVERIFY(loader.readBase());
    QCOMPARE(changes.count(), 1);
    QCOMPARE(errors.count(), 0);
    QCOMPARE(loader.error(), TagBaseLoader::NoError);
    for (int t = Tag::IR; t <= Tag::CO; ++t)
        QCOMPARE(loader.base()->sizeTagHash(Tag::RegisterType(t)), 0);
}

void tst_TagBaseLoader::formatErrors_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expectedVersion");

    QTest::newRow("version 2 for 2.0") << QByteArray("<base version=\"2\"><hr/></base>") << "2.0";
    QTest::newRow("version missing") << QByteArray("<base><hr/></base>") << "2.0";
    QTest::newRow("version case") << QByteArray("<base version=\"V1\"/>") << "v1";
    QTest::newRow("version with blank") << QByteArray("<base version=\"1 \"/>") << "1";
    QTest::newRow("wrong root") << QByteArray("<clearance version=\"1\"/>") << "1";
    QTest::newRow("root case") << QByteArray("<Base version=\"1\"/>") << "1";
}

void tst_TagBaseLoader::formatErrors()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expectedVersion);

    // Tags of an earlier load go, whatever the outcome.
    TagBaseLoader loader(writeBase("<hr><tag><information id=\"T\"/></tag></hr>", expectedVersion),
                         expectedVersion);
    QVERIFY(loader.readBase());
    QPointer<Tag> old = loader.base()->tagHash(Tag::HR).value("T");
    QVERIFY(old);

    loader.setFileName(write("bad.xml", content));
    QSignalSpy errors(&loader, &TagBaseLoader::errorOccurred);
    QSignalSpy changes(&loader, &TagBaseLoader::changeBase);
    QVERIFY(!loader.readBase());

    const QString message = QStringLiteral("The file is not an MODBUSBASE version %1 file.").arg(expectedVersion);
    QCOMPARE(loader.error(), TagBaseLoader::FormatError);
    QCOMPARE(loader.errorString(), message);
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).value<TagBaseLoader::Error>(), TagBaseLoader::FormatError);
    QCOMPARE(errors.at(0).at(1).toString(), message);
    QCOMPARE(changes.count(), 0);
    QVERIFY(!old);
    QCOMPARE(loader.base()->sizeTagHash(Tag::HR), 0);
}

void tst_TagBaseLoader::missingFileThenValidFile()
{
    TagBaseLoader loader(m_dir.filePath("absent.xml"), "1.0");
    QSignalSpy errors(&loader, &TagBaseLoader::errorOccurred);
    QVERIFY(!loader.readBase());
    QCOMPARE(loader.error(), TagBaseLoader::FileError);
    QCOMPARE(loader.errorString(), QStringLiteral("File does not exist."));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).value<TagBaseLoader::Error>(), TagBaseLoader::FileError);

    loader.setFileName(writeBase("<ir><tag><information id=\"A\"/></tag></ir>"));
    QSignalSpy changes(&loader, &TagBaseLoader::changeBase);
    QVERIFY(loader.readBase());
    QCOMPARE(changes.count(), 1);
    QCOMPARE(errors.count(), 1);
    // A successful load does not reset the last error.
    QCOMPARE(loader.error(), TagBaseLoader::FileError);
    QCOMPARE(loader.errorString(), QStringLiteral("File does not exist."));
    QCOMPARE(loader.base()->sizeTagHash(Tag::IR), 1);
}

void tst_TagBaseLoader::unreadableFile()
{
    // A folder exists but cannot be opened as a text file.
    const QString path = m_dir.filePath("folder.xml");
    QVERIFY(QDir().mkpath(path));
    TagBaseLoader loader(path, "1.0");
    QVERIFY(!loader.readBase());
    QCOMPARE(loader.error(), TagBaseLoader::FileError);
    QCOMPARE(loader.errorString(), QStringLiteral("Error opening file:") + path);
    QVERIFY(QDir(path).removeRecursively());
}

void tst_TagBaseLoader::malformedFile()
{
    TagBaseLoader loader(write("broken.xml", "<base version=\"1\">\n  <hr>\n    <tag>\n  </hr>\n</base>\n"),
                         "1");
    QSignalSpy errors(&loader, &TagBaseLoader::errorOccurred);
    QVERIFY(!loader.readBase());
    QCOMPARE(loader.error(), TagBaseLoader::ParseError);
    const QRegularExpression suffix(QStringLiteral("^.+: line - (\\d+), column - (\\d+)$"));
    const QRegularExpressionMatch match = suffix.match(loader.errorString());
    QVERIFY2(match.hasMatch(), qPrintable(loader.errorString()));
    QCOMPARE(match.captured(1).toInt(), 4);
    QVERIFY(match.captured(2).toInt() > 0);
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(1).toString(), loader.errorString());
}

void tst_TagBaseLoader::zeroByte_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("loads");

    const QByteArray doc = "<base version=\"1\"><hr><tag><information id=\"T\"/></tag></hr></base>";
    // Whatever follows a zero byte would go unread: the file is damaged.
    QTest::newRow("garbage after zero") << doc + QByteArray(1, '\0') + "\x01\xff<junk" << false;
    QTest::newRow("zero after the root") << doc + "\n" + QByteArray(1, '\0') << false;
    QTest::newRow("zero first") << QByteArray(1, '\0') + doc << false;
    // A declared codec decodes every byte: the zero byte reaches the parser,
    // which reports it.
    QTest::newRow("declared, zero inside an attribute")
        << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?><base version=\"1\"><hr><tag>"
                      "<information id=\"T\" name=\"a")
               + QByteArray(1, '\0') + "b\"/></tag></hr></base>"
        << false;
    QTest::newRow("declared, zero inside")
        << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>") + doc + QByteArray(1, '\0') + "x"
        << false;
}

void tst_TagBaseLoader::zeroByte()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, loads);
    TagBaseLoader loader(write("zero.xml", content), "1");
    QCOMPARE(loader.readBase(), loads);
    if (loads) {
        QCOMPARE(loader.base()->sizeTagHash(Tag::HR), 1);
    } else {
        QCOMPARE(loader.error(), TagBaseLoader::ParseError);
        QVERIFY(loader.errorString().contains(QLatin1String(": line - ")));
        QCOMPARE(loader.base()->sizeTagHash(Tag::HR), 0);
    }
}

void tst_TagBaseLoader::entityBomb()
{
    // Single quotes escape the quoted-run repair; each entity stays below the
    // parser's own size limit, yet the references would need gigabytes.
    QByteArray text = "<?xml version=\"1.0\"?>\n<!DOCTYPE base [\n <!ENTITY w '";
    text += QByteArray(4000, 'x');
    text += "'>\n]>\n<base version=\"1\"><hr><tag><information id=\"T\"/></tag></hr>";
    text += QByteArray("&w;").repeated(300000);
    text += "</base>\n";

    TagBaseLoader loader(write("bomb.xml", text), "1");
    QVERIFY(!loader.readBase());
    QCOMPARE(loader.error(), TagBaseLoader::ParseError);
    QVERIFY2(loader.errorString().contains(QLatin1String("entity")), qPrintable(loader.errorString()));
    QVERIFY(loader.errorString().contains(QLatin1String(": line - ")));
    QCOMPARE(loader.base()->sizeTagHash(Tag::HR), 0);
}

void tst_TagBaseLoader::limits_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("error"); // NoError: the map loads
    QTest::addColumn<QString>("reason");

    const auto hr = [](const QStringList &tags) {
        QString body = QStringLiteral("<hr>\n");
        for (const QString &t : tags)
            body += tagElement(t);
        return body + QStringLiteral("</hr>\n");
    };
    const auto properties = [](int n) {
        QString p;
        for (int i = 0; i < n; ++i)
            p += QStringLiteral(" propertyName_%1=\"p%1\" propertyValue_%1=\"v\"").arg(i);
        return QStringLiteral("<ir><tag><information id=\"P\"/><property%1/></tag></ir>").arg(p);
    };

    QTest::newRow("array of 65535 bytes") << hr({"A,uint8,0,0,0,65535"}) << 0 << QString();
    // 65535 doubles wrapped to 32764 registers and overlapped the next tags.
    QTest::newRow("array size overflows")
        << hr({"A,uint16,0,0,0,1", "D,double,0,0,0,65535", "B,uint16,0,0,0,1"})
        << int(TagBaseLoader::FormatError) << "Tag \"D\" (line 8): 65535 elements of double take 524280 bytes";
    QTest::newRow("registers run past 65535")
        << hr({"A,uint64,65534,0,0,1"}) << int(TagBaseLoader::FormatError)
        << "Tag \"A\" (line 4): its registers 65534 to 65537 run past address 65535.";
    QTest::newRow("next tag would wrap to 0")
        << hr({"A,uint16,65535,0,0,1", ",uint16,0,0,0,1"}) << int(TagBaseLoader::FormatError)
        << "Tag without id (line 8): its registers 65536 to 65536";
    QTest::newRow("256 properties") << properties(256) << 0 << QString();
    QTest::newRow("257 properties")
        << properties(257) << int(TagBaseLoader::FormatError) << "Tag \"P\" (line 3): more than 256 properties";
    // Limits are read at the tag's own type: as floats, 33554431 became
    // 33554432 and 1e300 became 0, which switched the check off.
    const auto limited = [](const QString &type, const QString &min, const QString &max,
                            const QString &extra = QString()) {
        return QStringLiteral("<hr>\n<tag><information id=\"L\"/>\n<modbussettins datatype=\"%1\" %4/>\n"
                              "<value min=\"%2\" max=\"%3\"/></tag>\n</hr>\n").arg(type, min, max, extra);
    };
    const auto limitError = [](const QString &reason) { return "Tag \"L\" (line 4): its limit " + reason; };
    QTest::newRow("uint32 limits exact") << limited("uint32", "0", "33554431") << 0 << QString();
    QTest::newRow("uint64 full range") << limited("uint64", "0", "18446744073709551615") << 0 << QString();
    QTest::newRow("int64 lowest, written with exponent") << limited("int64", "-9223372036854775808", "9.2e18") << 0 << QString();
    QTest::newRow("double beyond float") << limited("double", "-1e300", "1e300") << 0 << QString();
    QTest::newRow("float at its largest") << limited("float", "-3.4028235e+38", "3.4028235e38") << 0 << QString();
    QTest::newRow("uint16 max 70000") << limited("uint16", "0", "70000") << int(TagBaseLoader::FormatError)
                                      << limitError("max=\"70000\": 70000 is outside the range of uint16 (0 to 65535).");
    QTest::newRow("uint32 min -1") << limited("uint32", "-1", "10") << int(TagBaseLoader::FormatError)
                                   << limitError("min=\"-1\": -1 is outside the range of uint32 (0 to 4294967295).");
    QTest::newRow("uint64 max 2^64") << limited("uint64", "0", "18446744073709551616") << int(TagBaseLoader::FormatError)
                                     << limitError("max=\"18446744073709551616\": 18446744073709551616 is outside the range of uint64");
    QTest::newRow("int8 fraction") << limited("int8", "-0.5", "10") << int(TagBaseLoader::FormatError)
                                   << limitError("min=\"-0.5\": -0.5 is not a whole number.");
    QTest::newRow("float max 1e39") << limited("float", "0", "1e39") << int(TagBaseLoader::FormatError)
                                    << limitError("max=\"1e39\": 1e39 is outside the range of a float.");
    QTest::newRow("double max 1e309") << limited("double", "0", "1e309") << int(TagBaseLoader::FormatError)
                                      << limitError("max=\"1e309\": 1e309 is outside the range of a double.");
    QTest::newRow("double min nan") << limited("double", "nan", "1") << int(TagBaseLoader::FormatError)
                                    << limitError("min=\"nan\": nan is not a finite number.");
    QTest::newRow("limit not a number") << limited("int32", "low", "1") << int(TagBaseLoader::FormatError)
                                        << limitError("min=\"low\": \"low\" is not a number.");
    // Bit fields and bits take no limits: their maps carry any numbers there.
    QTest::newRow("bit field ignores limits")
        << limited("uint16", "-1000000.0", "1000000.0", "bitfield=\"true\" mask=\"1\"") << 0 << QString();
    QTest::newRow("nested too deep")
        << "<ir><tag>" + QStringLiteral("<x>").repeated(300) << int(TagBaseLoader::ParseError)
        << "nested deeper than 256 levels: line - 3, column - 769";
}

void tst_TagBaseLoader::limits()
{
    QFETCH(QString, body);
    QFETCH(int, error);
    QFETCH(QString, reason);
    TagBaseLoader loader(writeBase(body), "1.0");
    QSignalSpy errors(&loader, &TagBaseLoader::errorOccurred);
    QCOMPARE(loader.readBase(), error == TagBaseLoader::NoError);
    if (error == TagBaseLoader::NoError)
        return;
    QCOMPARE(int(loader.error()), error);
    QVERIFY2(loader.errorString().contains(reason), qPrintable(loader.errorString()));
    QCOMPARE(errors.count(), 1);
    for (const auto type : {Tag::IR, Tag::HR})
        QCOMPARE(loader.base()->sizeTagHash(type), 0);
}

void tst_TagBaseLoader::fileSizeLimit()
{
    // Sparse: refused by its size, never read.
    QFile file(m_dir.filePath("huge.xml"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(qint64(64) * 1024 * 1024 + 1));
    file.close();
    TagBaseLoader loader(file.fileName(), "1");
    QVERIFY(!loader.readBase());
    QCOMPARE(loader.error(), TagBaseLoader::FileError);
    QVERIFY2(loader.errorString().contains(QLatin1String("too large: 67108865 bytes")),
             qPrintable(loader.errorString()));
}

void tst_TagBaseLoader::reloadReplacesTags()
{
    TagBaseLoader loader(writeBase("<ir><tag><information id=\"A\"/></tag></ir>"), "1.0");
    QVERIFY(loader.readBase());
    QPointer<Tag> first = loader.base()->tagHash(Tag::IR).value("A");
    BaseTag snapshot;
    QVERIFY(first);

    QVERIFY(loader.readBase());
    QVERIFY(!first);
    QPointer<Tag> second = loader.base()->tagHash(Tag::IR).value("A");
    QVERIFY(second);
    QVERIFY(loader.base()->equals(loader.base()));
    QVERIFY(!loader.base()->equals(&snapshot));
}

void tst_TagBaseLoader::duplicateIdsKeepTheLast()
{
    const QString body = QStringLiteral(
        "<hr>"
        "<tag><information id=\"D\" name=\"one\"/><modbussettins datatype=\"uint32\" offset=\"2\"/></tag>"
        "<tag><information id=\"D\" name=\"two\"/><modbussettins datatype=\"uint16\"/></tag>"
        "<tag><information id=\"X\"/><modbussettins datatype=\"uint16\"/></tag>"
        "<tag><modbussettins datatype=\"uint32\"/></tag>"
        "<tag><information id=\"D\" name=\"three\"/><modbussettins datatype=\"uint16\"/></tag>"
        "<tag><information/><modbussettins datatype=\"uint16\"/></tag>"
        "</hr>"
        "<hr><tag><information id=\"X\" name=\"again\"/></tag></hr>");
    TagBaseLoader loader(writeBase(body), "1.0");
    QSignalSpy updates(loader.base(), &BaseTag::updateBase);
    QVERIFY2(loader.readBase(), qPrintable(loader.errorString()));
    QCOMPARE(updates.count(), 4 + 5);
    const QHash<QString, Tag *> hash = loader.base()->tagHash(Tag::HR);
    QCOMPARE(hash.size(), 2);
    QCOMPARE(hash.value("D")->name(), QStringLiteral("three"));
    // one at 2 (size 2), two at 4, X at 5, no id at 6 (size 2), three at 8.
    QCOMPARE(hash.value("D")->startAddress(), quint16(8));
    QCOMPARE(hash.value("X")->name(), QStringLiteral("again"));
}

void tst_TagBaseLoader::largeFile()
{
    // Ten thousand tags of mixed widths; the expected addresses follow from
    // the register widths of the types alone.
    struct Kind {
        const char *type;
        int counter;
        int registers;
    };
    const Kind kinds[] = {{"uint16", 1, 1}, {"int32", 1, 2}, {"float", 1, 2}, {"double", 1, 4},
                          {"uint8", 2, 1},  {"int16", 3, 3}, {"uint64", 1, 4}, {"int8", 1, 0}};
    const int total = 10000;

    QByteArray text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<base version=\"big\">\n<hr>\n";
    QVector<int> expected(total);
    int address = 0;
    for (int i = 0; i < total; ++i) {
        const Kind &k = kinds[i % 8];
        int offset = 0;
        if (i % 1000 == 0) {
            offset = 1 + i / 10;
            address = offset;
        }
        expected[i] = address;
        // Limits the tag's own type holds: whole numbers of 8 bits for the
        // integers, a fraction for the reals.
        const bool real = QByteArray(k.type) == "float" || QByteArray(k.type) == "double";
        text += QStringLiteral("<tag><information id=\"T%1\" name=\"Tag & %1\"/>"
                               "<modbussettins datatype=\"%2\" counter=\"%3\" offset=\"%4\"/>"
                               "<value max=\"%5\"/></tag>\n")
                    .arg(i).arg(QLatin1String(k.type)).arg(k.counter).arg(offset)
                    .arg(real ? QStringLiteral("%1.5").arg(i) : QString::number(i % 100)).toUtf8();
        address = (address + k.registers) % 65536;
    }
    text += "</hr>\n</base>\n";

    TagBaseLoader loader(write("base_vbig.xml", text), "big");
    QSignalSpy updates(loader.base(), &BaseTag::updateBase);
    QVERIFY2(loader.readBase(), qPrintable(loader.errorString()));
    QCOMPARE(updates.count(), 4 + total);
    const QHash<QString, Tag *> hash = loader.base()->tagHash(Tag::HR);
    QCOMPARE(hash.size(), total);
    for (int i = 0; i < total; ++i) {
        const Tag *t = hash.value(QStringLiteral("T%1").arg(i));
        QVERIFY(t);
        QCOMPARE(int(t->startAddress()), expected.at(i));
        QCOMPARE(t->name(), QStringLiteral("Tag & %1").arg(i));
        const bool real = t->dataType() == Tag::Float || t->dataType() == Tag::Double;
        QCOMPARE(t->maxValue(), real ? float(i + 0.5) : float(i % 100));
    }
}

QTEST_GUILESS_MAIN(tst_TagBaseLoader)
#include "tst_tagbaseloader.moc"
