#include "testsupport.h"

#include <sqlstore/databaseconnection.h>
#include <sqlstore/databasesettings.h>
#include <sqlstore/databasethread.h>
#include <sqlstore/dbcustomcommandnotreturndata.h>
#include <sqlstore/dbcustomcommandreturndata.h>
#include <sqlstore/idatabasetransaction.h>

#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>

using namespace Sqlstore::Internal;
using SqlstoreTest::Rows;
using SqlstoreTest::ended;
using SqlstoreTest::endedWithRows;

namespace {

const char openWarning[] = "Error opening database. Work without a database.";
const char writeWarning[] = "Error writing to the database. Work without a database.";

// A transaction that leaves its name in the log table when it runs.
IDataBaseTransaction *logWrite(const QString &name,
                               IDataBaseTransaction::Priority priority = IDataBaseTransaction::Normal)
{
    auto *transaction = new DBCustomCommandNotReturnData(
        QStringLiteral("INSERT INTO log (name) VALUES (%1)").arg(IDataBaseTransaction::protect(name)),
        priority);
    transaction->setObjectName(name);
    return transaction;
}

// Receives end signals on the test's thread, as a user of the driver would,
// and then sets Completed on the transaction it was given.
class Receiver : public QObject
{
    Q_OBJECT

public:
    void watch(IDataBaseTransaction *transaction, bool complete = true)
    {
        connect(transaction, ended, this, [this, transaction, complete](bool ok) {
            flags.append(ok);
            names.append(transaction->objectName());
            onOwnThread = onOwnThread && QThread::currentThread() == thread();
            if (complete)
                transaction->setStatus(IDataBaseTransaction::Completed);
        });
        connect(transaction, endedWithRows, this, [this](bool ok, const Rows &data) {
            rowFlags.append(ok);
            rows.append(data);
        });
    }

    QList<bool> flags;
    QStringList names;
    QList<bool> rowFlags;
    QList<Rows> rows;
    bool onOwnThread = true;
};

} // namespace

class WorkerTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void settingsCompare_data();
    void settingsCompare();

    // The worker driven by hand on this thread, one pass at a time.
    void order_data();
    void order();
    void highOvertakesBetweenPasses();
    void listAndNullAndDuplicates();
    void completedDeletedOthersKept();
    void deliveredRowsHeldUntilLetGo();
    void clearAllStopsWaiting();
    void withoutDatabase_data();
    void withoutDatabase();
    void databaseGoneWhenTurnComes();
    void connectOptionsApplied();
    void durableJournal();
    void destructionFreesWithoutSignal();

    // The connection with its real worker thread.
    void lifecycle();
    void destructionEmitsStopped();
    void roundTripThroughThread();
    void queuedWritesSurviveStop();
    void chainingFromWorkerThread();
    void clearAllThroughConnection();
    void writeProtectedThroughConnection();
    void completedDeletedAtTimedCheck();

private:
    QString logNames() const
    {
        return SqlstoreTest::column(SqlstoreTest::readRows(
            m_file, QStringLiteral("SELECT name FROM log ORDER BY id"))).join(QLatin1Char(','));
    }
    DataBaseSettings settingsFor(const QString &file) const
    {
        DataBaseSettings settings;
        settings.setDriver(QStringLiteral("QSQLITE"));
        settings.setDatabaseName(file);
        return settings;
    }
    void runPasses(DataBaseThread &worker, int count)
    {
        for (int i = 0; i < count; ++i)
            worker.processQueue();
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_file;
};

void WorkerTest::initTestCase()
{
    SqlstoreTest::WarningLog::install();
    qRegisterMetaType<Rows>();
}

void WorkerTest::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_file = m_dir->filePath(QStringLiteral("worker.db"));
    QVERIFY(SqlstoreTest::execute(m_file, {QStringLiteral("CREATE TABLE log (id INTEGER PRIMARY KEY, name TEXT)")}));
    SqlstoreTest::WarningLog::clear();
}

void WorkerTest::cleanup()
{
    QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::setPermissions(m_file, QFile::ReadOwner | QFile::WriteOwner);
    m_dir.reset();
}

void WorkerTest::settingsCompare_data()
{
    QTest::addColumn<int>("field");
    for (int field = 0; field < 8; ++field)
        QTest::newRow(qPrintable(QStringLiteral("field %1").arg(field))) << field;
}

void WorkerTest::settingsCompare()
{
    QFETCH(int, field);
    DataBaseSettings settings;
    QCOMPARE(settings.port(), -1);
    QCOMPARE(settings.precisionPolicy(), 0);
    QVERIFY(settings.driver().isEmpty() && settings.databaseName().isEmpty());

    DataBaseSettings changed = settings;
    QVERIFY(changed == settings);
    switch (field) {
    case 0: changed.setDriver("QSQLITE"); break;
    case 1: changed.setConnectOptions("QSQLITE_BUSY_TIMEOUT=10"); break;
    case 2: changed.setDatabaseName("a.db"); break;
    case 3: changed.setHostName("localhost"); break;
    case 4: changed.setUserName("user"); break;
    case 5: changed.setPassword("word"); break;
    case 6: changed.setPort(5432); break;
    default: changed.setPrecisionPolicy(QSql::LowPrecisionDouble); break;
    }
    QVERIFY(changed != settings);
    DataBaseSettings copy;
    copy = changed;
    QVERIFY(copy == changed);
}

void WorkerTest::order_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<int> >("priorities");
    QTest::addColumn<QString>("expected");

    QTest::newRow("high before waiting normal") << QStringList{"n1", "h1"} << QList<int>{0, 1} << "h1,n1";
    QTest::newRow("normal in queued order") << QStringList{"n1", "n2", "n3"} << QList<int>{0, 0, 0}
                                            << "n1,n2,n3";
    QTest::newRow("high in queued order") << QStringList{"h1", "h2", "h3"} << QList<int>{1, 1, 1}
                                          << "h1,h2,h3";
    QTest::newRow("mixed") << QStringList{"n1", "h1", "n2", "h2"} << QList<int>{0, 1, 0, 1}
                           << "h1,h2,n1,n2";
    QTest::newRow("other values count as high") << QStringList{"n1", "x5", "h1"} << QList<int>{0, 5, 1}
                                                << "x5,h1,n1";
}

void WorkerTest::order()
{
    QFETCH(QStringList, names);
    QFETCH(QList<int>, priorities);
    QFETCH(QString, expected);

    DataBaseSettings settings = settingsFor(m_file);
    DataBaseThread worker;
    worker.setSettings(&settings);
    worker.run();

    QList<QPointer<IDataBaseTransaction> > queued;
    for (int i = 0; i < names.size(); ++i) {
        IDataBaseTransaction *transaction =
            logWrite(names.at(i), IDataBaseTransaction::Priority(priorities.at(i)));
        queued.append(transaction);
        worker.addTransaction(transaction);
    }

    // One transaction per pass.
    worker.processQueue();
    const QStringList order = expected.split(QLatin1Char(','));
    QCOMPARE(logNames(), order.first());
    for (const auto &transaction : qAsConst(queued)) {
        QCOMPARE(transaction->status(), transaction->objectName() == order.first()
                                            ? IDataBaseTransaction::Executing
                                            : IDataBaseTransaction::Waiting);
    }
    runPasses(worker, names.size() + 2);
    QCOMPARE(logNames(), expected);
}

void WorkerTest::highOvertakesBetweenPasses()
{
    DataBaseSettings settings = settingsFor(m_file);
    DataBaseThread worker;
    worker.setSettings(&settings);
    worker.run();
    worker.addTransaction(logWrite("n1"));
    worker.addTransaction(logWrite("n2"));
    worker.processQueue();
    worker.addTransaction(logWrite("h1", IDataBaseTransaction::High));
    runPasses(worker, 3);
    QCOMPARE(logNames(), QStringLiteral("n1,h1,n2"));
}

void WorkerTest::listAndNullAndDuplicates()
{
    DataBaseSettings settings = settingsFor(m_file);
    DataBaseThread worker;
    worker.setSettings(&settings);
    worker.run();

    IDataBaseTransaction *twice = logWrite("twice");
    worker.addTransaction(QList<IDataBaseTransaction *>{logWrite("a"), nullptr, twice, logWrite("b")});
    worker.addTransaction(static_cast<IDataBaseTransaction *>(nullptr));
    worker.addTransaction(twice);
    runPasses(worker, 6);
    QCOMPARE(logNames(), QStringLiteral("a,twice,b"));
}

void WorkerTest::completedDeletedOthersKept()
{
    DataBaseSettings settings = settingsFor(m_file);
    DataBaseThread worker;
    worker.setSettings(&settings);
    worker.run();

    QPointer<IDataBaseTransaction> completed = logWrite("completed");
    QPointer<IDataBaseTransaction> kept = logWrite("kept");
    QPointer<IDataBaseTransaction> waiting = logWrite("waiting");
    worker.addTransaction(completed.data());
    worker.addTransaction(kept.data());
    runPasses(worker, 2);
    worker.addTransaction(waiting.data());

    completed->setStatus(IDataBaseTransaction::Completed);
    worker.processDeleteQueue();
    QVERIFY(completed.isNull());
    QVERIFY(!kept.isNull());
    QVERIFY(!waiting.isNull());

    for (int i = 0; i < 3; ++i)
        worker.processDeleteQueue();
    QVERIFY(!kept.isNull());
    QCOMPARE(kept->status(), IDataBaseTransaction::Executing);

    // Completed while still queued: only executed ones are freed.
    waiting->setStatus(IDataBaseTransaction::Completed);
    worker.processDeleteQueue();
    QVERIFY(!waiting.isNull());

    kept->setStatus(IDataBaseTransaction::Completed);
    worker.processDeleteQueue();
    QVERIFY(kept.isNull());
}

// The worker keeps a reference to the rows it handed on and frees them
// once the receiver has dropped its copy; rows nobody took are not held.
void WorkerTest::deliveredRowsHeldUntilLetGo()
{
    DataBaseSettings settings = settingsFor(m_file);
    DataBaseThread worker;
    worker.setSettings(&settings);
    worker.run();
    worker.addTransaction(logWrite("a"));
    worker.processQueue();

    const QString select = QStringLiteral("SELECT name FROM log");
    Receiver receiver;
    auto *taken = new DBCustomCommandReturnData(select);
    receiver.watch(taken);
    worker.addTransaction(taken);
    worker.addTransaction(new DBCustomCommandReturnData(select));
    runPasses(worker, 2);
    QCOMPARE(worker.heldRowSets(), 1);

    worker.releaseDeliveredRows();
    QCOMPARE(worker.heldRowSets(), 1);
    QCOMPARE(receiver.rows.value(0).value(0).value(0).toString(), QStringLiteral("a"));

    receiver.rows.clear();
    worker.releaseDeliveredRows();
    QCOMPARE(worker.heldRowSets(), 0);
}

void WorkerTest::clearAllStopsWaiting()
{
    DataBaseSettings settings = settingsFor(m_file);
    DataBaseThread worker;
    worker.setSettings(&settings);
    worker.run();

    QPointer<IDataBaseTransaction> normal = logWrite("normal");
    QPointer<IDataBaseTransaction> high = logWrite("high", IDataBaseTransaction::High);
    QPointer<IDataBaseTransaction> rows =
        new DBCustomCommandReturnData(QStringLiteral("SELECT name FROM log"));
    QSignalSpy normalEnded(normal.data(), ended);
    QSignalSpy highEnded(high.data(), ended);
    QSignalSpy rowsEnded(rows.data(), ended);
    QSignalSpy rowsDelivered(rows.data(), endedWithRows);
    worker.addTransaction(normal.data());
    worker.addTransaction(high.data());
    worker.addTransaction(rows.data());

    worker.clearAllTransaction();
    for (QSignalSpy *spy : {&normalEnded, &highEnded, &rowsEnded, &rowsDelivered}) {
        QCOMPARE(spy->count(), 1);
        QCOMPARE(spy->at(0).at(0).toBool(), false);
    }
    QVERIFY(rowsDelivered.at(0).at(1).value<Rows>().isEmpty());
    for (const auto &transaction : {normal, high, rows})
        QCOMPARE(transaction->status(), IDataBaseTransaction::Stopped);

    runPasses(worker, 3);
    QCOMPARE(logNames(), QString());
    QCOMPARE(normalEnded.count(), 1);

    // Freed like executed ones, once their users are done with them.
    worker.processDeleteQueue();
    QVERIFY(!normal.isNull());
    normal->setStatus(IDataBaseTransaction::Completed);
    worker.processDeleteQueue();
    QVERIFY(normal.isNull());
    QVERIFY(!high.isNull());

    worker.clearAllTransaction();  // nothing waits: harmless
    QCOMPARE(highEnded.count(), 1);
}

void WorkerTest::withoutDatabase_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("warning");

    QTest::newRow("write-protected file") << "read-only" << writeWarning;
    QTest::newRow("folder missing") << "missing" << openWarning;
    QTest::newRow("no settings") << "no settings" << openWarning;
    QTest::newRow("unknown driver") << "bad driver" << openWarning;
}

void WorkerTest::withoutDatabase()
{
    QFETCH(QString, situation);
    QFETCH(QString, warning);

    DataBaseSettings settings = settingsFor(m_file);
    if (situation == "read-only") {
        if (SqlstoreTest::privileged())
            QSKIP("File permissions do not bind this user");
        QVERIFY(QFile::setPermissions(m_file, QFile::ReadOwner | QFile::ReadGroup));
    } else if (situation == "missing") {
        settings.setDatabaseName(m_dir->filePath("missing/worker.db"));
    } else if (situation == "bad driver") {
        settings.setDriver("QNOSUCHDRIVER");
    }
    const QByteArray before = [this] {
        QFile file(m_file);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();

    DataBaseThread worker;
    if (situation != "no settings")
        worker.setSettings(&settings);

    // Queued before the worker ran, and after.
    IDataBaseTransaction *early = logWrite("early");
    auto *late = new DBCustomCommandReturnData(QStringLiteral("SELECT name FROM log"));
    QSignalSpy earlyEnded(early, ended);
    QSignalSpy lateEnded(late, ended);
    QSignalSpy lateRows(late, endedWithRows);
    worker.addTransaction(early);
    QCOMPARE(earlyEnded.count(), 0);

    worker.run();
    QVERIFY2(SqlstoreTest::WarningLog::warnings().contains(warning),
             qPrintable(SqlstoreTest::WarningLog::warnings().join('\n')));
    QCOMPARE(earlyEnded.count(), 1);
    QCOMPARE(earlyEnded.at(0).at(0).toBool(), false);

    worker.addTransaction(late);
    QCOMPARE(lateEnded.count(), 1);
    QCOMPARE(lateEnded.at(0).at(0).toBool(), false);
    QCOMPARE(lateRows.count(), 1);
    QCOMPARE(lateRows.at(0).at(0).toBool(), false);

    runPasses(worker, 2);
    QCOMPARE(earlyEnded.count(), 1);
    QFile file(m_file);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
    // The worker leaves no connection of its own behind.
    QCOMPARE(QSqlDatabase::connectionNames(), QStringList());
}

void WorkerTest::databaseGoneWhenTurnComes()
{
    if (SqlstoreTest::privileged())
        QSKIP("Folder permissions do not bind this user");
    DataBaseSettings settings = settingsFor(m_file);
    DataBaseThread worker;
    worker.setSettings(&settings);
    worker.run();
    QCOMPARE(QSqlDatabase::connectionNames().size(), 1);

    auto *rows = new DBCustomCommandReturnData(QStringLiteral("SELECT name FROM log"));
    QSignalSpy rowsEnded(rows, ended);
    QSignalSpy rowsDelivered(rows, endedWithRows);
    worker.addTransaction(rows);

    // Closed, and impossible to open again.
    QSqlDatabase::database(QSqlDatabase::connectionNames().first(), false).close();
    QVERIFY(QFile::setPermissions(m_dir->path(), QFile::Permissions()));
    worker.processQueue();
    QCOMPARE(rowsEnded.count(), 1);
    QCOMPARE(rowsEnded.at(0).at(0).toBool(), false);
    QCOMPARE(rowsDelivered.count(), 1);
    QCOMPARE(rowsDelivered.at(0).at(0).toBool(), false);
}

void WorkerTest::connectOptionsApplied()
{
    DataBaseSettings settings = settingsFor(m_file);
    settings.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    DataBaseThread worker;
    worker.setSettings(&settings);
    worker.run();
    IDataBaseTransaction *write = logWrite("refused");
    QSignalSpy writeEnded(write, ended);
    worker.addTransaction(write);
    worker.processQueue();
    QCOMPARE(writeEnded.count(), 1);
    QCOMPARE(writeEnded.at(0).at(0).toBool(), false);
    QCOMPARE(logNames(), QString());
}

// The worker keeps SQLite's rollback journal with full synchronisation: a
// transaction reported as done survives a crash or a power loss.
void WorkerTest::durableJournal()
{
    DataBaseSettings settings = settingsFor(m_file);
    DataBaseThread worker;
    worker.setSettings(&settings);
    worker.run();
    auto *pragmas = new DBCustomCommandReturnData(QStringLiteral("PRAGMA journal_mode"));
    pragmas->appendSqlQuery(QStringLiteral("PRAGMA synchronous"));
    QSignalSpy delivered(pragmas, endedWithRows);
    worker.addTransaction(pragmas);
    worker.processQueue();
    QCOMPARE(delivered.count(), 1);
    const Rows rows = delivered.at(0).at(1).value<Rows>();
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(0).value(0).toString(), QStringLiteral("delete"));
    QCOMPARE(rows.at(1).value(0).toInt(), 2);
}

void WorkerTest::destructionFreesWithoutSignal()
{
    DataBaseSettings settings = settingsFor(m_file);
    auto *worker = new DataBaseThread;
    worker->setSettings(&settings);
    worker->run();
    QPointer<IDataBaseTransaction> executed = logWrite("executed");
    QPointer<IDataBaseTransaction> waiting = logWrite("waiting");
    worker->addTransaction(executed.data());
    worker->processQueue();
    worker->addTransaction(waiting.data());
    QSignalSpy waitingEnded(waiting.data(), ended);
    delete worker;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(executed.isNull());
    QVERIFY(waiting.isNull());
    QCOMPARE(waitingEnded.count(), 0);
    QCOMPARE(logNames(), QStringLiteral("executed"));
    QCOMPARE(QSqlDatabase::connectionNames(), QStringList());
}

void WorkerTest::lifecycle()
{
    DataBaseConnection connection;
    QSignalSpy launched(&connection, &DataBaseConnection::launched);
    QSignalSpy stopped(&connection, &DataBaseConnection::stopped);

    QVERIFY(!connection.start());
    QCOMPARE(launched.count(), 0);
    QVERIFY(!connection.createTable("t", {"a"}));
    QVERIFY(!connection.selectionDataTable("t"));
    connection.stop();
    QCOMPARE(stopped.count(), 1);

    DataBaseSettings settings = settingsFor(m_file);
    QVERIFY(connection.initDataBaseConnection());
    connection.setSettings(&settings);
    IDataBaseTransaction *built = connection.lastInsertRowid();
    QVERIFY(built);
    QVERIFY(built->thread() != QThread::currentThread());
    QCOMPARE(built->status(), IDataBaseTransaction::Waiting);
    delete built;  // never queued: still the caller's

    QVERIFY(connection.start());
    QCOMPARE(launched.count(), 1);
    QVERIFY(connection.start());
    QCOMPARE(launched.count(), 1);

    connection.stop();
    QCOMPARE(stopped.count(), 2);
    QVERIFY(!connection.deleteTable("t"));
    QVERIFY(!connection.start());
    connection.stop();
    QCOMPARE(stopped.count(), 3);
}

void WorkerTest::destructionEmitsStopped()
{
    DataBaseSettings settings = settingsFor(m_file);
    int stopped = 0;
    {
        DataBaseConnection connection;
        connect(&connection, &DataBaseConnection::stopped, this, [&stopped] { ++stopped; });
        connection.initDataBaseConnection();
        connection.setSettings(&settings);
        QVERIFY(connection.start());
    }
    QCOMPARE(stopped, 1);
    {
        DataBaseConnection neverStarted;
        connect(&neverStarted, &DataBaseConnection::stopped, this, [&stopped] { ++stopped; });
    }
    QCOMPARE(stopped, 2);
}

void WorkerTest::roundTripThroughThread()
{
    DataBaseSettings settings = settingsFor(m_file);
    DataBaseConnection connection;
    connection.initDataBaseConnection();
    connection.setSettings(&settings);
    QVERIFY(connection.start());

    Receiver receiver;
    IDataBaseTransaction *create = connection.createTable("items", {"id INTEGER PRIMARY KEY", "name TEXT"});
    IDataBaseTransaction *insert = connection.insertDataTable("items", {"name"}, {IDataBaseTransaction::protect("it's")});
    IDataBaseTransaction *rowid = connection.lastInsertRowid();
    IDataBaseTransaction *select = connection.selectionDataTable(
        "items", {"id", "name"}, {{"id", DBSelectionDataTable::Ascending}});
    IDataBaseTransaction *failing = connection.customCommandNotReturnData("INSERT INTO nowhere VALUES (1)");
    for (IDataBaseTransaction *transaction : {create, insert, rowid, select, failing})
        receiver.watch(transaction);
    connection.addTransactionExec(nullptr);
    for (IDataBaseTransaction *transaction : {create, insert, rowid, select, failing})
        connection.addTransactionExec(transaction);

    QTRY_COMPARE_WITH_TIMEOUT(receiver.flags.size(), 5, 10000);
    QCOMPARE(receiver.flags, QList<bool>({true, true, true, true, false}));
    QVERIFY(receiver.onOwnThread);
    QTRY_COMPARE(receiver.rows.size(), 2);
    QCOMPARE(receiver.rows.at(0), Rows{{1}});
    QCOMPARE(receiver.rows.at(1), Rows({{1, "it's"}}));
}

void WorkerTest::queuedWritesSurviveStop()
{
    // Few enough that a slow disk (each commit is flushed) drains them well
    // within the stop's time bound, even under the sanitizers.
    const int Writes = 8;
    DataBaseSettings settings = settingsFor(m_file);
    DataBaseConnection connection;
    connection.initDataBaseConnection();
    connection.setSettings(&settings);
    QVERIFY(connection.start());

    // Keeps the worker busy while the writes are queued and the stop comes.
    connection.addTransactionExec(connection.customCommandReturnData(
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 100000) "
        "SELECT count(*) FROM c"));
    Receiver receiver;
    QStringList expected;
    for (int i = 0; i < Writes; ++i) {
        const QString name = QStringLiteral("w%1").arg(i);
        expected << name;
        IDataBaseTransaction *write = connection.customCommandNotReturnData(
            QStringLiteral("INSERT INTO log (name) VALUES ('%1')").arg(name),
            i % 2 ? IDataBaseTransaction::High : IDataBaseTransaction::Normal);
        write->setObjectName(name);
        receiver.watch(write);
        connection.addTransactionExec(write);
    }
    connection.stop();

    QStringList written = logNames().split(QLatin1Char(','));
    written.sort();
    expected.sort();
    QCOMPARE(written, expected);
    // Their users hear of them, and may still touch them when they do.
    QTRY_COMPARE(receiver.flags.size(), Writes);
    QVERIFY(!receiver.flags.contains(false));
    QTest::qWait(50);
}

// A slot connected directly to a transaction runs on the worker thread in the
// middle of a pass; queueing the next step from there must not stall it.
void WorkerTest::chainingFromWorkerThread()
{
    DataBaseSettings settings = settingsFor(m_file);
    DataBaseConnection connection;
    connection.initDataBaseConnection();
    connection.setSettings(&settings);
    QVERIFY(connection.start());

    IDataBaseTransaction *first = connection.customCommandNotReturnData("INSERT INTO log (name) VALUES ('first')");
    IDataBaseTransaction *second = connection.customCommandNotReturnData("INSERT INTO log (name) VALUES ('second')");
    second->setObjectName("second");
    Receiver receiver;
    receiver.watch(second);
    connect(first, ended, [&connection, first, second](bool) {
        connection.addTransactionExec(second);
        first->setStatus(IDataBaseTransaction::Completed);
    });
    connection.addTransactionExec(first);
    QTRY_COMPARE_WITH_TIMEOUT(receiver.flags, QList<bool>{true}, 10000);
    QCOMPARE(logNames(), QStringLiteral("first,second"));
}

void WorkerTest::clearAllThroughConnection()
{
    DataBaseSettings settings = settingsFor(m_file);
    DataBaseConnection connection;
    connection.initDataBaseConnection();
    connection.setSettings(&settings);

    // Requests made before the start wait for it; the clearing request comes
    // after them and reaches the worker first thing.
    Receiver receiver;
    IDataBaseTransaction *write = connection.customCommandNotReturnData("INSERT INTO log (name) VALUES ('x')");
    IDataBaseTransaction *read = connection.selectionDataTable("log");
    receiver.watch(write);
    receiver.watch(read);
    emit connection.addTransaction(QList<IDataBaseTransaction *>{write, read});
    emit connection.transactionClearAll();
    QVERIFY(connection.start());

    QTRY_COMPARE_WITH_TIMEOUT(receiver.flags, QList<bool>({false, false}), 10000);
    QTRY_COMPARE(receiver.rowFlags, QList<bool>{false});
    connection.stop();
    QCOMPARE(logNames(), QString());
}

void WorkerTest::writeProtectedThroughConnection()
{
    if (SqlstoreTest::privileged())
        QSKIP("File permissions do not bind this user");
    QVERIFY(QFile::setPermissions(m_file, QFile::ReadOwner));
    DataBaseSettings settings = settingsFor(m_file);
    DataBaseConnection connection;
    connection.initDataBaseConnection();
    connection.setSettings(&settings);
    QVERIFY(connection.start());

    Receiver receiver;
    IDataBaseTransaction *write = connection.insertDataTable("log", {"name"}, {"'x'"});
    receiver.watch(write);
    connection.addTransactionExec(write);
    QTRY_COMPARE_WITH_TIMEOUT(receiver.flags, QList<bool>{false}, 10000);
    QVERIFY(SqlstoreTest::WarningLog::warnings().contains(writeWarning));
    connection.stop();
    QCOMPARE(logNames(), QString());
}

void WorkerTest::completedDeletedAtTimedCheck()
{
    DataBaseSettings settings = settingsFor(m_file);
    DataBaseConnection connection;
    connection.initDataBaseConnection();
    connection.setSettings(&settings);
    QVERIFY(connection.start());

    Receiver receiver;
    IDataBaseTransaction *completed = connection.customCommandNotReturnData("SELECT 1");
    IDataBaseTransaction *kept = connection.customCommandNotReturnData("SELECT 2");
    receiver.watch(completed, true);
    receiver.watch(kept, false);
    // Read across threads: only the weak pointers' atomic state is used.
    QPointer<IDataBaseTransaction> completedAlive = completed;
    QPointer<IDataBaseTransaction> keptAlive = kept;
    QElapsedTimer clock;
    clock.start();
    connection.addTransactionExec(completed);
    connection.addTransactionExec(kept);
    QTRY_COMPARE_WITH_TIMEOUT(receiver.flags.size(), 2, 10000);

    QTRY_VERIFY_WITH_TIMEOUT(completedAlive.isNull(), 3 * DataBaseThread::DeleteInterval);
    QVERIFY(clock.elapsed() >= DataBaseThread::DeleteInterval - 1000);
    QTest::qWait(200);
    QVERIFY(!keptAlive.isNull());
}

SQLSTORE_TEST_MAIN(WorkerTest, QCoreApplication)

#include "tst_worker.moc"
