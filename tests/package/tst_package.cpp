// The Debian package as a user gets it: built by CPack from this build
// tree, unpacked with dpkg-deb into a folder of its own, and its programs
// started from there, with the dynamic loader's trace showing that nothing
// comes from the build or source tree.
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class tst_Package : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void contents_data();
    void contents();
    void pollerRunsFromPackage();
    void programRunsFromPackage();

private:
    // Exit code, or -1 when it did not end in time; output and log in *log.
    int run(const QString &program, const QStringList &arguments, QString *log);
    QString treeReferences(const QString &text) const;

    QTemporaryDir m_dir;
    QString m_root;
};

void tst_Package::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("dpkg-deb")).isEmpty())
        QSKIP("dpkg-deb is not installed: the package cannot be built or unpacked here.");
    QVERIFY(m_dir.isValid());

    QProcess cpack;
    cpack.setWorkingDirectory(QStringLiteral(KORVANE_BUILD_DIR));
    cpack.setProcessChannelMode(QProcess::MergedChannels);
    cpack.start(QStringLiteral(KORVANE_CPACK), {"-G", "DEB", "-B", m_dir.filePath("out")});
    QVERIFY2(cpack.waitForFinished(600000), "cpack did not finish");
    const QString cpackLog = QString::fromLocal8Bit(cpack.readAll());
    QVERIFY2(cpack.exitStatus() == QProcess::NormalExit && cpack.exitCode() == 0, qPrintable(cpackLog));

    const QStringList debs = QDir(m_dir.filePath("out")).entryList({"*.deb"}, QDir::Files);
    QCOMPARE(debs.size(), 1);
    QVERIFY2(QRegularExpression(QStringLiteral("^korvane-config_%1_[a-z0-9]+\\.deb$")
                                    .arg(QRegularExpression::escape(KORVANE_PACKAGE_VERSION)))
                 .match(debs.first())
                 .hasMatch(),
             qPrintable(debs.first()));

    m_root = m_dir.filePath("root");
    QProcess unpack;
    unpack.setProcessChannelMode(QProcess::MergedChannels);
    unpack.start(QStringLiteral("dpkg-deb"), {"-x", m_dir.filePath("out/" + debs.first()), m_root});
    QVERIFY(unpack.waitForFinished(120000));
    QVERIFY2(unpack.exitCode() == 0, unpack.readAll().constData());
}

void tst_Package::contents_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("executable");
    for (const char *program : {"korvane-config", "korvane-poll", "korvane-devicesim"}) {
        QTest::newRow(program) << QStringLiteral("usr/bin/%1").arg(QLatin1String(program)) << true;
        QTest::newRow(qPrintable(QStringLiteral("%1.1").arg(QLatin1String(program))))
            << QStringLiteral("usr/share/man/man1/%1.1.gz").arg(QLatin1String(program)) << false;
    }
    QTest::newRow("desktop entry") << "usr/share/applications/korvane-config.desktop" << false;
    QTest::newRow("metainfo") << "usr/share/metainfo/example.tavrel.korvane_config.metainfo.xml" << false;
    QTest::newRow("svg icon") << "usr/share/icons/hicolor/scalable/apps/korvane-config.svg" << false;
    QTest::newRow("small icon") << "usr/share/icons/hicolor/16x16/apps/korvane-config.png" << false;
    QTest::newRow("large icon") << "usr/share/icons/hicolor/256x256/apps/korvane-config.png" << false;
    QTest::newRow("copyright") << "usr/share/doc/korvane-config/copyright" << false;
    QTest::newRow("changelog") << "usr/share/doc/korvane-config/changelog.gz" << false;
    QTest::newRow("demo map") << "usr/lib/korvane-config/share/appcore/demo/pointbook/base_v1.00.xml" << false;
    QTest::newRow("Russian translation") << "usr/lib/korvane-config/share/appcore/translations/appcore_ru_RU.qm"
                                         << false;
}

void tst_Package::contents()
{
    QFETCH(QString, path);
    QFETCH(bool, executable);
    // Links are followed: a dangling one fails here.
    const QFileInfo file(QDir(m_root).filePath(path));
    QVERIFY2(file.exists() && file.size() > 0, qPrintable(path));
    QCOMPARE(file.isExecutable(), executable);
    if (file.isSymLink())
        QVERIFY2(!QFileInfo(file.symLinkTarget()).isAbsolute() || file.symLinkTarget().startsWith(m_root),
                 qPrintable(file.symLinkTarget()));
}

QString tst_Package::treeReferences(const QString &text) const
{
    QStringList found;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        if (line.contains(QLatin1String(KORVANE_BUILD_DIR)) || line.contains(QLatin1String(KORVANE_SOURCE_DIR)))
            found << line.trimmed();
    }
    found.removeDuplicates();
    return found.mid(0, 20).join(QLatin1Char('\n'));
}

int tst_Package::run(const QString &program, const QStringList &arguments, QString *log)
{
    const QString home = m_dir.filePath("home");
    for (const char *sub : {"data", "home", "runtime", "xdg"})
        QDir(m_dir.path()).mkpath(QLatin1String(sub));
    QFile::setPermissions(m_dir.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("ProgramData", m_dir.filePath("data"));
    env.insert("HOME", home);
    env.insert("XDG_RUNTIME_DIR", m_dir.filePath("runtime"));
    env.insert("XDG_DATA_HOME", m_dir.filePath("xdg"));
    env.insert("XDG_CONFIG_HOME", m_dir.filePath("xdg"));
    env.remove("LD_LIBRARY_PATH");
    env.remove("QT_PLUGIN_PATH");
    // Every library the loader looks for and where it found it.
    env.insert("LD_DEBUG", "libs");
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(m_dir.path());
    process.start(program, arguments);
    if (!process.waitForStarted(10000)) {
        *log = process.errorString();
        return -1;
    }
    const bool finished = process.waitForFinished(180000);
    if (!finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    *log = QString::fromLocal8Bit(process.readAll());
    QDirIterator files(m_dir.filePath("data"), {"*.log"}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (file.open(QIODevice::ReadOnly))
            *log += QString::fromUtf8(file.readAll());
    }
    if (!finished || process.exitStatus() != QProcess::NormalExit)
        return -1;
    return process.exitCode();
}

void tst_Package::pollerRunsFromPackage()
{
    QString log;
    const int code = run(QDir(m_root).filePath("usr/bin/korvane-poll"), {"--help"}, &log);
    QVERIFY2(code == 0, qPrintable(log.right(4000)));
    QVERIFY2(log.contains(QLatin1String("Usage: korvane-poll")), qPrintable(log.right(4000)));
    QVERIFY2(log.contains(QLatin1String("find library=")), "no trace of the dynamic loader");
    const QString references = treeReferences(log);
    QVERIFY2(references.isEmpty(), qPrintable(references));
}

void tst_Package::programRunsFromPackage()
{
    QString log;
    const int code = run(QDir(m_root).filePath("usr/bin/korvane-config"), {"-demo", "-test-quit-after", "4000"}, &log);
    QVERIFY2(code == 0, qPrintable(log.right(4000)));
    QVERIFY2(log.contains(QLatin1String("find library=")), "no trace of the dynamic loader");
    const QString references = treeReferences(log);
    QVERIFY2(references.isEmpty(), qPrintable(references));

    // Every plug-in of the package was loaded from it, none failed.
    const QRegularExpressionMatch match = QRegularExpression("plug-ins loaded: (.*)").match(log);
    QVERIFY2(match.hasMatch(), qPrintable(log.right(4000)));
    const QStringList loaded = match.captured(1).trimmed().split(QStringLiteral(", "));
    const QStringList libraries = QDir(QDir(m_root).filePath("usr/lib/korvane-config/lib/appcore/plugins"))
                                      .entryList({"lib*.so"}, QDir::Files);
    QVERIFY(libraries.contains(QLatin1String("libCore.so")));
    for (QString name : libraries) {
        name = name.mid(3, name.size() - 6);
        QVERIFY2(loaded.contains(name + QLatin1String(" " KORVANE_PACKAGE_VERSION)), qPrintable(match.captured(1)));
    }
    QVERIFY2(!QRegularExpression("Plug-in \\w+ \\(").match(log).hasMatch(), qPrintable(log.right(4000)));

    // The shipped demo files came from the unpacked tree.
    bool placed = false;
    QDirIterator files(m_dir.filePath("data"), {"base_v1.00.xml"}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext())
        placed |= files.next().endsWith(QLatin1String("/configmodules/pointbook/base_v1.00.xml"));
    QVERIFY(placed);
}

QTEST_GUILESS_MAIN(tst_Package)
#include "tst_package.moc"
