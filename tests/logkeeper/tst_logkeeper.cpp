#include <logkeeper/logkeeper.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <cstdio>
#include <unistd.h>

Q_LOGGING_CATEGORY(testLog, "test.logkeeper")

namespace {

QStringList readLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Sends everything written to stderr into a file while it lives.
class StderrCapture
{
public:
    StderrCapture()
    {
        std::fflush(stderr);
        m_saved = ::dup(2);
        m_file.open();
        ::dup2(m_file.handle(), 2);
    }
    ~StderrCapture() { restore(); }
    QString text()
    {
        restore();
        m_file.seek(0);
        return QString::fromUtf8(m_file.readAll());
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        ::dup2(m_saved, 2);
        ::close(m_saved);
        m_saved = -1;
    }
    QTemporaryFile m_file;
    int m_saved = -1;
};

} // namespace

class tst_Logkeeper : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void lineFormat_data();
    void lineFormat();
    void settings_data();
    void settings();
    void sizeIsBounded();
    void oldFilesArePruned();
    void unwritableFolderFallsBackWithOneWarning();
    void manyThreads();
    void afterDestructionOnlyStderr();
};

void tst_Logkeeper::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("LogTest"));
    Logkeeper::InitQDebugController();
}

void tst_Logkeeper::lineFormat_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("expected");
    QTest::newRow("debug") << 0 << "Debug \\[test.logkeeper\\] text 1$";
    QTest::newRow("info") << 1 << "Info \\[test.logkeeper\\] text 1$";
    QTest::newRow("warning") << 2 << "Warning \\[test.logkeeper\\] text 1$";
    QTest::newRow("critical") << 3 << "Critical \\[test.logkeeper\\] text 1$";
    QTest::newRow("default category") << 4 << "Warning \\[default\\] text 1$";
}

void tst_Logkeeper::lineFormat()
{
    QFETCH(int, kind);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    StderrCapture err;
    {
        Logkeeper::Logkeeper keeper;
        keeper.setLogPath(dir.filePath(QStringLiteral("logs")));
        QCOMPARE(keeper.currentLogFile(),
                 dir.filePath(QStringLiteral("logs/LogTest_%1.log")
                                  .arg(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")))));
        switch (kind) {
        case 0: qCDebug(testLog, "text %d", 1); break;
        case 1: qCInfo(testLog, "text %d", 1); break;
        case 2: qCWarning(testLog, "text %d", 1); break;
        case 3: qCCritical(testLog, "text %d", 1); break;
        default: qWarning("text %d", 1); break;
        }
        const QStringList lines = readLines(keeper.currentLogFile());
        QCOMPARE(lines.size(), 1);
        const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3} "));
        QVERIFY2(stamp.match(lines.first()).hasMatch(), qPrintable(lines.first()));
        QVERIFY2(QRegularExpression(expected).match(lines.first()).hasMatch(), qPrintable(lines.first()));
    }
    // Still on stderr as well.
    QVERIFY(QRegularExpression(expected, QRegularExpression::MultilineOption).match(err.text()).hasMatch());
}

void tst_Logkeeper::settings_data()
{
    QTest::addColumn<QVariant>("size");
    QTest::addColumn<QVariant>("days");
    QTest::addColumn<qint64>("expectedBytes");
    QTest::addColumn<int>("expectedDays");

    const qint64 defBytes = Logkeeper::Logkeeper::defaultMaxFileSizeKiB * 1024;
    const int defDays = Logkeeper::Logkeeper::defaultKeepDays;
    QTest::newRow("missing") << QVariant() << QVariant() << defBytes << defDays;
    QTest::newRow("valid") << QVariant(64) << QVariant(3) << qint64(64 * 1024) << 3;
    QTest::newRow("text numbers") << QVariant(" 32 ") << QVariant("7") << qint64(32 * 1024) << 7;
    QTest::newRow("zero") << QVariant(0) << QVariant(0) << defBytes << defDays;
    QTest::newRow("negative") << QVariant(-5) << QVariant(-1) << defBytes << defDays;
    QTest::newRow("garbage") << QVariant("big") << QVariant("1e3") << defBytes << defDays;
    QTest::newRow("too large") << QVariant("99999999999999999999") << QVariant(100000) << defBytes << defDays;
}

void tst_Logkeeper::settings()
{
    QFETCH(QVariant, size);
    QFETCH(QVariant, days);
    QFETCH(qint64, expectedBytes);
    QFETCH(int, expectedDays);
    QTemporaryDir dir;
    QSettings store(dir.filePath(QStringLiteral("s.ini")), QSettings::IniFormat);
    if (size.isValid())
        store.setValue(QLatin1String(Logkeeper::Logkeeper::maxFileSizeKey), size);
    if (days.isValid())
        store.setValue(QLatin1String(Logkeeper::Logkeeper::keepDaysKey), days);
    Logkeeper::Logkeeper keeper;
    keeper.setSettings(&store);
    QCOMPARE(keeper.maxFileSize(), expectedBytes);
    QCOMPARE(keeper.keepDays(), expectedDays);
}

void tst_Logkeeper::sizeIsBounded()
{
    QTemporaryDir dir;
    QSettings store(dir.filePath(QStringLiteral("s.ini")), QSettings::IniFormat);
    store.setValue(QLatin1String(Logkeeper::Logkeeper::maxFileSizeKey), 16);
    StderrCapture err;
    Logkeeper::Logkeeper keeper;
    keeper.setLogPath(dir.filePath(QStringLiteral("logs")));
    keeper.setSettings(&store);
    const QString filler(200, QLatin1Char('x'));
    for (int i = 0; i < 1000; ++i)
        qCInfo(testLog).noquote() << i << filler;

    const QFileInfoList files = QDir(dir.filePath(QStringLiteral("logs"))).entryInfoList(QDir::Files);
    QCOMPARE(files.size(), 2);
    for (const QFileInfo &f : files)
        QVERIFY2(f.size() <= 16 * 1024, qPrintable(f.fileName()));
    // The newest lines are in the current file.
    QVERIFY(readLines(keeper.currentLogFile()).last().contains(QLatin1String("] 999 x")));
}

void tst_Logkeeper::oldFilesArePruned()
{
    QTemporaryDir dir;
    const QDate today = QDate::currentDate();
    auto name = [](const QString &prefix, const QDate &d, const char *suffix) {
        return prefix + QLatin1Char('_') + d.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1String(suffix);
    };
    const QStringList old{name(QStringLiteral("LogTest"), today.addDays(-3), ".log"),
                          name(QStringLiteral("LogTest"), today.addDays(-40), ".1.log")};
    const QStringList kept{name(QStringLiteral("LogTest"), today.addDays(-2), ".log"),
                           name(QStringLiteral("Other"), today.addDays(-40), ".log"),
                           name(QStringLiteral("LogTest"), today.addDays(-40), ".txt"),
                           QStringLiteral("LogTest_notadate.log"), QStringLiteral("notes.txt")};
    for (const QString &f : old + kept) {
        QFile file(dir.filePath(f));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QSettings store(dir.filePath(QStringLiteral("s.ini")), QSettings::IniFormat);
    store.setValue(QLatin1String(Logkeeper::Logkeeper::keepDaysKey), 3);
    Logkeeper::Logkeeper keeper;
    keeper.setSettings(&store);
    keeper.setLogPath(dir.path());
    for (const QString &f : old)
        QVERIFY2(!QFile::exists(dir.filePath(f)), qPrintable(f));
    for (const QString &f : kept)
        QVERIFY2(QFile::exists(dir.filePath(f)), qPrintable(f));
}

void tst_Logkeeper::unwritableFolderFallsBackWithOneWarning()
{
    QTemporaryDir dir;
    // A folder below a plain file can never be created, whoever we are.
    QFile blocker(dir.filePath(QStringLiteral("file")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QSettings store(dir.filePath(QStringLiteral("s.ini")), QSettings::IniFormat);

    StderrCapture err;
    {
        Logkeeper::Logkeeper keeper;
        keeper.setLogPath(dir.filePath(QStringLiteral("file/logs")));
        keeper.setSettings(&store);
        QCOMPARE(keeper.currentLogFile(), QString());
        qCWarning(testLog, "first");
        qCWarning(testLog, "second");
    }
    const QString text = err.text();
    QCOMPARE(text.count(QStringLiteral("Logkeeper: cannot create the log folder")), 1);
    QVERIFY(text.contains(QLatin1String("logging to stderr only")));
    QVERIFY(text.contains(QLatin1String("] first")));
    QVERIFY(text.contains(QLatin1String("] second")));
}

void tst_Logkeeper::manyThreads()
{
    QTemporaryDir dir;
    StderrCapture err;
    Logkeeper::Logkeeper keeper;
    keeper.setLogPath(dir.path());
    constexpr int threads = 6;
    constexpr int perThread = 300;
    QVector<QThread *> workers;
    for (int t = 0; t < threads; ++t) {
        workers.append(QThread::create([t]() {
            for (int i = 0; i < perThread; ++i)
                qCInfo(testLog, "thread %d message %d end", t, i);
        }));
        workers.last()->start();
    }
    for (QThread *w : workers) {
        QVERIFY(w->wait(60000));
        delete w;
    }
    const QStringList lines = readLines(keeper.currentLogFile());
    QCOMPARE(lines.size(), threads * perThread);
    const QRegularExpression whole(QStringLiteral("^\\S+ \\S+ Info \\[test.logkeeper\\] thread \\d message \\d+ end$"));
    for (const QString &line : lines)
        QVERIFY2(whole.match(line).hasMatch(), qPrintable(line));
}

void tst_Logkeeper::afterDestructionOnlyStderr()
{
    QTemporaryDir dir;
    QString file;
    {
        Logkeeper::Logkeeper keeper;
        keeper.setLogPath(dir.path());
        file = keeper.currentLogFile();
        qCWarning(testLog, "kept");
    }
    StderrCapture err;
    qCWarning(testLog, "not kept");
    QCOMPARE(readLines(file).size(), 1);
    QVERIFY(err.text().contains(QLatin1String("not kept")));
}

QTEST_GUILESS_MAIN(tst_Logkeeper)
#include "tst_logkeeper.moc"
