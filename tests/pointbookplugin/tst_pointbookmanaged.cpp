#include <core/actioncontainer.h>
#include <core/actionmanager.h>
#include <core/command.h>
#include <core/icore.h>
#include <extensionsystem/pluginmanager.h>
#include <extensionsystem/pluginspec.h>
#include <pointbook/basetag.h>
#include <pointbook/pointbookplugin.h>
#include <pointbook/statusupdatebase.h>
#include <pointbook/tag.h>
#include <pointbook/tagbase.h>
#include <pointbook/tagbaseloader.h>

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

using namespace ExtensionSystem;
using Pointbook::PointbookPlugin;
using Pointbook::Tag;

// The tag base plug-in as the program runs it: found and ordered by the
// plug-in manager after its dependencies, its menu entry and status strip,
// the demo map on first start, and per-tag settings kept across a restart.
class tst_PointbookManaged : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void orderAndMetadata();
    void firstStartAndRestart();

private:
    void configure(PluginManager *manager);

    QTemporaryDir m_dir;
    QString m_pluginDir;
    std::unique_ptr<QSettings> m_user;
    std::unique_ptr<QSettings> m_global;
};

void tst_PointbookManaged::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.filePath("user"));
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, m_dir.filePath("system"));
    m_user.reset(new QSettings(QSettings::IniFormat, QSettings::UserScope, "Org", "App"));
    m_global.reset(new QSettings(QSettings::IniFormat, QSettings::SystemScope, "Org", "App"));
    m_pluginDir = m_dir.filePath("plugins");
    QVERIFY(QDir().mkpath(m_pluginDir));
    for (const char *name : {"libCore.so", "libPopnote.so", "libFieldlink.so", "libPointbook.so"}) {
        const QString built = QStringLiteral(KORVANE_BUILD_DIR "/lib/appcore/plugins/") + name;
        QVERIFY2(QFile::exists(built), qPrintable(built));
        QVERIFY(QFile::link(built, m_pluginDir + QLatin1Char('/') + QLatin1String(name)));
    }
}

void tst_PointbookManaged::configure(PluginManager *manager)
{
    manager->setPluginIID(QStringLiteral("app.Plugin"));
    manager->setGlobalSettings(m_global.get());
    manager->setSettings(m_user.get());
    manager->setPluginPaths({m_pluginDir});
}

void tst_PointbookManaged::orderAndMetadata()
{
    PluginManager manager;
    configure(&manager);
    PluginSpec *spec = manager.pluginByName(QStringLiteral("Pointbook"));
    QVERIFY(spec);
    QVERIFY2(!spec->hasError(), qPrintable(spec->errorString()));
    QCOMPARE(spec->version(), QStringLiteral("5.48.00"));
    QCOMPARE(spec->compatVersion(), QStringLiteral("5.48.00"));
    QStringList names;
    for (const PluginDependency &d : spec->dependencies())
        names.append(d.name + QLatin1Char(' ') + d.version);
    QCOMPARE(names, (QStringList{"Fieldlink 5.48.00", "Popnote 5.48.00"}));
    QCOMPARE(manager.loadQueue().last()->name(), QStringLiteral("Pointbook"));
}

void tst_PointbookManaged::firstStartAndRestart()
{
    const QString shipped = QCoreApplication::applicationDirPath()
                            + "/../share/appcore/demo/pointbook/base_v1.00.xml";
    QVERIFY2(QFile::exists(shipped), qPrintable(shipped));
    const QString folder = QFileInfo(m_user->fileName()).path()
                           + "/Korvane_Config/configmodules/pointbook/";

    {
        PluginManager manager;
        configure(&manager);
        manager.loadPlugins();
        QVERIFY(!manager.hasError());
        for (PluginSpec *spec : manager.plugins())
            QVERIFY2(spec->plugin() && !spec->hasError(), qPrintable(spec->name()));
        PointbookPlugin *plugin = PointbookPlugin::instance();
        QVERIFY(plugin);
        QCOMPARE(PointbookPlugin::registerMapFolder(), folder);
        QVERIFY(QFile::exists(folder + "base_v1.00.xml"));

        QMenu *tools = Core::ActionManager::actionContainer("App.Menu.Tools")->menu();
        QStringList texts;
        for (QAction *action : tools->actions())
            texts << action->text();
        QVERIFY2(texts.contains("Information Base"), qPrintable(texts.join(',')));
        auto *window = qobject_cast<QMainWindow *>(Core::ICore::mainWindow());
        QVERIFY(window);
        QVERIFY(window->statusBar()->findChild<Pointbook::StatusUpdateBase *>());

        QSignalSpy loaded(plugin, &PointbookPlugin::baseLoaded);
        plugin->setVersion("1.00");
        QCOMPARE(loaded.count(), 1);
        Tag *pressure = plugin->tagBaseLoader()->base()->tagHash(Tag::IR).value("Pressure");
        QVERIFY(pressure);
        pressure->setVisibleChart(true);
        pressure->setColorChart(QColor(0, 128, 255, 200));
        pressure->setDampingPoints(4);
        manager.shutdown();
        QVERIFY(!PointbookPlugin::instance());
    }

    {
        PluginManager manager;
        configure(&manager);
        manager.loadPlugins();
        QVERIFY(!manager.hasError());
        PointbookPlugin *plugin = PointbookPlugin::instance();
        QVERIFY(plugin);
        plugin->setVersion("1.00");
        Tag *pressure = plugin->tagBaseLoader()->base()->tagHash(Tag::IR).value("Pressure");
        QVERIFY(pressure);
        QVERIFY(pressure->visibleChart());
        QCOMPARE(pressure->colorChart(), QColor(0, 128, 255, 200));
        QCOMPARE(pressure->dampingPoints(), 4);
        QVERIFY(pressure->enableDamping());
        manager.shutdown();
    }
}

QTEST_MAIN(tst_PointbookManaged)
#include "tst_pointbookmanaged.moc"
