#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

// The real program, started offscreen from the build tree with a private
// data folder, runtime folder and home: the tag base plug-in loads with its
// dependencies and places the demo register map.
class tst_PointbookProgram : public QObject
{
    Q_OBJECT

private slots:
    void loadsWithoutErrors();

private:
    QTemporaryDir m_dir;
};

void tst_PointbookProgram::loadsWithoutErrors()
{
    QVERIFY(m_dir.isValid());
    for (const char *sub : {"data", "home", "runtime", "xdg"})
        QVERIFY(QDir(m_dir.path()).mkpath(QLatin1String(sub)));
    QFile::setPermissions(m_dir.filePath("runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("ProgramData", m_dir.filePath("data"));
    env.insert("HOME", m_dir.filePath("home"));
    env.insert("XDG_RUNTIME_DIR", m_dir.filePath("runtime"));
    env.insert("XDG_DATA_HOME", m_dir.filePath("xdg"));
    env.insert("XDG_CONFIG_HOME", m_dir.filePath("xdg"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(KORVANE_BUILD_DIR "/bin/Korvane_Config"),
                  {"-test-quit-after", "2000"});
    QVERIFY2(process.waitForStarted(10000), qPrintable(process.errorString()));
    const bool finished = process.waitForFinished(90000);
    if (!finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    QString log = QString::fromLocal8Bit(process.readAll());
    QVERIFY2(finished, qPrintable(log));
    QDirIterator files(m_dir.filePath("data"), QDir::Files, QDirIterator::Subdirectories);
    QString demoMap;
    while (files.hasNext()) {
        const QString path = files.next();
        if (path.endsWith("/configmodules/pointbook/base_v1.00.xml"))
            demoMap = path;
        if (path.endsWith(".db") || path.endsWith(".ini") || path.endsWith(".xml"))
            continue;
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            log += QString::fromUtf8(file.readAll());
    }
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY2(process.exitCode() == 0, qPrintable(log));

    const QRegularExpressionMatch match =
        QRegularExpression("plug-ins loaded: (.*)").match(log);
    QVERIFY2(match.hasMatch(), qPrintable(log));
    const QStringList plugins = match.captured(1).trimmed().split(", ");
    for (const char *name : {"Core", "Popnote", "Fieldlink", "Pointbook"})
        QVERIFY2(plugins.contains(QLatin1String(name) + QLatin1String(" 5.48.00")),
                 qPrintable(match.captured(1)));
    // The plug-in manager reports every failed plug-in in one such line.
    QVERIFY2(!QRegularExpression("Plug-in \\w+ \\(").match(log).hasMatch(), qPrintable(log));

    QVERIFY2(!demoMap.isEmpty(), "The demo register map was not placed.");
    QFile shipped(QStringLiteral(KORVANE_SOURCE_DIR "/share/appcore/demo/pointbook/base_v1.00.xml"));
    QFile placed(demoMap);
    QVERIFY(shipped.open(QIODevice::ReadOnly) && placed.open(QIODevice::ReadOnly));
    QCOMPARE(placed.readAll(), shipped.readAll());
}

QTEST_MAIN(tst_PointbookProgram)
#include "tst_pointbookprogram.moc"
