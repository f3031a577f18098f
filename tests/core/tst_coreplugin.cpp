#include <core/actioncontainer.h>
#include <core/actionmanager.h>
#include <core/command.h>
#include <core/coreplugin.h>
#include <core/icore.h>
#include <core/mainwindow.h>
#include <core/settingsdatabase.h>

#include <QDockWidget>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace Core;

class tst_CorePlugin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void servicesAfterInitialize();
    void settingsStores();
    void workPath();
    void mainWindowLayout();
    void aboutBox();
    void centralPageAndDock();
    void geometryRestored();
    void quitArgument_data();
    void quitArgument();
    void quitsAfterRequestedDelay();
    void secondInitializeRefused();

private:
    Internal::MainWindow *window() const
    {
        return qobject_cast<Internal::MainWindow *>(ICore::mainWindow());
    }
    void startCore(const QStringList &arguments = {});
    void stopCore();

    QTemporaryDir m_dir;
    std::unique_ptr<CorePlugin> m_core;
};

void tst_CorePlugin::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.filePath("user"));
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, m_dir.filePath("system"));
}

void tst_CorePlugin::startCore(const QStringList &arguments)
{
    m_core.reset(new CorePlugin);
    QString error;
    QVERIFY2(m_core->initialize(arguments, &error), qPrintable(error));
}

void tst_CorePlugin::stopCore()
{
    if (m_core)
        m_core->aboutToShutdown();
    m_core.reset();
}

void tst_CorePlugin::cleanup()
{
    stopCore();
    QVERIFY(!ICore::instance());
    QVERIFY(!ICore::mainWindow());
    QVERIFY(!ICore::settingsDatabase());
}

void tst_CorePlugin::servicesAfterInitialize()
{
    QVERIFY(!ICore::instance());
    startCore();
    QCOMPARE(CorePlugin::instance(), m_core.get());
    QVERIFY(ICore::instance());
    QVERIFY(window());
    QVERIFY(!window()->isVisible());
    SettingsDatabase *db = ICore::settingsDatabase();
    QVERIFY(db);
    QVERIFY2(db->isPersistent(), qPrintable(db->errorString()));
    // The database lies beside the user settings file.
    QCOMPARE(QFileInfo(db->fileName()).absolutePath(),
             QFileInfo(ICore::settings()->fileName()).absolutePath());
    QVERIFY(QFileInfo::exists(db->fileName()));
}

void tst_CorePlugin::settingsStores()
{
    QSettings *user = ICore::settings();
    QVERIFY(user); // also before Core exists
    startCore();
    user = ICore::settings(QSettings::UserScope);
    QSettings *system = ICore::settings(QSettings::SystemScope);
    QVERIFY(user && system);
    QVERIFY(user != system);
    QCOMPARE(user->format(), QSettings::IniFormat);
    QVERIFY2(user->fileName().startsWith(m_dir.filePath("user")), qPrintable(user->fileName()));
    QVERIFY2(system->fileName().startsWith(m_dir.filePath("system")), qPrintable(system->fileName()));
}

void tst_CorePlugin::workPath()
{
    startCore();
    const QString expected = QFileInfo(ICore::settings()->fileName()).absolutePath()
                             + QStringLiteral("/Korvane_Config");
    QVERIFY(!QFileInfo::exists(expected) || QDir(expected).removeRecursively());
    QCOMPARE(window()->workPath(), expected);
    QVERIFY(QFileInfo(expected).isDir());
}

void tst_CorePlugin::mainWindowLayout()
{
    startCore();
    Internal::MainWindow *w = window();
    QCOMPARE(w->windowTitle(), QStringLiteral("Korvane_Config"));
    QStringList titles;
    for (QAction *action : w->menuBar()->actions())
        titles.append(action->text());
    QCOMPARE(titles, (QStringList{"&File", "&Tools", "&Help"}));
    QVERIFY(w->findChild<QStatusBar *>());
    QCOMPARE(w->statusBar()->currentMessage(), QStringLiteral("Ready"));
    QVERIFY(w->centralPage());

    // extensionsInitialized shows the window.
    m_core->extensionsInitialized();
    QVERIFY(QTest::qWaitForWindowExposed(w));
}

void tst_CorePlugin::aboutBox()
{
    startCore();
    QString text;
    QTimer::singleShot(0, this, [&text] {
        auto box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        text = box->text();
        box->accept();
    });
    ActionManager::command("App.About")->action()->trigger();
    QVERIFY2(text.contains(QLatin1String("5.48.00")), qPrintable(text));
}

void tst_CorePlugin::centralPageAndDock()
{
    startCore();
    auto page = new QLabel(QStringLiteral("page"));
    window()->setCentralPage(page);
    QCOMPARE(window()->centralPage(), page);
    QCOMPARE(page->window(), window());
    window()->setCentralPage(nullptr);
    QCOMPARE(window()->centralPage(), page);

    auto dock = new QDockWidget(QStringLiteral("Tags"));
    window()->addDock(dock, Qt::LeftDockWidgetArea);
    QCOMPARE(window()->dockWidgetArea(dock), Qt::LeftDockWidgetArea);
    QVERIFY(!dock->objectName().isEmpty());
    QVERIFY(ActionManager::actionContainer("App.Menu.Tools")->menu()->actions().size() >= 1);
}

void tst_CorePlugin::geometryRestored()
{
    startCore();
    m_core->extensionsInitialized();
    QVERIFY(QTest::qWaitForWindowExposed(window()));
    window()->setGeometry(40, 50, 777, 555);
    auto dock = new QDockWidget(QStringLiteral("Tags"));
    dock->setObjectName(QStringLiteral("TagDock"));
    window()->addDock(dock, Qt::RightDockWidgetArea);
    window()->addDockWidget(Qt::BottomDockWidgetArea, dock);
    QTRY_COMPARE(window()->size(), QSize(777, 555));
    stopCore();

    startCore();
    auto again = new QDockWidget(QStringLiteral("Tags"));
    again->setObjectName(QStringLiteral("TagDock"));
    window()->addDock(again, Qt::RightDockWidgetArea);
    m_core->extensionsInitialized();
    QVERIFY(QTest::qWaitForWindowExposed(window()));
    QTRY_COMPARE(window()->size(), QSize(777, 555));
    QCOMPARE(window()->dockWidgetArea(again), Qt::BottomDockWidgetArea);
}

void tst_CorePlugin::quitArgument_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("ms");
    QTest::newRow("none") << QStringList() << true << -1;
    QTest::newRow("value") << QStringList{"-test-quit-after", "1500"} << true << 1500;
    QTest::newRow("zero") << QStringList{"-test-quit-after", "0"} << true << 0;
    QTest::newRow("other options ignored") << QStringList{"-theme", "dark"} << true << -1;
    QTest::newRow("missing value") << QStringList{"-test-quit-after"} << false << -1;
    QTest::newRow("not a number") << QStringList{"-test-quit-after", "soon"} << false << -1;
    QTest::newRow("negative") << QStringList{"-test-quit-after", "-5"} << false << -1;
    QTest::newRow("too large") << QStringList{"-test-quit-after", "99999999999"} << false << -1;
}

void tst_CorePlugin::quitArgument()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, accepted);
    QFETCH(int, ms);
    m_core.reset(new CorePlugin);
    QString error;
    QCOMPARE(m_core->initialize(arguments, &error), accepted);
    QCOMPARE(m_core->quitAfterMs(), ms);
    if (!accepted)
        QVERIFY2(error.contains(QLatin1String("-test-quit-after")), qPrintable(error));
}

void tst_CorePlugin::quitsAfterRequestedDelay()
{
    startCore({QStringLiteral("-test-quit-after"), QStringLiteral("50")});
    m_core->extensionsInitialized();
    QEventLoop loop;
    QTimer::singleShot(20000, &loop, [&loop] { loop.exit(7); });
    // quit() ends every running event loop with code 0.
    QCOMPARE(loop.exec(), 0);
}

void tst_CorePlugin::secondInitializeRefused()
{
    startCore();
    QString error;
    QVERIFY(!m_core->initialize({}, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(ICore::mainWindow());
}

QTEST_MAIN(tst_CorePlugin)
#include "tst_coreplugin.moc"
