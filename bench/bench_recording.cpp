// Recording 10,000 tags a pass through the recorder and the database driver
// (gathering on the calling thread, one bound batch per pass on the worker,
// waited for until committed) against the sqlite3 C API inserting the same
// rows with one prepared statement in one transaction per pass, with the
// driver's journal settings, alternating in the same run.

#include "benchreport.h"

#include <pointbook/tag.h>
#include <sqlstore/databaseconnection.h>
#include <sqlstore/databasesettings.h>
#include <sqlstore/idatabasetransaction.h>
#include <trend/recorder.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <sqlite3.h>

#include <cstdio>
#include <memory>
#include <vector>

using Pointbook::Tag;
using Sqlstore::Internal::DataBaseConnection;
using Sqlstore::Internal::DataBaseSettings;
using Sqlstore::Internal::IDataBaseTransaction;
using Trend::Recorder;

namespace {

constexpr int Tags = 10000;

bool exec(sqlite3 *db, const char *sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

QString pragma(DataBaseConnection &c, const QString &statement)
{
    QString value;
    QEventLoop loop;
    IDataBaseTransaction *t = c.customCommandReturnData(statement);
    QObject::connect(t, qOverload<bool, QVector<QVector<QVariant>>>(&IDataBaseTransaction::transactionExecutionEnded),
                     &loop, [&, t](bool, const QVector<QVector<QVariant>> &rows) {
                         value = rows.value(0).value(0).toString();
                         t->setStatus(IDataBaseTransaction::Completed);
                         loop.quit();
                     });
    c.addTransactionExec(t);
    loop.exec();
    return value;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const Bench::Options options = Bench::parseOptions(app.arguments());
    Bench::Report report(QStringLiteral("recording"), options);
    const int rounds = options.quick ? 5 : 15;

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;

    DataBaseSettings settings;
    settings.setDriver(QStringLiteral("QSQLITE"));
    settings.setDatabaseName(dir.filePath(QStringLiteral("driver.db")));
    DataBaseConnection connection;
    connection.initDataBaseConnection();
    connection.setSettings(&settings);
    if (!connection.start())
        return 1;
    const QString journal = pragma(connection, QStringLiteral("PRAGMA journal_mode"));
    const QString synchronous = pragma(connection, QStringLiteral("PRAGMA synchronous"));
    std::printf("driver settings: journal_mode=%s, synchronous=%s\n", qPrintable(journal), qPrintable(synchronous));

    std::vector<std::unique_ptr<Tag>> tags;
    QList<Tag *> list;
    for (int i = 0; i < Tags; ++i) {
        auto tag = std::make_unique<Tag>(Tag::IR);
        tag->setId(QStringLiteral("T%1").arg(i));
        tag->setName(QStringLiteral("Tag %1").arg(i));
        tag->setDataType(Tag::UInt16);
        tag->setByteOrderInput(Tag::Order10);
        tag->setByteOrderOutput(Tag::Order01);
        tag->setCount(1);
        list.append(tag.get());
        tags.push_back(std::move(tag));
    }
    Recorder recorder;
    recorder.setConnection(&connection);
    recorder.setTags(QStringLiteral("1.00"), list);
    recorder.start();
    {
        QEventLoop loop;
        QObject::connect(&recorder, &Recorder::stateChanged, &loop, [&](Recorder::State s) {
            if (s != Recorder::Preparing)
                loop.quit();
        });
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        if (recorder.state() == Recorder::Preparing)
            loop.exec();
    }
    if (recorder.state() != Recorder::Recording) {
        std::fprintf(stderr, "recording did not start: %s\n", qPrintable(recorder.lastError()));
        return 1;
    }

    sqlite3 *db = nullptr;
    if (sqlite3_open(dir.filePath(QStringLiteral("capi.db")).toUtf8().constData(), &db) != SQLITE_OK)
        return 1;
    exec(db, QStringLiteral("PRAGMA journal_mode=%1").arg(journal).toUtf8().constData());
    exec(db, QStringLiteral("PRAGMA synchronous=%1").arg(synchronous).toUtf8().constData());
    exec(db, "CREATE TABLE history (time_ms INTEGER NOT NULL, tag INTEGER NOT NULL, value REAL)");
    // The recorder's schema and statement: one value per tag and time stamp.
    exec(db, "CREATE UNIQUE INDEX history_tag_time_unique ON history (tag, time_ms)");
    sqlite3_stmt *insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT OR IGNORE INTO history (time_ms, tag, value) VALUES (?, ?, ?)", -1, &insert, nullptr);

    int pass = 0;
    QVector<double> gatherCpu;
    bool failed = false;
    const Bench::Pair p = Bench::alternate(
        rounds,
        [&] {
            ++pass;
            for (int i = 0; i < Tags; ++i)
                tags[size_t(i)]->setRawData({quint16(pass + i)});
            QEventLoop loop;
            auto c = QObject::connect(&recorder, &Recorder::rowsCommitted, &loop, &QEventLoop::quit);
            auto f = QObject::connect(&recorder, &Recorder::failed, &loop, [&] { failed = true; loop.quit(); });
            const qint64 t0 = Bench::nowNs();
            const qint64 cpu0 = Bench::threadCpuNs();
            recorder.passEnded();
            gatherCpu.append(double(Bench::threadCpuNs() - cpu0) / 1e6);
            loop.exec();
            const qint64 t1 = Bench::nowNs();
            QObject::disconnect(c);
            QObject::disconnect(f);
            return Tags / (double(t1 - t0) / 1e9);
        },
        [&] {
            ++pass;
            const qint64 t0 = Bench::nowNs();
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            bool ok = exec(db, "BEGIN");
            for (int i = 0; i < Tags && ok; ++i) {
                sqlite3_bind_int64(insert, 1, now);
                sqlite3_bind_int64(insert, 2, i + 1);
                sqlite3_bind_double(insert, 3, double(pass + i));
                ok = sqlite3_step(insert) == SQLITE_DONE;
                sqlite3_reset(insert);
            }
            ok = ok && exec(db, "COMMIT");
            const qint64 t1 = Bench::nowNs();
            failed = failed || !ok;
            return Tags / (double(t1 - t0) / 1e9);
        });
    sqlite3_finalize(insert);
    sqlite3_close(db);
    recorder.stop();

    Bench::Figure f;
    f.name = QStringLiteral("recording, %1 tags a pass (journal_mode=%2, synchronous=%3)").arg(Tags).arg(journal, synchronous);
    f.value = p.value;
    f.unit = QStringLiteral("rows/s");
    f.baseline = p.baseline;
    f.baselineName = QStringLiteral("sqlite3 C API, prepared insert, one transaction a pass");
    f.targetKind = Bench::Figure::RatioAtLeast;
    f.target = 0.8;
    f.note = QStringLiteral("median of %1 alternating passes, until committed%2")
                 .arg(rounds).arg(failed ? QStringLiteral("; a pass failed") : QString());
    report.add(f);

    Bench::Figure pass1;
    pass1.name = QStringLiteral("one pass of %1 tags, until committed").arg(Tags);
    pass1.value = 1000.0 * Tags / p.value;
    pass1.unit = QStringLiteral("ms");
    pass1.baseline = 1000.0 * Tags / p.baseline;
    pass1.baselineName = QStringLiteral("sqlite3 C API");
    report.add(pass1);

    Bench::Figure gather;
    gather.name = QStringLiteral("one pass of %1 tags, gathering on the window's thread").arg(Tags);
    gather.value = Bench::median(gatherCpu);
    gather.unit = QStringLiteral("ms CPU");
    gather.note = QStringLiteral("thread CPU time of passEnded()");
    report.add(gather);
    return report.write() && !failed ? 0 : 1;
}
