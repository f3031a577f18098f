// The team's server on a real PostgreSQL server started by the test: change
// log and recording arrive with their station; a server that goes away
// during recording gets every row exactly once when it is back; rows of a
// program killed while they waited arrive after its next start; two
// stations writing at once; the connection test of the Database dialog and
// its encryption modes; a commit the server refuses keeps the rows waiting.

#include "pgserver.h"

#include <commissioning/changelog.h>
#include <commissioning/changelogdialog.h>
#include <pointbook/tag.h>
#include <pointbook/tagwriter.h>
#include <sqlstore/databaseconnection.h>
#include <sqlstore/databasedialog.h>
#include <sqlstore/databasesettings.h>
#include <sqlstore/dbcustomcommandnotreturndata.h>
#include <sqlstore/outbox.h>
#include <sqlstore/outboxsender.h>
#include <sqlstore/serversettings.h>
#include <sqlstore/sqlstoreplugin.h>
#include <trend/recorder.h>

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QTableWidget>
#include <QUuid>
#include <QtTest>

#include <signal.h>

#include <memory>

using Commissioning::ChangeLog;
using Pointbook::Tag;
using Pointbook::TagWriter;
using namespace Sqlstore::Internal;
using Trend::Recorder;

namespace {

constexpr int Patience = 120000;

// One laptop: its local file, database worker, change log, recorder and
// sender.
struct Station
{
    QString name;
    QString file;
    DataBaseSettings settings;
    std::unique_ptr<DataBaseConnection> db;
    std::unique_ptr<ChangeLog> log;
    std::unique_ptr<Recorder> recorder;
    std::unique_ptr<OutboxSender> sender;
    QList<Tag *> tags;
    ~Station()
    {
        sender.reset();
        OutboxSender::waitForEnding();
        recorder.reset();
        log.reset();
        db.reset();
        qDeleteAll(tags);
    }
};

bool runLocal(DataBaseConnection *db, const QStringList &statements)
{
    auto *t = new DBCustomCommandNotReturnData(QString());
    t->setSqlQueryList(statements);
    // The end is signalled on the worker's thread, possibly before a spy
    // could start waiting; queued to this loop, it cannot be missed.
    QEventLoop loop;
    bool ended = false;
    bool ok = false;
    QObject::connect(
        t, qOverload<bool>(&IDataBaseTransaction::transactionExecutionEnded), &loop,
        [&](bool result) {
            ended = true;
            ok = result;
            loop.quit();
        },
        Qt::QueuedConnection);
    QTimer::singleShot(Patience, &loop, &QEventLoop::quit);
    db->addTransactionExec(t);
    loop.exec();
    t->setStatus(IDataBaseTransaction::Completed);
    return ended && ok;
}

std::unique_ptr<Station> openStation(const QString &file, const QString &name)
{
    std::unique_ptr<Station> s(new Station);
    s->name = name;
    s->file = file;
    s->settings.setDriver(QStringLiteral("QSQLITE"));
    s->settings.setDatabaseName(file);
    QFile create(file);
    create.open(QIODevice::ReadWrite);
    create.close();
    s->db.reset(new DataBaseConnection);
    s->db->initDataBaseConnection();
    s->db->setSettings(&s->settings);
    s->db->start();
    if (!runLocal(s->db.get(), Outbox::controlStatements(true, name)))
        return nullptr;
    s->log.reset(new ChangeLog);
    s->log->setDataBaseConnection(s->db.get());
    return s;
}

TagWriter::Outcome outcome(const QString &id, int n)
{
    TagWriter::Outcome o;
    o.result = TagWriter::Ok;
    o.tagId = id;
    o.tagName = id + " name";
    o.registerType = Tag::HR;
    o.address = n;
    o.oldValue = QString::number(n);
    o.newValue = QString::number(n + 1);
    o.readBack = o.newValue;
    o.words = {quint16(n)};
    return o;
}

bool recordWrites(Station *s, const QString &id, int count)
{
    QSignalSpy recorded(s->log.get(), &ChangeLog::recorded);
    for (int i = 0; i < count; ++i)
        s->log->record(outcome(id, i), "admin", "bench", "1.00");
    for (int i = 0; i < 1000 && recorded.count() < count; ++i)
        recorded.wait(Patience / 100);
    for (const auto &call : recorded) {
        if (!call.at(0).toBool())
            return false;
    }
    return recorded.count() == count;
}

ServerSettings serverSettings(const PgServer &server)
{
    ServerSettings s;
    s.useServer = true;
    s.host = server.host();
    s.port = server.port();
    s.database = QStringLiteral("postgres");
    s.user = QStringLiteral("postgres");
    return s;
}

void startSender(Station *s, const PgServer &server)
{
    DataBaseSettings parameters;
    serverSettings(server).fillIn(&parameters);
    s->sender.reset(new OutboxSender(s->file, parameters));
    s->sender->setRetryRange(100, 1000);
    s->sender->setIdleInterval(100);
    s->sender->start();
}

// Child mode: records rows while the server is down, says so, then waits to
// be killed.
int childMain(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList parts = qEnvironmentVariable("KORVANE_OUTBOX_CHILD").split(QLatin1Char('\n'));
    if (parts.size() != 3)
        return 2;
    std::unique_ptr<Station> s = openStation(parts.at(0), parts.at(1));
    if (!s || !recordWrites(s.get(), "Killed", 25))
        return 3;
    DataBaseSettings parameters;
    ServerSettings server;
    server.host = QStringLiteral("127.0.0.1");
    server.port = parts.at(2).toInt();
    server.database = server.user = QStringLiteral("postgres");
    server.fillIn(&parameters);
    s->sender.reset(new OutboxSender(s->file, parameters));
    s->sender->setRetryRange(100, 500);
    QObject::connect(s->sender.get(), &OutboxSender::statusChanged, [](bool online, qint64 waiting) {
        if (!online && waiting > 0) {
            fprintf(stdout, "waiting %lld\n", static_cast<long long>(waiting));
            fflush(stdout);
        }
    });
    s->sender->start();
    return app.exec();
}

} // namespace

class tst_TeamServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void changeLogAndRecording();
    void serverStoppedWhileRecording();
    void killedWithRowsWaiting();
    void twoStationsAtOnce();
    void connectionTest_data();
    void connectionTest();
    void silentServerDoesNotHoldTheWindow();
    void rowsOfAnUnloadedKindWaitAlone();
    void refusedCommitKeepsTheRows();
    void encryption_data();
    void encryption();

private:
    qint64 serverCount(const QString &statement);
    // Empty when every statement ran, else the server's reason.
    QString serverRun(const QStringList &statements);
    static qint64 localCount(const QString &file, const QString &statement);
    Tag *makeTag(Station *s, const QString &id);
    void passes(Station *s, int count, int base);

    PgServer m_server;
    QTemporaryDir m_dir;
};

void tst_TeamServer::initTestCase()
{
    if (!PgServer::available())
        QSKIP("The PostgreSQL 15 server binaries are not installed (package postgresql): no server to test against.");
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        QSKIP("Qt's PostgreSQL driver is not installed (package libqt5sql5-psql).");
    QString error;
    QVERIFY2(m_server.init(&error), qPrintable(error));
    if (PgServer::opensslAvailable())
        QVERIFY2(m_server.enableTls(&error), qPrintable(error));
    QVERIFY2(m_server.start(&error), qPrintable(error + m_server.log()));
}

void tst_TeamServer::cleanupTestCase()
{
    m_server.stop();
}

qint64 tst_TeamServer::serverCount(const QString &statement)
{
    qint64 count = -1;
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(m_server.host());
        db.setPort(m_server.port());
        db.setDatabaseName(QStringLiteral("postgres"));
        db.setUserName(QStringLiteral("postgres"));
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(statement) && query.next())
                count = query.value(0).toLongLong();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return count;
}

QString tst_TeamServer::serverRun(const QStringList &statements)
{
    QString error;
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(m_server.host());
        db.setPort(m_server.port());
        db.setDatabaseName(QStringLiteral("postgres"));
        db.setUserName(QStringLiteral("postgres"));
        if (!db.open())
            error = db.lastError().text();
        QSqlQuery query(db);
        for (int i = 0; error.isEmpty() && i < statements.size(); ++i) {
            if (!query.exec(statements.at(i)))
                error = query.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return error;
}

qint64 tst_TeamServer::localCount(const QString &file, const QString &statement)
{
    qint64 count = -1;
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=20000"));
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(statement) && query.next())
                count = query.value(0).toLongLong();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return count;
}

Tag *tst_TeamServer::makeTag(Station *s, const QString &id)
{
    auto *tag = new Tag(Tag::HR);
    tag->setId(id);
    tag->setName(id + " name");
    tag->setDataType(Tag::UInt16);
    tag->setByteOrderInput(Tag::Order10);
    tag->setByteOrderOutput(Tag::Order01);
    tag->setCount(1);
    s->tags.append(tag);
    return tag;
}

void tst_TeamServer::passes(Station *s, int count, int base)
{
    for (int i = 0; i < count; ++i) {
        for (Tag *tag : qAsConst(s->tags))
            tag->setRawData({quint16(base + i)});
        s->recorder->passEnded();
    }
}

void tst_TeamServer::changeLogAndRecording()
{
    std::unique_ptr<Station> s = openStation(m_dir.filePath("first.db"), "bench-1");
    QVERIFY(s);
    QVERIFY(recordWrites(s.get(), "x'); DROP TABLE write_log; --", 3));
    s->recorder.reset(new Recorder);
    s->recorder->setConnection(s->db.get());
    s->recorder->setTags("2.0", {makeTag(s.get(), "Flow"), makeTag(s.get(), "Level")});
    QVERIFY(s->recorder->start());
    QTRY_COMPARE_WITH_TIMEOUT(s->recorder->state(), Recorder::Recording, Patience);
    passes(s.get(), 10, 100);
    QTRY_COMPARE_WITH_TIMEOUT(s->recorder->rowsStored(), quint64(20), Patience);

    startSender(s.get(), m_server);
    QTRY_COMPARE_WITH_TIMEOUT(serverCount("SELECT count(*) FROM history WHERE station = 'bench-1'"), qint64(20), Patience);
    QTRY_COMPARE_WITH_TIMEOUT(serverCount("SELECT count(*) FROM write_log WHERE station = 'bench-1'"), qint64(3), Patience);
    QTRY_COMPARE_WITH_TIMEOUT(s->sender->waiting(), qint64(0), Patience);
    QVERIFY(s->sender->isOnline());
    QCOMPARE(localCount(s->file, "SELECT count(*) FROM outbox"), qint64(0));
    // The values and their tags as the local file has them.
    QCOMPARE(serverCount("SELECT sum(h.value) FROM history h JOIN history_tag t ON t.id = h.tag "
                         "WHERE t.station = 'bench-1' AND t.tag_id = 'Flow' AND t.device_version = '2.0' "
                         "AND t.name = 'Flow name'"),
             qint64(100 * 10 + 45));

    // The change log view reads the server: every station, or one.
    DataBaseSettings parameters;
    serverSettings(m_server).fillIn(&parameters);
    DataBaseConnection server;
    server.initDataBaseConnection();
    server.setSettings(&parameters);
    QVERIFY(server.start());
    s->log->setServerConnection(&server);
    for (const auto &filter : {std::make_pair(QString("bench-1"), 3), std::make_pair(QString("elsewhere"), 0)}) {
        QSignalSpy loaded(s->log.get(), &ChangeLog::rowsLoaded);
        s->log->load(QString(), 100, filter.first);
        QVERIFY(loaded.wait(Patience));
        QVERIFY(loaded.at(0).at(0).toBool());
        const auto rows = loaded.at(0).at(1).value<QVector<QVector<QVariant>>>();
        QCOMPARE(rows.size(), filter.second);
        if (!rows.isEmpty()) {
            QCOMPARE(rows.first().constLast().toString(), QString("bench-1"));
            QCOMPARE(rows.first().at(ChangeLog::columns().indexOf("tag_id")).toString(),
                     QString("x'); DROP TABLE write_log; --"));
        }
    }
    // The view shows whose row it is, first.
    {
        Commissioning::ChangeLogDialog dialog(s->log.get());
        QTRY_VERIFY_WITH_TIMEOUT(dialog.statusLabel()->text().contains("newest first"), Patience);
        QVERIFY(dialog.stationEdit()->isVisibleTo(&dialog));
        QCOMPARE(dialog.table()->horizontalHeaderItem(0)->text(), QString("Station"));
        QCOMPARE(dialog.table()->item(0, 0)->text(), QString("bench-1"));
    }
    s->log->setServerConnection(nullptr);
    server.stop();
}

void tst_TeamServer::serverStoppedWhileRecording()
{
    std::unique_ptr<Station> s = openStation(m_dir.filePath("second.db"), "bench-2");
    QVERIFY(s);
    s->recorder.reset(new Recorder);
    s->recorder->setConnection(s->db.get());
    s->recorder->setTags("3.0", {makeTag(s.get(), "Speed"), makeTag(s.get(), "Torque")});
    QVERIFY(s->recorder->start());
    QTRY_COMPARE_WITH_TIMEOUT(s->recorder->state(), Recorder::Recording, Patience);
    startSender(s.get(), m_server);
    QSignalSpy status(s->sender.get(), &OutboxSender::statusChanged);

    passes(s.get(), 50, 0);
    QTRY_VERIFY_WITH_TIMEOUT(serverCount("SELECT count(*) FROM history WHERE station = 'bench-2'") > 0, Patience);
    QString error;
    QVERIFY2(m_server.stop(&error), qPrintable(error));
    // Recording goes on while the server is gone; the rows wait.
    for (int round = 0; round < 5; ++round) {
        passes(s.get(), 40, 1000 + 40 * round);
        QTest::qWait(50);
    }
    QTRY_COMPARE_WITH_TIMEOUT(s->recorder->rowsStored(), quint64(2 * 250), Patience);
    QTRY_VERIFY_WITH_TIMEOUT(!s->sender->isOnline() && s->sender->waiting() > 0, Patience);
    QVERIFY(!s->sender->lastError().isEmpty());
    QCOMPARE(SqlstorePlugin::statusText(false, s->sender->waiting()),
             QString("server offline, %1 rows waiting").arg(s->sender->waiting()));

    QVERIFY2(m_server.start(&error), qPrintable(error + m_server.log()));
    QTRY_COMPARE_WITH_TIMEOUT(serverCount("SELECT count(*) FROM history WHERE station = 'bench-2'"), qint64(500), Patience);
    QTRY_COMPARE_WITH_TIMEOUT(s->sender->waiting(), qint64(0), Patience);
    QVERIFY(s->sender->isOnline());
    QCOMPARE(serverCount("SELECT count(DISTINCT (origin, local_id)) FROM history WHERE station = 'bench-2'"), qint64(500));
    QCOMPARE(serverCount("SELECT count(*) FROM (SELECT DISTINCT h.time_ms, t.tag_id, h.value FROM history h "
                         "JOIN history_tag t ON t.id = h.tag WHERE h.station = 'bench-2') d"),
             localCount(s->file, "SELECT count(*) FROM (SELECT DISTINCT h.time_ms, h.tag, h.value FROM history h)"));
}

void tst_TeamServer::killedWithRowsWaiting()
{
    const QString file = m_dir.filePath("killed.db");
    QString error;
    QVERIFY2(m_server.stop(&error), qPrintable(error));
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("KORVANE_OUTBOX_CHILD", file + "\nbench-killed\n" + QString::number(m_server.port()));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), QStringList());
    const bool started = child.waitForStarted(Patience);
    QByteArray output;
    for (int i = 0; started && i < 1200 && child.state() == QProcess::Running && !output.contains("waiting 25"); ++i) {
        child.waitForReadyRead(100);
        output += child.readAll();
    }
    const bool waited = child.state() == QProcess::Running && output.contains("waiting 25");
    if (child.state() == QProcess::Running)
        ::kill(pid_t(child.processId()), SIGKILL);
    child.waitForFinished(Patience);
    QVERIFY2(m_server.start(&error), qPrintable(error + m_server.log()));
    QVERIFY2(waited, output.constData());
    QCOMPARE(localCount(file, "SELECT count(*) FROM outbox"), qint64(25));

    std::unique_ptr<Station> s = openStation(file, "bench-killed");
    QVERIFY(s);
    startSender(s.get(), m_server);
    QTRY_COMPARE_WITH_TIMEOUT(serverCount("SELECT count(*) FROM write_log WHERE station = 'bench-killed'"), qint64(25),
                              Patience);
    QTRY_COMPARE_WITH_TIMEOUT(s->sender->waiting(), qint64(0), Patience);
}

void tst_TeamServer::twoStationsAtOnce()
{
    std::unique_ptr<Station> north = openStation(m_dir.filePath("north.db"), "north");
    std::unique_ptr<Station> south = openStation(m_dir.filePath("south.db"), "south");
    QVERIFY(north && south);
    startSender(north.get(), m_server);
    startSender(south.get(), m_server);
    for (int round = 0; round < 4; ++round) {
        for (Station *s : {north.get(), south.get()}) {
            for (int i = 0; i < 30; ++i)
                s->log->record(outcome(s->name + "-tag", round * 30 + i), "admin", "bench", "1.00");
        }
        QTest::qWait(100);
    }
    QTRY_COMPARE_WITH_TIMEOUT(serverCount("SELECT count(*) FROM write_log WHERE station IN ('north', 'south')"),
                              qint64(240), Patience);
    QTRY_VERIFY_WITH_TIMEOUT(north->sender->waiting() == 0 && south->sender->waiting() == 0, Patience);
    for (const QString &name : {QString("north"), QString("south")}) {
        QCOMPARE(serverCount(QString("SELECT count(*) FROM write_log WHERE station = '%1' AND tag_id = '%1-tag'").arg(name)),
                 qint64(120));
        QCOMPARE(serverCount(QString("SELECT count(DISTINCT address) FROM write_log WHERE station = '%1'").arg(name)),
                 qint64(120));
    }
}

void tst_TeamServer::connectionTest_data()
{
    QTest::addColumn<int>("portOffset");
    QTest::addColumn<QString>("database");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("says");
    QTest::newRow("reachable") << 0 << "postgres" << true << "Connected: PostgreSQL 15";
    QTest::newRow("no such database") << 0 << "nowhere" << false << "nowhere";
    QTest::newRow("nothing on the port") << 1 << "postgres" << false << "No connection";
    QTest::newRow("incomplete") << 0 << "" << false << "Enter the name of the database.";
}

void tst_TeamServer::connectionTest()
{
    QFETCH(int, portOffset);
    QFETCH(QString, database);
    QFETCH(bool, ok);
    QFETCH(QString, says);
    ServerSettings settings = serverSettings(m_server);
    settings.port += portOffset;
    settings.database = database;
    DatabaseDialog dialog(settings);
    QSignalSpy finished(&dialog, &DatabaseDialog::testFinished);
    QTest::mouseClick(dialog.testButton(), Qt::LeftButton);
    QVERIFY(!dialog.testButton()->isEnabled()); // the window stays usable meanwhile
    QVERIFY(finished.wait(Patience));
    QCOMPARE(finished.at(0).at(0).toBool(), ok);
    QVERIFY2(dialog.testResult()->text().contains(says), qPrintable(dialog.testResult()->text()));
    QVERIFY(dialog.testButton()->isEnabled());
    QCOMPARE(dialog.settings().database, database);
}

// A server that takes the connection and never answers keeps the sender
// waiting for its connect timeout; switching the settings meanwhile must not
// keep the window waiting too.
void tst_TeamServer::silentServerDoesNotHoldTheWindow()
{
    QTemporaryDir dir;
    std::unique_ptr<Station> s = openStation(dir.filePath("silent.db"), "silent");
    QVERIFY(s);
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    QSignalSpy accepted(&silent, &QTcpServer::newConnection);
    DataBaseSettings parameters;
    ServerSettings server = serverSettings(m_server);
    server.port = silent.serverPort();
    server.fillIn(&parameters);
    s->sender.reset(new OutboxSender(s->file, parameters));
    s->sender->start();
    QVERIFY(accepted.wait(Patience));
    QElapsedTimer deleting;
    deleting.start();
    s->sender.reset();
    QVERIFY2(deleting.elapsed() < ServerSettings::ConnectTimeout * 1000 / 2,
             qPrintable(QString::number(deleting.elapsed())));
    // Hanging up ends the pass; the thread then ends by itself.
    while (QTcpSocket *socket = silent.nextPendingConnection())
        socket->abort();
    OutboxSender::waitForEnding();
}

// A kind whose plug-in is switched off cannot be sent; its rows stay in the
// file, and the rows behind them go.
void tst_TeamServer::rowsOfAnUnloadedKindWaitAlone()
{
    std::unique_ptr<Station> s = openStation(m_dir.filePath("unloaded.db"), "bench-unloaded");
    QVERIFY(s);
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(s->file);
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.exec("INSERT INTO outbox (kind, station, payload) VALUES ('unloaded', 'bench-unloaded', '{}')"));
    }
    QSqlDatabase::removeDatabase(name);
    QVERIFY(recordWrites(s.get(), "Behind", 2));
    startSender(s.get(), m_server);
    QTRY_COMPARE_WITH_TIMEOUT(serverCount("SELECT count(*) FROM write_log WHERE station = 'bench-unloaded'"),
                              qint64(2), Patience);
    QTRY_COMPARE_WITH_TIMEOUT(s->sender->waiting(), qint64(1), Patience);
    QCOMPARE(localCount(s->file, "SELECT count(*) FROM outbox WHERE kind = 'unloaded'"), qint64(1));
}

// The statements of a batch succeed and the server refuses its commit (a
// deferred check): the rows stay in the outbox, and once the server takes
// them they arrive exactly once.
void tst_TeamServer::refusedCommitKeepsTheRows()
{
    std::unique_ptr<Station> s = openStation(m_dir.filePath("refused.db"), "bench-refused");
    QVERIFY(s);
    QVERIFY(recordWrites(s.get(), "First", 1));
    startSender(s.get(), m_server);
    QTRY_COMPARE_WITH_TIMEOUT(serverCount("SELECT count(*) FROM write_log WHERE station = 'bench-refused'"), qint64(1),
                              Patience);
    QTRY_COMPARE_WITH_TIMEOUT(s->sender->waiting(), qint64(0), Patience);

    QCOMPARE(serverRun({"CREATE TABLE commit_gate (open boolean)",
                        "CREATE FUNCTION hold_at_commit() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                        "IF NEW.station = 'bench-refused' AND NOT EXISTS (SELECT 1 FROM commit_gate) THEN "
                        "RAISE EXCEPTION 'held at commit'; END IF; RETURN NULL; END $$",
                        "CREATE CONSTRAINT TRIGGER hold_at_commit AFTER INSERT ON write_log "
                        "DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE FUNCTION hold_at_commit()"}),
             QString());
    QVERIFY(recordWrites(s.get(), "Held", 30));
    // Refused, or (the fault) taken out of the outbox all the same.
    QTRY_VERIFY_WITH_TIMEOUT(s->sender->lastError().contains("held at commit")
                                 || localCount(s->file, "SELECT count(*) FROM outbox") < 30,
                             Patience);
    QCOMPARE(localCount(s->file, "SELECT count(*) FROM outbox"), qint64(30));
    QVERIFY2(s->sender->lastError().contains("held at commit"), qPrintable(s->sender->lastError()));
    QCOMPARE(serverCount("SELECT count(*) FROM write_log WHERE station = 'bench-refused'"), qint64(1));

    QCOMPARE(serverRun({"INSERT INTO commit_gate VALUES (true)"}), QString());
    QTRY_COMPARE_WITH_TIMEOUT(s->sender->waiting(), qint64(0), Patience);
    QCOMPARE(localCount(s->file, "SELECT count(*) FROM outbox"), qint64(0));
    QCOMPARE(serverCount("SELECT count(*) FROM write_log WHERE station = 'bench-refused' AND tag_id = 'Held'"), qint64(30));
    QCOMPARE(serverCount("SELECT count(DISTINCT address) FROM write_log WHERE station = 'bench-refused' "
                         "AND tag_id = 'Held'"),
             qint64(30));
    QCOMPARE(serverRun({"DROP TRIGGER hold_at_commit ON write_log", "DROP FUNCTION hold_at_commit()",
                        "DROP TABLE commit_gate"}),
             QString());
}

void tst_TeamServer::encryption_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("root"); // "right", "wrong" or none
    QTest::addColumn<QString>("says");
    QTest::addColumn<bool>("warned");

    QTest::newRow("off") << int(ServerSettings::TlsDisable) << "" << "Not encrypted." << true;
    QTest::newRow("when offered") << int(ServerSettings::TlsPrefer) << "" << "Encrypted (TLS" << false;
    QTest::newRow("required") << int(ServerSettings::TlsRequire) << "" << "Encrypted (TLS" << false;
    QTest::newRow("checked against its authority")
        << int(ServerSettings::TlsVerifyFull) << "right" << "Encrypted (TLS" << false;
    QTest::newRow("checked against another authority")
        << int(ServerSettings::TlsVerifyFull) << "wrong" << "certificate verify failed" << false;
    QTest::newRow("checked without an authority")
        << int(ServerSettings::TlsVerifyFull) << "" << "Choose the root certificate" << false;
}

// The encryption chosen in the Database dialog, tried against the server's
// own certificate; a plain link is shown in the dialog and the status bar.
void tst_TeamServer::encryption()
{
    QFETCH(int, mode);
    QFETCH(QString, root);
    QFETCH(QString, says);
    QFETCH(bool, warned);
    if (!m_server.tls())
        QSKIP("openssl is not installed: no certificate for the server.");

    DatabaseDialog dialog(serverSettings(m_server));
    auto *modes = dialog.findChild<QComboBox *>("comboBoxTls");
    auto *rootEdit = dialog.findChild<QLineEdit *>("lineEditRootCertificate");
    QVERIFY(modes && rootEdit);
    QCOMPARE(modes->currentData().toInt(), int(ServerSettings::TlsPrefer));
    modes->setCurrentIndex(modes->findData(mode));
    QCOMPARE(rootEdit->isEnabled(), mode == ServerSettings::TlsVerifyFull);
    if (!root.isEmpty())
        QTest::keyClicks(rootEdit, root == "right" ? m_server.authority() : m_server.otherAuthority());

    QSignalSpy finished(&dialog, &DatabaseDialog::testFinished);
    QTest::mouseClick(dialog.testButton(), Qt::LeftButton);
    QVERIFY(finished.wait(Patience));
    const bool ok = says.startsWith("Encrypted") || says.startsWith("Not encrypted");
    QCOMPARE(finished.at(0).at(0).toBool(), ok);
    QVERIFY2(dialog.testResult()->text().contains(says), qPrintable(dialog.testResult()->text()));
    QCOMPARE(dialog.tlsWarning()->isVisibleTo(&dialog), warned);
    const ServerSettings chosen = dialog.settings();
    QCOMPARE(int(chosen.tlsMode), mode);
    if (!ok)
        return;

    // The sender's link is the same: the status bar says when it is plain.
    std::unique_ptr<Station> s = openStation(m_dir.filePath(QString("tls-%1.db").arg(mode)), "bench-tls");
    QVERIFY(s);
    DataBaseSettings parameters;
    chosen.fillIn(&parameters);
    s->sender.reset(new OutboxSender(s->file, parameters));
    s->sender->setIdleInterval(100);
    s->sender->start();
    QTRY_VERIFY_WITH_TIMEOUT(s->sender->isOnline(), Patience);
    QCOMPARE(s->sender->isEncrypted(), !warned);
    QCOMPARE(SqlstorePlugin::statusText(true, 0, s->sender->isEncrypted()),
             warned ? QString("server connection not encrypted") : QString());
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet("KORVANE_OUTBOX_CHILD"))
        return childMain(argc, argv);
    QApplication app(argc, argv);
    tst_TeamServer test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_teamserver.moc"
