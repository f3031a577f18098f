// CSV export of a recording and of the table: header, time format,
// precision, rows per time stamp, names that a spreadsheet would take for a
// formula, and a cancelled export leaving no file.

#include <trend/csvexporter.h>

#include "../support/refusedthreads.h"

#include <pointbook/tag.h>

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using Trend::CsvExporter;

class tst_CsvExport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void recordedRange();
    void cancelledLeavesNoFile();
    void refusedThreadFailsWithReason();
    void snapshot();
    void values_data();
    void values();
    void formulaTexts_data();
    void formulaTexts();

private:
    QStringList lines(const QString &file)
    {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }
    QVector<CsvExporter::Column> columns() const
    {
        CsvExporter::Column pressure;
        pressure.dbId = 1;
        pressure.name = "Pressure";
        pressure.unit = "bar";
        pressure.precision = 2;
        CsvExporter::Column level;
        level.dbId = 2;
        level.name = "Level, tank";
        level.integral = true;
        return {pressure, level};
    }

    QTemporaryDir m_dir;
    QString m_db;
    const qint64 m_t0 = 1700000000123; // 2023-11-14T22:13:20.123Z
};

void tst_CsvExport::initTestCase()
{
    m_db = m_dir.filePath("database.db");
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "fill");
    db.setDatabaseName(m_db);
    QVERIFY(db.open());
    QSqlQuery q(db);
    QVERIFY(q.exec("CREATE TABLE history_tag (id INTEGER PRIMARY KEY, device_version TEXT, register_type TEXT, "
                   "tag_id TEXT, name TEXT, unit TEXT, UNIQUE(device_version, register_type, tag_id))"));
    QVERIFY(q.exec("CREATE TABLE history (time_ms INTEGER NOT NULL, tag INTEGER NOT NULL REFERENCES history_tag(id), value REAL)"));
    QVERIFY(q.exec("INSERT INTO history_tag VALUES (1, '1.00', 'ir', 'Pressure', 'Pressure', 'bar'), "
                   "(2, '1.00', 'ir', 'Level', 'Level, tank', ''), (3, '1.00', 'ir', 'Other', 'Other', '')"));
    // 50,000 passes of both tags; the level misses every tenth pass.
    QVERIFY(db.transaction());
    QVERIFY(q.prepare("INSERT INTO history VALUES (?, ?, ?)"));
    for (int i = 0; i < 50000; ++i) {
        q.addBindValue(m_t0 + i * 100);
        q.addBindValue(1);
        q.addBindValue(1.0 + i * 0.001);
        QVERIFY(q.exec());
        if (i % 10 != 9) {
            q.addBindValue(m_t0 + i * 100);
            q.addBindValue(2);
            q.addBindValue(double(1000 + i));
            QVERIFY(q.exec());
        }
        q.addBindValue(m_t0 + i * 100);
        q.addBindValue(3);
        q.addBindValue(-1.0);
        QVERIFY(q.exec());
    }
    QVERIFY(db.commit());
}

void tst_CsvExport::cleanupTestCase()
{
    QSqlDatabase::database("fill").close();
    QSqlDatabase::removeDatabase("fill");
}

void tst_CsvExport::recordedRange()
{
    const QString file = m_dir.filePath("range.csv");
    CsvExporter exporter;
    QSignalSpy progress(&exporter, &CsvExporter::progress);
    // All but the first pass.
    QVERIFY2(exporter.exportRange(m_db, file, columns(), m_t0 + 100, m_t0 + 49999 * 100),
             qPrintable(exporter.errorString()));
    const QStringList rows = lines(file);
    QCOMPARE(rows.value(0), QStringLiteral("time_utc,Pressure [bar],\"Level, tank\""));
    QCOMPARE(rows.size(), 1 + 49999); // one row per time stamp, none twice across slices
    QCOMPARE(exporter.rowsWritten(), qint64(49999));
    QCOMPARE(rows.value(1), QStringLiteral("2023-11-14T22:13:20.223Z,1.00,1001"));
    QCOMPARE(rows.value(9), QStringLiteral("2023-11-14T22:13:21.023Z,1.01,")); // no level at pass 9
    QCOMPARE(rows.last(), QStringLiteral("2023-11-14T23:36:40.023Z,51.00,"));
    QVERIFY(progress.size() > 2);
    QCOMPARE(progress.last().first().toInt(), 1000);
}

void tst_CsvExport::cancelledLeavesNoFile()
{
    const QString file = m_dir.filePath("cancelled.csv");
    CsvExporter exporter;
    // Cancelled after the first slice, as the progress dialog's button would.
    connect(&exporter, &CsvExporter::progress, &exporter, &CsvExporter::cancel);
    QVERIFY(!exporter.exportRange(m_db, file, columns(), m_t0, m_t0 + 50000 * 100));
    QVERIFY(exporter.isCancelled());
    QVERIFY(!QFile::exists(file));

    // An earlier file of the same name stays as it was.
    QFile old(file);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("earlier\n");
    old.close();
    CsvExporter again;
    connect(&again, &CsvExporter::progress, &again, &CsvExporter::cancel);
    QVERIFY(!again.exportRange(m_db, file, columns(), m_t0, m_t0 + 50000 * 100));
    QCOMPARE(lines(file), QStringList{"earlier"});

    // A database that is not there is an error, not an empty file.
    CsvExporter missing;
    QVERIFY(!missing.exportRange(m_dir.filePath("none.db"), m_dir.filePath("none.csv"), columns(), 0, 1));
    QVERIFY(!missing.errorString().isEmpty());
    QVERIFY(!QFile::exists(m_dir.filePath("none.csv")));
}

// The system refusing the export's thread ends the export with the reason;
// nothing waits for a thread that never ran.
void tst_CsvExport::refusedThreadFailsWithReason()
{
    const QString file = m_dir.filePath("refused.csv");
    CsvExporter exporter;
    QSignalSpy finished(&exporter, &CsvExporter::finished);
    setThreadsRefused(true);
    exporter.exportAsync(m_db, file, columns(), m_t0, m_t0 + 100);
    setThreadsRefused(false);
    QVERIFY(finished.wait(5000));
    QCOMPARE(finished.first().at(0).toBool(), false);
    QVERIFY(finished.first().at(1).toString().contains("refused"));
    QVERIFY(!QFile::exists(file));

    // Once threads are to be had again, the same export runs.
    exporter.exportAsync(m_db, file, columns(), m_t0, m_t0 + 100);
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.last().at(0).toBool(), true);
    QVERIFY(QFile::exists(file));
}

void tst_CsvExport::snapshot()
{
    Pointbook::Tag tag(Pointbook::Tag::HR);
    tag.setName("Set point");
    tag.setUnit("bar");
    tag.setDataType(Pointbook::Tag::UInt16);
    tag.setByteOrderInput(Pointbook::Tag::Order10);
    tag.setByteOrderOutput(Pointbook::Tag::Order01);
    tag.setCount(1);
    tag.setRawData({42});
    Pointbook::Tag empty(Pointbook::Tag::HR);
    empty.setName("Never read");
    const QString file = m_dir.filePath("table.csv");
    QString error;
    QVERIFY(CsvExporter::writeSnapshot(file, {&tag, &empty}, m_t0, &error));
    QCOMPARE(lines(file), (QStringList{"time_utc,Set point [bar],Never read", "2023-11-14T22:13:20.123Z,42,"}));
    QVERIFY(!CsvExporter::writeSnapshot(m_dir.filePath("no/folder/table.csv"), {&tag}, m_t0, &error));
    QVERIFY(!error.isEmpty());
}

void tst_CsvExport::values_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("precision");
    QTest::addColumn<bool>("integral");
    QTest::addColumn<QString>("text");
    QTest::newRow("rounded") << 2.345678 << 3 << false << "2.346";
    QTest::newRow("precision 0") << 2.4 << 0 << false << "2";
    QTest::newRow("automatic") << 0.1 << -1 << false << "0.1";
    QTest::newRow("integral ignores precision") << 7.0 << 3 << true << "7";
    QTest::newRow("not a number") << std::nan("") << 2 << false << "";
    QTest::newRow("precision capped") << 1.0 << 99 << false << "1.000000000000000";
}

void tst_CsvExport::values()
{
    QFETCH(double, value);
    QFETCH(int, precision);
    QFETCH(bool, integral);
    QFETCH(QString, text);
    CsvExporter::Column column;
    column.precision = precision;
    column.integral = integral;
    QCOMPARE(CsvExporter::valueText(value, column), text);
}

void tst_CsvExport::formulaTexts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("field");
    QTest::newRow("equals") << "=HYPERLINK(\"http://x.example\",\"open\")" << ""
                            << "\"'=HYPERLINK(\"\"http://x.example\"\",\"\"open\"\")\"";
    QTest::newRow("plus") << "+1+cmd|' /C calc'!A0" << "" << "'+1+cmd|' /C calc'!A0";
    QTest::newRow("minus") << "-2+3" << "" << "'-2+3";
    QTest::newRow("at") << "@SUM(A1:A9)" << "" << "'@SUM(A1:A9)";
    QTest::newRow("tab") << "\t=1+1" << "" << "'\t=1+1";
    QTest::newRow("carriage return") << "\r=1+1" << "" << "\"'\r=1+1\"";
    QTest::newRow("with unit") << "=1+1" << "bar" << "'=1+1 [bar]";
    QTest::newRow("unit alone") << "Level" << "=1+1" << "Level [=1+1]";
    QTest::newRow("a number stays") << "-5" << "" << "-5";
    QTest::newRow("plain") << "Set point" << "bar" << "Set point [bar]";
}

// Names and units come from imported maps: a spreadsheet must show them as
// texts; values, negative ones too, stay numbers.
void tst_CsvExport::formulaTexts()
{
    QFETCH(QString, name);
    QFETCH(QString, unit);
    QFETCH(QString, field);
    Pointbook::Tag tag(Pointbook::Tag::HR);
    tag.setName(name);
    tag.setUnit(unit);
    tag.setDataType(Pointbook::Tag::Int16);
    tag.setByteOrderInput(Pointbook::Tag::Order10);
    tag.setByteOrderOutput(Pointbook::Tag::Order01);
    tag.setCount(1);
    tag.setRawData({0xFFFE});
    const QString file = m_dir.filePath("formula.csv");
    QString error;
    QVERIFY(CsvExporter::writeSnapshot(file, {&tag}, m_t0, &error));
    QCOMPARE(lines(file), (QStringList{"time_utc," + field, "2023-11-14T22:13:20.123Z,-2"}));
}

QTEST_GUILESS_MAIN(tst_CsvExport)

#include "tst_csvexport.moc"
