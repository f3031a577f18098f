#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The folders whose texts the program shows; the command-line tools speak
// English only.
const char *const sourceFolders[] = {"app", "libs", "plugins"};

// %1 .. %99, %L1, %n and %Ln, counted, so that a doubled or dropped one shows.
QStringList placeholders(const QString &text)
{
    static const QRegularExpression rx(QStringLiteral("%L?(?:[1-9][0-9]?|n)"));
    QStringList found;
    auto it = rx.globalMatch(text);
    while (it.hasNext())
        found << it.next().captured();
    found.sort();
    return found;
}

QString describe(const QDomElement &message)
{
    return message.parentNode().firstChildElement(QStringLiteral("name")).text() + QStringLiteral(": \"")
        + message.firstChildElement(QStringLiteral("source")).text() + QLatin1Char('"');
}

} // namespace

class tst_Translation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void placeholderCheck_data();
    void placeholderCheck();
    void complete_data();
    void complete();

private:
    QTemporaryDir m_dir;
};

void tst_Translation::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void tst_Translation::placeholderCheck_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("translation");
    QTest::addColumn<bool>("same");
    QTest::newRow("reordered") << "%1 of %2" << "%2 из %1" << true;
    QTest::newRow("lost") << "%1 of %2" << "%1 из" << false;
    QTest::newRow("changed") << "%1 rows" << "%2 строк" << false;
    QTest::newRow("localised number") << "%L1 ms" << "%1 мс" << false;
    QTest::newRow("count") << "%n row(s)" << "%n строка" << true;
    QTest::newRow("doubled") << "%1" << "%1 %1" << false;
    QTest::newRow("percent sign") << "100 %" << "100 %" << true;
}

void tst_Translation::placeholderCheck()
{
    QFETCH(QString, source);
    QFETCH(QString, translation);
    QFETCH(bool, same);
    QCOMPARE(placeholders(source) == placeholders(translation), same);
}

void tst_Translation::complete_data()
{
    QTest::addColumn<QString>("tsFile");
    const QDir dir(QStringLiteral(KORVANE_SOURCE_DIR "/share/appcore/translations"));
    const QStringList files = dir.entryList({QStringLiteral("*.ts")}, QDir::Files);
    QVERIFY2(!files.isEmpty(), "no translation sources");
    for (const QString &file : files)
        QTest::newRow(qPrintable(file)) << dir.filePath(file);
}

// lupdate merges the shipped translation with the texts of today's sources
// in a copy: a new or changed text comes out unfinished, a removed one is
// dropped.
void tst_Translation::complete()
{
    QFETCH(QString, tsFile);
    const QString copy = m_dir.filePath(QFileInfo(tsFile).fileName());
    QFile::remove(copy);
    QVERIFY(QFile::copy(tsFile, copy));
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);

    QProcess lupdate;
    lupdate.setWorkingDirectory(QStringLiteral(KORVANE_SOURCE_DIR));
    lupdate.setProcessChannelMode(QProcess::MergedChannels);
    QStringList arguments{QStringLiteral("-no-obsolete"), QStringLiteral("-locations"), QStringLiteral("none")};
    for (const char *folder : sourceFolders)
        arguments << QLatin1String(folder);
    arguments << QStringLiteral("-ts") << copy;
    lupdate.start(QStringLiteral(KORVANE_LUPDATE), arguments);
    QVERIFY2(lupdate.waitForFinished(120000), "lupdate did not finish");
    const QByteArray log = lupdate.readAll();
    QVERIFY2(lupdate.exitStatus() == QProcess::NormalExit && lupdate.exitCode() == 0, log.constData());

    QFile file(copy);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QDomDocument document;
    QString error;
    QVERIFY2(document.setContent(&file, &error), qPrintable(error));

    QStringList untranslated;
    QStringList broken;
    const QDomNodeList messages = document.elementsByTagName(QStringLiteral("message"));
    for (int i = 0; i < messages.size(); ++i) {
        const QDomElement message = messages.at(i).toElement();
        const QString source = message.firstChildElement(QStringLiteral("source")).text();
        const QDomElement translation = message.firstChildElement(QStringLiteral("translation"));
        QStringList forms;
        if (message.attribute(QStringLiteral("numerus")) == QLatin1String("yes")) {
            for (QDomElement f = translation.firstChildElement(QStringLiteral("numerusform")); !f.isNull();
                 f = f.nextSiblingElement(QStringLiteral("numerusform")))
                forms << f.text();
        } else {
            forms << translation.text();
        }
        if (translation.hasAttribute(QStringLiteral("type")) || forms.contains(QString()))
            untranslated << describe(message);
        for (const QString &form : qAsConst(forms)) {
            if (!form.isEmpty() && placeholders(form) != placeholders(source))
                broken << describe(message) + QStringLiteral(" -> \"") + form + QLatin1Char('"');
        }
    }
    QVERIFY2(messages.size() > 0, log.constData());
    QVERIFY2(untranslated.isEmpty(),
             qPrintable(QStringLiteral("%1 text(s) without a finished translation (run lupdate, then translate):\n  %2")
                            .arg(untranslated.size())
                            .arg(untranslated.join(QStringLiteral("\n  ")))));
    QVERIFY2(broken.isEmpty(),
             qPrintable(QStringLiteral("placeholders lost or changed:\n  ") + broken.join(QStringLiteral("\n  "))));
}

QTEST_GUILESS_MAIN(tst_Translation)
#include "tst_translation.moc"
