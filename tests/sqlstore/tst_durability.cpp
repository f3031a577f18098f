// What a reported end means: true only for a write that is on disk, false for
// one that is not, and a stop that neither loses the answer nor the process.
#include "testsupport.h"

#include <sqlstore/databaseconnection.h>
#include <sqlstore/databasesettings.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <cstdio>

using namespace Sqlstore::Internal;
using SqlstoreTest::Rows;

namespace {

const char writerArgument[] = "--write-and-report";

DataBaseSettings settingsFor(const QString &file, const QString &options = QString())
{
    DataBaseSettings settings;
    settings.setDriver(QStringLiteral("QSQLITE"));
    settings.setDatabaseName(file);
    settings.setConnectOptions(options);
    return settings;
}

// The child: queues numbered writes and prints "done <n>" from the worker
// thread the moment each write is reported, until it is killed.
int writeAndReport(const QString &file)
{
    DataBaseSettings settings = settingsFor(file);
    DataBaseConnection connection;
    connection.initDataBaseConnection();
    connection.setSettings(&settings);
    connection.start();
    for (int n = 1; n <= 500; ++n) {
        IDataBaseTransaction *write = connection.customCommandNotReturnData(
            QStringLiteral("INSERT INTO log (id, name) VALUES (%1, 'w')").arg(n));
        QObject::connect(write, SqlstoreTest::ended, write, [n](bool ok) {
            if (ok) {
                std::printf("done %d\n", n);
                std::fflush(stdout);
            }
        }, Qt::DirectConnection);
        connection.addTransactionExec(write);
    }
    return QCoreApplication::exec();
}

QList<int> ids(const QString &file)
{
    QList<int> result;
    const Rows rows = SqlstoreTest::readRows(file, QStringLiteral("SELECT id FROM log ORDER BY id"));
    for (const auto &row : rows)
        result.append(row.value(0).toInt());
    return result;
}

} // namespace

class DurabilityTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void reportedWriteSurvivesKill();
    void endFollowsCommit_data();
    void endFollowsCommit();
    void fullDatabase();
    void stopWhileBusy();

private:
    void startConnection(DataBaseConnection &connection, DataBaseSettings &settings)
    {
        connection.initDataBaseConnection();
        connection.setSettings(&settings);
        QVERIFY(connection.start());
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_file;
};

void DurabilityTest::initTestCase()
{
    SqlstoreTest::WarningLog::install();
    qRegisterMetaType<Rows>();
}

void DurabilityTest::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_file = m_dir->filePath(QStringLiteral("durability.db"));
    QVERIFY(SqlstoreTest::execute(m_file, {QStringLiteral("CREATE TABLE log (id INTEGER PRIMARY KEY, name TEXT)")}));
    SqlstoreTest::WarningLog::clear();
}

// Killed at once after "done": SQLite's journal undoes whatever was not
// committed, so every write reported must still be there.
void DurabilityTest::reportedWriteSurvivesKill()
{
    for (int round = 0; round < 4; ++round) {
        QProcess child;
        child.setProcessChannelMode(QProcess::SeparateChannels);
        int reported = 0;
        connect(&child, &QProcess::readyReadStandardOutput, &child, [&child, &reported, round] {
            while (child.canReadLine()) {
                const QByteArray line = child.readLine().trimmed();
                if (line.startsWith("done "))
                    reported = qMax(reported, line.mid(5).toInt());
            }
            if (reported > 2 + round * 3 && child.state() == QProcess::Running)
                ::kill(pid_t(child.processId()), SIGKILL);
        });
        child.start(QCoreApplication::applicationFilePath(), {writerArgument, m_file});
        QVERIFY(child.waitForStarted());
        QVERIFY2(child.waitForFinished(60000), "the writer was not killed");
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QVERIFY(reported > 0);

        const QList<int> stored = ids(m_file);
        for (int n = 1; n <= reported; ++n)
            QVERIFY2(stored.contains(n), qPrintable(QStringLiteral("round %1: write %2 reported, not stored")
                                                        .arg(round).arg(n)));
        QVERIFY(SqlstoreTest::execute(m_file, {QStringLiteral("DELETE FROM log")}));
    }
}

// Another connection holds a read lock, so the write's commit has to wait for
// it: the end comes after the commit, true when the lock went in time and
// false, with the database's error in the log, when it did not.
void DurabilityTest::endFollowsCommit_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<bool>("rows");
    QTest::addColumn<int>("holdMs");  // -1: until the write has ended
    QTest::addColumn<bool>("expected");

    const QString insert = QStringLiteral("INSERT INTO log (name) VALUES ('new')");
    QTest::newRow("lock released in time") << insert << false << 150 << true;
    QTest::newRow("lock held too long") << insert << false << -1 << false;
    QTest::newRow("rows, lock held too long")
        << insert + QStringLiteral(" RETURNING id") << true << -1 << false;
}

void DurabilityTest::endFollowsCommit()
{
    QFETCH(QString, statement);
    QFETCH(bool, rows);
    QFETCH(int, holdMs);
    QFETCH(bool, expected);

    QVERIFY(SqlstoreTest::execute(m_file, {QStringLiteral("INSERT INTO log (name) VALUES ('old')")}));
    const QString readerName = QStringLiteral("reader");
    {
        QSqlDatabase reader = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), readerName);
        reader.setDatabaseName(m_file);
        QVERIFY(reader.open());
        QVERIFY(reader.transaction());
        QSqlQuery hold(reader);
        QVERIFY(hold.exec(QStringLiteral("SELECT * FROM log")));

        DataBaseSettings settings = settingsFor(m_file, QStringLiteral("QSQLITE_BUSY_TIMEOUT=400"));
        DataBaseConnection connection;
        startConnection(connection, settings);
        IDataBaseTransaction *write = rows ? connection.customCommandReturnData(statement)
                                           : connection.customCommandNotReturnData(statement);
        QSignalSpy ended(write, SqlstoreTest::ended);
        QSignalSpy endedWithRows(write, SqlstoreTest::endedWithRows);
        if (holdMs >= 0) {
            QTimer::singleShot(holdMs, &connection, [&hold, &reader] {
                hold.finish();
                reader.rollback();
            });
        }
        connection.addTransactionExec(write);
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 20000);
        QCOMPARE(ended.at(0).at(0).toBool(), expected);
        if (rows) {
            QTRY_COMPARE(endedWithRows.count(), 1);
            QCOMPARE(endedWithRows.at(0).at(0).toBool(), expected);
        }
        hold.finish();
        reader.rollback();
        connection.stop();
    }
    QSqlDatabase::removeDatabase(readerName);

    const Rows stored = SqlstoreTest::readRows(m_file, QStringLiteral("SELECT name FROM log ORDER BY id"));
    QCOMPARE(SqlstoreTest::column(stored).join(','), QString(expected ? "old,new" : "old"));
    const QString warnings = SqlstoreTest::WarningLog::warnings().join('\n');
    QCOMPARE(warnings.contains(QLatin1String("could not be committed: database is locked")), !expected);
}

// The database may not grow past a few pages: the writes that fit are
// reported and stored, the others fail, and nothing reported is missing.
void DurabilityTest::fullDatabase()
{
    DataBaseSettings settings = settingsFor(m_file);
    DataBaseConnection connection;
    startConnection(connection, settings);
    QList<bool> flags;
    auto queue = [this, &connection, &flags](IDataBaseTransaction *transaction) {
        connect(transaction, SqlstoreTest::ended, this, [&flags](bool ok) { flags.append(ok); });
        connection.addTransactionExec(transaction);
    };
    queue(connection.customCommandReturnData(QStringLiteral("PRAGMA max_page_count = 12")));
    const int Writes = 40;
    for (int n = 1; n <= Writes; ++n) {
        queue(connection.customCommandNotReturnData(
            QStringLiteral("INSERT INTO log (id, name) VALUES (%1, hex(randomblob(1000)))").arg(n)));
    }
    QTRY_COMPARE_WITH_TIMEOUT(flags.size(), Writes + 1, 60000);
    connection.stop();

    QVERIFY(flags.takeFirst());
    QList<int> reported;
    for (int n = 1; n <= Writes; ++n) {
        if (flags.at(n - 1))
            reported.append(n);
    }
    QVERIFY(!reported.isEmpty());
    QVERIFY(flags.contains(false));
    QCOMPARE(ids(m_file), reported);
}

// A statement that never ends and a backlog behind it: the stop interrupts
// the statement, ends every waiting write with false, returns within its
// bound and leaves the process running.
void DurabilityTest::stopWhileBusy()
{
    DataBaseSettings settings = settingsFor(m_file);
    DataBaseConnection connection;
    startConnection(connection, settings);

    QList<bool> endless;
    QList<bool> writes;
    IDataBaseTransaction *endlessQuery = connection.customCommandReturnData(QStringLiteral(
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT count(*) FROM c"),
        IDataBaseTransaction::High);
    connect(endlessQuery, SqlstoreTest::ended, this, [&endless](bool ok) { endless.append(ok); });
    connection.addTransactionExec(endlessQuery);
    const int Writes = 50;
    for (int n = 1; n <= Writes; ++n) {
        IDataBaseTransaction *write = connection.customCommandNotReturnData(
            QStringLiteral("INSERT INTO log (id, name) VALUES (%1, 'w')").arg(n),
            n % 2 ? IDataBaseTransaction::Normal : IDataBaseTransaction::High);
        connect(write, SqlstoreTest::ended, this, [&writes](bool ok) { writes.append(ok); });
        connection.addTransactionExec(write);
    }
    // Give the endless statement time to start.
    QTest::qWait(200);

    QElapsedTimer clock;
    clock.start();
    connection.stop();
    // Generous: the bound is what the stop aims at, the machine may be slow.
    QVERIFY2(clock.elapsed() < 3 * DataBaseConnection::StopTimeout,
             qPrintable(QString::number(clock.elapsed())));

    QTRY_COMPARE(endless.size(), 1);
    QCOMPARE(endless.first(), false);
    QTRY_COMPARE(writes.size(), Writes);
    QCOMPARE(writes.count(true), ids(m_file).size());
}

int main(int argc, char *argv[])
{
    SqlstoreTest::dropRootPrivileges();
    if (argc == 3 && qstrcmp(argv[1], writerArgument) == 0) {
        QCoreApplication app(argc, argv);
        return writeAndReport(QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    DurabilityTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_durability.moc"
