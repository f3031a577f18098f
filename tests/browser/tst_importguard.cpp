// Files that decide rights or what is polled are replaced only at the
// highest access level: the File menu's imports and "Create tags…", driven
// as the user drives them, at every level, with and without the highest
// level's password typed into the prompt.

#include <browser/browsermodel.h>
#include <browser/browserplugin.h>
#include <browser/mapfileactions.h>
#include <clearance/clearanceplugin.h>
#include <clearance/passworddigest.h>
#include <core/actionmanager.h>
#include <core/command.h>
#include <core/coreplugin.h>
#include <core/icore.h>
#include <core/settingsdatabase.h>
#include <popnote/popnoteplugin.h>

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using Clearance::ClearancePlugin;

class tst_ImportGuard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void changesNeedTheHighestLevel_data();
    void changesNeedTheHighestLevel();

private:
    QTemporaryDir m_home;
    Core::CorePlugin *m_core = nullptr;
    Popnote::PopnotePlugin *m_popnote = nullptr;
    ClearancePlugin *m_levels = nullptr;
    Browser::BrowserPlugin *m_browser = nullptr;
};

void tst_ImportGuard::initTestCase()
{
    QVERIFY(m_home.isValid());
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_home.filePath("user"));
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, m_home.filePath("system"));
    QString error;
    m_core = new Core::CorePlugin;
    QVERIFY2(m_core->initialize({}, &error), qPrintable(error));
    m_popnote = new Popnote::PopnotePlugin;
    QVERIFY2(m_popnote->initialize({}, &error), qPrintable(error));
    m_levels = new ClearancePlugin;
    QVERIFY2(m_levels->initialize({}, &error), qPrintable(error));

    const QString folder = ClearancePlugin::clearanceFolder();
    QVERIFY(QDir().mkpath(folder));
    QFile list(folder + "clearance.xml");
    QVERIFY(list.open(QIODevice::WriteOnly | QIODevice::Truncate));
    list.write("<clearances><clearance id=\"user\" name=\"User\"/><clearance id=\"engineer\" name=\"Engineer\"/>"
               "<clearance id=\"admin\" name=\"Administrator\"/></clearances>");
    list.close();
    m_levels->extensionsInitialized();
    QCOMPARE(m_levels->highestClearance(), QString("admin"));
    Core::SettingsDatabase *database = Core::ICore::settingsDatabase();
    database->beginGroup("Clearance");
    database->setValue("admin", Clearance::PasswordDigest::digest("top secret"));
    database->endGroup();

    m_browser = new Browser::BrowserPlugin;
    QVERIFY2(m_browser->initialize({}, &error), qPrintable(error));
}

void tst_ImportGuard::cleanupTestCase()
{
    delete m_browser;
    delete m_levels;
    delete m_popnote;
    delete m_core;
}

void tst_ImportGuard::changesNeedTheHighestLevel_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("level");
    QTest::addColumn<QString>("typed"); // empty: the prompt is cancelled
    QTest::addColumn<QString>("refusal"); // empty: the action goes on

    const QString needs = "needs the access level \"Administrator\"; the current level is \"User\".";
    const QString invalid = "refused: invalid password of the access level \"Administrator\".";
    QTest::newRow("access file, user cancels") << "App.Browser.ImportAccess" << "user" << "" << needs;
    QTest::newRow("access file, user types a wrong password")
        << "App.Browser.ImportAccess" << "user" << "user" << invalid;
    QTest::newRow("access file, user types the highest password")
        << "App.Browser.ImportAccess" << "user" << "top secret" << "";
    QTest::newRow("access file, engineer cancels")
        << "App.Browser.ImportAccess" << "engineer" << ""
        << "needs the access level \"Administrator\"; the current level is \"Engineer\".";
    QTest::newRow("access file, highest level") << "App.Browser.ImportAccess" << "admin" << "-" << "";
    QTest::newRow("register map, user cancels") << "App.Browser.ImportMap" << "user" << "" << needs;
    QTest::newRow("register map, user types a wrong password")
        << "App.Browser.ImportMap" << "user" << "Top secret" << invalid;
    QTest::newRow("register map, highest level") << "App.Browser.ImportMap" << "admin" << "-" << "";
    QTest::newRow("create tags, user cancels") << "CreateTags" << "user" << "" << needs;
    QTest::newRow("create tags, user types the highest password") << "CreateTags" << "user" << "top secret" << "";
}

void tst_ImportGuard::changesNeedTheHighestLevel()
{
    QFETCH(QString, action);
    QFETCH(QString, level);
    QFETCH(QString, typed);
    QFETCH(QString, refusal);

    Core::SettingsDatabase *database = Core::ICore::settingsDatabase();
    database->beginGroup("Clearance");
    database->setValue("CurrentClearance", level);
    database->endGroup();
    m_levels->readSettings();
    QCOMPARE(m_levels->currentClearance(), level);

    // Answers the prompt and notes the dialogs that come, closing what
    // would let the action go on.
    QStringList seen;
    QTimer driver;
    driver.setInterval(10);
    connect(&driver, &QTimer::timeout, this, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        if (dialog->objectName() == "HighestLevelPasswordDialog") {
            seen << "password";
            if (typed.isEmpty()) {
                dialog->reject();
                return;
            }
            auto *edit = dialog->findChild<QLineEdit *>();
            QVERIFY(edit);
            QCOMPARE(edit->echoMode(), QLineEdit::Password);
            QTest::keyClicks(edit, typed);
            QTest::keyClick(edit, Qt::Key_Return);
            return;
        }
        seen << (qobject_cast<QFileDialog *>(dialog) ? "file" : "other");
        dialog->reject();
    });
    driver.start();

    if (!refusal.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(refusal)));
    Browser::MapFileActions files(nullptr, nullptr);
    if (action == "CreateTags") {
        Browser::BrowserModel model;
        model.setRange(Pointbook::Tag::HR, 10, 4);
        files.createTags(&model, {0, 1});
    } else {
        Core::Command *command = Core::ActionManager::command(Core::Id(action.toLatin1().constData()));
        QVERIFY(command && command->action());
        QVERIFY(command->action()->isEnabled());
        command->action()->trigger();
    }
    driver.stop();

    const QStringList prompt = level == "admin" ? QStringList() : QStringList{"password"};
    if (refusal.isEmpty()) {
        // Allowed: the file or tag dialog comes next; closing it changes nothing.
        QCOMPARE(seen, prompt + QStringList{action == "CreateTags" ? "other" : "file"});
    } else {
        QCOMPARE(seen, prompt);
        if (action == "CreateTags")
            QVERIFY2(files.lastMessage().contains(refusal), qPrintable(files.lastMessage()));
    }
    QCOMPARE(m_levels->currentClearance(), level);
}

QTEST_MAIN(tst_ImportGuard)
#include "tst_importguard.moc"
