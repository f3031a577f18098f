// The recorder on a real database file, with tags fed by hand: changes only
// with a deadband, retention by age and by size, one value per tag and time
// stamp, an unusable or full database.

#include <trend/recorder.h>

#include <pointbook/tag.h>
#include <sqlstore/databaseconnection.h>
#include <sqlstore/databasesettings.h>
#include <sqlstore/idatabasetransaction.h>

#include <QDateTime>
#include <QDir>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>

#include <memory>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

using Pointbook::Tag;
using Sqlstore::Internal::DataBaseConnection;
using Sqlstore::Internal::DataBaseSettings;
using Trend::Recorder;

namespace {
constexpr int Patience = 30000;
// Set by main(): this process has mounts of its own.
bool s_privateMounts = false;

// Runs statements on the file through a connection of its own; the first
// column of the last statement's rows.
QVariantList sql(const QString &file, const QStringList &statements)
{
    QVariantList result;
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=20000"));
        if (db.open()) {
            QSqlQuery query(db);
            for (const QString &s : statements) {
                result.clear();
                if (!query.exec(s))
                    qWarning() << s << query.lastError().text();
                while (query.next())
                    result.append(query.value(0));
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}
} // namespace

class tst_Recorder : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void changesOnly_data();
    void changesOnly();
    void retention();
    void oneValuePerTagAndTime_data();
    void oneValuePerTagAndTime();
    void unusableDatabase();
    void fullDisk_data();
    void fullDisk();

private:
    Tag *makeTag(const QString &id);
    void feed(Tag *tag, quint16 value) { tag->setRawData({value}); }
    void startRecording();
    void useDatabase(const QString &file);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_file;
    DataBaseSettings m_settings;
    std::unique_ptr<DataBaseConnection> m_connection;
    std::unique_ptr<Recorder> m_recorder;
    QList<Tag *> m_tags;
};

void tst_Recorder::init()
{
    m_dir.reset(new QTemporaryDir);
    m_file = m_dir->filePath("database.db");
    m_settings.setDriver("QSQLITE");
    m_settings.setDatabaseName(m_file);
    QFile create(m_file);
    QVERIFY(create.open(QIODevice::ReadWrite));
    create.close();
    m_connection.reset(new DataBaseConnection);
    m_connection->initDataBaseConnection();
    m_connection->setSettings(&m_settings);
    QVERIFY(m_connection->start());
    m_recorder.reset(new Recorder);
    m_recorder->setConnection(m_connection.get());
}

void tst_Recorder::cleanup()
{
    m_recorder.reset();
    m_connection.reset();
    qDeleteAll(m_tags);
    m_tags.clear();
    m_dir.reset();
}

Tag *tst_Recorder::makeTag(const QString &id)
{
    auto *tag = new Tag(Tag::HR);
    tag->setId(id);
    tag->setName(id);
    tag->setDataType(Tag::UInt16);
    tag->setByteOrderInput(Tag::Order10);
    tag->setByteOrderOutput(Tag::Order01);
    tag->setCount(1);
    m_tags.append(tag);
    return tag;
}

void tst_Recorder::startRecording()
{
    QVERIFY(m_recorder->start());
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder->state(), Recorder::Recording, Patience);
}

void tst_Recorder::changesOnly_data()
{
    QTest::addColumn<bool>("changesOnly");
    QTest::addColumn<double>("deadband");
    QTest::addColumn<QList<int>>("fed");     // -1: the pass does not read the tag
    QTest::addColumn<QList<int>>("stored");

    const QList<int> fed{10, 10, 11, 14, 15, -1, 15, 15, 20};
    QTest::newRow("every pass") << false << 0.0 << fed << QList<int>{10, 10, 11, 14, 15, 15, 15, 20};
    QTest::newRow("any change") << true << 0.0 << fed << QList<int>{10, 11, 14, 15, 15, 20};
    QTest::newRow("deadband 3") << true << 3.0 << fed << QList<int>{10, 14, 15, 20};
}

// A pass that misses the tag is not stored, and the value after it is, even
// when unchanged, so the stored series shows where it was broken.
void tst_Recorder::changesOnly()
{
    QFETCH(bool, changesOnly);
    QFETCH(double, deadband);
    QFETCH(QList<int>, fed);
    QFETCH(QList<int>, stored);

    Tag *tag = makeTag("Setpoint");
    Tag *other = makeTag("Other");
    m_recorder->setTags("2.0", {tag, other});
    m_recorder->setChangesOnly(changesOnly);
    m_recorder->setDeadband(Tag::HR, "Setpoint", deadband);
    startRecording();
    for (int value : fed) {
        if (value >= 0)
            feed(tag, quint16(value));
        feed(other, 1);
        m_recorder->passEnded();
    }
    m_recorder->stop();
    const int otherRows = changesOnly ? 1 : fed.size();
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder->rowsStored(), quint64(stored.size() + otherRows), Patience);
    const QVariantList values = sql(m_file, {"SELECT h.value FROM history h JOIN history_tag t ON t.id = h.tag "
                                             "WHERE t.tag_id = 'Setpoint' AND t.device_version = '2.0' "
                                             "ORDER BY h.rowid"});
    QList<int> got;
    for (const QVariant &v : values)
        got.append(v.toInt());
    QCOMPARE(got, stored);
}

void tst_Recorder::retention()
{
    Tag *tag = makeTag("Level");
    m_recorder->setTags("1.0", {tag});
    m_recorder->setRetention(30, Recorder::DefaultMaxBytes);
    QSignalSpy pruned(m_recorder.get(), &Recorder::pruneFinished);
    startRecording();
    QTRY_COMPARE_WITH_TIMEOUT(pruned.count(), 1, Patience); // the prune at start

    // 40,000 rows from 40 days ago up to now, oldest first.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 span = 40LL * 86400000;
    QVERIFY(sql(m_file, {"BEGIN",
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 39999) "
                       "INSERT INTO history (time_ms, tag, value) SELECT %1 + i * %2, "
                       "(SELECT id FROM history_tag), i FROM n").arg(now - span).arg(span / 40000),
        "COMMIT", "SELECT count(*) FROM history"}).value(0).toInt() == 40000);

    // By age: the oldest quarter (days 40 to 30) goes, in several slices.
    m_recorder->prune();
    QTRY_COMPARE_WITH_TIMEOUT(pruned.count(), 2, Patience);
    const qint64 cutoff = now - 30LL * 86400000;
    QCOMPARE(sql(m_file, {QStringLiteral("SELECT count(*) FROM history WHERE time_ms < %1").arg(cutoff)}).value(0).toInt(), 0);
    const int afterAge = sql(m_file, {"SELECT count(*) FROM history"}).value(0).toInt();
    QVERIFY2(afterAge >= 29900 && afterAge <= 30100, qPrintable(QString::number(afterAge)));
    QCOMPARE(pruned.at(1).at(0).toLongLong(), qint64(40000 - afterAge));

    // By size: a limit below the database's size removes the oldest rows
    // until it holds, and keeps the newest.
    const QString used = "SELECT ((SELECT page_count FROM pragma_page_count()) - "
                         "(SELECT freelist_count FROM pragma_freelist_count())) * (SELECT page_size FROM pragma_page_size())";
    const qint64 before = sql(m_file, {used}).value(0).toLongLong();
    m_recorder->setRetention(30, before / 2);
    m_recorder->prune();
    QTRY_COMPARE_WITH_TIMEOUT(pruned.count(), 3, Patience);
    QVERIFY(sql(m_file, {used}).value(0).toLongLong() <= before / 2);
    const int afterSize = sql(m_file, {"SELECT count(*) FROM history"}).value(0).toInt();
    QVERIFY(afterSize > 0 && afterSize < afterAge * 3 / 4);
    QCOMPARE(sql(m_file, {"SELECT max(value) FROM history"}).value(0).toInt(), 39999);
}

void tst_Recorder::useDatabase(const QString &file)
{
    m_recorder.reset();
    m_connection.reset();
    m_file = file;
    m_settings.setDatabaseName(file);
    m_connection.reset(new DataBaseConnection);
    m_connection->initDataBaseConnection();
    m_connection->setSettings(&m_settings);
    QVERIFY(m_connection->start());
    m_recorder.reset(new Recorder);
    m_recorder->setConnection(m_connection.get());
}

void tst_Recorder::oneValuePerTagAndTime_data()
{
    QTest::addColumn<bool>("earlierDatabase");
    QTest::newRow("passes within one millisecond") << false;
    // Recorded by an earlier version: a plain index, values twice at one
    // time stamp, and rows at the times the next passes will take.
    QTest::newRow("database with duplicates") << true;
}

// Passes that end within one millisecond still give one value per tag and
// time stamp, in the order of the passes; a database that already holds a
// (tag, time) neither fails the recording nor gets it twice.
void tst_Recorder::oneValuePerTagAndTime()
{
    QFETCH(bool, earlierDatabase);
    Tag *tag = makeTag("Pressure");
    m_recorder->setTags("1.0", {tag});
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (earlierDatabase) {
        sql(m_file, {"CREATE TABLE history_tag (id INTEGER PRIMARY KEY, device_version TEXT, register_type TEXT, "
                     "tag_id TEXT, name TEXT, unit TEXT, UNIQUE(device_version, register_type, tag_id))",
                     "CREATE TABLE history (time_ms INTEGER NOT NULL, tag INTEGER NOT NULL REFERENCES history_tag(id), "
                     "value REAL)",
                     "CREATE INDEX history_tag_time ON history (tag, time_ms)",
                     "INSERT INTO history_tag VALUES (1, '1.0', 'hr', 'Pressure', 'Pressure', '')",
                     QStringLiteral("INSERT INTO history VALUES (%1, 1, 1), (%1, 1, 2), (%2, 1, 3), (%2, 1, 4), "
                                    "(%3, 1, 5)").arg(now - 3000).arg(now - 2000).arg(now - 1000),
                     QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 4999) "
                                    "INSERT INTO history SELECT %1 + i, 1, -1 FROM n").arg(now)});
    }
    QSignalSpy failed(m_recorder.get(), &Recorder::failed);
    startRecording();
    constexpr int Passes = 50;
    for (int i = 0; i < Passes; ++i) {
        feed(tag, quint16(i));
        m_recorder->passEnded();
    }
    m_recorder->stop();
    QTRY_VERIFY_WITH_TIMEOUT(m_recorder->pendingRows() == 0, Patience);
    QTRY_COMPARE_WITH_TIMEOUT(sql(m_file, {"SELECT count(*) FROM history WHERE value >= 0"}).value(0).toInt(),
                              earlierDatabase ? 3 + int(m_recorder->rowsStored()) : Passes, Patience);
    QCOMPARE(failed.count(), 0);
    QCOMPARE(sql(m_file, {"SELECT count(*) FROM (SELECT tag, time_ms FROM history GROUP BY tag, time_ms "
                          "HAVING count(*) > 1)"}).value(0).toInt(), 0);
    // Each value at a later time than the one before.
    const QVariantList order = sql(m_file, {"SELECT value FROM history WHERE value >= 0 AND time_ms >= " +
                                            QString::number(now) + " ORDER BY time_ms"});
    for (int i = 1; i < order.size(); ++i)
        QVERIFY(order.at(i).toInt() > order.at(i - 1).toInt());
    if (earlierDatabase) {
        // The later of two values at one time stamp stays.
        QCOMPARE(sql(m_file, {"SELECT value FROM history WHERE time_ms < " + QString::number(now) + " ORDER BY time_ms"}),
                 (QVariantList{2.0, 4.0, 5.0}));
        QCOMPARE(sql(m_file, {"SELECT count(*) FROM sqlite_master WHERE name = 'history_tag_time'"}).value(0).toInt(), 0);
    } else {
        QCOMPARE(order.size(), Passes);
    }
}

void tst_Recorder::unusableDatabase()
{
    // A database that cannot be opened: recording ends at once and says so.
    m_recorder.reset();
    m_connection.reset();
    m_settings.setDatabaseName(m_dir->filePath("no/such/folder/database.db"));
    m_connection.reset(new DataBaseConnection);
    m_connection->initDataBaseConnection();
    m_connection->setSettings(&m_settings);
    QVERIFY(m_connection->start());
    m_recorder.reset(new Recorder);
    m_recorder->setConnection(m_connection.get());
    m_recorder->setTags("1.0", {makeTag("A")});
    QSignalSpy failed(m_recorder.get(), &Recorder::failed);
    m_recorder->start();
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, Patience);
    QCOMPARE(m_recorder->state(), Recorder::Off);
    QVERIFY(!failed.first().first().toString().isEmpty());

    // No driver at all.
    Recorder alone;
    QSignalSpy aloneFailed(&alone, &Recorder::failed);
    QVERIFY(!alone.start());
    QCOMPARE(aloneFailed.count(), 1);
}

void tst_Recorder::fullDisk_data()
{
    QTest::addColumn<bool>("fileSystem");
    // The database may not grow past its page limit: the statement fails.
    QTest::newRow("page limit") << false;
    // The file system is full: the commit fails.
    QTest::newRow("full file system") << true;
}

// Recording stops with the database's own reason, and every value it
// reported stored is in the file.
void tst_Recorder::fullDisk()
{
    QFETCH(bool, fileSystem);
    const QString folder = m_dir->filePath("small");
    QVERIFY(QDir().mkpath(folder));
    if (fileSystem) {
        // A file system of its own, seen by this process only (see main()).
        if (!s_privateMounts || mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=256k") != 0)
            QSKIP("a small file system needs root and a mount namespace of its own");
    }
    useDatabase(folder + "/database.db");
    if (!fileSystem) {
        // Per connection: on the worker's own, ahead of the recording.
        auto *limit = m_connection->customCommandReturnData("PRAGMA max_page_count = 60");
        connect(limit, qOverload<bool>(&Sqlstore::Internal::IDataBaseTransaction::transactionExecutionEnded),
                limit, [limit](bool) { limit->setStatus(Sqlstore::Internal::IDataBaseTransaction::Completed); });
        m_connection->addTransactionExec(limit);
    }
    // Few tags, many passes a batch: the rows go to new pages at the end of
    // the file, so a full file system refuses the commit that writes them.
    QList<Tag *> tags;
    for (int i = 0; i < 4; ++i)
        tags.append(makeTag(QStringLiteral("T%1").arg(i)));
    m_recorder->setTags("1.0", tags);
    QSignalSpy failed(m_recorder.get(), &Recorder::failed);
    startRecording();
    for (int pass = 0; pass < 200000 && failed.isEmpty(); ++pass) {
        for (Tag *tag : qAsConst(tags))
            feed(tag, quint16(pass));
        m_recorder->passEnded();
        if (pass % 100 == 99)
            QTRY_VERIFY_WITH_TIMEOUT(m_recorder->pendingRows() < 400 || !failed.isEmpty(), Patience);
    }
    QCOMPARE(failed.count(), 1);
    const QString reason = failed.first().first().toString();
    QVERIFY2(reason.contains("database or disk is full"), qPrintable(reason));
    QCOMPARE(m_recorder->state(), Recorder::Off);
    const quint64 stored = m_recorder->rowsStored();
    QVERIFY(stored > 0);
    m_recorder.reset();
    m_connection.reset();
    QCOMPARE(sql(m_file, {"SELECT count(*) FROM history"}).value(0).toULongLong(), stored);
    if (fileSystem)
        QCOMPARE(umount2(QFile::encodeName(folder).constData(), MNT_DETACH), 0);
}

int main(int argc, char *argv[])
{
    // Before any thread starts: a mount namespace of this process's own, so
    // that the small file system of fullDisk() is nobody else's and goes
    // with the process.
    s_privateMounts = geteuid() == 0 && unshare(CLONE_NEWNS) == 0
                      && mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    QCoreApplication app(argc, argv);
    tst_Recorder test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_recorder.moc"
