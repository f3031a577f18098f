#include <extensionsystem/iplugin.h>
#include <extensionsystem/pluginmanager.h>
#include <extensionsystem/pluginspec.h>

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using ExtensionSystem::PluginArgumentDescription;
using ExtensionSystem::PluginManager;
using ExtensionSystem::PluginSpec;

Q_DECLARE_METATYPE(PluginSpec::State)

namespace {

const QString fixtureDir = QStringLiteral(KORVANE_FIXTURE_DIR "/extensionsystem");

QStringList fixtureLog(const QString &prefix = QString())
{
    QStringList result;
    for (const QString &entry : qApp->property("fixtureLog").toStringList()) {
        if (entry.startsWith(prefix))
            result.append(entry);
    }
    return result;
}

} // namespace

class tst_PluginManager : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void instanceFollowsLifetime();
    void takesOnlyOwnInterface();
    void readsGeneratedMetadata();
    void errors_data();
    void errors();
    void dependentsOfFailuresAreNeverConstructed();
    void lifecycleOrder();
    void argumentsFromCommandLine();
    void argumentsFor_data();
    void argumentsFor();
    void provides_data();
    void provides();
    void disabledBySettings();
    void duplicateNameInSecondFolder();
    void remoteArguments();
    void shutdownTwiceIsHarmless();
};

void tst_PluginManager::init()
{
    qApp->setProperty("fixtureLog", QStringList());
}

void tst_PluginManager::instanceFollowsLifetime()
{
    QCOMPARE(PluginManager::instance(), nullptr);
    {
        PluginManager manager;
        QCOMPARE(PluginManager::instance(), &manager);
        QSettings global(QSettings::IniFormat, QSettings::SystemScope, QStringLiteral("t"), QStringLiteral("g"));
        QSettings user(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("t"), QStringLiteral("u"));
        manager.setGlobalSettings(&global);
        manager.setSettings(&user);
        QCOMPARE(manager.globalSettings(), &global);
        QCOMPARE(manager.settings(), &user);
    }
    QCOMPARE(PluginManager::instance(), nullptr);
}

void tst_PluginManager::takesOnlyOwnInterface()
{
    PluginManager manager;
    manager.setPluginIID(QStringLiteral("app.Plugin"));
    manager.setPluginPaths({fixtureDir});
    QVERIFY(manager.pluginByName(QStringLiteral("FixtureAlpha")));
    QCOMPARE(manager.pluginByName(QStringLiteral("Stranger")), nullptr);

    PluginManager other;
    other.setPluginIID(QStringLiteral("other.Plugin"));
    other.setPluginPaths({fixtureDir});
    QCOMPARE(other.plugins().size(), 1);
    QCOMPARE(other.plugins().first()->name(), QStringLiteral("Stranger"));
}

void tst_PluginManager::readsGeneratedMetadata()
{
    PluginManager manager;
    manager.setPluginIID(QStringLiteral("app.Plugin"));
    manager.setPluginPaths({fixtureDir});
    const PluginSpec *beta = manager.pluginByName(QStringLiteral("FixtureBeta"));
    QVERIFY(beta);
    QVERIFY2(!beta->hasError(), qPrintable(beta->errorString()));
    QCOMPARE(beta->version(), QStringLiteral("5.48.00"));
    QCOMPARE(beta->compatVersion(), QStringLiteral("5.48.00"));
    QCOMPARE(beta->className(), QStringLiteral("FixtureBetaPlugin"));
    QCOMPARE(beta->description(), QStringLiteral("Test fixture"));
    QCOMPARE(beta->isRequired(), false);
    QCOMPARE(beta->dependencies().size(), 1);
    QCOMPARE(beta->dependencies().first().name, QStringLiteral("FixtureAlpha"));
    QCOMPARE(beta->dependencies().first().version, QStringLiteral("5.48.00"));
    QCOMPARE(beta->state(), PluginSpec::Resolved);
    QCOMPARE(beta->dependencySpecs(), QVector<PluginSpec *>{manager.pluginByName(QStringLiteral("FixtureAlpha"))});
    QCOMPARE(beta->location(), QFileInfo(fixtureDir).absoluteFilePath());

    const PluginSpec *alpha = manager.pluginByName(QStringLiteral("FixtureAlpha"));
    QStringList options;
    for (const PluginArgumentDescription &d : alpha->argumentDescriptions())
        options.append(d.name + QLatin1Char('=') + d.parameter);
    QVERIFY(options.contains(QStringLiteral("-fixture-value=value")));
    QVERIFY(options.contains(QStringLiteral("-fixture-flag=")));
}

void tst_PluginManager::errors_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("errorPattern"); // empty: no error expected
    QTest::addColumn<PluginSpec::State>("stateAfterLoad");

    const QString none;
    QTest::newRow("chain root") << "FixtureAlpha" << none << PluginSpec::Running;
    QTest::newRow("chain end") << "FixtureGamma" << none << PluginSpec::Running;
    QTest::newRow("version within compat range") << "Lenient" << none << PluginSpec::Running;
    QTest::newRow("cycle") << "CycleA"
                           << "^Circular dependency detected: (CycleA -> CycleB -> CycleA|CycleB -> CycleA -> CycleB)$"
                           << PluginSpec::Resolved;
    QTest::newRow("cycle partner") << "CycleB" << "^Circular dependency detected: " << PluginSpec::Resolved;
    QTest::newRow("user of a cycle") << "CycleUser"
                                     << "^Cannot load plug-in because dependency failed to load: CycleA\\(5\\.48\\.00\\)\nReason: Circular"
                                     << PluginSpec::Resolved;
    QTest::newRow("missing dependency") << "Orphan" << "^Could not resolve dependency 'Absent\\(5\\.48\\.00\\)'\\.$"
                                        << PluginSpec::Read;
    QTest::newRow("requested version too new") << "Picky"
                                               << "needs FixtureAlpha in version 6\\.0, but FixtureAlpha offers versions 5\\.48\\.00 to 5\\.48\\.00"
                                               << PluginSpec::Read;
    QTest::newRow("requested version too old") << "Outdated" << "needs FixtureAlpha in version 5\\.47," << PluginSpec::Read;
    QTest::newRow("initialize fails") << "Refuses" << "^Plug-in initialization failed: refused on purpose$"
                                      << PluginSpec::Loaded;
    QTest::newRow("dependent of failed initialize") << "RefusesChild"
                                                    << "dependency failed to load: Refuses\\(5\\.48\\.00\\)\nReason: Plug-in initialization failed"
                                                    << PluginSpec::Resolved;
    QTest::newRow("library fails to load") << "Unloadable" << "^Library load failed: .*fixtureDataThatNobodyDefines"
                                           << PluginSpec::Resolved;
    QTest::newRow("dependent of unloadable") << "UnloadableChild" << "dependency failed to load: Unloadable"
                                             << PluginSpec::Resolved;
    QTest::newRow("invalid version") << "BrokenVersion" << "^Broken plug-in meta data: \"five\" is not a valid version\\.$"
                                     << PluginSpec::Invalid;
    QTest::newRow("dependencies not a list") << "BrokenDeps"
                                             << "^Broken plug-in meta data: Value for key \"Dependencies\" is not an array\\.$"
                                             << PluginSpec::Invalid;
    QTest::newRow("no name") << "libfixture_nameless"
                             << "^Broken plug-in meta data: Value for key \"Name\" is missing or not a string\\.$"
                             << PluginSpec::Invalid;
}

void tst_PluginManager::errors()
{
    QFETCH(QString, name);
    QFETCH(QString, errorPattern);
    QFETCH(PluginSpec::State, stateAfterLoad);

    PluginManager manager;
    manager.setPluginIID(QStringLiteral("app.Plugin"));
    manager.setPluginPaths({fixtureDir});
    PluginSpec *spec = manager.pluginByName(name);
    QVERIFY(spec);
    manager.loadPlugins();

    if (errorPattern.isEmpty()) {
        QVERIFY2(!spec->hasError(), qPrintable(spec->errorString()));
        QVERIFY(spec->plugin());
        QCOMPARE(spec->plugin()->pluginSpec(), spec);
    } else {
        QVERIFY(spec->hasError());
        QVERIFY2(QRegularExpression(errorPattern).match(spec->errorString()).hasMatch(),
                 qPrintable(spec->errorString()));
    }
    QCOMPARE(spec->state(), stateAfterLoad);
    QVERIFY(manager.hasError());
    manager.shutdown();
    if (stateAfterLoad >= PluginSpec::Loaded)
        QCOMPARE(spec->state(), PluginSpec::Deleted);
    QCOMPARE(spec->plugin(), nullptr);
}

void tst_PluginManager::dependentsOfFailuresAreNeverConstructed()
{
    PluginManager manager;
    manager.setPluginIID(QStringLiteral("app.Plugin"));
    manager.setPluginPaths({fixtureDir});
    manager.loadPlugins();
    const QStringList log = fixtureLog();
    for (const char *name : {"RefusesChild", "UnloadableChild", "CycleA", "CycleUser", "Orphan", "Picky"}) {
        QVERIFY2(fixtureLog(QLatin1String(name) + QLatin1Char(':')).isEmpty(), name);
        QCOMPARE(manager.pluginByName(QLatin1String(name))->plugin(), nullptr);
    }
    // The failing plug-in itself was initialised but never told the rest.
    QCOMPARE(fixtureLog(QStringLiteral("Refuses:")), QStringList{QStringLiteral("Refuses:initialize")});
    manager.shutdown();
    QCOMPARE(fixtureLog(QStringLiteral("Refuses:")),
             (QStringList{QStringLiteral("Refuses:initialize"), QStringLiteral("Refuses:delete")}));
}

void tst_PluginManager::lifecycleOrder()
{
    PluginManager manager;
    manager.setPluginIID(QStringLiteral("app.Plugin"));
    manager.setPluginPaths({fixtureDir});

    QVector<PluginSpec *> chain;
    for (PluginSpec *spec : manager.loadQueue()) {
        if (spec->name().startsWith(QLatin1String("Fixture")))
            chain.append(spec);
    }
    QCOMPARE(chain.size(), 3);
    QCOMPARE(chain.at(0)->name(), QStringLiteral("FixtureAlpha"));
    QCOMPARE(chain.at(1)->name(), QStringLiteral("FixtureBeta"));
    QCOMPARE(chain.at(2)->name(), QStringLiteral("FixtureGamma"));

    QSignalSpy done(&manager, &PluginManager::initializationDone);
    manager.loadPlugins();
    QCOMPARE(done.count(), 1);
    QCOMPARE(fixtureLog(QStringLiteral("Fixture")),
             (QStringList{"FixtureAlpha:initialize", "FixtureBeta:initialize", "FixtureGamma:initialize",
                          "FixtureGamma:extensionsInitialized", "FixtureBeta:extensionsInitialized",
                          "FixtureAlpha:extensionsInitialized"}));
    for (PluginSpec *spec : chain)
        QCOMPARE(spec->state(), PluginSpec::Running);

    QTRY_COMPARE(fixtureLog(QStringLiteral("Fixture")).size(), 9);
    QCOMPARE(fixtureLog(QStringLiteral("Fixture")).mid(6),
             (QStringList{"FixtureGamma:delayedInitialize", "FixtureBeta:delayedInitialize",
                          "FixtureAlpha:delayedInitialize"}));

    qApp->setProperty("fixtureLog", QStringList());
    manager.shutdown();
    // Gamma shuts down asynchronously; the manager waits for it before
    // deleting anything.
    QCOMPARE(fixtureLog(QStringLiteral("Fixture")),
             (QStringList{"FixtureGamma:aboutToShutdown", "FixtureBeta:aboutToShutdown",
                          "FixtureAlpha:aboutToShutdown", "FixtureGamma:delete", "FixtureBeta:delete",
                          "FixtureAlpha:delete"}));
    for (PluginSpec *spec : chain) {
        QCOMPARE(spec->state(), PluginSpec::Deleted);
        QCOMPARE(spec->plugin(), nullptr);
    }
}

void tst_PluginManager::argumentsFromCommandLine()
{
    // main() appended "-fixture-value 42 -fixture-flag" to the command line.
    PluginManager manager;
    manager.setPluginIID(QStringLiteral("app.Plugin"));
    manager.setPluginPaths({fixtureDir});
    manager.loadPlugins();
    QCOMPARE(qApp->property("fixtureArgs-FixtureAlpha").toStringList(),
             (QStringList{"-fixture-value", "42", "-fixture-flag"}));
    QCOMPARE(qApp->property("fixtureArgs-FixtureBeta").toStringList(), QStringList());
}

void tst_PluginManager::argumentsFor_data()
{
    QTest::addColumn<QStringList>("commandLine");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("nothing") << QStringList() << QStringList();
    QTest::newRow("option with value") << QStringList{"-v", "7"} << QStringList{"-v", "7"};
    QTest::newRow("flag") << QStringList{"-f"} << QStringList{"-f"};
    QTest::newRow("unknown words skipped") << QStringList{"-x", "file", "-f", "-y"} << QStringList{"-f"};
    QTest::newRow("value missing at end") << QStringList{"-f", "-v"} << QStringList{"-f", "-v"};
    QTest::newRow("value looks like option") << QStringList{"-v", "-f"} << QStringList{"-v", "-f"};
    QTest::newRow("case matters") << QStringList{"-F", "-V", "1"} << QStringList();
}

void tst_PluginManager::argumentsFor()
{
    QFETCH(QStringList, commandLine);
    QFETCH(QStringList, expected);
    const QVector<PluginArgumentDescription> descriptions{{QStringLiteral("-v"), QStringLiteral("n"), QString()},
                                                          {QStringLiteral("-f"), QString(), QString()}};
    QCOMPARE(PluginManager::argumentsFor(descriptions, commandLine), expected);
}

void tst_PluginManager::provides_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("expected");

    QTest::newRow("exact") << "FixtureAlpha" << "5.48.00" << true;
    QTest::newRow("fewer parts") << "FixtureAlpha" << "5.48" << true;
    QTest::newRow("extra zero part") << "FixtureAlpha" << "5.48.0.0" << true;
    QTest::newRow("newer") << "FixtureAlpha" << "5.48.1" << false;
    QTest::newRow("older") << "FixtureAlpha" << "5.47.99" << false;
    QTest::newRow("numeric, not text") << "FixtureAlpha" << "5.048" << true;
    QTest::newRow("garbage") << "FixtureAlpha" << "5.x" << false;
    QTest::newRow("empty") << "FixtureAlpha" << "" << false;
    QTest::newRow("huge part") << "FixtureAlpha" << "5.99999999999999999999" << false;
    QTest::newRow("other name") << "fixturealpha" << "5.48.00" << false;
}

void tst_PluginManager::provides()
{
    QFETCH(QString, name);
    QFETCH(QString, version);
    QFETCH(bool, expected);
    PluginManager manager;
    manager.setPluginIID(QStringLiteral("app.Plugin"));
    manager.setPluginPaths({fixtureDir});
    QCOMPARE(manager.pluginByName(QStringLiteral("FixtureAlpha"))->provides(name, version), expected);
}

void tst_PluginManager::disabledBySettings()
{
    QTemporaryDir dir;
    QSettings user(dir.filePath(QStringLiteral("user.ini")), QSettings::IniFormat);
    user.setValue(QStringLiteral("Plugins/Ignored"), QStringList{QStringLiteral("FixtureBeta")});

    PluginManager manager;
    manager.setPluginIID(QStringLiteral("app.Plugin"));
    manager.setSettings(&user);
    manager.setPluginPaths({fixtureDir});
    PluginSpec *alpha = manager.pluginByName(QStringLiteral("FixtureAlpha"));
    PluginSpec *beta = manager.pluginByName(QStringLiteral("FixtureBeta"));
    PluginSpec *gamma = manager.pluginByName(QStringLiteral("FixtureGamma"));
    QVERIFY(alpha->isEffectivelyEnabled());
    QVERIFY(!beta->isEnabledBySettings());
    QVERIFY(!beta->isEffectivelyEnabled());
    QVERIFY(gamma->isEnabledBySettings());
    QVERIFY(gamma->isDisabledIndirectly());
    QVERIFY(!gamma->isEffectivelyEnabled());

    manager.loadPlugins();
    QCOMPARE(alpha->state(), PluginSpec::Running);
    for (PluginSpec *spec : {beta, gamma}) {
        QVERIFY2(!spec->hasError(), qPrintable(spec->errorString()));
        QCOMPARE(spec->state(), PluginSpec::Resolved);
        QCOMPARE(spec->plugin(), nullptr);
    }
}

void tst_PluginManager::duplicateNameInSecondFolder()
{
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("libFixtureAlpha.so"));
    QVERIFY(QFile::copy(fixtureDir + QStringLiteral("/libFixtureAlpha.so"), copy));

    PluginManager manager;
    manager.setPluginIID(QStringLiteral("app.Plugin"));
    manager.setPluginPaths({fixtureDir, dir.path()});
    QVector<PluginSpec *> alphas;
    for (PluginSpec *spec : manager.plugins()) {
        if (spec->name() == QLatin1String("FixtureAlpha"))
            alphas.append(spec);
    }
    QCOMPARE(alphas.size(), 2);
    QVERIFY(!alphas.at(0)->hasError());
    QCOMPARE(alphas.at(0)->location(), QFileInfo(fixtureDir).absoluteFilePath());
    QVERIFY(alphas.at(1)->hasError());
    QVERIFY(alphas.at(1)->errorString().startsWith(QLatin1String("A plug-in named FixtureAlpha was already found")));

    manager.loadPlugins();
    QCOMPARE(alphas.at(0)->state(), PluginSpec::Running);
    QCOMPARE(alphas.at(1)->plugin(), nullptr);
}

void tst_PluginManager::remoteArguments()
{
    PluginManager manager;
    manager.setPluginIID(QStringLiteral("app.Plugin"));
    manager.setPluginPaths({fixtureDir});
    manager.loadPlugins();
    manager.remoteArguments(QStringLiteral("/work\n-fixture-value\n3\n-unknown\nfile.txt\n"), nullptr);
    QCOMPARE(fixtureLog(QStringLiteral("FixtureAlpha:remote")),
             QStringList{QStringLiteral("FixtureAlpha:remoteCommand -fixture-value 3 | /work | file.txt")});
    QCOMPARE(fixtureLog(QStringLiteral("FixtureBeta:remote")),
             QStringList{QStringLiteral("FixtureBeta:remoteCommand  | /work | 3 file.txt")});
    // Plug-ins that failed are not asked.
    QVERIFY(fixtureLog(QStringLiteral("Refuses:remote")).isEmpty());
    // An empty message must not crash anything.
    manager.remoteArguments(QString(), nullptr);
}

void tst_PluginManager::shutdownTwiceIsHarmless()
{
    auto manager = std::make_unique<PluginManager>();
    manager->setPluginIID(QStringLiteral("app.Plugin"));
    manager->setPluginPaths({fixtureDir});
    manager->loadPlugins();
    manager->shutdown();
    manager->shutdown();
    manager.reset();
    QCOMPARE(fixtureLog(QStringLiteral("FixtureAlpha:delete")).size(), 1);
}

int main(int argc, char *argv[])
{
    // Extra words on the command line, as a user would give them to the
    // program, for the plug-ins that declared them.
    std::vector<char *> args(argv, argv + argc);
    char value[] = "-fixture-value";
    char number[] = "42";
    char flag[] = "-fixture-flag";
    args.insert(args.end(), {value, number, flag});
    int appArgc = int(args.size());
    args.push_back(nullptr);
    QCoreApplication app(appArgc, args.data());
    tst_PluginManager test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_pluginmanager.moc"
