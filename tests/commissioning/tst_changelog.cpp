// The change log: every kind of outcome becomes one row with its columns,
// texts from users and devices go in as data (never as SQL), rows come back
// newest first and filtered by tag, and the view shows and exports them.

#include <commissioning/changelog.h>
#include <commissioning/changelogdialog.h>
#include <sqlstore/databaseconnection.h>
#include <sqlstore/databasesettings.h>

#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

using Commissioning::ChangeLog;
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

QTEST_MAIN(tst_ChangeLog)
#include "tst_changelog.moc"
