#include <clearance/passworddigest.h>

#include <QtTest>

using Clearance::PasswordDigest;

class tst_ClearanceSupport : public QObject
{
    Q_OBJECT

private slots:
    void digestOfPassword();
    void equal_data();
    void equal();
};

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

QTEST_GUILESS_MAIN(tst_ClearanceSupport)

#include "tst_clearancesupport.moc"
