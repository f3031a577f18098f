#include <core/shippedfiles.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using Core::ShippedFiles;

class tst_ShippedFiles : public QObject
{
    Q_OBJECT

private slots:
    void installIntoEmptyFolder_data();
    void installIntoEmptyFolder();
    void installNeverOverwrites_data();
    void installNeverOverwrites();
    void installWithoutSource();
    void installReportsFailure();

private:
    static void writeFile(const QString &path, const QByteArray &content);
    static QByteArray readFile(const QString &path);
};

void tst_ShippedFiles::writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray tst_ShippedFiles::readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void tst_ShippedFiles::installIntoEmptyFolder_data()
{
    QTest::addColumn<bool>("targetExists");
    QTest::newRow("folder missing") << false;
    QTest::newRow("folder empty") << true;
}

void tst_ShippedFiles::installIntoEmptyFolder()
{
    QFETCH(bool, targetExists);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString source = dir.filePath("shipped");
    const QString target = dir.filePath("user/configmodules/clearance");
    QVERIFY(QDir().mkpath(source));
    writeFile(source + "/clearance.xml", "<levels/>");
    writeFile(source + "/user_v1.00.xml", "<base version=\"1.00\"/>");
    if (targetExists) {
        QVERIFY(QDir().mkpath(target));
        QVERIFY(QDir().mkpath(target + "/empty-subfolder")); // folders are not files
    }

    QString error;
    QCOMPARE(ShippedFiles::install(source, target, &error), 2);
    QVERIFY(error.isEmpty());
    QCOMPARE(readFile(target + "/clearance.xml"), QByteArray("<levels/>"));
    QCOMPARE(readFile(target + "/user_v1.00.xml"), QByteArray("<base version=\"1.00\"/>"));
    QVERIFY(QFileInfo(target + "/clearance.xml").isWritable());

    // A second start finds files and copies nothing.
    QCOMPARE(ShippedFiles::install(source, target), 0);
}

void tst_ShippedFiles::installNeverOverwrites_data()
{
    QTest::addColumn<QStringList>("existing");  // files in the target before
    QTest::addColumn<bool>("targetExists");
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("after");
    QTest::newRow("missing folder is made") << QStringList() << false << 2
                                            << QStringList({"base_v1.00.xml", "base_v1.01.xml"});
    QTest::newRow("empty folder") << QStringList() << true << 2
                                  << QStringList({"base_v1.00.xml", "base_v1.01.xml"});
    QTest::newRow("user's file of the same name") << QStringList({"base_v1.00.xml"}) << true << 0
                                                  << QStringList({"base_v1.00.xml"});
    QTest::newRow("any other file") << QStringList({"notes.txt"}) << true << 0
                                    << QStringList({"notes.txt"});
    QTest::newRow("hidden file") << QStringList({".keep"}) << true << 0 << QStringList({".keep"});
}

void tst_ShippedFiles::installNeverOverwrites()
{
    QFETCH(QStringList, existing);
    QFETCH(bool, targetExists);
    QFETCH(int, result);
    QFETCH(QStringList, after);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString source = dir.filePath("source");
    const QString target = dir.filePath("target/pointbook");
    QVERIFY(QDir().mkpath(source));
    for (const char *name : {"base_v1.00.xml", "base_v1.01.xml"})
        writeFile(source + "/" + QLatin1String(name), "shipped");
    if (targetExists)
        QVERIFY(QDir().mkpath(target));
    for (const QString &name : existing)
        writeFile(target + "/" + name, "mine");

    QString error;
    QCOMPARE(ShippedFiles::install(source, target, &error), result);
    QVERIFY(error.isEmpty());
    QCOMPARE(QDir(target).entryList(QDir::Files | QDir::Hidden, QDir::Name), after);
    for (const QString &name : existing)
        QCOMPARE(readFile(target + "/" + name), QByteArray("mine"));
}

void tst_ShippedFiles::installWithoutSource()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString target = dir.filePath("clearance");
    QCOMPARE(ShippedFiles::install(dir.filePath("absent"), target), 0);
    QCOMPARE(ShippedFiles::install(QString(), target), 0);
    QVERIFY(!QFileInfo::exists(target));

    // No target folder: nothing is written anywhere.
    const QString source = dir.filePath("shipped");
    QVERIFY(QDir().mkpath(source));
    writeFile(source + "/clearance.xml", "<levels/>");
    QCOMPARE(ShippedFiles::install(source, QString()), 0);
}

void tst_ShippedFiles::installReportsFailure()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString source = dir.filePath("shipped");
    QVERIFY(QDir().mkpath(source));
    writeFile(source + "/clearance.xml", "<levels/>");
    // The target's parent is a file: the folder cannot be made.
    writeFile(dir.filePath("blocker"), "x");
    QString error;
    QCOMPARE(ShippedFiles::install(source, dir.filePath("blocker/clearance"), &error), -1);
    QVERIFY(error.contains("blocker"));
}

QTEST_GUILESS_MAIN(tst_ShippedFiles)

#include "tst_shippedfiles.moc"
