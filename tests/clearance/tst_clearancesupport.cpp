#include <clearance/demoaccessfiles.h>
#include <clearance/passworddigest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using Clearance::DemoAccessFiles;
using Clearance::PasswordDigest;

class tst_ClearanceSupport : public QObject
{
    Q_OBJECT

private slots:
    void digestOfPassword();
    void equal_data();
    void equal();
    void installIntoEmptyFolder_data();
    void installIntoEmptyFolder();
    void installNeverTouchesUserFiles();
    void installWithoutSource();
    void installReportsFailure();

private:
    static void writeFile(const QString &path, const QByteArray &content);
    static QByteArray readFile(const QString &path);
};

void tst_ClearanceSupport::writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray tst_ClearanceSupport::readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void tst_ClearanceSupport::digestOfPassword()
{
    QCOMPARE(PasswordDigest::digest(QString()).toHex(),
             QByteArray("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
    // UTF-8 bytes, not Latin-1 or UTF-16.
    QCOMPARE(PasswordDigest::digest(QString::fromUtf8("é")),
             QCryptographicHash::hash("\xc3\xa9", QCryptographicHash::Sha256));
    QCOMPARE(PasswordDigest::digest("abc").size(), 32);

    QCOMPARE(PasswordDigest::effective(QByteArray()), PasswordDigest::digest(QString()));
    QCOMPARE(PasswordDigest::effective(PasswordDigest::digest("x")), PasswordDigest::digest("x"));
}

void tst_ClearanceSupport::equal_data()
{
    QTest::addColumn<QByteArray>("a");
    QTest::addColumn<QByteArray>("b");
    QTest::addColumn<bool>("expected");

    const QByteArray d = PasswordDigest::digest("secret");
    QByteArray lastDiffers = d;
    lastDiffers[31] = char(lastDiffers.at(31) ^ 0x01);
    QByteArray firstDiffers = d;
    firstDiffers[0] = char(firstDiffers.at(0) ^ 0x80);

    QTest::newRow("same") << d << QByteArray(d) << true;
    QTest::newRow("both empty") << QByteArray() << QByteArray() << true;
    QTest::newRow("last byte differs") << d << lastDiffers << false;
    QTest::newRow("first byte differs") << d << firstDiffers << false;
    QTest::newRow("prefix") << d << d.left(16) << false;
    QTest::newRow("longer") << d << d + char(0) << false;
    QTest::newRow("empty vs digest") << QByteArray() << d << false;
}

void tst_ClearanceSupport::equal()
{
    QFETCH(QByteArray, a);
    QFETCH(QByteArray, b);
    QFETCH(bool, expected);
    QCOMPARE(PasswordDigest::equal(a, b), expected);
    QCOMPARE(PasswordDigest::equal(b, a), expected);
}

void tst_ClearanceSupport::installIntoEmptyFolder_data()
{
    QTest::addColumn<bool>("targetExists");
    QTest::newRow("folder missing") << false;
    QTest::newRow("folder empty") << true;
}

void tst_ClearanceSupport::installIntoEmptyFolder()
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
    QCOMPARE(DemoAccessFiles::install(source, target, &error), 2);
    QVERIFY(error.isEmpty());
    QCOMPARE(readFile(target + "/clearance.xml"), QByteArray("<levels/>"));
    QCOMPARE(readFile(target + "/user_v1.00.xml"), QByteArray("<base version=\"1.00\"/>"));
    QVERIFY(QFileInfo(target + "/clearance.xml").isWritable());

    // A second start finds files and copies nothing.
    QCOMPARE(DemoAccessFiles::install(source, target), 0);
}

void tst_ClearanceSupport::installNeverTouchesUserFiles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString source = dir.filePath("shipped");
    const QString target = dir.filePath("clearance");
    QVERIFY(QDir().mkpath(source));
    QVERIFY(QDir().mkpath(target));
    writeFile(source + "/clearance.xml", "<shipped/>");
    writeFile(source + "/admin_v1.00.xml", "<shipped/>");
    writeFile(target + "/clearance.xml", "<mine/>");

    QCOMPARE(DemoAccessFiles::install(source, target), 0);
    QCOMPARE(readFile(target + "/clearance.xml"), QByteArray("<mine/>"));
    QVERIFY(!QFile::exists(target + "/admin_v1.00.xml"));
}

void tst_ClearanceSupport::installWithoutSource()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString target = dir.filePath("clearance");
    QCOMPARE(DemoAccessFiles::install(dir.filePath("absent"), target), 0);
    QCOMPARE(DemoAccessFiles::install(QString(), target), 0);
    QVERIFY(!QFileInfo::exists(target));
}

void tst_ClearanceSupport::installReportsFailure()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString source = dir.filePath("shipped");
    QVERIFY(QDir().mkpath(source));
    writeFile(source + "/clearance.xml", "<levels/>");
    // The target's parent is a file: the folder cannot be made.
    writeFile(dir.filePath("blocker"), "x");
    QString error;
    QCOMPARE(DemoAccessFiles::install(source, dir.filePath("blocker/clearance"), &error), -1);
    QVERIFY(error.contains("blocker"));
}

QTEST_GUILESS_MAIN(tst_ClearanceSupport)

#include "tst_clearancesupport.moc"
