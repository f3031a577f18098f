#include <clearance/clearanceplugin.h>
#include <core/actioncontainer.h>
#include <core/actionmanager.h>
#include <core/command.h>
#include <core/icore.h>
#include <extensionsystem/pluginmanager.h>
#include <extensionsystem/pluginspec.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QMenu>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace ExtensionSystem;
using Clearance::ClearancePlugin;

// The access level plug-in as the program runs it: found and ordered by the
// plug-in manager, its menu entries, the demo files on first start, and the
// current level kept across a restart.
class tst_ClearanceManaged : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void metadata();
    void firstStartAndRestart();

private:
    QTemporaryDir m_dir;
    QString m_pluginDir;
};

void tst_ClearanceManaged::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.filePath("user"));
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, m_dir.filePath("system"));
    m_pluginDir = m_dir.filePath("plugins");
    QVERIFY(QDir().mkpath(m_pluginDir));
    for (const char *name : {"libCore.so", "libPopnote.so", "libClearance.so"}) {
        const QString built = QStringLiteral(KORVANE_BUILD_DIR "/lib/appcore/plugins/") + name;
        QVERIFY2(QFile::exists(built), qPrintable(built));
        QVERIFY(QFile::link(built, m_pluginDir + QLatin1Char('/') + name));
    }
}

void tst_ClearanceManaged::metadata()
{
    PluginManager manager;
    manager.setPluginIID(QStringLiteral("app.Plugin"));
    manager.setPluginPaths({m_pluginDir});
    PluginSpec *spec = manager.pluginByName(QStringLiteral("Clearance"));
    QVERIFY(spec);
    QVERIFY2(!spec->hasError(), qPrintable(spec->errorString()));
    QCOMPARE(spec->version(), QStringLiteral("5.48.00"));
    QCOMPARE(spec->compatVersion(), QStringLiteral("5.48.00"));
    QCOMPARE(spec->category(), QStringLiteral("Korvane_Config"));
    QStringList names;
    for (const PluginDependency &d : spec->dependencies()) {
        names.append(d.name);
        QCOMPARE(d.version, QStringLiteral("5.48.00"));
    }
    QCOMPARE(names, (QStringList{"Core", "Popnote"}));
    QStringList options;
    for (const PluginArgumentDescription &a : spec->argumentDescriptions())
        options.append(a.name);
    QCOMPARE(options, (QStringList{"-color", "-theme", "-presentationMode"}));
    QCOMPARE(manager.loadQueue().last()->name(), QStringLiteral("Clearance"));
}

void tst_ClearanceManaged::firstStartAndRestart()
{
    QSettings user(QSettings::IniFormat, QSettings::UserScope, "Org", "App");
    QSettings global(QSettings::IniFormat, QSettings::SystemScope, "Org", "App");
    const QString accessFolder = QFileInfo(user.fileName()).path()
                                 + "/Korvane_Config/configmodules/clearance/";
    const QString shipped = QCoreApplication::applicationDirPath()
                            + "/../share/appcore/demo/clearance/clearance.xml";
    QVERIFY2(QFile::exists(shipped), qPrintable(shipped));

    {
        PluginManager manager;
        manager.setPluginIID(QStringLiteral("app.Plugin"));
        manager.setGlobalSettings(&global);
        manager.setSettings(&user);
        manager.setPluginPaths({m_pluginDir});
        manager.loadPlugins();
        QVERIFY(!manager.hasError());
        ClearancePlugin *plugin = ClearancePlugin::instance();
        QVERIFY(plugin);
        QCOMPARE(ClearancePlugin::clearanceFolder(), accessFolder);

        // First start: the demo files were placed and read.
        QVERIFY(QFile::exists(accessFolder + "clearance.xml"));
        QVERIFY(QFile::exists(accessFolder + "admin_v1.00.xml"));
        QCOMPARE(plugin->clearances().value("engineer"), QString("Engineer"));
        QCOMPARE(plugin->currentClearance(), QString("user"));

        // The File menu carries both entries with icons.
        QMenu *file = Core::ActionManager::actionContainer("App.Menu.File")->menu();
        QStringList texts;
        for (QAction *action : file->actions()) {
            if (action->isSeparator())
                continue;
            texts << action->text();
            if (action->text() == "Access level" || action->text() == "Password management")
                QVERIFY(!action->icon().isNull());
        }
        QVERIFY2(texts.contains("Access level"), qPrintable(texts.join(',')));
        QVERIFY(texts.contains("Password management"));

        // Switch to "engineer" (no password set yet) through the menu.
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, this, [&poll] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            poll.stop();
            auto *combo = dialog->findChild<QComboBox *>("comboBoxNameClearance");
            combo->setCurrentIndex(combo->findData("engineer"));
            dialog->findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Ok)->click();
            if (dialog->isVisible())
                dialog->reject();
        });
        poll.start();
        Core::ActionManager::command("App.Clearance")->action()->trigger();
        QCOMPARE(plugin->currentClearance(), QString("engineer"));

        QSignalSpy loaded(plugin, &ClearancePlugin::baseClearanceLoaded);
        plugin->setVersion("1.00");
        QCOMPARE(loaded.count(), 1);
        QVERIFY(plugin->currentBaseClearance());
        manager.shutdown();
        QVERIFY(!ClearancePlugin::instance());
    }

    // The user edits the level list; a restart must keep that edit.
    QFile list(accessFolder + "clearance.xml");
    QVERIFY(list.open(QIODevice::WriteOnly | QIODevice::Truncate));
    list.write("<l><clearance id=\"engineer\" name=\"Service\"/></l>");
    list.close();

    {
        PluginManager manager;
        manager.setPluginIID(QStringLiteral("app.Plugin"));
        manager.setGlobalSettings(&global);
        manager.setSettings(&user);
        manager.setPluginPaths({m_pluginDir});
        manager.loadPlugins();
        QVERIFY(!manager.hasError());
        ClearancePlugin *plugin = ClearancePlugin::instance();
        QVERIFY(plugin);
        QCOMPARE(plugin->currentClearance(), QString("engineer"));
        QCOMPARE(plugin->clearances(), (QHash<QString, QString>{{"engineer", "Service"}}));
        manager.shutdown();
    }
}

QTEST_MAIN(tst_ClearanceManaged)
#include "tst_clearancemanaged.moc"
