#include <clearance/baseclearance.h>
#include <clearance/clearanceloader.h>
#include <clearance/clearancetag.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

using Clearance::BaseClearance;
using Clearance::ClearanceLoader;
using Clearance::ClearanceTag;

class tst_ClearanceLoader : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void readsSectionsAndRights();
    void rightsFromText_data();
    void rightsFromText();
    void quotedValues_data();
    void quotedValues();
    void firstOfSameIdWins();
    void failures_data();
    void failures();
    void errorSignalAfterFields();
    void unreadableFileIsFileError();
    void declaredCodepageIsUsed();
    void unknownCodepageKeepsUtf8();
    void successClearsEarlierError();

private:
    QString write(const QString &name, const QByteArray &bytes);
    static QByteArray rights(const QByteArray &body, const QByteArray &version = "1.00");

    QScopedPointer<QTemporaryDir> m_dir;
};

void tst_ClearanceLoader::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
}

QString tst_ClearanceLoader::write(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(bytes);
    return path;
}

QByteArray tst_ClearanceLoader::rights(const QByteArray &body, const QByteArray &version)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<base version=\"" + version + "\">\n"
           + body + "\n</base>\n";
}

void tst_ClearanceLoader::readsSectionsAndRights()
{
    const QString path = write("user_v1.00.xml", rights(
        "<ir><tag id=\"Pressure\" update=\"true\" visible=\"true\" readonly=\"true\"/>"
        "<note id=\"ignored\"/></ir>"
        "<hr><tag id=\"SetPoint\" update=\"true\" visible=\"true\" readonly=\"false\"/></hr>"
        "<di><tag id=\"Alarm\" visible=\"1\"/><tag update=\"1\"/></di>"
        "<co><tag id=\"Run\" update=\"yes\"/></co>"
        "<xx><tag id=\"Other\" update=\"true\"/></xx>"));
    BaseClearance base;
    ClearanceLoader loader;
    loader.setBase(&base);
    loader.setFileName(path);
    loader.setVersionBase("1.00");
    QVERIFY2(loader.readBase(), qPrintable(loader.errorString()));
    QCOMPARE(loader.error(), ClearanceLoader::NoError);

    QCOMPARE(base.sizeTagHash(ClearanceTag::InputRegisters), 1);
    QCOMPARE(base.sizeTagHash(ClearanceTag::HoldingRegisters), 1);
    QCOMPARE(base.sizeTagHash(ClearanceTag::DiscreteInputs), 1); // empty id dropped
    QCOMPARE(base.sizeTagHash(ClearanceTag::Coils), 1);

    const ClearanceTag *pressure = base.tagHash(ClearanceTag::InputRegisters).value("Pressure");
    QVERIFY(pressure);
    QCOMPARE(pressure->registerType(), ClearanceTag::InputRegisters);
    QVERIFY(pressure->update() && pressure->visible() && pressure->readonly());

    const ClearanceTag *setPoint = base.tagHash(ClearanceTag::HoldingRegisters).value("SetPoint");
    QVERIFY(setPoint);
    QCOMPARE(setPoint->registerType(), ClearanceTag::HoldingRegisters);
    QVERIFY(!setPoint->readonly());

    const ClearanceTag *run = base.tagHash(ClearanceTag::Coils).value("Run");
    QVERIFY(run);
    QCOMPARE(run->registerType(), ClearanceTag::Coils);
    QVERIFY(run->update() && !run->visible() && !run->readonly());
}

void tst_ClearanceLoader::rightsFromText_data()
{
    QTest::addColumn<QByteArray>("attribute");
    QTest::addColumn<bool>("expected");

    QTest::newRow("1") << QByteArray("update=\"1\"") << true;
    QTest::newRow("yes") << QByteArray("update=\"yes\"") << true;
    QTest::newRow("true") << QByteArray("update=\"true\"") << true;
    QTest::newRow("TRUE") << QByteArray("update=\"TRUE\"") << true;
    QTest::newRow("0") << QByteArray("update=\"0\"") << false;
    QTest::newRow("false") << QByteArray("update=\"false\"") << false;
    QTest::newRow("FALSE") << QByteArray("update=\"FALSE\"") << false;
    QTest::newRow("FaLsE") << QByteArray("update=\"FaLsE\"") << false;
    QTest::newRow("empty") << QByteArray("update=\"\"") << false;
    QTest::newRow("absent") << QByteArray() << false;
}

void tst_ClearanceLoader::rightsFromText()
{
    QFETCH(QByteArray, attribute);
    QFETCH(bool, expected);

    const QString path = write("r.xml", rights("<hr><tag id=\"T\" " + attribute + "/></hr>"));
    BaseClearance base;
    ClearanceLoader loader;
    loader.setBase(&base);
    loader.setFileName(path);
    loader.setVersionBase("1.00");
    QVERIFY2(loader.readBase(), qPrintable(loader.errorString()));
    const ClearanceTag *tag = base.tagHash(ClearanceTag::HoldingRegisters).value("T");
    QVERIFY(tag);
    QCOMPARE(tag->update(), expected);
    QVERIFY(!tag->visible());
    QVERIFY(!tag->readonly());
}

void tst_ClearanceLoader::quotedValues_data()
{
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<QString>("readBack");

    QTest::newRow("raw ampersand") << QByteArray("A & B") << QString("A & B");
    QTest::newRow("entity stays literal") << QByteArray("A &amp; B") << QString("A &amp; B");
    QTest::newRow("angle brackets") << QByteArray("x<y>z") << QString("x<y>z");
    QTest::newRow("apostrophe") << QByteArray("it's") << QString("it's");
}

void tst_ClearanceLoader::quotedValues()
{
    QFETCH(QByteArray, written);
    QFETCH(QString, readBack);

    const QString path = write("q.xml", rights("<ir><tag id=\"" + written + "\" visible=\"true\"/></ir>"));
    BaseClearance base;
    ClearanceLoader loader;
    loader.setBase(&base);
    loader.setFileName(path);
    loader.setVersionBase("1.00");
    QVERIFY2(loader.readBase(), qPrintable(loader.errorString()));
    const auto hash = base.tagHash(ClearanceTag::InputRegisters);
    QCOMPARE(hash.keys(), QStringList{readBack});
    QVERIFY(hash.value(readBack)->visible());
}

void tst_ClearanceLoader::firstOfSameIdWins()
{
    const QString path = write("dup.xml", rights(
        "<ir><tag id=\"Pressure\" visible=\"true\"/><tag id=\"Pressure\" visible=\"false\" update=\"true\"/></ir>"
        "<ir><tag id=\"Pressure\" readonly=\"true\"/></ir>"
        "<hr><tag id=\"Pressure\" readonly=\"true\"/></hr>"));
    BaseClearance base;
    ClearanceLoader loader;
    loader.setBase(&base);
    loader.setFileName(path);
    loader.setVersionBase("1.00");
    QVERIFY(loader.readBase());
    QCOMPARE(base.sizeTagHash(ClearanceTag::InputRegisters), 1);
    const ClearanceTag *tag = base.tagHash(ClearanceTag::InputRegisters).value("Pressure");
    QVERIFY(tag->visible());
    QVERIFY(!tag->update());
    QVERIFY(!tag->readonly());
    QCOMPARE(base.sizeTagHash(ClearanceTag::HoldingRegisters), 1);
}

void tst_ClearanceLoader::failures_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file at all
    QTest::addColumn<bool>("withBase");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("message"); // regular expression

    QTest::newRow("missing file") << QByteArray() << true << int(ClearanceLoader::FileError)
                                  << QString("^File does not exist\\.$");
    QTest::newRow("no base") << rights("") << false << int(ClearanceLoader::FileError)
                             << QString("^File does not exist\\.$");
    QTest::newRow("version 1.0 for 1.00") << rights("", "1.0") << true
                                          << int(ClearanceLoader::VersionError)
                                          << QString("^The file is not an version 1\\.00 file\\.$");
    QTest::newRow("version absent") << QByteArray("<base><ir/></base>") << true
                                    << int(ClearanceLoader::VersionError)
                                    << QString("^The file is not an version 1\\.00 file\\.$");
    QTest::newRow("root not base") << QByteArray("<Base version=\"1.00\"/>") << true
                                   << int(ClearanceLoader::VersionError)
                                   << QString("^The file is not an version 1\\.00 file\\.$");
    QTest::newRow("unclosed element") << QByteArray("<base version=\"1.00\">\n<ir>\n</base>") << true
                                      << int(ClearanceLoader::ParseError)
                                      << QString("^.+: line - 3, column - \\d+$");
    QTest::newRow("empty file") << QByteArray("") << true << int(ClearanceLoader::ParseError)
                                << QString("^.+: line - \\d+, column - \\d+$");
    QTest::newRow("entity bomb") << QByteArray("<!DOCTYPE base [<!ENTITY a \"aaaaaaaaaa\">]>"
                                               "<base version=\"1.00\"/>")
                                 << true << int(ClearanceLoader::ParseError)
                                 << QString("^.+: line - \\d+, column - \\d+$");
    QTest::newRow("nested too deep")
        << rights("<ir>\n" + QByteArray("<a>").repeated(300)) << true << int(ClearanceLoader::ParseError)
        << QString("^elements are nested deeper than 256 levels: line - 4, column - 763$");
}

void tst_ClearanceLoader::failures()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, withBase);
    QFETCH(int, error);
    QFETCH(QString, message);

    const QString path = content.isNull() ? m_dir->filePath("absent.xml") : write("f.xml", content);
    BaseClearance base;
    ClearanceLoader loader;
    QSignalSpy spy(&loader, &ClearanceLoader::errorOccurred);
    if (withBase)
        loader.setBase(&base);
    loader.setFileName(path);
    loader.setVersionBase("1.00");

    QVERIFY(!loader.readBase());
    QCOMPARE(int(loader.error()), error);
    QVERIFY2(QRegularExpression(message).match(loader.errorString()).hasMatch(),
             qPrintable(loader.errorString()));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<ClearanceLoader::Error>(), loader.error());
    QCOMPARE(spy.at(0).at(1).toString(), loader.errorString());
    for (int t = 1; t <= 4; ++t)
        QCOMPARE(base.sizeTagHash(ClearanceTag::RegisterType(t)), 0);
}

void tst_ClearanceLoader::errorSignalAfterFields()
{
    ClearanceLoader loader;
    loader.setFileName(m_dir->filePath("absent.xml"));
    ClearanceLoader::Error seenError = ClearanceLoader::NoError;
    QString seenString;
    connect(&loader, &ClearanceLoader::errorOccurred, this, [&] {
        seenError = loader.error();
        seenString = loader.errorString();
    });
    QCOMPARE(loader.errorString(), QString("no error"));
    QVERIFY(!loader.readBase());
    QCOMPARE(seenError, ClearanceLoader::FileError);
    QCOMPARE(seenString, QString("File does not exist."));
}

void tst_ClearanceLoader::unreadableFileIsFileError()
{
    // A folder of that name exists but cannot be read as a file.
    const QString path = m_dir->filePath("admin_v1.00.xml");
    QVERIFY(QDir().mkpath(path));
    BaseClearance base;
    ClearanceLoader loader;
    loader.setBase(&base);
    loader.setFileName(path);
    loader.setVersionBase("1.00");
    QVERIFY(!loader.readBase());
    QCOMPARE(loader.error(), ClearanceLoader::FileError);
    QCOMPARE(loader.errorString(), QString("Error opening file:") + path);
}

void tst_ClearanceLoader::declaredCodepageIsUsed()
{
    QTextCodec *codec = QTextCodec::codecForName("windows-1251");
    QVERIFY(codec);
    const QString id = QString::fromUtf8("Давление");
    const QByteArray bytes = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n"
                             "<base version=\"1.00\"><ir><tag id=\""
                             + codec->fromUnicode(id) + "\" visible=\"true\"/></ir></base>";
    const QString path = write("cp.xml", bytes);
    BaseClearance base;
    ClearanceLoader loader;
    loader.setBase(&base);
    loader.setFileName(path);
    loader.setVersionBase("1.00");
    QVERIFY2(loader.readBase(), qPrintable(loader.errorString()));
    QCOMPARE(base.tagHash(ClearanceTag::InputRegisters).keys(), QStringList{id});
}

void tst_ClearanceLoader::unknownCodepageKeepsUtf8()
{
    const QString id = QString::fromUtf8("Température");
    const QByteArray bytes = "<?xml version=\"1.0\" encoding=\"no-such-codepage\"?>\n"
                             "<base version=\"1.00\"><ir><tag id=\""
                             + id.toUtf8() + "\"/></ir></base>";
    BaseClearance base;
    ClearanceLoader loader;
    loader.setBase(&base);
    loader.setFileName(write("u.xml", bytes));
    loader.setVersionBase("1.00");
    QVERIFY2(loader.readBase(), qPrintable(loader.errorString()));
    QCOMPARE(base.tagHash(ClearanceTag::InputRegisters).keys(), QStringList{id});
}

void tst_ClearanceLoader::successClearsEarlierError()
{
    BaseClearance base;
    ClearanceLoader loader;
    loader.setBase(&base);
    loader.setVersionBase("1.00");
    loader.setFileName(m_dir->filePath("absent.xml"));
    QVERIFY(!loader.readBase());
    loader.setFileName(write("ok.xml", rights("<ir/>")));
    QVERIFY(loader.readBase());
    QCOMPARE(loader.error(), ClearanceLoader::NoError);
    QCOMPARE(loader.errorString(), QString("no error"));
}

QTEST_GUILESS_MAIN(tst_ClearanceLoader)

#include "tst_clearanceloader.moc"
