// The change log's CSV export as the view writes it: texts that a
// spreadsheet would take for a formula (tag names from imported maps, level
// and connection names, typed values) reach it as texts; numbers stay numbers.

#include <commissioning/changelog.h>
#include <commissioning/changelogdialog.h>
#include <sqlstore/databaseconnection.h>
#include <sqlstore/databasesettings.h>

#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

using Commissioning::ChangeLog;
using Pointbook::TagWriter;

class tst_ChangeLogExport : public QObject
{
    Q_OBJECT

private slots:
    void formulaTexts_data();
    void formulaTexts();
};

void tst_ChangeLogExport::formulaTexts_data()
{
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("exported");
    QTest::newRow("tag name") << "tag_name" << "=HYPERLINK(\"http://x.example\")"
                              << "\"'=HYPERLINK(\"\"http://x.example\"\")\"";
    QTest::newRow("level") << "access_level" << "@admin" << "'@admin";
    QTest::newRow("connection") << "connection" << "+cmd|' /C calc'!A0" << "'+cmd|' /C calc'!A0";
    QTest::newRow("tab") << "tag_id" << "\t=1+1" << "'\t=1+1";
    QTest::newRow("typed value") << "new_value" << "-1+2" << "'-1+2";
    QTest::newRow("negative number") << "new_value" << "-12.5" << "-12.5";
    QTest::newRow("exponent") << "new_value" << "-1.5e-3" << "-1.5e-3";
}

void tst_ChangeLogExport::formulaTexts()
{
    QFETCH(QString, column);
    QFETCH(QString, stored);
    QFETCH(QString, exported);

    QTemporaryDir dir;
    Sqlstore::Internal::DataBaseSettings settings;
    settings.setDriver(QStringLiteral("QSQLITE"));
    settings.setDatabaseName(dir.filePath(QStringLiteral("database.db")));
    Sqlstore::Internal::DataBaseConnection db;
    QVERIFY(db.initDataBaseConnection());
    db.setSettings(&settings);
    QVERIFY(db.start());
    ChangeLog log;
    log.setDataBaseConnection(&db);

    TagWriter::Outcome o;
    o.result = TagWriter::Refused;
    o.registerType = Pointbook::Tag::HR;
    o.tagId = column == "tag_id" ? stored : "SetPoint";
    o.tagName = column == "tag_name" ? stored : "Set point";
    o.oldValue = "-3";
    o.newValue = column == "new_value" ? stored : "4";
    o.detail = "refused";
    QSignalSpy recorded(&log, &ChangeLog::recorded);
    log.record(o, column == "access_level" ? stored : "admin", column == "connection" ? stored : "Demo", "1.00");
    QTRY_COMPARE_WITH_TIMEOUT(recorded.count(), 1, 20000);
    QVERIFY(recorded.first().first().toBool());

    Commissioning::ChangeLogDialog dialog(&log);
    QTRY_COMPARE_WITH_TIMEOUT(dialog.table()->rowCount(), 1, 20000);
    const QString file = dir.filePath("export.csv");
    QString error;
    QVERIFY2(dialog.exportCsv(file, &error), qPrintable(error));
    QFile csv(file);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(csv.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines.at(1).contains(',' + exported + ','), qPrintable(lines.at(1)));
    QVERIFY2(lines.at(1).contains(",-3,"), qPrintable(lines.at(1))); // the old value, a number
    db.stop();
}

QTEST_MAIN(tst_ChangeLogExport)
#include "tst_changelogexport.moc"
