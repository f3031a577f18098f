#include "qcustomsplashscreen.h"
#include "startup.h"
#include "startupwarmup.h"

#include <extensionsystem/pluginmanager.h>
#include <extensionsystem/pluginspec.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTranslator>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <dlfcn.h>
#endif

namespace {

const QString fixtureDir = QStringLiteral(KORVANE_FIXTURE_DIR);

// Places copies of the sample translation under the given names, each
// "folder/file" relative to `root`.
bool placeTranslations(const QString &root, const QStringList &files)
{
    for (const QString &f : files) {
        const QString target = QDir(root).filePath(f);
        QDir().mkpath(QFileInfo(target).absolutePath());
        if (!QFile::copy(QStringLiteral(SAMPLE_QM), target))
            return false;
    }
    return true;
}

} // namespace

class tst_Startup : public QObject
{
    Q_OBJECT

private slots:
    void dataRoot_data();
    void dataRoot();
    void logFolderUsesNativeSeparators();
    void pluginPaths();
    void loggerFilterRules_data();
    void loggerFilterRules();
    void settingsFolderCreatedBeforeAnyWrite();
    void selectTranslations_data();
    void selectTranslations();
    void coreChecks_data();
    void coreChecks();
    void coreTextsAreTranslatable();
    void failureBox();
    void splashPicture();
    void splashWidgets();
    void warmupOpensOnlyPluginsThatLoad();
};

void tst_Startup::dataRoot_data()
{
    QTest::addColumn<QString>("programData");
    QTest::addColumn<QString>("expected");
    QTest::newRow("set") << "/srv/pd" << "/srv/pd";
    QTest::newRow("unset or empty") << "" << "/home/u/.local/share";
}

void tst_Startup::dataRoot()
{
    QFETCH(QString, programData);
    QFETCH(QString, expected);
    QCOMPARE(Startup::dataRoot(programData, QStringLiteral("/home/u/.local/share")), expected);
}

void tst_Startup::logFolderUsesNativeSeparators()
{
    QCOMPARE(Startup::logFolder(QStringLiteral("/srv/pd")),
             QDir::toNativeSeparators(QStringLiteral("/srv/pd/TavrelKorvane_ConfigData")));
    QVERIFY(!Startup::logFolder(QStringLiteral("/srv/pd")).contains(QLatin1Char('\\')) || QDir::separator() == QLatin1Char('\\'));
}

void tst_Startup::pluginPaths()
{
    QCOMPARE(Startup::pluginPaths(QStringLiteral("/opt/k/bin"), QStringLiteral("/home/u/.local/share")),
             (QStringList{"/opt/k/lib/appcore/plugins", "/home/u/.local/share/Tavrel/appcore/plugins/5.48.00"}));
}

void tst_Startup::loggerFilterRules_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("expected");
    const QString defaults = QStringLiteral("qtc.*.debug=false\nqtc.*.info=false");
    QTest::newRow("missing") << QVariant() << defaults;
    QTest::newRow("empty") << QVariant(QString()) << defaults;
    QTest::newRow("stored replaces") << QVariant("app.*=true") << "app.*=true";
    QTest::newRow("stored, several lines") << QVariant("a.debug=false\nb.info=true") << "a.debug=false\nb.info=true";
}

void tst_Startup::loggerFilterRules()
{
    QFETCH(QVariant, stored);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("user.ini"));
    {
        QSettings writer(file, QSettings::IniFormat);
        if (stored.isValid())
            writer.setValue(QStringLiteral("General/LoggerFilterRules"), stored);
    }
    const QSettings reader(file, QSettings::IniFormat);
    QCOMPARE(Startup::loggerFilterRules(reader), expected);
}

void tst_Startup::settingsFolderCreatedBeforeAnyWrite()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("a/b/Korvane_Config.ini"));
    const QSettings settings(file, QSettings::IniFormat);
    Startup::ensureSettingsFolder(settings);
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("a/b"))).isDir());
    QVERIFY(!QFile::exists(file));
}

void tst_Startup::selectTranslations_data()
{
    QTest::addColumn<QStringList>("languages");
    QTest::addColumn<QStringList>("files"); // below: app/ app translations, qt1/ qt2/ Qt ones
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("appFile"); // the application translation left loaded

    QTest::newRow("German, then English without files stops at English")
        << QStringList{"de-DE", "en-US", "fr-FR"} << QStringList{"app/appcore_fr_FR.qm", "qt1/qt_fr_FR.qm"}
        << "" << "";
    QTest::newRow("both found") << QStringList{"de-DE"} << QStringList{"app/appcore_de_DE.qm", "qt1/qt_de_DE.qm"}
                                << "de_DE" << "app/appcore_de_DE.qm";
    QTest::newRow("no Qt translation drops the application one")
        << QStringList{"de-DE", "fr-FR"}
        << QStringList{"app/appcore_de_DE.qm", "app/appcore_fr_FR.qm", "qt1/qt_fr_FR.qm"} << "fr_FR"
        << "app/appcore_fr_FR.qm";
    QTest::newRow("no Qt translation and nothing else") << QStringList{"de-DE"} << QStringList{"app/appcore_de_DE.qm"}
                                                        << "" << "";
    QTest::newRow("Qt translation in the application folder")
        << QStringList{"ru-RU"} << QStringList{"app/appcore_ru_RU.qm", "app/qt_ru_RU.qm"} << "ru_RU"
        << "app/appcore_ru_RU.qm";
    QTest::newRow("Qt translation in the last folder")
        << QStringList{"ru-RU"} << QStringList{"app/appcore_ru_RU.qm", "qt2/qt_ru_RU.qm"} << "ru_RU"
        << "app/appcore_ru_RU.qm";
    QTest::newRow("English with its own files is taken")
        << QStringList{"en-GB"} << QStringList{"app/appcore_en_GB.qm", "qt1/qt_en_GB.qm"} << "en_GB"
        << "app/appcore_en_GB.qm";
    QTest::newRow("language without country") << QStringList{"de"} << QStringList{"app/appcore_de_DE.qm", "qt1/qt_de_DE.qm"}
                                              << "de_DE" << "app/appcore_de_DE.qm";
    QTest::newRow("list exhausted") << QStringList{"ru-RU", "pl-PL"} << QStringList() << "" << "";
    QTest::newRow("no languages") << QStringList() << QStringList{"app/appcore_de_DE.qm", "qt1/qt_de_DE.qm"} << ""
                                  << "";
}

void tst_Startup::selectTranslations()
{
    QFETCH(QStringList, languages);
    QFETCH(QStringList, files);
    QFETCH(QString, expected);
    QFETCH(QString, appFile);

    QTemporaryDir dir;
    QVERIFY(placeTranslations(dir.path(), files));
    for (const char *sub : {"app", "qt1", "qt2"})
        QDir(dir.path()).mkpath(QLatin1String(sub));

    QTranslator app;
    QTranslator qt;
    const QString result = Startup::selectTranslations(
        &app, &qt, languages, dir.filePath(QStringLiteral("app")) + QLatin1Char('/'),
        {dir.filePath(QStringLiteral("qt1")) + QLatin1Char('/'), dir.filePath(QStringLiteral("app")) + QLatin1Char('/'),
         dir.filePath(QStringLiteral("qt2"))});
    QCOMPARE(result, expected);
    if (appFile.isEmpty()) {
        QVERIFY(app.isEmpty());
        QVERIFY(result.isEmpty() ? true : !qt.isEmpty());
    } else {
        QVERIFY(!app.isEmpty());
        QVERIFY(!qt.isEmpty());
        QCOMPARE(QFileInfo(app.filePath()).canonicalFilePath(), QFileInfo(dir.filePath(appFile)).canonicalFilePath());
    }
}

void tst_Startup::coreChecks_data()
{
    QTest::addColumn<QString>("folder"); // empty: two empty folders
    QTest::addColumn<bool>("ignoreCore");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");

    QTest::newRow("missing") << "" << false << "Could not find Core plugin in %1" << "";
    QTest::newRow("disabled") << "app-core-plain" << true << "Core plugin is disabled." << "";
    QTest::newRow("error before loading") << "app-core-missing-dep" << false
                                          << "Could not resolve dependency 'Absent(5.48.00)'." << "";
    QTest::newRow("error while loading") << "app-core-refuses" << false << ""
                                         << "Plug-in initialization failed: refused on purpose";
    QTest::newRow("usable") << "app-core-plain" << false << "" << "";
}

void tst_Startup::coreChecks()
{
    QFETCH(QString, folder);
    QFETCH(bool, ignoreCore);
    QFETCH(QString, before);
    QFETCH(QString, after);

    QTemporaryDir dir;
    const QStringList paths = folder.isEmpty()
        ? QStringList{dir.filePath(QStringLiteral("lib/appcore/plugins")), dir.filePath(QStringLiteral("user/5.48.00"))}
        : QStringList{fixtureDir + QLatin1Char('/') + folder, dir.filePath(QStringLiteral("none"))};
    QSettings user(dir.filePath(QStringLiteral("user.ini")), QSettings::IniFormat);
    if (ignoreCore)
        user.setValue(QStringLiteral("Plugins/Ignored"), QStringList{QStringLiteral("Core")});

    ExtensionSystem::PluginManager manager;
    manager.setPluginIID(QLatin1String(Startup::pluginIID));
    manager.setSettings(&user);
    manager.setPluginPaths(paths);
    ExtensionSystem::PluginSpec *core = nullptr;
    if (before.contains(QLatin1String("%1")))
        before = before.arg(QDir::toNativeSeparators(paths.join(QLatin1Char(','))));
    QCOMPARE(Startup::coreProblemBeforeLoad(manager.plugins(), paths, &core), before);
    QCOMPARE(core == nullptr, folder.isEmpty());
    if (!before.isEmpty())
        return;
    manager.loadPlugins();
    QCOMPARE(Startup::coreProblemAfterLoad(core), after);
}

void tst_Startup::coreTextsAreTranslatable()
{
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(SAMPLE_QM)));
    QCoreApplication::installTranslator(&translator);
    QTemporaryDir dir;
    QSettings user(dir.filePath(QStringLiteral("user.ini")), QSettings::IniFormat);
    user.setValue(QStringLiteral("Plugins/Ignored"), QStringList{QStringLiteral("Core")});
    ExtensionSystem::PluginManager manager;
    manager.setPluginIID(QLatin1String(Startup::pluginIID));
    manager.setSettings(&user);
    manager.setPluginPaths({fixtureDir + QStringLiteral("/app-core-plain")});
    ExtensionSystem::PluginSpec *core = nullptr;
    const QString text = Startup::coreProblemBeforeLoad(manager.plugins(), manager.pluginPaths(), &core);
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(text, QStringLiteral("Core-Plugin ist deaktiviert."));
}

void tst_Startup::failureBox()
{
    const std::unique_ptr<QMessageBox> box = Startup::createCoreFailureBox(QStringLiteral("Core plugin is disabled."));
    QCOMPARE(box->parentWidget(), nullptr);
    QCOMPARE(box->windowTitle(), QStringLiteral("Korvane_Config"));
    QCOMPARE(box->text(), QStringLiteral("Failed to load core: Core plugin is disabled."));
    QCOMPARE(box->icon(), QMessageBox::Critical);
    QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box->defaultButton(), nullptr);

    // It is modal and ends when its button is pressed.
    QTimer::singleShot(0, box.get(), [&box]() {
        QVERIFY(box->isModal());
        box->button(QMessageBox::Ok)->click();
    });
    QCOMPARE(box->exec(), int(QMessageBox::Ok));
}

void tst_Startup::splashPicture()
{
    const QImage image(QStringLiteral(":/appcore/icons/SplashScreen.png"));
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), QSize(800, 480));
    QVERIFY(image.hasAlphaChannel());
    // The rounded corners really are transparent.
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QVERIFY(qAlpha(image.pixel(400, 240)) > 200);
}

void tst_Startup::splashWidgets()
{
    QCustomSplashScreen splash(QPixmap(QStringLiteral(":/appcore/icons/SplashScreen.png")));
    Startup::decorateSplash(&splash);

    auto label = [&splash](const char *name) { return splash.findChild<QLabel *>(QLatin1String(name)); };
    QCOMPARE(label("companyLabel")->text(), QStringLiteral("OOO NPP TAVREL"));
    QVERIFY(!label("webLabel")->text().isEmpty());
    QCOMPARE(label("versionLabel")->text(), QStringLiteral("5.48.0"));
    QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d\\d \\d\\d:\\d\\d:\\d\\d$"))
                .match(label("dateLabel")->text())
                .hasMatch());
    for (const char *name : {"companyLabel", "webLabel", "versionLabel", "dateLabel"}) {
        QLabel *l = label(name);
        QCOMPARE(l->font().pixelSize(), 16);
        for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            QCOMPARE(l->palette().color(g, l->foregroundRole()), QColor(124, 252, 0, 255));
            QCOMPARE(l->palette().color(g, l->backgroundRole()), QColor(124, 252, 0, 255));
        }
    }

    auto view = splash.findChild<QTextEdit *>(QStringLiteral("messageView"));
    QCOMPARE(view->font().pixelSize(), 16);
    QCOMPARE(view->palette().color(QPalette::Inactive, QPalette::Base).alpha(), 0);
    splash.appendMessage(QStringLiteral("Loading the main plugin....\n"));
    splash.appendMessage(QStringLiteral("<b>not markup</b>"));
    QCOMPARE(view->toPlainText(), QStringLiteral("Loading the main plugin....\n<b>not markup</b>"));

    auto bar = splash.findChild<QProgressBar *>(QStringLiteral("progressBar"));
    QCOMPARE(bar->value(), 0);
    QCOMPARE(bar->alignment(), Qt::AlignCenter);
    splash.setProgress(50);
    QCOMPARE(bar->value(), 50);
}

void tst_Startup::warmupOpensOnlyPluginsThatLoad()
{
#ifndef Q_OS_UNIX
    QSKIP("The warm-up opens nothing ahead here");
#else
    QTemporaryDir dir;
    QSettings user(dir.filePath(QStringLiteral("user.ini")), QSettings::IniFormat);
    user.setValue(QStringLiteral("Plugins/Ignored"), QStringList{QStringLiteral("FixtureBeta")});
    ExtensionSystem::PluginManager manager;
    manager.setPluginIID(QLatin1String(Startup::pluginIID));
    manager.setSettings(&user);
    manager.setPluginPaths({fixtureDir + QStringLiteral("/extensionsystem")});
    const auto file = [&manager](const char *name) {
        const ExtensionSystem::PluginSpec *spec = manager.pluginByName(QLatin1String(name));
        return spec ? QFile::encodeName(spec->filePath()) : QByteArray();
    };
    const auto isOpen = [](const QByteArray &path) {
        void *handle = dlopen(path.constData(), RTLD_LAZY | RTLD_NOLOAD);
        if (handle)
            dlclose(handle);
        return handle != nullptr;
    };
    // Switched off, needing a switched-off one, lacking a dependency, in a
    // cycle: none of these loads, so none is opened ahead.
    const char *const neverLoaded[] = {"FixtureBeta", "FixtureGamma", "Orphan", "CycleA", "Picky"};
    QVERIFY(!isOpen(file("FixtureAlpha")));
    for (const char *name : neverLoaded)
        QVERIFY2(!isOpen(file(name)), name);

    const QStringList files = Startup::pluginLibraries(manager);
    QVERIFY(files.contains(QFile::decodeName(file("FixtureAlpha"))));
    {
        StartupWarmup warmup;
        warmup.openLibraries(files);
    }
    QVERIFY(isOpen(file("FixtureAlpha")));
    for (const char *name : neverLoaded) {
        QVERIFY2(!file(name).isEmpty(), name);
        QVERIFY2(!isOpen(file(name)), name);
    }
#endif
}

QTEST_MAIN(tst_Startup)
#include "tst_startup.moc"
