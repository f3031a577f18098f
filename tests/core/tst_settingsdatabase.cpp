#include <core/settingsdatabase.h>

#include <QColor>
#include <QDateTime>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QtEndian>
#include <QtTest>

#include <memory>

using Core::SettingsDatabase;

static QStringList s_warnings;

static void countWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        s_warnings.append(message);
}

class tst_SettingsDatabase : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void roundTrip_data();
    void roundTrip();
    void groups();
    void removeTakesChildren();
    void transactionCommitsTogether();
    void unbalancedTransactionIsKept();
    void unusableFile_data();
    void unusableFile();
    void unreadableValueIsSkipped();
    void craftedValueIsAbsent_data();
    void craftedValueIsAbsent();
    void unstorableValueNotStored_data();
    void unstorableValueNotStored();

private:
    QString dbFile() const { return m_dir->filePath(QStringLiteral("sub/settings.db")); }
    int rowsSeenByOtherConnection(const QString &file);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_SettingsDatabase::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
}

int tst_SettingsDatabase::rowsSeenByOtherConnection(const QString &file)
{
    int rows = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
        db.setDatabaseName(file);
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("SELECT COUNT(*) FROM settings")) && query.next())
                rows = query.value(0).toInt();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("peek"));
    return rows;
}

void tst_SettingsDatabase::roundTrip_data()
{
    QTest::addColumn<QVariant>("value");

    QByteArray allBytes;
    for (int i = 0; i < 256; ++i)
        allBytes.append(char(i));

    QTest::newRow("bool true") << QVariant(true);
    QTest::newRow("bool false") << QVariant(false);
    QTest::newRow("int") << QVariant(-123456);
    QTest::newRow("int max") << QVariant(std::numeric_limits<int>::max());
    QTest::newRow("qlonglong") << QVariant(qlonglong(1) << 40);
    QTest::newRow("double") << QVariant(3.25);
    QTest::newRow("string") << QVariant(QStringLiteral("Ωmega / \"quoted\" ; DROP TABLE settings;"));
    QTest::newRow("empty string") << QVariant(QString(""));
    QTest::newRow("bytes with zeros") << QVariant(allBytes);
    QTest::newRow("empty bytes") << QVariant(QByteArray(""));
    QTest::newRow("color") << QVariant(QColor(12, 34, 56, 78));
    QTest::newRow("string list") << QVariant(QStringList{QStringLiteral("a"), QString(), QStringLiteral("c")});
    QTest::newRow("map") << QVariant(QVariantMap{{QStringLiteral("x"), 1}, {QStringLiteral("y"), QStringLiteral("z")}});
    QTest::newRow("invalid") << QVariant();
    QTest::newRow("date time") << QVariant(QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58), Qt::UTC));
}

void tst_SettingsDatabase::roundTrip()
{
    QFETCH(QVariant, value);
    {
        SettingsDatabase db(dbFile());
        QVERIFY2(db.isPersistent(), qPrintable(db.errorString()));
        db.setValue(QStringLiteral("key"), value);
        QCOMPARE(db.value(QStringLiteral("key")), value);
    }
    SettingsDatabase reopened(dbFile());
    QVERIFY(reopened.isPersistent());
    const QVariant read = reopened.value(QStringLiteral("key"));
    QCOMPARE(read.userType(), value.userType());
    QCOMPARE(read, value);
}

void tst_SettingsDatabase::groups()
{
    {
        SettingsDatabase db(dbFile());
        db.beginGroup(QStringLiteral("v1.2"));
        db.setValue(QStringLiteral("a"), 1);
        db.setValue(QStringLiteral("b"), 2);
        db.beginGroup(QStringLiteral("inner"));
        db.setValue(QStringLiteral("c"), 3);
        QCOMPARE(db.group(), QStringLiteral("v1.2/inner"));
        db.endGroup();
        QCOMPARE(db.childKeys(), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
        QCOMPARE(db.value(QStringLiteral("inner/c")).toInt(), 3);
        db.endGroup();
        db.setValue(QStringLiteral("top"), 0);
        QCOMPARE(db.childKeys(), QStringList{QStringLiteral("top")});
        QVERIFY(!db.contains(QStringLiteral("a")));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("endGroup without beginGroup")));
        db.endGroup();
    }
    SettingsDatabase db(dbFile());
    QCOMPARE(db.value(QStringLiteral("v1.2/a")).toInt(), 1);
    QCOMPARE(db.value(QStringLiteral("v1.2/inner/c")).toInt(), 3);
    db.beginGroup(QStringLiteral("v1.2"));
    QVERIFY(db.contains(QStringLiteral("b")));
    QCOMPARE(db.value(QStringLiteral("missing"), QStringLiteral("default")).toString(),
             QStringLiteral("default"));
    // A group name is not a prefix of a longer sibling group.
    db.endGroup();
    db.setValue(QStringLiteral("v1.20/x"), 9);
    db.beginGroup(QStringLiteral("v1.2"));
    QCOMPARE(db.childKeys(), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
}

void tst_SettingsDatabase::removeTakesChildren()
{
    {
        SettingsDatabase db(dbFile());
        db.setValue(QStringLiteral("g/a"), 1);
        db.setValue(QStringLiteral("g/sub/b"), 2);
        db.setValue(QStringLiteral("gg/c"), 3);
        db.setValue(QStringLiteral("g_%"), 4);
        db.remove(QStringLiteral("g"));
        QVERIFY(!db.contains(QStringLiteral("g/a")));
        QVERIFY(!db.contains(QStringLiteral("g/sub/b")));
    }
    SettingsDatabase db(dbFile());
    QVERIFY(!db.contains(QStringLiteral("g/a")));
    QVERIFY(!db.contains(QStringLiteral("g/sub/b")));
    QCOMPARE(db.value(QStringLiteral("gg/c")).toInt(), 3);
    QCOMPARE(db.value(QStringLiteral("g_%")).toInt(), 4);
}

void tst_SettingsDatabase::transactionCommitsTogether()
{
    SettingsDatabase db(dbFile());
    db.setValue(QStringLiteral("before"), 1);
    QCOMPARE(rowsSeenByOtherConnection(dbFile()), 1);

    db.beginTransaction();
    db.beginGroup(QStringLiteral("tag"));
    for (int i = 0; i < 20; ++i)
        db.setValue(QString::number(i), i * 10);
    db.beginTransaction(); // nested: only the outermost end commits
    db.setValue(QStringLiteral("last"), true);
    db.endTransaction();
    db.endGroup();
    // Visible to the writer at once, on disk not before the end.
    QCOMPARE(db.value(QStringLiteral("tag/19")).toInt(), 190);
    QCOMPARE(rowsSeenByOtherConnection(dbFile()), 1);
    db.endTransaction();
    QCOMPARE(rowsSeenByOtherConnection(dbFile()), 22);
    QVERIFY(db.isPersistent());

    SettingsDatabase reopened(dbFile());
    QCOMPARE(reopened.value(QStringLiteral("tag/7")).toInt(), 70);
    QCOMPARE(reopened.value(QStringLiteral("tag/last")).toBool(), true);

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("endTransaction without")));
    reopened.endTransaction();
}

void tst_SettingsDatabase::unbalancedTransactionIsKept()
{
    {
        SettingsDatabase db(dbFile());
        db.beginTransaction();
        db.setValue(QStringLiteral("k"), QStringLiteral("v"));
    }
    SettingsDatabase db(dbFile());
    QCOMPARE(db.value(QStringLiteral("k")).toString(), QStringLiteral("v"));
}

void tst_SettingsDatabase::unusableFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("garbage") << QStringLiteral("garbage");
    QTest::newRow("truncated header") << QStringLiteral("truncated");
    QTest::newRow("folder") << QStringLiteral("folder");
    QTest::newRow("no name") << QStringLiteral("empty");
}

void tst_SettingsDatabase::unusableFile()
{
    QFETCH(QString, kind);
    QString file = m_dir->filePath(QStringLiteral("broken.db"));
    if (kind == QLatin1String("garbage") || kind == QLatin1String("truncated")) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (kind == QLatin1String("garbage")) {
            for (int i = 0; i < 4096; ++i)
                f.putChar(char((i * 37) & 0xff));
        } else {
            f.write("SQLite format 3\0", 16);
            f.write(QByteArray(200, '\xff'));
        }
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(file));
    } else {
        file.clear();
    }
    const QByteArray before = QFileInfo(file).isFile() ? [&] {
        QFile f(file);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }() : QByteArray();

    s_warnings.clear();
    QtMessageHandler previous = qInstallMessageHandler(countWarnings);
    SettingsDatabase db(file);
    QVERIFY(!db.isPersistent());
    db.beginTransaction();
    db.setValue(QStringLiteral("a"), 5);
    db.setValue(QStringLiteral("b"), QColor(Qt::red));
    db.endTransaction();
    db.remove(QStringLiteral("b"));
    QCOMPARE(db.value(QStringLiteral("a")).toInt(), 5);
    QVERIFY(!db.contains(QStringLiteral("b")));
    qInstallMessageHandler(previous);
    // Reported once, with the reason, and nothing more on later writes.
    QCOMPARE(s_warnings.size(), 1);
    QVERIFY2(s_warnings.first().contains(QLatin1String("kept in memory for this run")),
             qPrintable(s_warnings.first()));

    // The broken file is left as it was, for the user to inspect.
    if (!before.isEmpty()) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
    }
}

void tst_SettingsDatabase::unreadableValueIsSkipped()
{
    {
        SettingsDatabase db(dbFile());
        db.setValue(QStringLiteral("good"), 42);
    }
    {
        QSqlDatabase raw = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        raw.setDatabaseName(dbFile());
        QVERIFY(raw.open());
        QSqlQuery query(raw);
        QVERIFY(query.exec(QStringLiteral("INSERT INTO settings VALUES ('bad', x'00ff00ff12')")));
        raw.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("1 unreadable value")));
    SettingsDatabase db(dbFile());
    QVERIFY(db.isPersistent());
    QCOMPARE(db.value(QStringLiteral("good")).toInt(), 42);
    QVERIFY(!db.contains(QStringLiteral("bad")));
}

namespace {

// A string as QDataStream writes it: its length in bytes, then UTF-16.
QByteArray zoneName(const char *name)
{
    const QString text = QString::fromLatin1(name);
    QByteArray bytes(4, '\0');
    qToBigEndian(quint32(text.size() * 2), bytes.data());
    for (const QChar c : text)
        bytes.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xff));
    return bytes;
}

// Lists inside lists, `depth` of them, around an invalid value.
QByteArray nestedLists(int depth)
{
    return QByteArray::fromHex("000000090000000001").repeated(depth) + QByteArray::fromHex("0000000000");
}

} // namespace

// Values written straight into the file, as a damaged or hostile file would
// hold them: each is absent afterwards, the rest of the store reads, and the
// start neither crashes nor allocates what a count claims.
void tst_SettingsDatabase::craftedValueIsAbsent_data()
{
    QTest::addColumn<QByteArray>("blob");
    QTest::addColumn<bool>("readable");

    QTest::newRow("string list claiming 2^31 entries") << QByteArray::fromHex("0000000b00800000000000000000") << false;
    QTest::newRow("list claiming 2^31 entries") << QByteArray::fromHex("000000090080000000") << false;
    QTest::newRow("map claiming 2^32-1 entries") << QByteArray::fromHex("0000000800ffffffff") << false;
    QTest::newRow("byte array list claiming 2^30") << QByteArray::fromHex("000000310040000000") << false;
    QTest::newRow("lists nested 100000 deep") << nestedLists(100000) << false;
    QTest::newRow("lists nested one too deep") << nestedLists(33) << false;
    QTest::newRow("lists nested to the limit") << nestedLists(32) << true;
    QTest::newRow("string of odd length") << QByteArray::fromHex("0000000a0000000003616263") << false;
    QTest::newRow("string longer than the value") << QByteArray::fromHex("0000000a007ffffffe0041") << false;
    QTest::newRow("bytes longer than the value") << QByteArray::fromHex("0000000c007fffffff41") << false;
    QTest::newRow("image") << QByteArray::fromHex("00000046000000") << false;
    QTest::newRow("user type") << QByteArray::fromHex("00000400000000000851526563740000") << false;
    QTest::newRow("unknown type") << QByteArray::fromHex("0000ffff00") << false;
    QTest::newRow("truncated int") << QByteArray::fromHex("00000002000000") << false;
    QTest::newRow("trailing bytes") << QByteArray::fromHex("000000020000000001ff") << false;
    QTest::newRow("empty") << QByteArray("") << false;
    // A date and time in a named zone: Qt reads any name, but writing back
    // one it does not know crashes.
    const QByteArray atNoon = QByteArray::fromHex("0000001000" "0000000000258960" "02932be0" "03");
    QTest::newRow("date time in a known zone") << atNoon + zoneName("UTC") << true;
    QTest::newRow("date time in an unknown zone") << atNoon + zoneName("Nowhere/Bogus") << false;
    QTest::newRow("date time in a zone too far from UTC")
        << atNoon + zoneName("OffsetFromUtc") + QByteArray::fromHex("000f423f") + zoneName("X") + zoneName("X")
               + QByteArray::fromHex("00000000") + zoneName("")
        << false;
    QTest::newRow("list holding a date time in an unknown zone")
        << QByteArray::fromHex("000000090000000001") + atNoon + zoneName("Nowhere/Bogus") << false;
    QTest::newRow("list of a map and an int") << QByteArray::fromHex(
        "00000009000000000200000008000000000100000002006b0000000a00000000020076000000020000000007") << true;
}

void tst_SettingsDatabase::craftedValueIsAbsent()
{
    QFETCH(QByteArray, blob);
    QFETCH(bool, readable);
    {
        SettingsDatabase db(dbFile());
        db.setValue(QStringLiteral("good"), 42);
    }
    {
        QSqlDatabase raw = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        raw.setDatabaseName(dbFile());
        QVERIFY(raw.open());
        QSqlQuery query(raw);
        query.prepare(QStringLiteral("INSERT INTO settings VALUES ('crafted', ?)"));
        query.addBindValue(blob);
        QVERIFY(query.exec());
        raw.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));

    s_warnings.clear();
    QtMessageHandler previous = qInstallMessageHandler(countWarnings);
    SettingsDatabase db(dbFile());
    qInstallMessageHandler(previous);
    QVERIFY(db.isPersistent());
    QCOMPARE(db.value(QStringLiteral("good")).toInt(), 42);
    QCOMPARE(db.contains(QStringLiteral("crafted")), readable);
    QCOMPARE(s_warnings.size(), readable ? 0 : 1);
    if (!readable)
        QVERIFY2(s_warnings.first().contains(QLatin1String("1 unreadable value(s) skipped: \"crafted\"")),
                 qPrintable(s_warnings.first()));
}

// What the store could not read back, or Qt cannot write, is not written;
// the value is kept for the run.
void tst_SettingsDatabase::unstorableValueNotStored_data()
{
    QTest::addColumn<QVariant>("value");

    QVariant deep;
    for (int i = 0; i < 40; ++i)
        deep = QVariantList{deep};
    QTest::newRow("nested 40 deep") << deep;
    const QDateTime unknownZone(QDate(2024, 5, 1), QTime(12, 0), QTimeZone("Nowhere/Bogus"));
    QTest::newRow("date time in an unknown zone") << QVariant(unknownZone);
    QTest::newRow("map holding one") << QVariant(QVariantMap{{QStringLiteral("at"), unknownZone}});
}

void tst_SettingsDatabase::unstorableValueNotStored()
{
    QFETCH(QVariant, value);
    s_warnings.clear();
    QtMessageHandler previous = qInstallMessageHandler(countWarnings);
    {
        SettingsDatabase db(dbFile());
        QVERIFY(!db.setValue(QStringLiteral("kept"), value));
        QVERIFY(db.setValue(QStringLiteral("flat"), QVariantList{1, QStringLiteral("two")}));
        QCOMPARE(db.value(QStringLiteral("kept")).userType(), value.userType());
    }
    qInstallMessageHandler(previous);
    QCOMPARE(s_warnings.size(), 1);
    QVERIFY2(s_warnings.first().contains(QLatin1String("cannot be stored")), qPrintable(s_warnings.first()));
    SettingsDatabase reopened(dbFile());
    QVERIFY(!reopened.contains(QStringLiteral("kept")));
    QCOMPARE(reopened.value(QStringLiteral("flat")), QVariant(QVariantList{1, QStringLiteral("two")}));
}

QTEST_GUILESS_MAIN(tst_SettingsDatabase)
#include "tst_settingsdatabase.moc"
