#include <core/actionmanager.h>
#include <core/coreplugin.h>
#include <core/icore.h>
#include <extensionsystem/pluginmanager.h>
#include <extensionsystem/pluginspec.h>
#include <popnote/popnoteplugin.h>
#include <popnote/qpopnote.h>

#include <QFile>
#include <QMainWindow>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace ExtensionSystem;

// Core and Popnote as the plug-in manager sees them: metadata, load order,
// arguments, life cycle. Only these two are offered to the manager (links
// to the built libraries), so other plug-ins do not take part.
class tst_HostPlugins : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void metadata_data();
    void metadata();
    void quitArgumentReachesCore();
    void loadAndShutdown();

private:
    QTemporaryDir m_dir;
    QString m_pluginDir;
};

void tst_HostPlugins::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.filePath("user"));
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, m_dir.filePath("system"));
    m_pluginDir = m_dir.filePath("plugins");
    QVERIFY(QDir().mkpath(m_pluginDir));
    for (const char *name : {"libCore.so", "libPopnote.so"}) {
        const QString built = QStringLiteral(KORVANE_BUILD_DIR "/lib/appcore/plugins/") + name;
        QVERIFY2(QFile::exists(built), qPrintable(built));
        QVERIFY(QFile::link(built, m_pluginDir + QLatin1Char('/') + name));
    }
}

void tst_HostPlugins::metadata_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("required");
    QTest::addColumn<QStringList>("dependencies");
    QTest::newRow("Core") << "Core" << true << QStringList();
    QTest::newRow("Popnote") << "Popnote" << false << QStringList{"Core"};
}

void tst_HostPlugins::metadata()
{
    QFETCH(QString, name);
    QFETCH(bool, required);
    QFETCH(QStringList, dependencies);
    PluginManager manager;
    manager.setPluginIID(QStringLiteral("app.Plugin"));
    manager.setPluginPaths({m_pluginDir});
    PluginSpec *spec = manager.pluginByName(name);
    QVERIFY(spec);
    QVERIFY2(!spec->hasError(), qPrintable(spec->errorString()));
    QCOMPARE(spec->version(), QStringLiteral("5.48.00"));
    QCOMPARE(spec->compatVersion(), QStringLiteral("5.48.00"));
    QCOMPARE(spec->category(), QStringLiteral("Korvane_Config"));
    QCOMPARE(spec->isRequired(), required);
    QStringList names;
    for (const PluginDependency &d : spec->dependencies()) {
        names.append(d.name);
        QCOMPARE(d.version, QStringLiteral("5.48.00"));
    }
    QCOMPARE(names, dependencies);
}

void tst_HostPlugins::quitArgumentReachesCore()
{
    PluginManager manager;
    manager.setPluginIID(QStringLiteral("app.Plugin"));
    manager.setPluginPaths({m_pluginDir});
    PluginSpec *core = manager.pluginByName(QStringLiteral("Core"));
    QVERIFY(core);
    const QStringList words{"file.xml", "-test-quit-after", "1500", "-other"};
    QCOMPARE(PluginManager::argumentsFor(core->argumentDescriptions(), words),
             (QStringList{"-test-quit-after", "1500"}));
    PluginSpec *popnote = manager.pluginByName(QStringLiteral("Popnote"));
    QVERIFY(PluginManager::argumentsFor(popnote->argumentDescriptions(), words)
                .filter(QStringLiteral("quit")).isEmpty());
}

void tst_HostPlugins::loadAndShutdown()
{
    QSettings user(QSettings::IniFormat, QSettings::UserScope, "Org", "App");
    QSettings global(QSettings::IniFormat, QSettings::SystemScope, "Org", "App");
    {
        PluginManager manager;
        manager.setPluginIID(QStringLiteral("app.Plugin"));
        manager.setGlobalSettings(&global);
        manager.setSettings(&user);
        manager.setPluginPaths({m_pluginDir});
        QCOMPARE(manager.loadQueue().size(), 2);
        QCOMPARE(manager.loadQueue().first()->name(), QStringLiteral("Core"));
        manager.loadPlugins();
        QVERIFY(!manager.hasError());
        for (PluginSpec *spec : manager.plugins())
            QCOMPARE(spec->state(), PluginSpec::Running);

        // With a manager, Core hands out the manager's stores.
        QCOMPARE(Core::ICore::settings(), &user);
        QCOMPARE(Core::ICore::settings(QSettings::SystemScope), &global);
        QVERIFY(Core::ICore::settingsDatabase());
        auto window = qobject_cast<QMainWindow *>(Core::ICore::mainWindow());
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));

        QSignalSpy spy(Popnote::PopnotePlugin::instance(), &Popnote::PopnotePlugin::notificationAdded);
        auto note = new Popnote::QPopnote(nullptr);
        note->setBodyText(QStringLiteral("loaded"));
        QTest::ignoreMessage(QtInfoMsg, "loaded");
        Popnote::PopnotePlugin::instance()->addNotification(note, Popnote::PopnotePlugin::Information, true);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(note->window(), window);

        manager.shutdown();
        QVERIFY(!Core::ICore::instance());
        QVERIFY(!Popnote::PopnotePlugin::instance());
        QVERIFY(!Core::ActionManager::instance());
    }
}

QTEST_MAIN(tst_HostPlugins)
#include "tst_hostplugins.moc"
