// Register maps written from browsed rows and files imported from the
// window: what is written loads with the program's loader, an existing map
// keeps its text and a backup, bad input changes nothing, and imports land
// under the names the program looks for.

#include <browser/browserwriter.h>
#include <browser/fileimport.h>
#include <browser/mapwriter.h>
#include <browser/writeauthorisation.h>
#include <clearance/baseclearance.h>
#include <clearance/clearancetag.h>
#include <pointbook/basetag.h>
#include <pointbook/tagbaseloader.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace Browser;
using Pointbook::Tag;

namespace {

QByteArray readAll(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &file, const QByteArray &bytes)
{
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

NewTag tag(Tag::RegisterType table, int address, const QString &id,
           Tag::DataType type = Tag::UInt16, Tag::ByteOrder order = Tag::Order10)
{
    NewTag t;
    t.table = table;
    t.address = address;
    t.id = id;
    t.name = id;
    t.dataType = type;
    t.byteOrder = order;
    return t;
}

// A hand-written map with what hand-written maps carry: a comment, a bare
// ampersand in a value, CRLF line ends.
const QByteArray ExistingMap =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<!-- pump -->\r\n"
    "<base version=\"2.0\">\r\n"
    "    <hr>\r\n"
    "        <tag>\r\n"
    "            <information id=\"SetPoint\" name=\"Set & hold\" unit=\"bar\" description=\"\"/>\r\n"
    "            <modbussettins offset=\"5\" datatype=\"float\" byteOrderInput=\"3210\" "
    "byteOrderOutput=\"0123\" counter=\"1\"/>\r\n"
    "        </tag>\r\n"
    "    </hr>\r\n"
    "</base>\r\n";

} // namespace

class tst_MapFiles : public QObject
{
    Q_OBJECT

private slots:
    void newMapLoadsWithTheLoader();
    void appendKeepsTheOldTextAndABackup();
    void refusedTagsChangeNothing_data();
    void refusedTagsChangeNothing();
    void import_data();
    void import();
    void browserWritesNeedATrustedLevel_data();
    void browserWritesNeedATrustedLevel();
    void writtenTextFollowsTheFormat_data();
    void writtenTextFollowsTheFormat();
};

void tst_MapFiles::newMapLoadsWithTheLoader()
{
    QTemporaryDir dir;
    NewTag odd = tag(Tag::IR, 0, QStringLiteral("Flow"), Tag::Float, Tag::Order1032);
    odd.name = QStringLiteral("Flow & <level> 'A'");
    odd.unit = QStringLiteral("m³/h");
    const QList<NewTag> tags = {odd, tag(Tag::IR, 7, QStringLiteral("Count"), Tag::UInt64, Tag::Order76543210),
                                tag(Tag::IR, 2, QStringLiteral("Word")), tag(Tag::CO, 0, QStringLiteral("Run")),
                                tag(Tag::DI, 65535, QStringLiteral("Last"))};
    QString backup;
    QString error;
    QVERIFY2(MapWriter::write(dir.path(), QStringLiteral("1.5"), tags, MapWriter::Create, &backup, &error),
             qPrintable(error));
    QVERIFY(backup.isEmpty());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"base_v1.5.xml"});

    Pointbook::TagBaseLoader loader(MapWriter::fileName(dir.path(), QStringLiteral("1.5")),
                                    QStringLiteral("1.5"));
    QVERIFY2(loader.readBase(), qPrintable(loader.errorString()));
    for (const NewTag &t : tags) {
        const Tag *read = loader.base()->tagHash(t.table).value(t.id);
        QVERIFY2(read, qPrintable(t.id));
        QCOMPARE(int(read->startAddress()), t.address);
        QCOMPARE(read->dataType(), t.dataType);
        QCOMPARE(read->byteOrderInput(), t.byteOrder);
        QCOMPARE(read->name(), t.name);
        QCOMPARE(read->unit(), t.unit);
    }
    // A value of the type's range is not out of limits in the tag table.
    const Tag *word = loader.base()->tagHash(Tag::IR).value(QStringLiteral("Word"));
    QCOMPARE(word->maxValue(), 65535.0f);

    // Creating it again is refused: it exists.
    QVERIFY(!MapWriter::write(dir.path(), QStringLiteral("1.5"), tags, MapWriter::Create, &backup, &error));
}

void tst_MapFiles::appendKeepsTheOldTextAndABackup()
{
    QTemporaryDir dir;
    const QString file = MapWriter::fileName(dir.path(), QStringLiteral("2.0"));
    writeFile(file, ExistingMap);
    const QList<NewTag> tags = {tag(Tag::HR, 0, QStringLiteral("First")),
                                tag(Tag::HR, 40, QStringLiteral("Wide"), Tag::Int32, Tag::Order2301)};
    const MapWriter::Inspection seen = MapWriter::inspect(dir.path(), QStringLiteral("2.0"), tags);
    QVERIFY(seen.exists && seen.loads);
    QCOMPARE(seen.tagCount, 1);
    QVERIFY(seen.clashes.isEmpty());

    QString backup;
    QString error;
    QVERIFY2(MapWriter::write(dir.path(), QStringLiteral("2.0"), tags, MapWriter::Append, &backup, &error),
             qPrintable(error));
    QCOMPARE(readAll(backup), ExistingMap);
    const QByteArray now = readAll(file);
    const int end = ExistingMap.lastIndexOf("</base>");
    QVERIFY(now.startsWith(ExistingMap.left(end)));
    QVERIFY(now.endsWith("</base>\r\n"));
    QVERIFY(!now.mid(end).contains("\n") || now.mid(end).contains("\r\n"));

    Pointbook::TagBaseLoader loader(file, QStringLiteral("2.0"));
    QVERIFY2(loader.readBase(), qPrintable(loader.errorString()));
    const QHash<QString, Tag *> hr = loader.base()->tagHash(Tag::HR);
    QCOMPARE(hr.size(), 3);
    QCOMPARE(hr.value(QStringLiteral("SetPoint"))->name(), QStringLiteral("Set & hold"));
    QCOMPARE(int(hr.value(QStringLiteral("SetPoint"))->startAddress()), 5);
    QCOMPARE(int(hr.value(QStringLiteral("First"))->startAddress()), 0);
    QCOMPARE(int(hr.value(QStringLiteral("Wide"))->startAddress()), 40);

    // The same ids again clash and leave the file as it is.
    QVERIFY(!MapWriter::write(dir.path(), QStringLiteral("2.0"), tags, MapWriter::Append, &backup, &error));
    QVERIFY(error.contains(QLatin1String("First")));
    QCOMPARE(readAll(file), now);
}

void tst_MapFiles::refusedTagsChangeNothing_data()
{
    QTest::addColumn<QList<NewTag>>("tags");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("message");

    NewTag quoted = tag(Tag::HR, 3, QStringLiteral("Q"));
    quoted.name = QStringLiteral("say \"hi\"");
    NewTag noName = tag(Tag::HR, 3, QStringLiteral("N"));
    noName.name.clear();
    NewTag badAccess = tag(Tag::IR, 3, QStringLiteral("A"));
    badAccess.access = QStringLiteral("X");
    QTest::newRow("quote in a name") << QList<NewTag>{quoted} << "2.0" << "cannot be written";
    QTest::newRow("no name") << QList<NewTag>{noName} << "2.0" << "needs a name";
    QTest::newRow("id twice") << QList<NewTag>{tag(Tag::HR, 1, "X"), tag(Tag::HR, 2, "X")} << "2.0"
                              << "given twice";
    QTest::newRow("same address") << QList<NewTag>{tag(Tag::HR, 1, "X"), tag(Tag::HR, 1, "Y")} << "2.0"
                                  << "start at";
    QTest::newRow("double past 65535")
        << QList<NewTag>{tag(Tag::HR, 65533, "D", Tag::Double, Tag::Order76543210)} << "2.0"
        << "past address 65535";
    QTest::newRow("order of another width")
        << QList<NewTag>{tag(Tag::HR, 1, "F", Tag::Float, Tag::Order10)} << "2.0" << "does not fit";
    QTest::newRow("access") << QList<NewTag>{badAccess} << "2.0" << "access";
    QTest::newRow("version leaves the folder") << QList<NewTag>{tag(Tag::HR, 1, "X")} << "../2.0"
                                               << "cannot name";
    QTest::newRow("id in the map") << QList<NewTag>{tag(Tag::HR, 9, "SetPoint")} << "2.0"
                                   << "in the map already";
}

void tst_MapFiles::refusedTagsChangeNothing()
{
    QFETCH(QList<NewTag>, tags);
    QFETCH(QString, version);
    QFETCH(QString, message);

    QTemporaryDir dir;
    const QString file = MapWriter::fileName(dir.path(), QStringLiteral("2.0"));
    writeFile(file, ExistingMap);
    QString error;
    QVERIFY(!MapWriter::write(dir.path(), version, tags, MapWriter::Append, nullptr, &error));
    QVERIFY2(error.contains(message), qPrintable(error));
    QCOMPARE(readAll(file), ExistingMap);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"base_v2.0.xml"});
}

void tst_MapFiles::import_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("version"); // given by the user when the name carries none
    QTest::addColumn<QString>("target");  // empty: refused
    QTest::addColumn<QString>("error");

    QTest::newRow("map named by version")
        << int(FileImport::RegisterMap) << "base_v2.0.xml" << ExistingMap << "" << "base_v2.0.xml" << "";
    QTest::newRow("map without version in the name")
        << int(FileImport::RegisterMap) << "pump.xml" << ExistingMap << "2.0" << "base_v2.0.xml" << "";
    QTest::newRow("map of another version")
        << int(FileImport::RegisterMap) << "pump.xml" << ExistingMap << "3.0" << ""
        << "not an MODBUSBASE version 3.0";
    QTest::newRow("broken map")
        << int(FileImport::RegisterMap) << "base_v2.0.xml"
        << QByteArray("<base version=\"2.0\">\n  <hr>\n    <tag></hr>\n</base>\n") << "" << ""
        << "line - 3, column - ";
    QTest::newRow("access list")
        << int(FileImport::AccessList) << "levels.xml"
        << QByteArray("<c><clearance id=\"user\" name=\"User\"/></c>") << "" << "clearance.xml" << "";
    QTest::newRow("access list naming a path")
        << int(FileImport::AccessList) << "clearance.xml"
        << QByteArray("<c><clearance id=\"../x\" name=\"X\"/></c>") << "" << "" << "cannot name a file";
    QTest::newRow("rights")
        << int(FileImport::AccessRights) << "engineer_v2.0.xml"
        << QByteArray("<base version=\"2.0\"><hr><tag id=\"SetPoint\" readonly=\"false\"/></hr></base>")
        << "" << "engineer_v2.0.xml" << "";
    QTest::newRow("broken rights")
        << int(FileImport::AccessRights) << "engineer_v2.0.xml"
        << QByteArray("<base version=\"2.0\">\n<hr>") << "" << "" << "line - ";
}

void tst_MapFiles::import()
{
    QFETCH(int, kind);
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, version);
    QFETCH(QString, target);
    QFETCH(QString, error);

    QTemporaryDir source;
    QTemporaryDir folder;
    const QString file = source.filePath(name);
    writeFile(file, content);

    const auto k = FileImport::Kind(kind);
    QCOMPARE(FileImport::isAccessList(file), k == FileImport::AccessList);
    QString level;
    const QString named = FileImport::versionFromName(k, file, &level);
    if (version.isEmpty())
        version = named;
    else
        QVERIFY(named.isEmpty());
    const FileImport::Result checked = k == FileImport::RegisterMap ? FileImport::checkMap(file, version)
                                       : k == FileImport::AccessList ? FileImport::checkAccessList(file)
                                                                     : FileImport::checkRights(file, version);
    QCOMPARE(checked.ok, !target.isEmpty());
    if (!checked.ok) {
        QVERIFY2(checked.error.contains(error), qPrintable(checked.error));
        return; // nothing is copied
    }
    QCOMPARE(checked.entries, 1);
    QCOMPARE(FileImport::targetName(k, version, level), target);

    // First import lands; a second replaces it and keeps the first as backup.
    QString backup;
    QString problem;
    const QString placed = folder.filePath(target);
    writeFile(placed, "old");
    QVERIFY2(FileImport::install(file, folder.path(), target, &backup, &problem), qPrintable(problem));
    QCOMPARE(readAll(placed), content);
    QCOMPARE(readAll(backup), QByteArray("old"));
    QVERIFY(backup.startsWith(placed + QLatin1Char('.')) && backup.endsWith(QLatin1String(".bak")));
    // The file itself cannot be imported over itself.
    QVERIFY(!FileImport::install(placed, folder.path(), target, &backup, &problem));
    QCOMPARE(readAll(placed), content);
}

void tst_MapFiles::browserWritesNeedATrustedLevel_data()
{
    QTest::addColumn<QString>("level");
    QTest::addColumn<QString>("readOnly"); // "" no rights file; else the table marked read-only
    QTest::addColumn<bool>("allowed");

    QTest::newRow("highest level, calibration locked") << "admin" << "hr" << true;
    QTest::newRow("middle level, calibration locked") << "engineer" << "hr" << false;
    QTest::newRow("middle level, a coil locked") << "engineer" << "co" << false;
    QTest::newRow("only input registers locked") << "engineer" << "ir" << true;
    QTest::newRow("no rights file") << "user" << "" << false;
    QTest::newRow("unknown level") << "guest" << "" << false;
}

void tst_MapFiles::browserWritesNeedATrustedLevel()
{
    QFETCH(QString, level);
    QFETCH(QString, readOnly);
    QFETCH(bool, allowed);

    QTemporaryDir dir;
    const QString list = dir.filePath(QStringLiteral("clearance.xml"));
    writeFile(list, "<levels><clearance id=\"user\" name=\"User\"/><clearance id=\"engineer\" "
                    "name=\"Engineer\"/><clearance id=\"admin\" name=\"Administrator\"/></levels>");
    const QStringList order = WriteAuthorisation::levelOrder(list);
    QCOMPARE(order, QStringList({"user", "engineer", "admin"}));

    using Clearance::ClearanceTag;
    Clearance::BaseClearance rights;
    const struct
    {
        const char *table;
        ClearanceTag::RegisterType type;
    } tables[] = {{"ir", ClearanceTag::InputRegisters}, {"hr", ClearanceTag::HoldingRegisters},
                  {"co", ClearanceTag::Coils}};
    for (const auto &t : tables) {
        auto *tag = new ClearanceTag;
        tag->setId(QStringLiteral("T"));
        tag->setReadonly(readOnly == QLatin1String(t.table));
        rights.addTag(QStringLiteral("T"), tag, t.type);
    }
    const QString why = WriteAuthorisation::refusal(level, readOnly.isEmpty() ? nullptr : &rights, order);
    QCOMPARE(why.isEmpty(), allowed);
    if (!allowed)
        QVERIFY(why.contains(QLatin1String("highest level (admin)")));
}

void tst_MapFiles::writtenTextFollowsTheFormat_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("value"); // empty: refused

    QTest::newRow("hex") << int(RowFormat::Hex) << "0x1A2b" << "6699";
    QTest::newRow("hex too wide") << int(RowFormat::Hex) << "0x10000" << "";
    QTest::newRow("binary with blanks") << int(RowFormat::Binary) << "0000 0000 0001 0001" << "17";
    QTest::newRow("not binary") << int(RowFormat::Binary) << "0102" << "";
    QTest::newRow("ASCII pair as shown") << int(RowFormat::Ascii) << "\"K1\"" << "19249";
    QTest::newRow("ASCII, three characters") << int(RowFormat::Ascii) << "K12" << "";
    QTest::newRow("float as text") << int(RowFormat::Float32) << " 12.5 " << "12.5";
    QTest::newRow("nothing") << int(RowFormat::Int32) << "" << "";
}

void tst_MapFiles::writtenTextFollowsTheFormat()
{
    QFETCH(int, format);
    QFETCH(QString, text);
    QFETCH(QString, value);

    QString error;
    const QVariant parsed = BrowserWriter::parse(RowFormat(RowFormat::Format(format)), text, &error);
    QCOMPARE(parsed.isValid(), !value.isEmpty());
    if (parsed.isValid())
        QCOMPARE(parsed.toString(), value);
    else
        QVERIFY(!error.isEmpty());
}

QTEST_GUILESS_MAIN(tst_MapFiles)
#include "tst_mapfiles.moc"
