#include <core/actioncontainer.h>
#include <core/actionmanager.h>
#include <core/command.h>
#include <core/context.h>
#include <core/coreplugin.h>
#include <core/icore.h>
#include <core/id.h>

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace Core;

class tst_ActionManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void idsAndContexts();
    void staticsWithoutCore();
    void containersHaveGroups_data();
    void containersHaveGroups();
    void actionAppearsInItsGroup();
    void sameIdGivesSameCommand();
    void commandFollowsBackend();
    void checkableCommand();

private:
    static QStringList menuTexts(QMenu *menu);

    QTemporaryDir m_dir;
    std::unique_ptr<CorePlugin> m_core;
};

QStringList tst_ActionManager::menuTexts(QMenu *menu)
{
    QStringList texts;
    for (QAction *action : menu->actions())
        texts.append(action->isSeparator() ? QStringLiteral("--") : action->text());
    return texts;
}

void tst_ActionManager::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, m_dir.path() + "/system");
}

void tst_ActionManager::init()
{
    m_core.reset(new CorePlugin);
    QString error;
    QVERIFY2(m_core->initialize({}, &error), qPrintable(error));
}

void tst_ActionManager::cleanup()
{
    if (m_core)
        m_core->aboutToShutdown();
    m_core.reset();
    QVERIFY(!ActionManager::instance());
}

void tst_ActionManager::idsAndContexts()
{
    const Id a("App.Menu.Tools");
    QCOMPARE(a, Id::fromString(QStringLiteral("App.Menu.Tools")));
    QVERIFY(a != Id("App.Menu.File"));
    QCOMPARE(a.toString(), QStringLiteral("App.Menu.Tools"));
    QVERIFY(!Id().isValid());
    QCOMPARE(qHash(a), qHash(Id("App.Menu.Tools")));
    QSet<Id> set{a, Id("App.Menu.Tools"), Id("X")};
    QCOMPARE(set.size(), 2);

    Context context(Id("Global Context"));
    context.add(Id("Global Context"));
    context.add(Id());
    QCOMPARE(context.size(), 1);
    QVERIFY(context.contains(Id("Global Context")));
}

void tst_ActionManager::staticsWithoutCore()
{
    m_core.reset();
    QAction action;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("before the Core plug-in")));
    QVERIFY(!ActionManager::registerAction(&action, "App.X", Context("Global Context")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("before the Core plug-in")));
    QVERIFY(!ActionManager::actionContainer("App.Menu.Tools"));
}

void tst_ActionManager::containersHaveGroups_data()
{
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("title");
    QTest::newRow("file") << "App.Menu.File" << "App.Group.File.Save" << "&File";
    QTest::newRow("tools") << "App.Menu.Tools" << "App.Group.Tools.Options" << "&Tools";
    QTest::newRow("help") << "App.Menu.Help" << "App.Group.Help.About" << "&Help";
}

void tst_ActionManager::containersHaveGroups()
{
    QFETCH(QString, container);
    QFETCH(QString, group);
    QFETCH(QString, title);
    ActionContainer *c = ActionManager::actionContainer(Id::fromString(container));
    QVERIFY(c);
    QVERIFY(c->menu());
    QVERIFY(c->groups().contains(Id::fromString(group)));
    QCOMPARE(c->menu()->title(), title);
    QCOMPARE(c->menu()->objectName(), container);
    // The menu sits in the main window's menu bar.
    auto window = qobject_cast<QMainWindow *>(ICore::mainWindow());
    QVERIFY(window);
    QVERIFY(window->menuBar()->actions().contains(c->menu()->menuAction()));
}

void tst_ActionManager::actionAppearsInItsGroup()
{
    ActionContainer *file = ActionManager::actionContainer("App.Menu.File");
    QCOMPARE(menuTexts(file->menu()), QStringList{"E&xit"});

    QAction save(QStringLiteral("Save tags"));
    Command *saveCommand = ActionManager::registerAction(&save, "App.SaveTags", Context("Global Context"));
    QVERIFY(saveCommand);
    QCOMPARE(saveCommand->id(), Id("App.SaveTags"));
    QVERIFY(saveCommand->context().contains("Global Context"));
    file->addAction(saveCommand, "App.Group.File.Save");
    QCOMPARE(menuTexts(file->menu()), (QStringList{"Save tags", "--", "E&xit"}));

    QAction open(QStringLiteral("Open"));
    file->addAction(ActionManager::registerAction(&open, "App.Open", Context("Global Context")),
                    "App.Group.File.Open");
    QCOMPARE(menuTexts(file->menu()), (QStringList{"Open", "--", "Save tags", "--", "E&xit"}));

    // Unknown group: appended to the last group; adding twice changes nothing.
    QAction other(QStringLiteral("Other"));
    Command *otherCommand = ActionManager::registerAction(&other, "App.Other", Context("Global Context"));
    file->addAction(otherCommand, "App.Group.NoSuchGroup");
    file->addAction(otherCommand, "App.Group.File.Save");
    QCOMPARE(menuTexts(file->menu()), (QStringList{"Open", "--", "Save tags", "--", "E&xit", "Other"}));

    ActionContainer *tools = ActionManager::actionContainer("App.Menu.Tools");
    QAction info(QStringLiteral("Register map"));
    QAction options(QStringLiteral("Options"));
    tools->addAction(ActionManager::registerAction(&info, "App.ShowInfo", Context("Global Context")));
    tools->addAction(ActionManager::registerAction(&options, "App.Options", Context("Global Context")),
                     "App.Group.Tools.Options");
    QCOMPARE(menuTexts(tools->menu()), (QStringList{"Options", "--", "Register map"}));

    // Triggering the menu entry runs the plug-in's action.
    QSignalSpy spy(&info, &QAction::triggered);
    tools->menu()->actions().last()->trigger();
    QCOMPARE(spy.count(), 1);
}

void tst_ActionManager::sameIdGivesSameCommand()
{
    QAction first(QStringLiteral("First"));
    QAction second(QStringLiteral("Second"));
    Command *a = ActionManager::registerAction(&first, "App.Shared", Context("Global Context"));
    Command *b = ActionManager::registerAction(&second, "App.Shared", Context("Global Context"), false);
    QCOMPARE(a, b);
    QCOMPARE(ActionManager::command("App.Shared"), a);
    QCOMPARE(a->registeredAction(), &second);
    QCOMPARE(a->action()->text(), QStringLiteral("Second"));
    QCOMPARE(ActionManager::commands().count(a), 1);
}

void tst_ActionManager::commandFollowsBackend()
{
    QAction first(QStringLiteral("First"));
    auto second = new QAction(QStringLiteral("Second"));
    Command *command = ActionManager::registerAction(&first, "App.Follow", Context("Global Context"));
    ActionManager::registerAction(second, "App.Follow", Context("Global Context"));

    second->setEnabled(false);
    QVERIFY(!command->action()->isEnabled());
    second->setText(QStringLiteral("Renamed"));
    QCOMPARE(command->action()->text(), QStringLiteral("Renamed"));

    // When the newest action goes, the earlier one stands behind the command.
    delete second;
    QTRY_COMPARE(command->action()->text(), QStringLiteral("First"));
    QVERIFY(command->action()->isEnabled());
    QSignalSpy spy(&first, &QAction::triggered);
    command->action()->trigger();
    QCOMPARE(spy.count(), 1);

    ActionManager::unregisterAction(&first, "App.Follow");
    QVERIFY(!command->registeredAction());
    QVERIFY(!command->action()->isEnabled());
    command->action()->trigger(); // nothing behind it: no crash, nothing runs
    QCOMPARE(spy.count(), 1);
}

void tst_ActionManager::checkableCommand()
{
    QAction toggle(QStringLiteral("Poll"));
    toggle.setCheckable(true);
    Command *command = ActionManager::registerAction(&toggle, "App.Poll", Context("Global Context"));
    QVERIFY(command->action()->isCheckable());
    QSignalSpy spy(&toggle, &QAction::triggered);
    command->action()->trigger();
    QVERIFY(toggle.isChecked());
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toBool(), true);
    toggle.setChecked(false);
    QVERIFY(!command->action()->isChecked());
}

QTEST_MAIN(tst_ActionManager)
#include "tst_actionmanager.moc"
