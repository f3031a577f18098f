#include "testsupport.h"

#include <sqlstore/dbcustomcommandnotreturndata.h>
#include <sqlstore/dbcustomcommandreturndata.h>
#include <sqlstore/dbinsertdatatable.h>
#include <sqlstore/dbselectiondatatable.h>
#include <sqlstore/idatabasetransaction.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>
#include <memory>

using namespace Sqlstore::Internal;
using SqlstoreTest::Rows;
using SqlstoreTest::Run;
using SqlstoreTest::ended;
using SqlstoreTest::endedWithRows;


class TransactionTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firstIdIsOne();
    void idsWrapAround_data();
    void idsWrapAround();
    void newTransaction();
    void statusChangeIsStamped();
    void statementChangesResetWaiting();
    void stopEmitsOnlyTheShortSignal();
    void endWithoutExecution_data();
    void endWithoutExecution();

    void protectText_data();
    void protectText();
    void protectTimes_data();
    void protectTimes();
    void stringPreparation_data();
    void stringPreparation();

    void execution_data();
    void execution();
    void protectRoundTrip_data();
    void protectRoundTrip();

private:
    Run runAsWorker(IDataBaseTransaction *transaction)
    {
        return SqlstoreTest::runAsWorker(transaction, QSqlDatabase::database(m_connection));
    }
    QStringList tableValues() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_file;
    const QString m_connection = QStringLiteral("worker");
};

void TransactionTest::initTestCase()
{
    qRegisterMetaType<Rows>();
}

void TransactionTest::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_file = m_dir->filePath(QStringLiteral("test.db"));
    QVERIFY(SqlstoreTest::execute(m_file, {QStringLiteral("CREATE TABLE t (v INTEGER)"),
                                           QStringLiteral("CREATE TABLE words (id INTEGER PRIMARY KEY, name TEXT)")}));
    QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    database.setDatabaseName(m_file);
    QVERIFY(database.open());
}

void TransactionTest::cleanup()
{
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
    m_dir.reset();
}

QStringList TransactionTest::tableValues() const
{
    return SqlstoreTest::column(SqlstoreTest::readRows(m_file, QStringLiteral("SELECT v FROM t ORDER BY rowid")));
}

// Must stay the first test: no transaction exists before it.
void TransactionTest::firstIdIsOne()
{
    DBCustomCommandNotReturnData first(QStringLiteral("SELECT 1"));
    QCOMPARE(first.transactionID(), 1);
    DBCustomCommandNotReturnData second(QStringLiteral("SELECT 1"));
    QCOMPARE(second.transactionID(), 2);
}

void TransactionTest::idsWrapAround_data()
{
    QTest::addColumn<qint32>("counter");
    QTest::addColumn<qint32>("first");
    QTest::addColumn<qint32>("second");

    const qint32 max = std::numeric_limits<qint32>::max();
    QTest::newRow("start") << 0 << 1 << 2;
    QTest::newRow("middle") << 41 << 42 << 43;
    QTest::newRow("reaches the largest") << max - 1 << max << 1;
    QTest::newRow("after the largest") << max << 1 << 2;
}

void TransactionTest::idsWrapAround()
{
    QFETCH(qint32, counter);
    QFETCH(qint32, first);
    QFETCH(qint32, second);

    IDataBaseTransaction::setTransactionCounter(counter);
    DBCustomCommandNotReturnData a(QStringLiteral("SELECT 1"));
    DBCustomCommandNotReturnData b(QStringLiteral("SELECT 1"));
    QCOMPARE(a.transactionID(), first);
    QCOMPARE(b.transactionID(), second);
}

void TransactionTest::newTransaction()
{
    DBCustomCommandReturnData normal(QStringLiteral("SELECT 1"));
    QCOMPARE(normal.status(), IDataBaseTransaction::Waiting);
    QCOMPARE(normal.priority(), IDataBaseTransaction::Normal);
    QCOMPARE(normal.sqlQueryList(), QStringList{QStringLiteral("SELECT 1")});
    // The constructor's append is a change of the statement list.
    QVERIFY(normal.lastTimeChangeTransaction().isValid());

    DBCustomCommandReturnData high(QStringLiteral("SELECT 1"), IDataBaseTransaction::High);
    QCOMPARE(high.priority(), IDataBaseTransaction::High);
    QCOMPARE(QByteArray(high.metaObject()->className()),
             QByteArray("Sqlstore::Internal::DBCustomCommandReturnData"));
}

void TransactionTest::statusChangeIsStamped()
{
    DBCustomCommandNotReturnData transaction(QStringLiteral("SELECT 1"));
    const QDateTime before = QDateTime::currentDateTime();
    transaction.setStatus(IDataBaseTransaction::Executing);
    const QDateTime after = QDateTime::currentDateTime();
    const QDateTime stamp = transaction.lastTimeChangeTransaction();
    QCOMPARE(transaction.status(), IDataBaseTransaction::Executing);
    QVERIFY(stamp >= before && stamp <= after);
    QCOMPARE(stamp.timeSpec(), Qt::LocalTime);

    QTest::qWait(5);
    transaction.setPriority(IDataBaseTransaction::High);
    QCOMPARE(transaction.lastTimeChangeTransaction(), stamp);
}

void TransactionTest::statementChangesResetWaiting()
{
    DBCustomCommandNotReturnData transaction(QStringLiteral("SELECT 1"));
    transaction.setStatus(IDataBaseTransaction::Completed);
    transaction.setSqlQueryList({QStringLiteral("SELECT 2"), QStringLiteral("SELECT 3")});
    QCOMPARE(transaction.status(), IDataBaseTransaction::Waiting);
    transaction.setStatus(IDataBaseTransaction::Executing);
    transaction.appendSqlQuery(QStringLiteral("SELECT 4"));
    QCOMPARE(transaction.status(), IDataBaseTransaction::Waiting);
    QCOMPARE(transaction.sqlQueryList(),
             QStringList({QStringLiteral("SELECT 2"), QStringLiteral("SELECT 3"), QStringLiteral("SELECT 4")}));
}

void TransactionTest::stopEmitsOnlyTheShortSignal()
{
    DBCustomCommandReturnData transaction(QStringLiteral("SELECT 1"));
    QSignalSpy one(&transaction, ended);
    QSignalSpy two(&transaction, endedWithRows);
    transaction.stop();
    QCOMPARE(one.count(), 1);
    QCOMPARE(one.at(0).at(0).toBool(), false);
    QCOMPARE(two.count(), 0);
    QCOMPARE(transaction.status(), IDataBaseTransaction::Stopped);
}

void TransactionTest::endWithoutExecution_data()
{
    QTest::addColumn<bool>("withRows");
    QTest::newRow("kind without rows") << false;
    QTest::newRow("kind with rows") << true;
}

// A user waiting for rows must hear of a transaction that never ran, too.
void TransactionTest::endWithoutExecution()
{
    QFETCH(bool, withRows);
    std::unique_ptr<IDataBaseTransaction> transaction;
    if (withRows)
        transaction.reset(new DBCustomCommandReturnData(QStringLiteral("SELECT 1")));
    else
        transaction.reset(new DBCustomCommandNotReturnData(QStringLiteral("SELECT 1")));
    QSignalSpy one(transaction.get(), ended);
    QSignalSpy two(transaction.get(), endedWithRows);
    transaction->endWithoutExecution();
    QCOMPARE(one.count(), 1);
    QCOMPARE(one.at(0).at(0).toBool(), false);
    QCOMPARE(two.count(), withRows ? 1 : 0);
    if (withRows) {
        QCOMPARE(two.at(0).at(0).toBool(), false);
        QVERIFY(two.at(0).at(1).value<Rows>().isEmpty());
    }
    QCOMPARE(transaction->status(), IDataBaseTransaction::Stopped);
}

void TransactionTest::protectText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("literal");

    QTest::newRow("empty") << QString() << QStringLiteral("''");
    QTest::newRow("plain") << QStringLiteral("abc") << QStringLiteral("'abc'");
    QTest::newRow("apostrophe") << QStringLiteral("it's") << QStringLiteral("'it''s'");
    QTest::newRow("two apostrophes") << QStringLiteral("''") << QStringLiteral("''''''");
    QTest::newRow("double quotes stay") << QStringLiteral("say \"hi\"") << QStringLiteral("'say \"hi\"'");
    QTest::newRow("column name") << QStringLiteral("name") << QStringLiteral("'name'");
}

void TransactionTest::protectText()
{
    QFETCH(QString, text);
    QFETCH(QString, literal);
    QCOMPARE(IDataBaseTransaction::protect(text), literal);
}

void TransactionTest::protectTimes_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("literal");

    QTest::newRow("date") << QVariant(QDate(2024, 3, 5)) << QStringLiteral("'2024-03-05'");
    QTest::newRow("time") << QVariant(QTime(7, 8, 9, 10)) << QStringLiteral("'07:08:09.010'");
    QTest::newRow("date and time") << QVariant(QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9)))
                                   << QStringLiteral("'2024-03-05 07:08:09'");
    QTest::newRow("milliseconds dropped") << QVariant(QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59, 999)))
                                          << QStringLiteral("'1999-12-31 23:59:59'");
    QTest::newRow("null date") << QVariant(QDate()) << QStringLiteral("''");
    QTest::newRow("invalid time") << QVariant(QTime(25, 0)) << QStringLiteral("''");
    QTest::newRow("null date and time") << QVariant(QDateTime()) << QStringLiteral("''");
}

void TransactionTest::protectTimes()
{
    QFETCH(QVariant, value);
    QFETCH(QString, literal);
    QString result;
    switch (value.userType()) {
    case QMetaType::QDate:
        result = IDataBaseTransaction::protect(value.toDate());
        break;
    case QMetaType::QTime:
        result = IDataBaseTransaction::protect(value.toTime());
        break;
    default:
        result = IDataBaseTransaction::protect(value.toDateTime());
        break;
    }
    QCOMPARE(result, literal);
}

void TransactionTest::stringPreparation_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("prepared");

    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("enclosed") << QStringLiteral("\"abc\"") << QStringLiteral("abc");
    QTest::newRow("only at start") << QStringLiteral("\"abc") << QStringLiteral("abc");
    QTest::newRow("only at end") << QStringLiteral("abc\"") << QStringLiteral("abc");
    QTest::newRow("single quote character") << QStringLiteral("\"") << QString();
    QTest::newRow("one removed per end") << QStringLiteral("\"\"a\"\"") << QStringLiteral("\"a\"");
    QTest::newRow("inner quotes kept") << QStringLiteral("a\"b") << QStringLiteral("a\"b");
    QTest::newRow("unchanged") << QStringLiteral("abc") << QStringLiteral("abc");
}

void TransactionTest::stringPreparation()
{
    QFETCH(QString, text);
    QFETCH(QString, prepared);
    QCOMPARE(IDataBaseTransaction::stringPreparation(text), prepared);
}

void TransactionTest::execution_data()
{
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<bool>("withRows");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("tableAfter");
    QTest::addColumn<Rows>("rows");
    QTest::addColumn<bool>("leftOpenForWorker");

    const QString one = QStringLiteral("INSERT INTO t VALUES (1)");
    const QString three = QStringLiteral("INSERT INTO t VALUES (3)");
    const QString bad = QStringLiteral("INSERT INTO missing VALUES (2)");

    QTest::newRow("second of three fails")
        << QStringList{one, bad, three} << false << false << QStringList{"1"} << Rows() << false;
    QTest::newRow("first of three fails")
        << QStringList{bad, one, three} << false << false << QStringList() << Rows() << false;
    QTest::newRow("only statement fails")
        << QStringList{bad} << false << false << QStringList() << Rows() << true;
    QTest::newRow("last of two fails")
        << QStringList{one, bad} << false << false << QStringList{"1"} << Rows() << false;
    QTest::newRow("all succeed")
        << QStringList{one, three} << false << true << QStringList{"1", "3"} << Rows() << false;
    QTest::newRow("empty list")
        << QStringList() << false << true << QStringList() << Rows() << false;
    QTest::newRow("empty list with rows")
        << QStringList() << true << true << QStringList() << Rows() << false;
    QTest::newRow("two selections in order")
        << QStringList{QStringLiteral("SELECT 'a', 1 UNION ALL SELECT 'b', 2"), QStringLiteral("SELECT 'c'")}
        << true << true << QStringList()
        << Rows{{QStringLiteral("a"), 1}, {QStringLiteral("b"), 2}, {QStringLiteral("c")}} << false;
    QTest::newRow("rows before a failure delivered")
        << QStringList{QStringLiteral("SELECT 'a'"), QStringLiteral("SELECT * FROM missing"), QStringLiteral("SELECT 'c'")}
        << true << false << QStringList() << Rows{{QStringLiteral("a")}} << false;
    QTest::newRow("write then read")
        << QStringList{one, QStringLiteral("SELECT v FROM t")}
        << true << true << QStringList{"1"} << Rows{{1}} << false;
    QTest::newRow("statement without rows in row kind")
        << QStringList{one} << true << true << QStringList{"1"} << Rows() << false;
}

void TransactionTest::execution()
{
    QFETCH(QStringList, statements);
    QFETCH(bool, withRows);
    QFETCH(bool, ok);
    QFETCH(QStringList, tableAfter);
    QFETCH(Rows, rows);
    QFETCH(bool, leftOpenForWorker);

    std::unique_ptr<IDataBaseTransaction> transaction;
    if (withRows)
        transaction.reset(new DBCustomCommandReturnData(QString()));
    else
        transaction.reset(new DBCustomCommandNotReturnData(QString()));
    transaction->setSqlQueryList(statements);

    const Run run = runAsWorker(transaction.get());
    QCOMPARE(run.error.type() == QSqlError::NoError, ok);
    if (!ok)
        QVERIFY(run.error.text().contains(QLatin1String("missing")));
    QCOMPARE(run.flags, QList<bool>{ok});
    QCOMPARE(run.rowFlags, withRows ? QList<bool>{ok} : QList<bool>());
    QCOMPARE(run.rows, rows);
    QCOMPARE(run.leftOpenForWorker, leftOpenForWorker);
    QCOMPARE(tableValues(), tableAfter);
}

void TransactionTest::protectRoundTrip_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("apostrophe") << QStringLiteral("it's");
    QTest::newRow("apostrophes only") << QStringLiteral("''");
    QTest::newRow("double quotes") << QStringLiteral("say \"hi\" and \"");
    QTest::newRow("statement end") << QStringLiteral("x'); DROP TABLE words; --");
    QTest::newRow("statement end in quotes") << QStringLiteral("x\"); DROP TABLE words; --");
    QTest::newRow("column name") << QStringLiteral("name");
    QTest::newRow("other column name") << QStringLiteral("id");
    QTest::newRow("non-ASCII") << QStringLiteral("Давление, \u00b0C \u2713 \U0001F600");
    QTest::newRow("empty") << QString();
    QTest::newRow("backslashes and percents") << QStringLiteral("a\\b %1 %% _");
    QTest::newRow("line breaks") << QStringLiteral("one\ntwo\r\nthree\t");
}

void TransactionTest::protectRoundTrip()
{
    QFETCH(QString, text);
    const QString table = QStringLiteral("words");
    const QStringList columns{QStringLiteral("name")};

    DBInsertDataTable decoy(table, columns, {IDataBaseTransaction::protect(QStringLiteral("decoy"))});
    QCOMPARE(runAsWorker(&decoy).flags, QList<bool>{true});
    DBInsertDataTable insert(table, columns, {IDataBaseTransaction::protect(text)});
    QCOMPARE(runAsWorker(&insert).flags, QList<bool>{true});

    DBSelectionDataTable select(table, columns, {}, QStringLiteral("WHERE name = ") + IDataBaseTransaction::protect(text));
    const Run run = runAsWorker(&select);
    QCOMPARE(run.rowFlags, QList<bool>{true});
    QCOMPARE(run.rows.size(), 1);
    QCOMPARE(run.rows.at(0).at(0).toString(), text);

    const Rows all = SqlstoreTest::readRows(m_file, QStringLiteral("SELECT name FROM words ORDER BY id"));
    QCOMPARE(SqlstoreTest::column(all), QStringList({QStringLiteral("decoy"), text}));
}

SQLSTORE_TEST_MAIN(TransactionTest, QCoreApplication)

#include "tst_transaction.moc"
