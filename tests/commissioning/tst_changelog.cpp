// The change log: every kind of outcome becomes one row with its columns,
// texts from users and devices go in as data (never as SQL), rows come back
// newest first and filtered by tag, and the view shows and exports them. A
// write that goes out is in the file before the device can act on it, and
// one whose answer never came reads "unknown", not "not written".

#include <commissioning/changelog.h>
#include <commissioning/changelogdialog.h>
#include <fieldlink/modbusconnection.h>
#include <fieldlink/qmodbussettings.h>
#include <sqlstore/databaseconnection.h>
#include <sqlstore/databasesettings.h>

#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using Commissioning::ChangeLog;
using Fieldlink::FieldlinkCore::ModbusConnection;
using Fieldlink::FieldlinkCore::QModbusSettings;
using Pointbook::Tag;
using Pointbook::TagWriter;
using Sqlstore::Internal::DataBaseConnection;
using Sqlstore::Internal::DataBaseSettings;

class tst_ChangeLog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyOutcomeIsOneRow();
    void filterAndView();
    void writeAhead_data();
    void writeAhead();

private:
    QVector<QVector<QVariant>> load(const QString &filter);

    QTemporaryDir m_dir;
    DataBaseSettings m_settings;
    DataBaseConnection *m_db = nullptr;
    ChangeLog *m_log = nullptr;
};

void tst_ChangeLog::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_settings.setDriver(QStringLiteral("QSQLITE"));
    m_settings.setDatabaseName(m_dir.filePath(QStringLiteral("database.db")));
    m_db = new DataBaseConnection;
    QVERIFY(m_db->initDataBaseConnection());
    m_db->setSettings(&m_settings);
    QVERIFY(m_db->start());
    m_log = new ChangeLog;
    m_log->setDataBaseConnection(m_db);
}

void tst_ChangeLog::cleanupTestCase()
{
    delete m_log;
    m_db->stop();
    delete m_db;
}

QVector<QVector<QVariant>> tst_ChangeLog::load(const QString &filter)
{
    QSignalSpy loaded(m_log, &ChangeLog::rowsLoaded);
    m_log->load(filter);
    if (!loaded.wait(20000) || !loaded.at(0).at(0).toBool())
        return {};
    return loaded.at(0).at(1).value<QVector<QVector<QVariant>>>();
}

void tst_ChangeLog::everyOutcomeIsOneRow()
{
    const QString hostile = QStringLiteral("x'); DROP TABLE write_log; --");
    const struct {
        TagWriter::Result result;
        QString id;
        QString detail;
    } cases[] = {
        {TagWriter::Ok, "SetPoint", QString()},
        {TagWriter::Refused, hostile, "12 bar is not a number"},
        {TagWriter::Exception, "AlarmHigh", "the device answered with exception 3 (illegal data value)"},
        {TagWriter::Timeout, "AlarmLow", "The device did not answer within 1000 ms."},
        {TagWriter::Mismatch, "Damping", "The device kept 12 instead of 13."},
    };
    QSignalSpy recorded(m_log, &ChangeLog::recorded);
    const QDateTime t0(QDate(2026, 1, 2), QTime(3, 4, 5, 678), Qt::UTC);
    int n = 0;
    for (const auto &c : cases) {
        TagWriter::Outcome o;
        o.result = c.result;
        o.tagId = c.id;
        o.tagName = c.id + " name";
        o.registerType = Tag::HR;
        o.address = 2 * n;
        o.oldValue = "12";
        o.newValue = "12.5";
        o.readBack = "12.5";
        o.words = {0x4148, 0x0000};
        o.detail = c.detail;
        m_log->record(o, "admin", "Demo device (127.0.0.1:5020)", "1.00", t0.addSecs(n++));
    }
    QTRY_COMPARE_WITH_TIMEOUT(recorded.count(), 5, 20000);
    for (const auto &call : recorded)
        QVERIFY(call.at(0).toBool());

    const auto rows = load(QString());
    QCOMPARE(rows.size(), 5);
    const QStringList &columns = ChangeLog::columns();
    const auto cell = [&](int row, const char *column) {
        return rows.at(row).value(columns.indexOf(QLatin1String(column))).toString();
    };
    // Newest first, one result of each kind, the hostile id stored as it came.
    QCOMPARE(cell(0, "result"), QString("mismatch"));
    QCOMPARE(cell(3, "result"), QString("refused"));
    QCOMPARE(cell(3, "tag_id"), hostile);
    QCOMPARE(cell(4, "result"), QString("ok"));
    QCOMPARE(cell(4, "detail"), QString("read back 12.5"));
    QCOMPARE(cell(4, "time_utc"), QString("2026-01-02T03:04:05.678Z"));
    QCOMPARE(cell(4, "register_type"), QString("HR"));
    QCOMPARE(cell(4, "raw_words"), QString("4148 0000"));
    QCOMPARE(cell(4, "connection"), QString("Demo device (127.0.0.1:5020)"));
    QCOMPARE(cell(2, "detail"), QString("the device answered with exception 3 (illegal data value)"));
}

void tst_ChangeLog::filterAndView()
{
    QCOMPARE(load("alarm").size(), 2);    // id or name, any case
    QCOMPARE(load("%").size(), 0);        // a wildcard character is a character
    QCOMPARE(load("DROP TABLE").size(), 1);

    Commissioning::ChangeLogDialog dialog(m_log);
    QTRY_COMPARE_WITH_TIMEOUT(dialog.table()->rowCount(), 5, 20000);
    dialog.filterEdit()->setText("Damping");
    QTRY_COMPARE_WITH_TIMEOUT(dialog.table()->rowCount(), 1, 20000);
    // Shown in words, exported as the stored code.
    QCOMPARE(dialog.table()->item(0, ChangeLog::columns().indexOf("result"))->text(), QString("read back differs"));
    QString error;
    const QString file = m_dir.filePath("export.csv");
    QVERIFY(dialog.exportCsv(file, &error));
    QFile csv(file);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(csv.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.at(0), ChangeLog::columns().join(','));
    QVERIFY2(lines.at(1).contains(",mismatch,"), qPrintable(lines.at(1)));
    QVERIFY(!dialog.exportCsv(m_dir.filePath("no/such/folder/x.csv"), &error));
    QVERIFY(!error.isEmpty());
}

namespace {

// result and detail of every row of write_log, read from the file itself.
QStringList rowsInFile(const QString &fileName)
{
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reader"));
        db.setDatabaseName(fileName);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(QStringLiteral("SELECT result, detail FROM write_log ORDER BY id")))
                while (q.next())
                    rows << q.value(0).toString() + QLatin1Char('|') + q.value(1).toString();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("reader"));
    return rows;
}

std::unique_ptr<DataBaseConnection> openDataBase(DataBaseSettings *settings, const QString &fileName)
{
    settings->setDriver(QStringLiteral("QSQLITE"));
    settings->setDatabaseName(fileName);
    auto db = std::make_unique<DataBaseConnection>();
    if (!db->initDataBaseConnection())
        return nullptr;
    db->setSettings(settings);
    return db->start() ? std::move(db) : nullptr;
}

enum Peer { Silent, Hangs };

} // namespace

void tst_ChangeLog::writeAhead_data()
{
    QTest::addColumn<int>("peer");           // what the device does once the write arrived
    QTest::addColumn<bool>("programEnds");   // the writer and the database go before the answer
    QTest::addColumn<QString>("detail");

    QTest::newRow("no answer") << int(Silent) << false << TagWriter::noAnswerText();
    QTest::newRow("link dropped after the write") << int(Hangs) << false << TagWriter::noAnswerText();
    QTest::newRow("program ended before the answer") << int(Silent) << true << ChangeLog::endedBeforeAnswerText();
}

void tst_ChangeLog::writeAhead()
{
    QFETCH(int, peer);
    QFETCH(bool, programEnds);
    QFETCH(QString, detail);

    const QString fileName = m_dir.filePath(QStringLiteral("ahead-%1.db").arg(QTest::currentDataTag()));
    // A device that takes the request and never answers it (or hangs up);
    // on arrival the file must already hold the write.
    QTcpServer device;
    QVERIFY(device.listen(QHostAddress::LocalHost, 0));
    QByteArray request;
    QStringList rowsOnArrival;
    connect(&device, &QTcpServer::newConnection, this, [&] {
        QTcpSocket *socket = device.nextPendingConnection();
        connect(socket, &QTcpSocket::readyRead, socket, [&, socket] {
            request += socket->readAll();
            if (rowsOnArrival.isEmpty())
                rowsOnArrival = rowsInFile(fileName);
            if (peer == Hangs)
                socket->disconnectFromHost();
        });
    });

    DataBaseSettings settings;
    std::unique_ptr<DataBaseConnection> db = openDataBase(&settings, fileName);
    QVERIFY(db);
    auto log = std::make_unique<ChangeLog>();
    log->setDataBaseConnection(db.get());
    ModbusConnection link;
    link.setAutoReconnect(false);
    link.setHost(QStringLiteral("127.0.0.1"));
    link.setPort(device.serverPort());
    QVERIFY(link.connectDevice());
    QTRY_VERIFY_WITH_TIMEOUT(link.isConnected(), 10000);

    Tag tag(Tag::HR, Tag::UInt16, Tag::Order10, Tag::Order10, 7, QStringLiteral("SetPoint"), QString(), QString());
    tag.setAccess(QStringLiteral("RW"));
    tag.setCount(1);
    auto writer = std::make_unique<TagWriter>();
    writer->setModbusConnection(&link);
    writer->setModbusSettings(QModbusSettings(1, 300, 0));
    ChangeLog *logged = log.get();
    writer->setWriteAhead([logged](const TagWriter::Outcome &o, const TagWriter::Proceed &proceed) {
        logged->recordAhead(o, "admin", "peer", "1.00", proceed);
    });
    QSignalSpy recorded(log.get(), &ChangeLog::recorded);
    QSignalSpy finished(writer.get(), &TagWriter::finished);
    connect(writer.get(), &TagWriter::finished, log.get(),
            [logged](const TagWriter::Outcome &o) { logged->record(o, "admin", "peer", "1.00"); });
    writer->write(&tag, 42);

    QTRY_VERIFY_WITH_TIMEOUT(!request.isEmpty(), 10000);
    QCOMPARE(rowsOnArrival, QStringList{"pending|"});
    if (programEnds) {
        writer.reset();
        log.reset();
        db->stop();
        db.reset();
        QCOMPARE(rowsInFile(fileName), QStringList{"pending|"});
        // The next start settles what the last run could not.
        db = openDataBase(&settings, fileName);
        QVERIFY(db);
        log = std::make_unique<ChangeLog>();
        log->setDataBaseConnection(db.get());
        QTRY_COMPARE_WITH_TIMEOUT(rowsInFile(fileName), QStringList{"unknown|" + detail}, 20000);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
        const auto outcome = finished.at(0).at(0).value<TagWriter::Outcome>();
        QCOMPARE(outcome.result, TagWriter::Unknown);
        QCOMPARE(outcome.detail, detail);
        QTRY_COMPARE_WITH_TIMEOUT(recorded.count(), 1, 10000);
        QVERIFY(recorded.at(0).at(0).toBool());
    }
    QCOMPARE(rowsInFile(fileName), QStringList{"unknown|" + detail});
    log.reset();
    db->stop();
}

QTEST_MAIN(tst_ChangeLog)
#include "tst_changelog.moc"
