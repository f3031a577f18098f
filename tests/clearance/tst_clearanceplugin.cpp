#include <clearance/baseclearance.h>
#include <clearance/clearanceplugin.h>
#include <clearance/clearancetag.h>
#include <clearance/passworddigest.h>
#include <core/actioncontainer.h>
#include <core/actionmanager.h>
#include <core/command.h>
#include <core/coreplugin.h>
#include <core/icore.h>
#include <core/settingsdatabase.h>
#include <core/shippedfiles.h>
#include <popnote/popnoteplugin.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <functional>

using Clearance::BaseClearance;
using Clearance::ClearancePlugin;
using Clearance::ClearanceTag;

namespace {

struct Note
{
    QString title;
    QString body;
    int type;
};

QList<Note> notes(const QSignalSpy &spy)
{
    QList<Note> result;
    for (const QList<QVariant> &args : spy)
        result.append({args.at(0).toString(), args.at(1).toString(), args.at(2).toInt()});
    return result;
}

bool hasNote(const QSignalSpy &spy, const QString &body, int type)
{
    for (const Note &note : notes(spy)) {
        if (note.title == QLatin1String("Access level") && note.body == body && note.type == type)
            return true;
    }
    return false;
}

QByteArray sha256(const QString &text)
{
    return QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256);
}

} // namespace

class tst_ClearancePlugin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void actionsInFileMenu();
    void levelDialogWidgets();
    void passwordDialogWidgets();
    void levelDialogWithoutDigest_data();
    void levelDialogWithoutDigest();
    void acceptingCurrentLevelAgainEmits();
    void cancelKeepsLevel();
    void passwordChangeSwitchesPassword();
    void samePasswordRefused_data();
    void samePasswordRefused();
    void wrongCurrentPasswordRefused();
    void currentClearanceSetting_data();
    void currentClearanceSetting();
    void levelPersistsThroughShutdown();
    void noLevelsNoSwitch();
    void listFileParsing();
    void listFileParseErrorKeepsLevels_data();
    void listFileParseErrorKeepsLevels();
    void setVersionWithoutRightsFiles();
    void brokenRightsFileGrantsNothing();
    void levelsInFileOrder();
    void unsafeNamesNeverLeaveFolder_data();
    void unsafeNamesNeverLeaveFolder();
    void demoFilesLoad();

private:
    void writeFile(const QString &relativePath, const QByteArray &content);
    void writeLevels(const QList<QPair<QString, QString>> &levels);
    void writeRights(const QString &id, const QString &version, const QByteArray &body = "<ir/>");
    // Runs action on the next modal dialog once it is shown; a dialog
    // still open afterwards is rejected so that exec() returns.
    void onModalDialog(std::function<void(QDialog *)> action);
    static void choose(QDialog *dialog, const QString &id);
    static void clickOk(QDialog *dialog);
    QByteArray storedDigest(const QString &id) const;
    void storeDigest(const QString &id, const QByteArray &digest);

    QTemporaryDir m_home;
    QString m_folder;
    Core::CorePlugin *m_core = nullptr;
    Popnote::PopnotePlugin *m_popnote = nullptr;
    ClearancePlugin *m_plugin = nullptr;
    bool m_dialogRan = false;
};

void tst_ClearancePlugin::initTestCase()
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
    QVERIFY(Core::ICore::settingsDatabase());

    m_plugin = new ClearancePlugin;
    QCOMPARE(ClearancePlugin::instance(), m_plugin);
    QVERIFY(m_plugin->initialize({}, &error));
    m_plugin->extensionsInitialized();
    QCOMPARE(m_plugin->currentClearance(), QString("user"));

    m_folder = ClearancePlugin::clearanceFolder();
    QVERIFY2(m_folder.startsWith(m_home.path()), qPrintable(m_folder));
    QVERIFY(m_folder.endsWith("/Korvane_Config/configmodules/clearance/"));
}

void tst_ClearancePlugin::init()
{
    QDir(m_folder).removeRecursively();
    QVERIFY(QDir().mkpath(m_folder));
    Core::SettingsDatabase *database = Core::ICore::settingsDatabase();
    database->remove("Clearance");
    m_plugin->parseClearance(QDomElement());
    m_plugin->readSettings();
    m_dialogRan = false;
}

void tst_ClearancePlugin::cleanupTestCase()
{
    if (m_plugin) {
        m_plugin->aboutToShutdown();
        delete m_plugin;
        QVERIFY(!ClearancePlugin::instance());
    }
    if (m_popnote) {
        m_popnote->aboutToShutdown();
        delete m_popnote;
    }
    if (m_core) {
        m_core->aboutToShutdown();
        delete m_core;
    }
}

void tst_ClearancePlugin::writeFile(const QString &relativePath, const QByteArray &content)
{
    const QString path = m_folder + relativePath;
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    file.write(content);
}

void tst_ClearancePlugin::writeLevels(const QList<QPair<QString, QString>> &levels)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<clearances>\n";
    for (const auto &level : levels)
        xml += "  <clearance id=\"" + level.first.toUtf8() + "\" name=\"" + level.second.toUtf8()
               + "\"/>\n";
    xml += "</clearances>\n";
    writeFile("clearance.xml", xml);
    m_plugin->readClearance();
    QCOMPARE(m_plugin->clearances().size(), levels.size());
}

void tst_ClearancePlugin::writeRights(const QString &id, const QString &version,
                                      const QByteArray &body)
{
    writeFile(id + "_v" + version + ".xml",
              "<base version=\"" + version.toUtf8() + "\">" + body + "</base>");
}

void tst_ClearancePlugin::onModalDialog(std::function<void(QDialog *)> action)
{
    auto *timer = new QTimer(this);
    timer->setInterval(10);
    connect(timer, &QTimer::timeout, this, [this, timer, action] {
        QPointer<QDialog> dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        timer->stop();
        timer->deleteLater();
        m_dialogRan = true;
        action(dialog);
        if (dialog && dialog->isVisible())
            dialog->reject();
    });
    timer->start();
}

void tst_ClearancePlugin::choose(QDialog *dialog, const QString &id)
{
    auto *combo = dialog->findChild<QComboBox *>("comboBoxNameClearance");
    QVERIFY(combo);
    const int index = combo->findData(id);
    QVERIFY2(index >= 0, qPrintable(id));
    combo->setCurrentIndex(index);
}

void tst_ClearancePlugin::clickOk(QDialog *dialog)
{
    auto *box = dialog->findChild<QDialogButtonBox *>("buttonBox");
    QVERIFY(box);
    box->button(QDialogButtonBox::Ok)->click();
}

QByteArray tst_ClearancePlugin::storedDigest(const QString &id) const
{
    Core::SettingsDatabase *database = Core::ICore::settingsDatabase();
    database->beginGroup("Clearance");
    const QVariant value = database->value(id);
    database->endGroup();
    return value.toByteArray();
}

void tst_ClearancePlugin::storeDigest(const QString &id, const QByteArray &digest)
{
    Core::SettingsDatabase *database = Core::ICore::settingsDatabase();
    database->beginGroup("Clearance");
    database->setValue(id, digest);
    database->endGroup();
}

void tst_ClearancePlugin::actionsInFileMenu()
{
    Core::ActionContainer *file = Core::ActionManager::actionContainer("App.Menu.File");
    QVERIFY(file && file->menu());
    const QList<QPair<const char *, QString>> expected = {
        {"App.Clearance", "Access level"},
        {"App.PasswordManagement", "Password management"},
    };
    for (const auto &entry : expected) {
        Core::Command *command = Core::ActionManager::command(entry.first);
        QVERIFY2(command, entry.first);
        QCOMPARE(command->registeredAction()->text(), entry.second);
        QVERIFY(!command->registeredAction()->icon().isNull());
        QVERIFY(command->context().contains("Global Context"));
        QVERIFY(file->menu()->actions().contains(command->action()));
    }
    QVERIFY(!QIcon(":/clearance/images/clearance.png").pixmap(16, 16).isNull());
    QVERIFY(!QIcon(":/clearance/images/password.png").pixmap(16, 16).isNull());

    // The menu entry opens the dialog.
    QString title;
    onModalDialog([&](QDialog *dialog) { title = dialog->windowTitle(); });
    Core::ActionManager::command("App.PasswordManagement")->action()->trigger();
    QCOMPARE(title, QString("Password management"));
}

void tst_ClearancePlugin::levelDialogWidgets()
{
    writeLevels({{"user", "User"}, {"engineer", "Engineer"}, {"admin", "Administrator"}});
    storeDigest("admin", sha256("x"));
    onModalDialog([](QDialog *dialog) {
        QCOMPARE(dialog->objectName(), QString("ClearanceDialog"));
        QCOMPARE(dialog->windowTitle(), QString("Access level control"));
        QCOMPARE(dialog->parentWidget(), Core::ICore::mainWindow());
        const Qt::WindowFlags flags = dialog->windowFlags();
        QVERIFY(flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
        QVERIFY(flags.testFlag(Qt::WindowTitleHint));
        QVERIFY(flags.testFlag(Qt::WindowSystemMenuHint));

        QVERIFY(dialog->findChild<QGridLayout *>("gridLayout_2"));
        QVERIFY(dialog->findChild<QGridLayout *>("gridLayout"));
        QCOMPARE(dialog->findChild<QLabel *>("labelClearance")->text(), QString("Access level:"));
        QCOMPARE(dialog->findChild<QLabel *>("labelPassword")->text(), QString("Password:"));
        auto *edit = dialog->findChild<QLineEdit *>("lineEditPassword");
        QCOMPARE(edit->echoMode(), QLineEdit::Password);
        QVERIFY(edit->alignment() & Qt::AlignHCenter);
        auto *box = dialog->findChild<QDialogButtonBox *>("buttonBox");
        QCOMPARE(box->orientation(), Qt::Horizontal);
        QCOMPARE(box->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);

        auto *combo = dialog->findChild<QComboBox *>("comboBoxNameClearance");
        QCOMPARE(combo->count(), 3);
        QCOMPARE(combo->currentData().toString(), QString("user"));
        QCOMPARE(combo->currentText(), QString("User"));
        QCOMPARE(combo->itemText(combo->findData("admin")), QString("Administrator"));
        // Listed in the order of the level file.
        QCOMPARE((QStringList{combo->itemData(0).toString(), combo->itemData(1).toString(),
                              combo->itemData(2).toString()}),
                 (QStringList{"user", "engineer", "admin"}));
    });
    m_plugin->showClearanceDialog(false);
    QVERIFY(m_dialogRan);
}

void tst_ClearancePlugin::passwordDialogWidgets()
{
    writeLevels({{"user", "User"}, {"admin", "Administrator"}});
    onModalDialog([](QDialog *dialog) {
        QCOMPARE(dialog->objectName(), QString("PasswordManagementDialog"));
        QCOMPARE(dialog->windowTitle(), QString("Password management"));
        QCOMPARE(dialog->parentWidget(), Core::ICore::mainWindow());
        QVERIFY(dialog->windowFlags().testFlag(Qt::MSWindowsFixedSizeDialogHint));
        QVERIFY(dialog->findChild<QGridLayout *>("gridLayout_2"));
        QVERIFY(dialog->findChild<QGridLayout *>("gridLayout"));
        QCOMPARE(dialog->findChild<QLabel *>("labelPasswordCurrent")->text(),
                 QString("Current password:"));
        QCOMPARE(dialog->findChild<QLabel *>("labelPasswordNew")->text(), QString("New password:"));
        QCOMPARE(dialog->findChild<QLabel *>("labelClearance")->text(), QString("Access level:"));
        for (const char *name : {"lineEditPasswordCurrent", "lineEditPasswordNew", "lineEditPasswordRepeat"}) {
            auto *edit = dialog->findChild<QLineEdit *>(name);
            QVERIFY2(edit, name);
            QCOMPARE(edit->echoMode(), QLineEdit::Password);
            QVERIFY(edit->alignment() & Qt::AlignHCenter);
        }
        auto *combo = dialog->findChild<QComboBox *>("comboBoxNameClearance");
        QCOMPARE(combo->count(), 2);
        QCOMPARE(combo->currentIndex(), 0);
        QVERIFY(dialog->findChild<QDialogButtonBox *>("buttonBox"));
    });
    m_plugin->showPasswordManagementDialog(false);
    QVERIFY(m_dialogRan);
}

void tst_ClearancePlugin::levelDialogWithoutDigest_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("empty") << "" << true;
    QTest::newRow("word") << "secret" << false;
    QTest::newRow("space") << " " << false;
}

void tst_ClearancePlugin::levelDialogWithoutDigest()
{
    QFETCH(QString, password);
    QFETCH(bool, accepted);

    writeLevels({{"user", "User"}, {"admin", "Administrator"}});
    storeDigest("admin", QByteArray()); // an empty digest is no digest
    QSignalSpy changed(m_plugin, &ClearancePlugin::changeCurrentClearance);
    QSignalSpy notified(m_popnote, &Popnote::PopnotePlugin::notificationAdded);

    bool stayedOpen = false;
    onModalDialog([&](QDialog *dialog) {
        choose(dialog, "admin");
        dialog->findChild<QLineEdit *>("lineEditPassword")->setText(password);
        clickOk(dialog);
        stayedOpen = dialog->isVisible();
        if (stayedOpen) // the input is kept for another try
            QCOMPARE(dialog->findChild<QLineEdit *>("lineEditPassword")->text(), password);
    });
    m_plugin->showClearanceDialog(false);
    QVERIFY(m_dialogRan);

    QCOMPARE(stayedOpen, !accepted);
    if (accepted) {
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toString(), QString("admin"));
        QCOMPARE(m_plugin->currentClearance(), QString("admin"));
        QVERIFY(hasNote(notified, "Access level successfully changed!", 0));
    } else {
        QCOMPARE(changed.count(), 0);
        QCOMPARE(m_plugin->currentClearance(), QString("user"));
        QVERIFY(hasNote(notified, "Invalid password!", 2));
        QVERIFY(!hasNote(notified, "Access level successfully changed!", 0));
    }
    QVERIFY(storedDigest("admin").isEmpty());
}

void tst_ClearancePlugin::acceptingCurrentLevelAgainEmits()
{
    writeLevels({{"user", "User"}, {"admin", "Administrator"}});
    QSignalSpy changed(m_plugin, &ClearancePlugin::changeCurrentClearance);
    onModalDialog([](QDialog *dialog) { clickOk(dialog); });
    m_plugin->showClearanceDialog(false);
    QVERIFY(m_dialogRan);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toString(), QString("user"));
}

void tst_ClearancePlugin::cancelKeepsLevel()
{
    writeLevels({{"user", "User"}, {"admin", "Administrator"}});
    QSignalSpy changed(m_plugin, &ClearancePlugin::changeCurrentClearance);
    onModalDialog([](QDialog *dialog) {
        choose(dialog, "admin");
        dialog->findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Cancel)->click();
    });
    m_plugin->showClearanceDialog(false);
    QVERIFY(m_dialogRan);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(m_plugin->currentClearance(), QString("user"));
}

void tst_ClearancePlugin::passwordChangeSwitchesPassword()
{
    writeLevels({{"user", "User"}, {"admin", "Administrator"}});
    QSignalSpy notified(m_popnote, &Popnote::PopnotePlugin::notificationAdded);

    bool closed = false;
    onModalDialog([&](QDialog *dialog) {
        choose(dialog, "admin");
        dialog->findChild<QLineEdit *>("lineEditPasswordCurrent")->setText("");
        dialog->findChild<QLineEdit *>("lineEditPasswordNew")->setText(QString::fromUtf8("Пароль-1"));
        // A slip in the repetition is refused and loses nothing.
        dialog->findChild<QLineEdit *>("lineEditPasswordRepeat")->setText(QString::fromUtf8("Пароль-2"));
        clickOk(dialog);
        QVERIFY(dialog->isVisible());
        dialog->findChild<QLineEdit *>("lineEditPasswordRepeat")->setText(QString::fromUtf8("Пароль-1"));
        clickOk(dialog);
        closed = !dialog->isVisible();
    });
    m_plugin->showPasswordManagementDialog(false);
    QVERIFY(closed);
    QVERIFY(hasNote(notified, "The new password and its repetition differ!", 2));
    QVERIFY(hasNote(notified, "Password successfully saved!", 0));
    const QByteArray digest = storedDigest("admin");
    QCOMPARE(digest.size(), 32);
    QCOMPARE(digest, sha256(QString::fromUtf8("Пароль-1")));
    // The other level keeps the empty password.
    QVERIFY(storedDigest("user").isEmpty());

    // The old (empty) password no longer opens the level ...
    QSignalSpy changed(m_plugin, &ClearancePlugin::changeCurrentClearance);
    notified.clear();
    onModalDialog([](QDialog *dialog) {
        choose(dialog, "admin");
        clickOk(dialog);
    });
    m_plugin->showClearanceDialog(false);
    QCOMPARE(changed.count(), 0);
    QVERIFY(hasNote(notified, "Invalid password!", 2));

    // ... the new one does.
    onModalDialog([](QDialog *dialog) {
        choose(dialog, "admin");
        dialog->findChild<QLineEdit *>("lineEditPassword")->setText(QString::fromUtf8("Пароль-1"));
        clickOk(dialog);
    });
    m_plugin->showClearanceDialog(false);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(m_plugin->currentClearance(), QString("admin"));
}

void tst_ClearancePlugin::samePasswordRefused_data()
{
    QTest::addColumn<QString>("password"); // current and new alike
    QTest::newRow("empty password") << "";
    QTest::newRow("stored password") << "abc";
}

void tst_ClearancePlugin::samePasswordRefused()
{
    QFETCH(QString, password);

    writeLevels({{"admin", "Administrator"}});
    if (!password.isEmpty())
        storeDigest("admin", sha256(password));
    const QByteArray before = storedDigest("admin");
    QSignalSpy notified(m_popnote, &Popnote::PopnotePlugin::notificationAdded);

    bool stayedOpen = false;
    onModalDialog([&](QDialog *dialog) {
        dialog->findChild<QLineEdit *>("lineEditPasswordCurrent")->setText(password);
        dialog->findChild<QLineEdit *>("lineEditPasswordNew")->setText(password);
        clickOk(dialog);
        stayedOpen = dialog->isVisible();
    });
    m_plugin->showPasswordManagementDialog(false);
    QVERIFY(stayedOpen);
    QVERIFY(hasNote(notified, "The new password is the same as the current one!", 1));
    QVERIFY(!hasNote(notified, "Password successfully saved!", 0));
    QCOMPARE(storedDigest("admin"), before);
    Core::SettingsDatabase *database = Core::ICore::settingsDatabase();
    database->beginGroup("Clearance");
    QCOMPARE(database->contains("admin"), !password.isEmpty());
    database->endGroup();
}

void tst_ClearancePlugin::wrongCurrentPasswordRefused()
{
    writeLevels({{"admin", "Administrator"}});
    storeDigest("admin", sha256("Right"));
    QSignalSpy notified(m_popnote, &Popnote::PopnotePlugin::notificationAdded);

    bool stayedOpen = false;
    onModalDialog([&](QDialog *dialog) {
        dialog->findChild<QLineEdit *>("lineEditPasswordCurrent")->setText("right"); // case matters
        dialog->findChild<QLineEdit *>("lineEditPasswordNew")->setText("other");
        clickOk(dialog);
        stayedOpen = dialog->isVisible();
    });
    m_plugin->showPasswordManagementDialog(false);
    QVERIFY(stayedOpen);
    QVERIFY(hasNote(notified, "Invalid current password!", 2));
    QCOMPARE(storedDigest("admin"), sha256("Right"));
}

void tst_ClearancePlugin::currentClearanceSetting_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("expected");

    QTest::newRow("absent") << QVariant() << "user";
    QTest::newRow("empty") << QVariant(QString()) << "user";
    QTest::newRow("admin") << QVariant(QString("admin")) << "admin";
}

void tst_ClearancePlugin::currentClearanceSetting()
{
    QFETCH(QVariant, stored);
    QFETCH(QString, expected);

    if (stored.isValid()) {
        Core::SettingsDatabase *database = Core::ICore::settingsDatabase();
        database->beginGroup("Clearance");
        database->setValue("CurrentClearance", stored);
        database->endGroup();
    }
    QSignalSpy changed(m_plugin, &ClearancePlugin::changeCurrentClearance);
    m_plugin->readSettings();
    QCOMPARE(m_plugin->currentClearance(), expected);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toString(), expected);
}

void tst_ClearancePlugin::levelPersistsThroughShutdown()
{
    writeLevels({{"user", "User"}, {"engineer", "Engineer"}});
    onModalDialog([](QDialog *dialog) {
        choose(dialog, "engineer");
        clickOk(dialog);
    });
    m_plugin->showClearanceDialog(false);
    QCOMPARE(m_plugin->currentClearance(), QString("engineer"));

    QCOMPARE(m_plugin->aboutToShutdown(), ExtensionSystem::IPlugin::SynchronousShutdown);
    Core::SettingsDatabase *database = Core::ICore::settingsDatabase();
    database->beginGroup("Clearance");
    QCOMPARE(database->value("CurrentClearance").toString(), QString("engineer"));
    database->endGroup();

    // A fresh start reads it back.
    QSignalSpy changed(m_plugin, &ClearancePlugin::changeCurrentClearance);
    m_plugin->extensionsInitialized();
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toString(), QString("engineer"));
}

void tst_ClearancePlugin::noLevelsNoSwitch()
{
    // Without a list file there is no level to switch to: the empty
    // password must not make the current level empty.
    QVERIFY(m_plugin->clearances().isEmpty());
    QSignalSpy changed(m_plugin, &ClearancePlugin::changeCurrentClearance);
    bool okEnabled = true;
    onModalDialog([&](QDialog *dialog) {
        QCOMPARE(dialog->findChild<QComboBox *>("comboBoxNameClearance")->count(), 0);
        okEnabled = dialog->findChild<QDialogButtonBox *>("buttonBox")
                        ->button(QDialogButtonBox::Ok)->isEnabled();
        dialog->accept(); // even when forced
    });
    m_plugin->showClearanceDialog(false);
    QVERIFY(m_dialogRan);
    QVERIFY(!okEnabled);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(m_plugin->currentClearance(), QString("user"));

    onModalDialog([&](QDialog *dialog) { dialog->accept(); });
    m_plugin->showPasswordManagementDialog(false);
    Core::SettingsDatabase *database = Core::ICore::settingsDatabase();
    database->beginGroup("Clearance");
    QVERIFY(database->childKeys().isEmpty());
    database->endGroup();
}

void tst_ClearancePlugin::listFileParsing()
{
    writeFile("clearance.xml",
              "<anything>\n"
              "  <clearance id=\"user\" name=\"First\"/>\n"
              "  <level id=\"ignored\" name=\"Ignored\"/>\n"
              "  <clearance id=\"service\" name=\"Sales & Service\"/>\n"
              "  <clearance id=\"user\" name=\"User\"/>\n"
              "</anything>\n");
    m_plugin->readClearance();
    const QHash<QString, QString> expected{{"user", "User"}, {"service", "Sales & Service"}};
    QCOMPARE(m_plugin->clearances(), expected);

    // A missing list file changes nothing.
    QVERIFY(QFile::remove(m_folder + "clearance.xml"));
    m_plugin->readClearance();
    QCOMPARE(m_plugin->clearances(), expected);
}

void tst_ClearancePlugin::listFileParseErrorKeepsLevels_data()
{
    QTest::addColumn<QByteArray>("content"); // null: a sparse file above the size limit
    QTest::addColumn<QString>("body");       // regular expression
    QTest::newRow("unclosed element")
        << QByteArray("<clearances>\n<clearance id=\"x\" name=\"X\">\n</clearances>\n")
        << "^.+: line - 3, column - \\d+$";
    // Read at every start: deep nesting must not take the program down.
    QTest::newRow("nested too deep")
        << "<clearances>\n" + QByteArray("<c>").repeated(50000)
        << "^elements are nested deeper than 256 levels: line - 2, column - 766$";
    QTest::newRow("larger than 64 MiB") << QByteArray() << "too large: 67108865 bytes";
}

void tst_ClearancePlugin::listFileParseErrorKeepsLevels()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, body);
    writeLevels({{"user", "User"}, {"admin", "Administrator"}});
    const auto before = m_plugin->clearances();
    writeFile("clearance.xml", content);
    if (content.isNull())
        QVERIFY(QFile::resize(m_folder + "clearance.xml", qint64(64) * 1024 * 1024 + 1));
    QSignalSpy notified(m_popnote, &Popnote::PopnotePlugin::notificationAdded);
    m_plugin->readClearance();
    QCOMPARE(m_plugin->clearances(), before);
    QCOMPARE(notified.count(), 1);
    const Note note = notes(notified).first();
    QCOMPARE(note.title, QString("Access level"));
    QCOMPARE(note.type, 2);
    QVERIFY2(QRegularExpression(body).match(note.body).hasMatch(), qPrintable(note.body));
}

void tst_ClearancePlugin::setVersionWithoutRightsFiles()
{
    writeLevels({{"user", "User"}, {"admin", "Administrator"}});
    writeRights("user", "1.00"); // another version only
    QSignalSpy loaded(m_plugin, &ClearancePlugin::baseClearanceLoaded);
    QSignalSpy notified(m_popnote, &Popnote::PopnotePlugin::notificationAdded);
    m_plugin->setVersion("2.00");
    QCOMPARE(m_plugin->version(), QString("2.00"));
    QCOMPARE(loaded.count(), 0);
    const QList<Note> seen = notes(notified);
    QCOMPARE(seen.size(), 2);
    QCOMPARE(seen.at(0).body, QString("Search for the register map access files!"));
    QCOMPARE(seen.at(0).type, 0);
    QCOMPARE(seen.at(1).body, QString("Register card access files not found!"));
    QCOMPARE(seen.at(1).type, 2);
    QVERIFY(!m_plugin->currentBaseClearance());
}

// A rights file that is there but unusable leaves its level with no right
// at all, and says which file and why; a level without a file has no
// collection (every tag shown, none writable), and the other levels load.
void tst_ClearancePlugin::brokenRightsFileGrantsNothing()
{
    writeLevels({{"user", "User"}, {"engineer", "Engineer"}, {"admin", "Administrator"},
                 {"guest", "Guest"}});
    writeRights("user", "1.00", "<ir><tag id=\"Pressure\" visible=\"true\"/></ir>");
    writeFile("engineer_v1.00.xml", "<base version=\"1.00\"><ir><tag id=\"Pres");  // truncated
    writeFile("admin_v1.00.xml", "<base version=\"1.0\"><ir><tag id=\"Pressure\"/></ir></base>");
    // guest: no file at all
    QSignalSpy loaded(m_plugin, &ClearancePlugin::baseClearanceLoaded);
    QSignalSpy notified(m_popnote, &Popnote::PopnotePlugin::notificationAdded);
    m_plugin->setVersion("1.00");

    QCOMPARE(loaded.count(), 1);
    QCOMPARE(loaded.at(0).at(0).toString(), QString("1.00"));
    QVERIFY(!hasNote(notified, "Register card access files successfully loaded!", 0));
    QVERIFY(!hasNote(notified, "Register card access files not found!", 2));
    const QList<Note> seen = notes(notified);
    for (const QString &id : {QString("engineer"), QString("admin")}) {
        BaseClearance *none = m_plugin->baseClearance(id);
        QVERIFY2(none, qPrintable(id));
        for (int type = 1; type <= 4; ++type)
            QCOMPARE(none->sizeTagHash(ClearanceTag::RegisterType(type)), 0);
        const QString prefix = "The access file \"" + QDir::toNativeSeparators(m_folder + id + "_v1.00.xml")
                               + "\" cannot be read: ";
        const auto it = std::find_if(seen.cbegin(), seen.cend(),
                                     [&prefix](const Note &n) { return n.body.startsWith(prefix); });
        QVERIFY2(it != seen.cend(), qPrintable(prefix));
        QCOMPARE(it->type, 2);
        QVERIFY2(id == "engineer" ? it->body.contains(": line - 1, column - ")
                                  : it->body.endsWith("The file is not an version 1.00 file."),
                 qPrintable(it->body));
    }
    QVERIFY(!m_plugin->baseClearance("guest"));
    BaseClearance *rights = m_plugin->baseClearance("user");
    QVERIFY(rights);
    QVERIFY(rights->tagHash(ClearanceTag::InputRegisters).value("Pressure")->visible());

    // A version change replaces every collection.
    QPointer<BaseClearance> previous = rights;
    m_plugin->setVersion("3.00");
    QVERIFY(previous.isNull());
    QVERIFY(!m_plugin->currentBaseClearance());
}

// Both dialogs offer the levels in the order of the list file, in every run.
void tst_ClearancePlugin::levelsInFileOrder()
{
    const QList<QPair<QString, QString>> levels{
        {"zeta", "Zeta"}, {"alpha", "Alpha"}, {"mid", "Mid"}, {"beta", "Beta"},
        {"user", "User"}, {"omega", "Omega"}, {"admin", "Administrator"}, {"kappa", "Kappa"}};
    writeLevels(levels);
    QStringList expected;
    for (const auto &level : levels)
        expected.append(level.first);
    QCOMPARE(m_plugin->clearanceIds(), expected);

    for (auto show : {&ClearancePlugin::showClearanceDialog,
                      &ClearancePlugin::showPasswordManagementDialog}) {
        QStringList offered;
        onModalDialog([&offered](QDialog *dialog) {
            auto *combo = dialog->findChild<QComboBox *>("comboBoxNameClearance");
            for (int i = 0; i < combo->count(); ++i)
                offered.append(combo->itemData(i).toString());
        });
        (m_plugin->*show)(false);
        QCOMPARE(offered, expected);
    }
}

void tst_ClearancePlugin::unsafeNamesNeverLeaveFolder_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("file"); // relative to the access folder
    QTest::addColumn<bool>("othersLoad");

    QTest::newRow("id climbs out") << "../outside" << "1.00" << "../outside_v1.00.xml" << true;
    QTest::newRow("id names sub-folder") << "sub/inner" << "1.00" << "sub/inner_v1.00.xml" << true;
    QTest::newRow("id with backslash") << "a\\b" << "1.00" << "a\\b_v1.00.xml" << true;
    QTest::newRow("id dot dot only") << ".." << "1.00" << ".._v1.00.xml" << true;
    QTest::newRow("version climbs out") << "user" << "/../../elsewhere" << "../elsewhere.xml"
                                        << false;
    QTest::newRow("version with backslash") << "user" << "1\\00" << "user_v1\\00.xml" << false;
}

void tst_ClearancePlugin::unsafeNamesNeverLeaveFolder()
{
    QFETCH(QString, id);
    QFETCH(QString, version);
    QFETCH(QString, file);
    QFETCH(bool, othersLoad);

    // The file the unsafe name points at exists and is valid, so only the
    // name check keeps it from being read.
    if (version.startsWith('/'))
        QVERIFY(QDir().mkpath(m_folder + id + "_v"));
    writeFile(file, "<base version=\"" + version.toUtf8() + "\"><ir><tag id=\"T\"/></ir></base>");
    writeRights("safe", version.contains('/') || version.contains('\\') ? "1.00" : version);

    writeLevels({{id, "Unsafe"}, {"safe", "Safe"}});
    QSignalSpy loaded(m_plugin, &ClearancePlugin::baseClearanceLoaded);
    QSignalSpy notified(m_popnote, &Popnote::PopnotePlugin::notificationAdded);
    for (int i = othersLoad ? 1 : 2; i > 0; --i)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("skipped"));
    m_plugin->setVersion(version);

    QVERIFY(!m_plugin->baseClearance(id));
    QCOMPARE(bool(m_plugin->baseClearance("safe")), othersLoad);
    QCOMPARE(loaded.count(), othersLoad ? 1 : 0);
    if (!othersLoad)
        QVERIFY(hasNote(notified, "Register card access files not found!", 2));
}

void tst_ClearancePlugin::demoFilesLoad()
{
    const QString shipped = QStringLiteral(KORVANE_SOURCE_DIR "/share/appcore/demo/clearance");
    QDir(m_folder).removeRecursively();
    QCOMPARE(Core::ShippedFiles::install(shipped, m_folder), 4);
    m_plugin->readClearance();
    const auto levels = m_plugin->clearances();
    QCOMPARE(QSet<QString>(levels.keyBegin(), levels.keyEnd()),
             (QSet<QString>{"user", "engineer", "admin"}));

    QSignalSpy loaded(m_plugin, &ClearancePlugin::baseClearanceLoaded);
    m_plugin->setVersion("1.00");
    QCOMPARE(loaded.count(), 1);
    for (const QString &id : QStringList{"user", "engineer", "admin"}) {
        BaseClearance *rights = m_plugin->baseClearance(id);
        QVERIFY2(rights, qPrintable(id));
        QVERIFY(rights->tagHash(ClearanceTag::HoldingRegisters).contains("SetPoint"));
        QVERIFY(rights->tagHash(ClearanceTag::InputRegisters).contains("Pressure"));
    }
    // The operator may not change the set point; the manufacturer may.
    QVERIFY(m_plugin->baseClearance("user")->tagHash(ClearanceTag::HoldingRegisters)
                .value("SetPoint")->readonly());
    QVERIFY(!m_plugin->baseClearance("admin")->tagHash(ClearanceTag::HoldingRegisters)
                 .value("SetPoint")->readonly());
}

QTEST_MAIN(tst_ClearancePlugin)

#include "tst_clearanceplugin.moc"
