#include "testsupport.h"

#include <sqlstore/boundstatement.h>
#include <sqlstore/dbaddcolumnstable.h>
#include <sqlstore/dbboundbatchdatatable.h>
#include <sqlstore/dbcreatetable.h>
#include <sqlstore/dbcustomcommandnotreturndata.h>
#include <sqlstore/dbcustomcommandreturndata.h>
#include <sqlstore/dbdeletedatatable.h>
#include <sqlstore/dbdeletetable.h>
#include <sqlstore/dbinsertdatatable.h>
#include <sqlstore/dboutboxsetup.h>
#include <sqlstore/dbpreparedstatement.h>
#include <sqlstore/dblastinsertrowid.h>
#include <sqlstore/dbremovecolumnstable.h>
#include <sqlstore/dbselectiondatatable.h>
#include <sqlstore/dbupdatedatatable.h>
#include <sqlstore/outbox.h>

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace Sqlstore::Internal;
using SqlstoreTest::Rows;
using SqlstoreTest::Run;

using Sort = QMap<QString, DBSelectionDataTable::TypeSort>;
using Transaction = QSharedPointer<IDataBaseTransaction>;
Q_DECLARE_METATYPE(Transaction)

class KindsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void statements_data();
    void statements();

    void execution_data();
    void execution();
    void addColumnsStopAtFailure();
    void removeColumns();
    void deletionShrinksFile();
    void lastInsertRowid();
    void boundBatch_data();
    void boundBatch();
    void valuesAsQtsDriverKeepsThem_data();
    void valuesAsQtsDriverKeepsThem();
    void outboxTriggerOnlyWhileCopying_data();
    void outboxTriggerOnlyWhileCopying();

private:
    Run run(IDataBaseTransaction *transaction)
    {
        return SqlstoreTest::runAsWorker(transaction, QSqlDatabase::database(m_connection));
    }
    QStringList columnsOf(const QString &table) const
    {
        return SqlstoreTest::column(SqlstoreTest::readRows(
            m_file, QStringLiteral("PRAGMA table_info(%1)").arg(table)), 1);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_file;
    const QString m_connection = QStringLiteral("worker");
};

void KindsTest::initTestCase()
{
    qRegisterMetaType<Rows>();
}

void KindsTest::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_file = m_dir->filePath(QStringLiteral("kinds.db"));
    QVERIFY(SqlstoreTest::execute(m_file, {
        QStringLiteral("CREATE TABLE t (id INTEGER PRIMARY KEY, a INTEGER, b TEXT)"),
        QStringLiteral("INSERT INTO t (a, b) VALUES (1, 'x'), (2, 'y'), (2, 'z')")}));
    QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    database.setDatabaseName(m_file);
    QVERIFY(database.open());
}

void KindsTest::cleanup()
{
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
    m_dir.reset();
}

void KindsTest::statements_data()
{
    QTest::addColumn<Transaction>("transaction");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QByteArray>("className");

    const auto row = [](const char *name, IDataBaseTransaction *t, const QStringList &expected) {
        QTest::newRow(name) << Transaction(t) << expected
                            << QByteArray(t->metaObject()->className()).mid(int(qstrlen("Sqlstore::Internal::")));
    };
    const auto high = IDataBaseTransaction::High;

    row("create table", new DBCreateTable("t", {"id INTEGER PRIMARY KEY", "name TEXT"}),
        {"CREATE TABLE IF NOT EXISTS t (id INTEGER PRIMARY KEY, name TEXT)"});
    row("create table without definitions", new DBCreateTable("t", {}),
        {"CREATE TABLE IF NOT EXISTS t ()"});
    row("delete table", new DBDeleteTable("t"), {"DROP TABLE IF EXISTS t"});
    row("add columns", new DBAddColumnsTable("t", {"c INTEGER", "d TEXT", "e REAL"}),
        {"ALTER TABLE t ADD COLUMN c INTEGER", "ALTER TABLE t ADD COLUMN d TEXT",
         "ALTER TABLE t ADD COLUMN e REAL"});
    row("add no columns", new DBAddColumnsTable("t", {}), {});
    row("remove columns", new DBRemoveColumnsTable("t", {"b", "a"}),
        {"ALTER TABLE t DROP COLUMN b", "ALTER TABLE t DROP COLUMN a"});
    row("remove no columns", new DBRemoveColumnsTable("t", {}), {});
    row("custom command", new DBCustomCommandNotReturnData(" PRAGMA  user_version = 3 "),
        {" PRAGMA  user_version = 3 "});
    row("custom command with rows", new DBCustomCommandReturnData("SELECT 1;"), {"SELECT 1;"});
    row("insert", new DBInsertDataTable("t", {"a", "b"}, {"1", "2"}),
        {"INSERT INTO t (a, b)  VALUES (1, 2)"});
    row("insert one", new DBInsertDataTable("t", {"b"}, {"'x'"}), {"INSERT INTO t (b)  VALUES ('x')"});
    row("insert with lists of different lengths", new DBInsertDataTable("t", {"a", "b"}, {"1"}),
        {"INSERT INTO t ("});
    row("last insert rowid", new DBLastInsertRowid(high), {"SELECT last_insert_rowid()"});
    row("update", new DBUpdateDataTable("t", {"a", "b"}, {"1", "2"}, "WHERE id = 3"),
        {"UPDATE t SET a = 1, b = 2 WHERE id = 3"});
    row("update without criterion", new DBUpdateDataTable("t", {"a"}, {"1"}),
        {"UPDATE t SET a = 1 "});
    row("update with lists of different lengths", new DBUpdateDataTable("t", {"a"}, {}, "WHERE id = 3"),
        {"UPDATE t SET "});
    row("delete rows", new DBDeleteDataTable("t", "WHERE id = 1"),
        {"DELETE FROM t WHERE id = 1", "REINDEX t", "VACUUM"});
    row("delete all rows", new DBDeleteDataTable("t"), {"DELETE FROM t", "REINDEX t", "VACUUM"});
    row("select all", new DBSelectionDataTable("t"), {"SELECT * FROM t "});
    row("select everything given",
        new DBSelectionDataTable("t", {"a", "b"},
                                 Sort{{"b", DBSelectionDataTable::Descending},
                                      {"a", DBSelectionDataTable::Ascending}},
                                 "WHERE x = 1", 10, 20),
        {"SELECT a,b FROM t WHERE x = 1 ORDER BY a ASC, b DESC LIMIT 10 OFFSET 20 "});
    row("select limit zero", new DBSelectionDataTable("t", {}, {}, {}, 0), {"SELECT * FROM t LIMIT 0 "});
    row("select offset without limit", new DBSelectionDataTable("t", {}, {}, {}, -1, 5),
        {"SELECT * FROM t OFFSET 5 "});
    row("select other negative limit", new DBSelectionDataTable("t", {}, {}, {}, -2, 0),
        {"SELECT * FROM t LIMIT -2 OFFSET 0 "});
    row("sort keys case-sensitive order",
        new DBSelectionDataTable("t", {"id"},
                                 Sort{{"b", DBSelectionDataTable::Ascending},
                                      {"B", DBSelectionDataTable::Descending},
                                      {"a", DBSelectionDataTable::Ascending}}),
        {"SELECT id FROM t ORDER BY B DESC, a ASC, b ASC "});
    row("no-sort entry left out",
        new DBSelectionDataTable("t", {}, Sort{{"a", DBSelectionDataTable::NoSort},
                                               {"b", DBSelectionDataTable::Descending}}),
        {"SELECT * FROM t ORDER BY b DESC "});
    row("no-sort entry last left out",
        new DBSelectionDataTable("t", {}, Sort{{"a", DBSelectionDataTable::Ascending},
                                               {"b", DBSelectionDataTable::NoSort}}),
        {"SELECT * FROM t ORDER BY a ASC "});
    row("only no-sort entries",
        new DBSelectionDataTable("t", {}, Sort{{"a", DBSelectionDataTable::NoSort}}, "WHERE a = 1"),
        {"SELECT * FROM t WHERE a = 1 "});
    row("unknown sort value names the column only",
        new DBSelectionDataTable("t", {}, Sort{{"a", DBSelectionDataTable::TypeSort(7)},
                                               {"b", DBSelectionDataTable::Ascending}}),
        {"SELECT * FROM t ORDER BY a , b ASC "});
}

void KindsTest::statements()
{
    QFETCH(Transaction, transaction);
    QFETCH(QStringList, expected);
    QFETCH(QByteArray, className);

    QCOMPARE(transaction->sqlQueryList(), expected);
    QCOMPARE(transaction->status(), IDataBaseTransaction::Waiting);
    const bool high = className == "DBLastInsertRowid";
    QCOMPARE(transaction->priority(), high ? IDataBaseTransaction::High : IDataBaseTransaction::Normal);
    QVERIFY(QByteArray(QTest::currentDataTag()).size() > 0);
    QVERIFY(!className.isEmpty());
    const bool withRows = className == "DBSelectionDataTable" || className == "DBLastInsertRowid"
                          || className == "DBCustomCommandReturnData";
    QCOMPARE(transaction->deliversRows(), withRows);
}

void KindsTest::execution_data()
{
    QTest::addColumn<Transaction>("transaction");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<Rows>("rows");
    QTest::addColumn<QString>("check");     // read afterwards from the file
    QTest::addColumn<QStringList>("checked");

    const QString ids = QStringLiteral("SELECT id FROM t ORDER BY id");
    const QString as = QStringLiteral("SELECT a FROM t ORDER BY id");
    const auto row = [](const char *name, IDataBaseTransaction *t, bool ok, const Rows &rows,
                        const QString &check, const QStringList &checked) {
        QTest::newRow(name) << Transaction(t) << ok << rows << check << checked;
    };

    row("create table", new DBCreateTable("u", {"id INTEGER PRIMARY KEY", "name TEXT"}), true, {},
        "SELECT name FROM sqlite_master WHERE name = 'u'", {"u"});
    row("create existing table", new DBCreateTable("t", {"q TEXT"}), true, {}, ids, {"1", "2", "3"});
    row("create table without definitions", new DBCreateTable("u", {}), false, {},
        "SELECT name FROM sqlite_master WHERE name = 'u'", {});
    row("delete table", new DBDeleteTable("t"), true, {},
        "SELECT name FROM sqlite_master WHERE name = 't'", {});
    row("delete missing table", new DBDeleteTable("missing"), true, {}, ids, {"1", "2", "3"});
    row("add no columns", new DBAddColumnsTable("t", {}), true, {}, ids, {"1", "2", "3"});
    row("remove no columns", new DBRemoveColumnsTable("t", {}), true, {}, ids, {"1", "2", "3"});
    row("insert", new DBInsertDataTable("t", {"a", "b"}, {"7", "'w'"}), true, {}, as,
        {"1", "2", "2", "7"});
    row("insert with lists of different lengths", new DBInsertDataTable("t", {"a", "b"}, {"7"}), false,
        {}, as, {"1", "2", "2"});
    row("update with criterion", new DBUpdateDataTable("t", {"a", "b"}, {"5", "'v'"}, "WHERE id = 2"),
        true, {}, "SELECT a || b FROM t ORDER BY id", {"1x", "5v", "2z"});
    row("update without criterion", new DBUpdateDataTable("t", {"a"}, {"9"}), true, {}, as,
        {"9", "9", "9"});
    row("update with lists of different lengths", new DBUpdateDataTable("t", {"a"}, {}, "WHERE id = 2"),
        false, {}, as, {"1", "2", "2"});
    row("delete rows", new DBDeleteDataTable("t", "WHERE a = 2"), true, {}, ids, {"1"});
    row("delete from missing table", new DBDeleteDataTable("missing"), false, {}, ids, {"1", "2", "3"});
    row("select all", new DBSelectionDataTable("t"), true,
        {{1, 1, "x"}, {2, 2, "y"}, {3, 2, "z"}}, ids, {"1", "2", "3"});
    row("select sorted and cut",
        new DBSelectionDataTable("t", {"b"}, Sort{{"a", DBSelectionDataTable::Descending},
                                                  {"b", DBSelectionDataTable::Ascending}},
                                 "WHERE id > 0", 2, 1),
        true, {{"z"}, {"x"}}, ids, {"1", "2", "3"});
    row("select with no-sort entry", new DBSelectionDataTable("t", {"id"}, Sort{{"a", DBSelectionDataTable::NoSort}},
                                                               "WHERE a = 1"),
        true, {{1}}, ids, {"1", "2", "3"});
    row("select limit zero", new DBSelectionDataTable("t", {}, {}, {}, 0), true, {}, ids, {"1", "2", "3"});
    row("select offset without limit", new DBSelectionDataTable("t", {}, {}, {}, -1, 1), false, {}, ids,
        {"1", "2", "3"});
    row("custom command", new DBCustomCommandNotReturnData("UPDATE t SET b = 'q' WHERE id = 1"), true, {},
        "SELECT b FROM t WHERE id = 1", {"q"});
    row("custom command with rows", new DBCustomCommandReturnData("SELECT count(*) FROM t"), true, {{3}},
        ids, {"1", "2", "3"});
    row("custom command with rows but none", new DBCustomCommandReturnData("DELETE FROM t WHERE id = 3"),
        true, {}, ids, {"1", "2"});
    row("custom command failing", new DBCustomCommandReturnData("SELECT nonsense FROM t"), false, {}, ids,
        {"1", "2", "3"});
}

void KindsTest::execution()
{
    QFETCH(Transaction, transaction);
    QFETCH(bool, ok);
    QFETCH(Rows, rows);
    QFETCH(QString, check);
    QFETCH(QStringList, checked);

    const Run result = run(transaction.data());
    QCOMPARE(result.error.type() == QSqlError::NoError, ok);
    QCOMPARE(result.flags, QList<bool>{ok});
    QCOMPARE(result.rowFlags, transaction->deliversRows() ? QList<bool>{ok} : QList<bool>());
    QCOMPARE(result.rows, rows);
    QCOMPARE(SqlstoreTest::column(SqlstoreTest::readRows(m_file, check)), checked);
}

void KindsTest::addColumnsStopAtFailure()
{
    DBAddColumnsTable add("t", {"c INTEGER", "a TEXT", "d TEXT"});
    QCOMPARE(add.sqlQueryList().size(), 3);
    const Run result = run(&add);
    QCOMPARE(result.flags, QList<bool>{false});
    QVERIFY(result.error.text().contains(QLatin1String("duplicate")));
    // The first stays committed, the third never ran.
    QCOMPARE(columnsOf("t"), QStringList({"id", "a", "b", "c"}));
}

void KindsTest::removeColumns()
{
    DBRemoveColumnsTable remove("t", {"b", "a"});
    QCOMPARE(run(&remove).flags, QList<bool>{true});
    QCOMPARE(columnsOf("t"), QStringList{"id"});

    DBRemoveColumnsTable missing("t", {"nothing"});
    QCOMPARE(run(&missing).flags, QList<bool>{false});
}

void KindsTest::deletionShrinksFile()
{
    QStringList fill{QStringLiteral("BEGIN"),
                     QStringLiteral("CREATE TABLE big (id INTEGER PRIMARY KEY, payload TEXT)"),
                     QStringLiteral("CREATE INDEX big_payload ON big (payload)")};
    for (int i = 0; i < 400; ++i)
        fill << QStringLiteral("INSERT INTO big (payload) VALUES ('%1')").arg(QString(1000, QChar('a' + i % 26)) + QString::number(i));
    fill << QStringLiteral("COMMIT");
    QVERIFY(SqlstoreTest::execute(m_file, fill));
    const qint64 before = QFileInfo(m_file).size();

    DBDeleteDataTable keepTen("big", "WHERE id > 10");
    Run result = run(&keepTen);
    QCOMPARE(result.flags, QList<bool>{true});
    QCOMPARE(SqlstoreTest::readRows(m_file, "SELECT count(*) FROM big").value(0).value(0).toInt(), 10);
    const qint64 afterFirst = QFileInfo(m_file).size();
    QVERIFY2(afterFirst < before / 4, qPrintable(QStringLiteral("%1 -> %2").arg(before).arg(afterFirst)));

    DBDeleteDataTable all("big");
    result = run(&all);
    QCOMPARE(result.flags, QList<bool>{true});
    QVERIFY(SqlstoreTest::readRows(m_file, "SELECT * FROM big").isEmpty());
    QVERIFY(QFileInfo(m_file).size() < afterFirst);
    // The index is still usable after the re-index.
    QVERIFY(SqlstoreTest::execute(m_file, {"INSERT INTO big (payload) VALUES ('again')",
                                           "PRAGMA integrity_check"}));
}

void KindsTest::lastInsertRowid()
{
    DBInsertDataTable insert("t", {"a"}, {"42"});
    QCOMPARE(run(&insert).flags, QList<bool>{true});
    DBLastInsertRowid last;
    const Run result = run(&last);
    QCOMPARE(result.rowFlags, QList<bool>{true});
    QCOMPARE(result.rows, Rows{{4}});
}

// Values travel bound: quotes and SQL in them stay data. One bad row undoes
// the whole batch.
void KindsTest::boundBatch_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<Rows>("rows");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("columns"); // 0: a list per row; else one block

    // Every case in both forms; in one block a short or long row leaves the
    // last row short, which must fail the same way.
    const auto add = [](const char *name, const QString &statement, const Rows &rows, bool ok,
                        const QStringList &texts) {
        QTest::newRow(name) << statement << rows << ok << texts << 0;
        QTest::addRow("%s, one block", name)
            << statement << rows << ok << texts << BoundStatement::placeholderCount(statement);
    };
    const QStringList before{"x", "y", "z"};
    const QString insert = DBBoundBatchDataTable::insertStatement("t", {"a", "b"});
    add("three rows", insert, Rows{{7, "it's"}, {8, "'); DROP TABLE t; --"}, {9, QVariant()}}, true,
        before + QStringList{"it's", "'); DROP TABLE t; --", ""});
    add("no rows", insert, Rows{}, true, before);
    add("short row undoes all", insert, Rows{{7, "kept?"}, {8}}, false, before);
    add("long row undoes all", insert, Rows{{7, "kept?"}, {8, "b", 9}}, false, before);
    add("failing row undoes all", DBBoundBatchDataTable::insertStatement("t", {"id", "b"}),
        Rows{{10, "new"}, {1, "duplicate id"}}, false, before);
    add("bad statement", QStringLiteral("INSERT INTO missing (a) VALUES (?)"), Rows{{1}}, false, before);
    add("bound delete", QStringLiteral("DELETE FROM t WHERE a = ?"), Rows{{2}}, true, QStringList{"x"});
}

void KindsTest::boundBatch()
{
    QFETCH(QString, statement);
    QFETCH(Rows, rows);
    QFETCH(bool, ok);
    QFETCH(QStringList, texts);
    QFETCH(int, columns);

    QVector<QVariant> block;
    for (const QVector<QVariant> &row : qAsConst(rows))
        block += row;
    const auto batch = columns ? std::make_unique<DBBoundBatchDataTable>(statement, columns, block)
                               : std::make_unique<DBBoundBatchDataTable>(statement, rows);
    QCOMPARE(batch->sqlQueryList(), QStringList{statement});
    const Run result = run(batch.get());
    QCOMPARE(result.flags, QList<bool>{ok});
    QVERIFY(result.rowFlags.isEmpty());
    QCOMPARE(SqlstoreTest::column(SqlstoreTest::readRows(m_file, "SELECT b FROM t ORDER BY id")), texts);
    if (ok && statement.startsWith("INSERT"))
        QCOMPARE(batch->rowsAffected(), qint64(rows.size()));
}

// Values bound and read on the connection behind Qt's driver are stored
// and returned exactly as Qt's driver stores and returns them: a file
// written either way reads the same, and callers see the same types.
void KindsTest::valuesAsQtsDriverKeepsThem_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::newRow("int") << QVariant(-7);
    QTest::newRow("bool") << QVariant(true);
    QTest::newRow("uint") << QVariant(4000000000u);
    QTest::newRow("int64") << QVariant(Q_INT64_C(-9007199254740993));
    QTest::newRow("uint64 beyond int64") << QVariant(Q_UINT64_C(18446744073709551615));
    QTest::newRow("double") << QVariant(0.1);
    QTest::newRow("float") << QVariant(12.5f);
    QTest::newRow("text") << QVariant(QStringLiteral("Давление, ä 'q' \"d\""));
    QTest::newRow("empty text") << QVariant(QString(""));
    QTest::newRow("ascii text") << QVariant(QStringLiteral("tag_7 2026-01-01 12:00:00.125"));
    QTest::newRow("text with zero character") << QVariant(QString::fromLatin1("a\0b", 3));
    QTest::newRow("text with a lone surrogate") << QVariant(QString(QChar(0xD800)) + QLatin1Char('x'));
    QTest::newRow("bytes") << QVariant(QByteArray("\0\x01\xff", 3));
    QTest::newRow("null") << QVariant();
    QTest::newRow("date and time") << QVariant(QDateTime(QDate(2026, 12, 9), QTime(1, 2, 3, 45), Qt::UTC));
    QTest::newRow("time") << QVariant(QTime(23, 59, 58, 7));
}

void KindsTest::valuesAsQtsDriverKeepsThem()
{
    QFETCH(QVariant, value);
    QSqlDatabase database = QSqlDatabase::database(m_connection);
    QSqlQuery qt(database);
    QVERIFY(qt.exec("CREATE TABLE v (id INTEGER PRIMARY KEY, x)"));
    QVERIFY(qt.prepare("INSERT INTO v (id, x) VALUES (1, ?)"));
    qt.bindValue(0, value);
    QVERIFY2(qt.exec(), qPrintable(qt.lastError().text()));
    qt.finish();
    DBBoundBatchDataTable batch("INSERT INTO v (id, x) VALUES (2, ?)", Rows{{value}});
    QCOMPARE(run(&batch).flags, QList<bool>{true});

    // Stored alike: same storage class, same content.
    const QString stored = "SELECT typeof(x), quote(x) FROM v ORDER BY id";
    const Rows byQt = SqlstoreTest::readRows(m_file, stored);
    QCOMPARE(byQt.size(), 2);
    QCOMPARE(byQt.at(1), byQt.at(0));

    // Read alike: the same variants, of the same types.
    const Rows expected = SqlstoreTest::readRows(m_file, "SELECT x FROM v ORDER BY id");
    DBPreparedStatement select("SELECT x FROM v WHERE id >= ? ORDER BY id", {{1}}, true);
    const Run read = run(&select);
    QCOMPARE(read.rowFlags, QList<bool>{true});
    QCOMPARE(read.rows, expected);
    for (int r = 0; r < 2; ++r)
        QCOMPARE(read.rows.at(r).at(0).userType(), expected.at(r).at(0).userType());
}


// Each step is the transaction a user of the outbox queues; the worker may
// run them in any order (copying switches go first), and the last one to run
// decides: a row is copied exactly while copying is on.
void KindsTest::outboxTriggerOnlyWhileCopying_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<bool>("copied");
    QTest::newRow("set up, copying off") << "s" << false;
    QTest::newRow("set up, then on") << "s+" << true;
    QTest::newRow("on, then set up") << "+s" << true;
    QTest::newRow("on, set up, off") << "+s-" << false;
    QTest::newRow("off, set up, on") << "-s+" << true;
    QTest::newRow("older trigger replaced") << "os+" << true;
}

void KindsTest::outboxTriggerOnlyWhileCopying()
{
    QFETCH(QString, steps);
    QFETCH(bool, copied);
    QVERIFY(SqlstoreTest::execute(m_file, {QStringLiteral("CREATE TABLE items (v INTEGER)")}));
    const QStringList setup = Outbox::localSetup(QStringLiteral("items"), QStringLiteral("items"),
                                                 QStringLiteral("json_object('v', NEW.v) FROM outbox_control "
                                                                "WHERE outbox_control.id = 1"));
    for (const QChar step : steps) {
        if (step == QLatin1Char('o')) {
            // As a file of an earlier release has it: a trigger that copies
            // nothing useful, whatever the switch says.
            QVERIFY(SqlstoreTest::execute(m_file, Outbox::localSchema() << QStringLiteral(
                "CREATE TRIGGER items_to_outbox AFTER INSERT ON items BEGIN "
                "INSERT INTO outbox (kind, station, payload) VALUES ('old', '', '{}'); END")));
            continue;
        }
        DBOutboxSetup transaction(step == QLatin1Char('s') ? setup
                                                           : Outbox::controlStatements(step == QLatin1Char('+'),
                                                                                       QStringLiteral("station 1")));
        const Run result = run(&transaction);
        QCOMPARE(result.error.text(), QString());
        QCOMPARE(result.flags, QList<bool>{true});
    }
    const int triggers = SqlstoreTest::readRows(
        m_file, QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'trigger'")).value(0).value(0).toInt();
    QCOMPARE(triggers, copied ? 1 : 0);
    QVERIFY(SqlstoreTest::execute(m_file, {QStringLiteral("INSERT INTO items VALUES (7)")}));
    const Rows outbox = SqlstoreTest::readRows(m_file, QStringLiteral("SELECT kind, station, payload FROM outbox"));
    QCOMPARE(outbox.size(), copied ? 1 : 0);
    if (copied)
        QCOMPARE(outbox.first(), (QVector<QVariant>{"items", "station 1", "{\"v\":7}"}));
}

SQLSTORE_TEST_MAIN(KindsTest, QCoreApplication)

#include "tst_kinds.moc"
