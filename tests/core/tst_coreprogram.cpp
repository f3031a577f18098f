#include <core/settingsdatabase.h>

#include <QDirIterator>
#include <QMainWindow>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// The real program, started offscreen from the build tree with a private
// data folder, runtime folder and home.
class tst_CoreProgram : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void startsShowsWindowAndQuits();
    void quitsAtOnceWhenAskedForZero();
    void restoresWindowGeometry();

private:
    QString databaseFile() const
    {
        return m_dir->filePath(QStringLiteral("data/TavrelKorvane_ConfigSettings/Korvane_Config.db"));
    }
    bool run(QString *output, const QString &quitAfterMs = QStringLiteral("1500"));
    QString logText() const;

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_CoreProgram::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    for (const char *sub : {"data", "home", "runtime", "xdg"})
        QVERIFY(QDir(m_dir->path()).mkpath(QLatin1String(sub)));
    QFile::setPermissions(m_dir->filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

bool tst_CoreProgram::run(QString *output, const QString &quitAfterMs)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("ProgramData"), m_dir->filePath("data"));
    env.insert(QStringLiteral("HOME"), m_dir->filePath("home"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir->filePath("runtime"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir->filePath("xdg"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir->filePath("xdg"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(KORVANE_BUILD_DIR "/bin/Korvane_Config"),
                  {QStringLiteral("-test-quit-after"), quitAfterMs});
    if (!process.waitForStarted(10000)) {
        *output = process.errorString();
        return false;
    }
    const bool finished = process.waitForFinished(90000);
    *output = QString::fromLocal8Bit(process.readAll());
    if (!finished) {
        process.kill();
        process.waitForFinished(5000);
        output->append(QStringLiteral("\n[did not quit in time]"));
        return false;
    }
    output->append(QStringLiteral("\n[exit status %1, code %2]").arg(process.exitStatus()).arg(process.exitCode()));
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QString tst_CoreProgram::logText() const
{
    QString text;
    QDirIterator it(m_dir->filePath("data"), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(QLatin1String(".db")) || path.endsWith(QLatin1String(".ini")))
            continue;
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            text += QString::fromUtf8(file.readAll());
    }
    return text;
}

void tst_CoreProgram::startsShowsWindowAndQuits()
{
    QString output;
    QVERIFY2(run(&output), qPrintable(output));

    const QString log = logText() + output;
    const QRegularExpression loaded(QStringLiteral("plug-ins loaded: (.*)"));
    const QRegularExpressionMatch match = loaded.match(log);
    QVERIFY2(match.hasMatch(), qPrintable(log));
    const QStringList plugins = match.captured(1).split(QStringLiteral(", "));
    QVERIFY2(plugins.contains(QStringLiteral("Core 5.48.00")), qPrintable(match.captured(1)));
    QVERIFY2(plugins.contains(QStringLiteral("Popnote 5.48.00")), qPrintable(match.captured(1)));

    // The window was shown and its state saved on the way out.
    Core::SettingsDatabase db(databaseFile());
    QVERIFY(db.isPersistent());
    QVERIFY(!db.value(QStringLiteral("MainWindow/Geometry")).toByteArray().isEmpty());
}

void tst_CoreProgram::quitsAtOnceWhenAskedForZero()
{
    // The request falls due while start-up still processes events by hand,
    // before the event loop runs; it must not be lost.
    QString output;
    QVERIFY2(run(&output, QStringLiteral("0")), qPrintable(output));
}

void tst_CoreProgram::restoresWindowGeometry()
{
    QByteArray stored;
    {
        QMainWindow window;
        window.setGeometry(30, 40, 640, 480);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_COMPARE(window.size(), QSize(640, 480));
        stored = window.saveGeometry();
    }
    {
        QDir().mkpath(QFileInfo(databaseFile()).absolutePath());
        Core::SettingsDatabase db(databaseFile());
        QVERIFY(db.isPersistent());
        db.setValue(QStringLiteral("MainWindow/Geometry"), stored);
    }

    QString output;
    QVERIFY2(run(&output), qPrintable(output));

    Core::SettingsDatabase db(databaseFile());
    const QByteArray saved = db.value(QStringLiteral("MainWindow/Geometry")).toByteArray();
    QVERIFY(!saved.isEmpty());
    QMainWindow check;
    QVERIFY(check.restoreGeometry(saved));
    QCOMPARE(check.size(), QSize(640, 480));
}

QTEST_MAIN(tst_CoreProgram)
#include "tst_coreprogram.moc"
