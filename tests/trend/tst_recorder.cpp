// The recorder on a real database file, with tags fed by hand: changes only
// with a deadband, retention by age and by size, an unusable database.

#include <trend/recorder.h>

#include <pointbook/tag.h>
#include <sqlstore/databaseconnection.h>
#include <sqlstore/databasesettings.h>

#include <QDateTime>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>

#include <memory>

using Pointbook::Tag;
using Sqlstore::Internal::DataBaseConnection;
using Sqlstore::Internal::DataBaseSettings;
using Trend::Recorder;

namespace {
constexpr int Patience = 30000;

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
    void unusableDatabase();

private:
    Tag *makeTag(const QString &id);
    void feed(Tag *tag, quint16 value) { tag->setRawData({value}); }
    void startRecording();

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

QTEST_GUILESS_MAIN(tst_Recorder)

#include "tst_recorder.moc"
