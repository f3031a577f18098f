// Single-row INSERT transactions per second through DataBaseConnection
// (queue them all, wait for the last end signal) and a SELECT of 10,000
// rows, against the sqlite3 C API running the same statements with the
// same journal settings and one commit per statement.

#include "benchreport.h"

#include <sqlstore/databaseconnection.h>
#include <sqlstore/databasesettings.h>
#include <sqlstore/idatabasetransaction.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <sqlite3.h>

#include <cstdio>
#include <ctime>
#include <malloc.h>

using Sqlstore::Internal::DataBaseConnection;
using Sqlstore::Internal::DataBaseSettings;
using Sqlstore::Internal::IDataBaseTransaction;

namespace {

using Rows = QVector<QVector<QVariant>>;

const char table[] = "samples";
const QStringList columnDefinitions = {QStringLiteral("id INTEGER PRIMARY KEY"), QStringLiteral("tag TEXT"),
                                       QStringLiteral("value REAL"), QStringLiteral("stamp TEXT")};
const QStringList columns = {QStringLiteral("tag"), QStringLiteral("value"), QStringLiteral("stamp")};

QStringList rowValues(int i)
{
    static const QString stamp = QStringLiteral("'2026-01-01 12:00:00'");
    return {QStringLiteral("'tag_%1'").arg(i), QString::number(i * 0.5), stamp};
}

// The statement text DBInsertDataTable builds, for the C API.
QString insertText(int i)
{
    return QStringLiteral("INSERT INTO %1 (%2)  VALUES (%3)")
        .arg(QLatin1String(table), columns.join(QLatin1String(", ")), rowValues(i).join(QLatin1String(", ")));
}

struct Journal
{
    QString mode = QStringLiteral("delete");
    int synchronous = 2;
    QString text() const
    {
        static const char *names[] = {"OFF", "NORMAL", "FULL", "EXTRA"};
        return QStringLiteral("journal_mode=%1, synchronous=%2")
            .arg(mode, QLatin1String(synchronous >= 0 && synchronous <= 3 ? names[synchronous] : "?"));
    }
};

// One driver front on one database file.
class DriverSession
{
public:
    bool open(const QString &path)
    {
        m_settings.setDriver(QStringLiteral("QSQLITE"));
        m_settings.setDatabaseName(path);
        m_connection.initDataBaseConnection();
        m_connection.setSettings(&m_settings);
        return m_connection.start();
    }

    DataBaseConnection &connection() { return m_connection; }

    // Queues one transaction and waits for its end; false on error or time-out.
    bool run(IDataBaseTransaction *t, Rows *rows = nullptr, int timeoutMs = 60000)
    {
        if (!t)
            return false;
        QEventLoop loop;
        bool ok = false;
        bool ended = false;
        if (rows) {
            QObject::connect(t, qOverload<bool, Rows>(&IDataBaseTransaction::transactionExecutionEnded), &loop,
                             [&, t](bool status, const Rows &r) {
                                 ok = status;
                                 ended = true;
                                 *rows = r;
                                 t->setStatus(IDataBaseTransaction::Completed);
                                 loop.quit();
                             });
        } else {
            QObject::connect(t, qOverload<bool>(&IDataBaseTransaction::transactionExecutionEnded), &loop,
                             [&, t](bool status) {
                                 ok = status;
                                 ended = true;
                                 t->setStatus(IDataBaseTransaction::Completed);
                                 loop.quit();
                             });
        }
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        m_connection.addTransactionExec(t);
        if (!ended)
            loop.exec();
        return ended && ok;
    }

    Journal journal()
    {
        Journal j;
        Rows rows;
        if (run(m_connection.customCommandReturnData(QStringLiteral("PRAGMA journal_mode")), &rows) && !rows.isEmpty())
            j.mode = rows.first().value(0).toString().toLower();
        if (run(m_connection.customCommandReturnData(QStringLiteral("PRAGMA synchronous")), &rows) && !rows.isEmpty())
            j.synchronous = rows.first().value(0).toInt();
        return j;
    }

private:
    DataBaseSettings m_settings;
    DataBaseConnection m_connection;
};

// Inserts rows first .. first+count-1, one transaction each, all queued at
// once, and waits for the last end signal; returns transactions per second,
// or -1.
double driverInserts(DriverSession &session, int first, int count)
{
    DataBaseConnection &c = session.connection();
    QEventLoop loop;
    int done = 0;
    bool allOk = true;
    const qint64 t0 = Bench::nowNs();
    for (int i = first; i < first + count; ++i) {
        IDataBaseTransaction *t = c.insertDataTable(QLatin1String(table), columns, rowValues(i));
        if (!t)
            return -1;
        QObject::connect(t, qOverload<bool>(&IDataBaseTransaction::transactionExecutionEnded), &loop,
                         [&, t](bool ok) {
                             allOk = allOk && ok;
                             t->setStatus(IDataBaseTransaction::Completed);
                             if (++done == count)
                                 loop.quit();
                         });
        c.addTransactionExec(t);
    }
    QTimer::singleShot(300000, &loop, &QEventLoop::quit);
    loop.exec();
    const qint64 t1 = Bench::nowNs();
    if (done != count || !allOk)
        return -1;
    return count / (double(t1 - t0) / 1e9);
}

bool exec(sqlite3 *db, const QByteArray &sql)
{
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), sql.size(), &stmt, nullptr) != SQLITE_OK)
        return false;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    sqlite3_finalize(stmt);
    return rc == SQLITE_DONE;
}

sqlite3 *openCApi(const QString &path, const Journal &journal)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    exec(db, QStringLiteral("PRAGMA journal_mode=%1").arg(journal.mode).toUtf8());
    exec(db, QStringLiteral("PRAGMA synchronous=%1").arg(journal.synchronous).toUtf8());
    return db;
}

bool createTable(sqlite3 *db)
{
    return exec(db, QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)")
                        .arg(QLatin1String(table), columnDefinitions.join(QLatin1String(", "))).toUtf8());
}

double capiInserts(sqlite3 *db, int first, int count)
{
    // Texts are built inside the timed loop, as the driver's callers do.
    bool ok = true;
    const qint64 t0 = Bench::nowNs();
    for (int i = first; i < first + count && ok; ++i)
        ok = exec(db, "BEGIN") && exec(db, insertText(i).toUtf8()) && exec(db, "COMMIT");
    const qint64 t1 = Bench::nowNs();
    return ok ? count / (double(t1 - t0) / 1e9) : -1;
}

// The figure of one journal setting: a driver session and a C API handle,
// each on its own file, insert alternating batches; the disk is shared, so
// short alternating batches keep both under the same conditions.
struct InsertResult
{
    double driver = -1;
    double capi = -1;
    bool failed = false;
};

InsertResult compareInserts(const QString &driverFile, const QString &capiFile, const Journal &journal,
                            const QString &presetMode, int batch, int rounds)
{
    InsertResult result;
    if (!presetMode.isEmpty()) {
        sqlite3 *db = nullptr;
        sqlite3_open(driverFile.toUtf8().constData(), &db);
        exec(db, QStringLiteral("PRAGMA journal_mode=%1").arg(presetMode).toUtf8());
        sqlite3_close(db);
    }
    DriverSession session;
    sqlite3 *db = openCApi(capiFile, journal);
    if (!db || !session.open(driverFile)
        || !session.run(session.connection().createTable(QLatin1String(table), columnDefinitions))
        || !createTable(db)) {
        result.failed = true;
        sqlite3_close(db);
        return result;
    }
    int next = 0;
    const Bench::Pair p = Bench::alternate(
        rounds,
        [&] {
            const double v = driverInserts(session, next, batch);
            next += batch;
            result.failed = result.failed || v < 0;
            return v;
        },
        [&] {
            const double v = capiInserts(db, next, batch);
            next += batch;
            result.failed = result.failed || v < 0;
            return v;
        });
    sqlite3_close(db);
    result.driver = p.value;
    result.capi = p.baseline;
    return result;
}

// The rows as the driver delivers them: one vector of variants per row.
qint64 processCpuNs()
{
    timespec t{};
    if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t) != 0)
        return 0;
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

bool capiSelect(sqlite3 *db, const QString &sql, Rows *rows)
{
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, text.constData(), text.size(), &stmt, nullptr) != SQLITE_OK)
        return false;
    rows->clear();
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        const int n = sqlite3_column_count(stmt);
        QVector<QVariant> row;
        row.reserve(n);
        for (int c = 0; c < n; ++c) {
            switch (sqlite3_column_type(stmt, c)) {
            case SQLITE_INTEGER: row.append(qint64(sqlite3_column_int64(stmt, c))); break;
            case SQLITE_FLOAT: row.append(sqlite3_column_double(stmt, c)); break;
            case SQLITE_NULL: row.append(QVariant()); break;
            default:
                row.append(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, c)),
                                             sqlite3_column_bytes(stmt, c)));
            }
        }
        rows->append(row);
    }
    sqlite3_finalize(stmt);
    return rc == SQLITE_DONE;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const Bench::Options options = Bench::parseOptions(app.arguments());
    Bench::Report report(QStringLiteral("database"), options);

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    int fileNo = 0;
    const auto freshFile = [&] { return dir.filePath(QStringLiteral("db_%1.db").arg(++fileNo)); };

    // --select-only: the SELECT figure alone, for profiling.
    const bool selectOnly = options.rest.contains(QStringLiteral("--select-only"));

    // The journal settings the driver gives its connection.
    Journal journal;
    {
        DriverSession probe;
        if (!probe.open(freshFile())) {
            std::fprintf(stderr, "the driver cannot open a database\n");
            return 1;
        }
        journal = probe.journal();
    }
    std::printf("driver settings: %s\n", qPrintable(journal.text()));

    // Batches of about a second each: a rollback journal with full sync
    // costs several fsyncs per commit, so its batches are short.
    const auto batchFor = [&](const Journal &j) {
        sqlite3 *db = openCApi(freshFile(), j);
        createTable(db);
        const double rate = capiInserts(db, 0, 50);
        sqlite3_close(db);
        int batch = rate > 0 ? int(rate) / 50 * 50 : 100;
        batch = qBound(50, batch, options.quick ? 1000 : 10000);
        return batch;
    };
    const int insertRounds = options.quick ? 3 : 9;
    const auto insertFigure = [&](const QString &name, const Journal &j, const QString &preset) {
        const int batch = batchFor(j);
        const InsertResult r = compareInserts(freshFile(), freshFile(), j, preset, batch, insertRounds);
        Bench::Figure f;
        f.name = name;
        f.value = r.driver;
        f.unit = QStringLiteral("tx/s");
        f.baseline = r.capi;
        f.baselineName = QStringLiteral("sqlite3 C API");
        f.targetKind = Bench::Figure::RatioAtLeast;
        f.target = 0.8;
        f.note = QStringLiteral("median of %1 alternating batches of %2 queued rows%3")
                     .arg(insertRounds).arg(batch).arg(r.failed ? QStringLiteral("; a batch failed") : QString());
        report.add(f);
    };
    if (!selectOnly)
        insertFigure(QStringLiteral("insert transactions (%1)").arg(journal.text()), journal, QString());

    // What a WAL file gives when the driver's connection is otherwise left
    // as it is (the journal mode is kept in the file, synchronous is not).
    if (journal.mode != QLatin1String("wal") && !selectOnly) {
        Journal wal = journal;
        wal.mode = QStringLiteral("wal");
        insertFigure(QStringLiteral("insert transactions, file preset to WAL (%1)").arg(wal.text()), wal,
                     QStringLiteral("wal"));

        Journal walNormal = wal;
        walNormal.synchronous = 1;
        sqlite3 *db = openCApi(freshFile(), walNormal);
        createTable(db);
        QVector<double> rates;
        for (int r = 0; r < 3; ++r)
            rates.append(capiInserts(db, r * 10000, options.quick ? 2000 : 10000));
        sqlite3_close(db);
        Bench::Figure g;
        g.name = QStringLiteral("insert transactions, C API only (%1)").arg(walNormal.text());
        g.value = Bench::median(rates);
        g.unit = QStringLiteral("tx/s");
        g.note = QStringLiteral("context: what WAL with synchronous=NORMAL would give");
        report.add(g);
    }

    // SELECT of 10,000 rows from one file filled in one transaction.
    {
        // Each run builds and frees its rows. Left to itself, glibc hands
        // the freed pages of the main thread's heap back to the kernel and
        // faults them in again in the next run, which on a loaded machine
        // tripled the C API's time in some runs and not in others; the rows
        // built on the worker's heap were spared. Both keep their pages.
        mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
        mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
        const int selectRows = 10000;
        const QString path = freshFile();
        sqlite3 *db = openCApi(path, journal);
        exec(db, QStringLiteral("CREATE TABLE %1 (%2)").arg(QLatin1String(table), columnDefinitions.join(QLatin1String(", "))).toUtf8());
        exec(db, "BEGIN");
        for (int i = 0; i < selectRows; ++i)
            exec(db, insertText(i).toUtf8());
        exec(db, "COMMIT");

        DriverSession session;
        session.open(path);
        IDataBaseTransaction *sample = session.connection().selectionDataTable(QLatin1String(table));
        const QString selectText = sample ? sample->sqlQueryList().value(0) : QString();
        if (sample)
            sample->deleteLater();

        int driverRows = -1;
        int capiRows = -1;
        // A run takes milliseconds and the worker thread's hand-off is at
        // the mercy of the scheduler: many alternating runs for a stable median.
        const int selectRounds = options.quick ? 5 : 21;
        // The CPU time of the whole process (the worker's thread included)
        // along with the wall time: on a loaded machine the hand-off to the
        // worker waits for the scheduler, which the wall time counts and
        // the CPU time does not.
        QVector<double> driverCpu, capiCpu;
        const Bench::Pair p = Bench::alternate(
            selectRounds,
            [&] {
                qint64 t0 = 0;
                qint64 t1 = 0;
                {
                    Rows rows;
                    const qint64 c0 = processCpuNs();
                    t0 = Bench::nowNs();
                    const bool ok = session.run(session.connection().selectionDataTable(QLatin1String(table)), &rows);
                    t1 = Bench::nowNs();
                    driverCpu.append(double(processCpuNs() - c0) / 1e6);
                    driverRows = ok ? rows.size() : -1;
                }
                // The worker frees the rows on its own thread a few
                // milliseconds after they are let go; waited for, so that
                // it does not count in the C API's CPU time (each side's
                // freeing stays outside its own figure). Busy, as a sleep
                // lets the cores idle and slows the next run of either side.
                const qint64 until = Bench::nowNs() + 6000000;
                while (Bench::nowNs() < until) {
                }
                return double(t1 - t0) / 1e6;
            },
            [&] {
                Rows rows;
                const qint64 c0 = processCpuNs();
                const qint64 t0 = Bench::nowNs();
                const bool ok = capiSelect(db, selectText, &rows);
                const qint64 t1 = Bench::nowNs();
                capiCpu.append(double(processCpuNs() - c0) / 1e6);
                capiRows = ok ? rows.size() : -1;
                return double(t1 - t0) / 1e6;
            });
        sqlite3_close(db);
        Bench::Figure f;
        f.name = QStringLiteral("select %1 rows").arg(selectRows);
        f.value = p.value;
        f.unit = QStringLiteral("ms");
        f.baseline = p.baseline;
        f.baselineName = QStringLiteral("sqlite3 C API into the same row vectors");
        // The rate target, stated as time: at most 1/0.8 of the C API's time.
        f.targetKind = Bench::Figure::RatioAtMost;
        f.target = 1.25;
        f.note = QStringLiteral("median of %1 alternating runs; %2 rows via the driver, %3 via the C API; statement: %4")
                     .arg(selectRounds).arg(driverRows).arg(capiRows).arg(selectText.trimmed());
        report.add(f);

        Bench::Figure cpu;
        cpu.name = QStringLiteral("select %1 rows: CPU time of the process").arg(selectRows);
        cpu.value = Bench::median(driverCpu);
        cpu.unit = QStringLiteral("ms");
        cpu.baseline = Bench::median(capiCpu);
        cpu.baselineName = QStringLiteral("sqlite3 C API");
        cpu.note = QStringLiteral("every thread, medians of the same runs; steadier than the wall time under load");
        report.add(cpu);
    }

    return report.write() ? 0 : 1;
}
