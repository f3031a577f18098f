// Starts the real program in a throw-away copy of the install tree whose
// plug-in folder holds no usable "Core", and checks the failure it reports,
// the exit code and the folders it prepares. The failure box is modal; the
// test ends it the way a desktop or service manager would, with
// SIGTERM, which the program turns into an orderly end of every event loop.
#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString program = QStringLiteral(KORVANE_PROGRAM);
const QString fixtureDir = QStringLiteral(KORVANE_FIXTURE_DIR);

// bin/Korvane_Config with lib/ beside it, as an install would lay them out.
bool makeTree(const QString &root, const QString &fixtureFolder)
{
    QDir dir(root);
    if (!dir.mkpath(QStringLiteral("bin")) || !dir.mkpath(QStringLiteral("lib/appcore/plugins")))
        return false;
    if (!QFile::copy(program, dir.filePath(QStringLiteral("bin/Korvane_Config"))))
        return false;
    const QDir libs(QFileInfo(program).absolutePath() + QStringLiteral("/../lib"));
    for (const QFileInfo &lib : libs.entryInfoList({QStringLiteral("*.so*")}, QDir::Files)) {
        if (!QFile::link(lib.absoluteFilePath(), dir.filePath(QStringLiteral("lib/") + lib.fileName())))
            return false;
    }
    if (!fixtureFolder.isEmpty()) {
        const QDir source(fixtureDir + QLatin1Char('/') + fixtureFolder);
        for (const QFileInfo &f : source.entryInfoList({QStringLiteral("*.so")}, QDir::Files)) {
            if (!QFile::copy(f.absoluteFilePath(), dir.filePath(QStringLiteral("lib/appcore/plugins/") + f.fileName())))
                return false;
        }
    }
    return true;
}

} // namespace

class tst_Program : public QObject
{
    Q_OBJECT

private slots:
    void coreFailure_data();
    void coreFailure();
};

void tst_Program::coreFailure_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<bool>("programDataSet");
    QTest::addColumn<bool>("ignoreCore");
    QTest::addColumn<QString>("reason"); // %1: plug-in folders, %2: user data folder

    QTest::newRow("no Core") << "" << true << false << "Could not find Core plugin in %1";
    QTest::newRow("no Core, ProgramData unset") << "" << false << false << "Could not find Core plugin in %1";
    QTest::newRow("Core disabled") << "app-core-plain" << true << true << "Core plugin is disabled.";
    QTest::newRow("Core with missing dependency") << "app-core-missing-dep" << true << false
                                                  << "Could not resolve dependency 'Absent(5.48.00)'.";
    QTest::newRow("Core initialisation fails") << "app-core-refuses" << true << false
                                               << "Plug-in initialization failed: refused on purpose";
}

void tst_Program::coreFailure()
{
    QFETCH(QString, fixture);
    QFETCH(bool, programDataSet);
    QFETCH(bool, ignoreCore);
    QFETCH(QString, reason);

    QTemporaryDir tmp;
    const QString root = tmp.filePath(QStringLiteral("tree"));
    QVERIFY(makeTree(root, fixture));
    const QString programData = tmp.filePath(QStringLiteral("pd"));
    const QString xdgData = tmp.filePath(QStringLiteral("xdg"));
    const QString runtime = tmp.filePath(QStringLiteral("run"));
    QVERIFY(QDir().mkpath(runtime));
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString dataRoot = programDataSet ? programData : xdgData;

    if (ignoreCore) {
        QSettings user(dataRoot + QStringLiteral("/TavrelKorvane_ConfigSettings/Korvane_Config.ini"),
                       QSettings::IniFormat);
        user.setValue(QStringLiteral("Plugins/Ignored"), QStringList{QStringLiteral("Core")});
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("ProgramData"));
    if (programDataSet)
        env.insert(QStringLiteral("ProgramData"), programData);
    env.insert(QStringLiteral("XDG_DATA_HOME"), xdgData);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), tmp.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    env.insert(QStringLiteral("LANGUAGE"), QStringLiteral("en"));

    const QString pluginFolders = QDir::toNativeSeparators(
        QDir::cleanPath(root + QStringLiteral("/lib/appcore/plugins")) + QLatin1Char(',') + xdgData
        + QStringLiteral("/Tavrel/appcore/plugins/5.48.00"));
    const QString expected = QStringLiteral("Failed to load core: ") + reason.arg(pluginFolders);

    QProcess process;
    process.setProcessEnvironment(env);
    process.setProgram(root + QStringLiteral("/bin/Korvane_Config"));
    process.start();
    QVERIFY(process.waitForStarted(30000));

    // The text is logged just before the box opens.
    QByteArray err;
    QDeadlineTimer deadline(90000);
    while (!err.contains("Failed to load core: ") && !deadline.hasExpired()
           && process.state() == QProcess::Running) {
        process.setReadChannel(QProcess::StandardError);
        process.waitForReadyRead(200);
        err += process.readAllStandardError();
    }
    QVERIFY2(err.contains("Failed to load core: "), err.constData());
    QCOMPARE(process.state(), QProcess::Running); // the box waits for its OK
    QTest::qWait(200);

    process.terminate();
    QVERIFY(process.waitForFinished(60000));
    err += process.readAllStandardError();
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    QVERIFY2(err.contains("] " + expected.toUtf8() + '\n'), err.constData());

    // Settings folder prepared even though nothing was written; log kept.
    QVERIFY(QFileInfo(dataRoot + QStringLiteral("/TavrelKorvane_ConfigSettings")).isDir());
    const QString log = dataRoot + QStringLiteral("/TavrelKorvane_ConfigData/Korvane_Config_")
                        + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".log");
    QFile logFile(log);
    QVERIFY2(logFile.open(QIODevice::ReadOnly), qPrintable(log));
    QVERIFY(logFile.readAll().contains(expected.toUtf8()));
    if (!programDataSet)
        QVERIFY(!QFileInfo::exists(programData));
}

QTEST_GUILESS_MAIN(tst_Program)
#include "tst_program.moc"
