#include <core/coreplugin.h>
#include <core/icore.h>
#include <core/mainwindow.h>
#include <popnote/notificationstack.h>
#include <popnote/popnoteplugin.h>
#include <popnote/qpopnote.h>

#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPointer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace Popnote;

class tst_Popnote : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void noteContents();
    void withoutWindowLoggedAndFreed_data();
    void withoutWindowLoggedAndFreed();
    void nullNoteIgnored();
    void notifyPostsOrLogs();
    void shownOverMainWindow();
    void doesNotTakeFocus();
    void boundedStack();
    void clickCloses();
    void fadesAfterLifetime();
    void pluginFreesShownNotes();

private:
    QPopnote *makeNote(const QString &title, const QString &body = QStringLiteral("body"));
    void startCore();

    QTemporaryDir m_dir;
    std::unique_ptr<Core::CorePlugin> m_core;
    std::unique_ptr<PopnotePlugin> m_popnote;
};

void tst_Popnote::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
}

void tst_Popnote::init()
{
    m_popnote.reset(new PopnotePlugin);
    QString error;
    QVERIFY(m_popnote->initialize({}, &error));
    QCOMPARE(PopnotePlugin::instance(), m_popnote.get());
}

void tst_Popnote::cleanup()
{
    if (m_popnote)
        m_popnote->aboutToShutdown();
    m_popnote.reset();
    QVERIFY(!PopnotePlugin::instance());
    if (m_core)
        m_core->aboutToShutdown();
    m_core.reset();
}

void tst_Popnote::startCore()
{
    m_core.reset(new Core::CorePlugin);
    QString error;
    QVERIFY2(m_core->initialize({}, &error), qPrintable(error));
    m_core->extensionsInitialized();
    QVERIFY(QTest::qWaitForWindowExposed(Core::ICore::mainWindow()));
}

QPopnote *tst_Popnote::makeNote(const QString &title, const QString &body)
{
    auto note = new QPopnote(nullptr);
    note->setTitle(title);
    note->setBodyText(body);
    return note;
}

void tst_Popnote::noteContents()
{
    QPopnote note;
    note.setTitle(QStringLiteral("Access level"));
    note.setBodyText(QStringLiteral("<b>Invalid password!</b>"));
    QCOMPARE(note.title(), QStringLiteral("Access level"));
    QCOMPARE(note.bodyText(), QStringLiteral("<b>Invalid password!</b>"));
    // Shown as typed, never interpreted as markup.
    auto body = note.findChild<QLabel *>(QStringLiteral("popnoteBody"));
    QVERIFY(body);
    QCOMPARE(body->textFormat(), Qt::PlainText);
    QCOMPARE(note.focusPolicy(), Qt::NoFocus);
    QVERIFY(note.testAttribute(Qt::WA_ShowWithoutActivating));

    QSet<QRgb> colours;
    for (int type = 0; type < 3; ++type) {
        note.setType(type);
        colours.insert(note.backgroundColor().rgb());
    }
    QCOMPARE(colours.size(), 3);
}

void tst_Popnote::withoutWindowLoggedAndFreed_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("loggedAs");
    QTest::addColumn<int>("reportedType");
    QTest::newRow("information") << 0 << int(QtInfoMsg) << 0;
    QTest::newRow("not found") << 1 << int(QtWarningMsg) << 1;
    QTest::newRow("error") << 2 << int(QtCriticalMsg) << 2;
}

void tst_Popnote::withoutWindowLoggedAndFreed()
{
    QFETCH(int, type);
    QFETCH(int, loggedAs);
    QFETCH(int, reportedType);
    QVERIFY(!Core::ICore::mainWindow());

    QSignalSpy spy(m_popnote.get(), &PopnotePlugin::notificationAdded);
    QPointer<QPopnote> note = makeNote(QStringLiteral("Pointbook"), QStringLiteral("Register map file successfully loaded!"));
    QTest::ignoreMessage(QtMsgType(loggedAs), "Pointbook: Register map file successfully loaded!");
    m_popnote->addNotification(note, PopnotePlugin::TypeNotification(type), true);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("Pointbook"));
    QCOMPARE(spy.at(0).at(1).toString(), QStringLiteral("Register map file successfully loaded!"));
    QCOMPARE(spy.at(0).at(2).toInt(), reportedType);
    QTRY_VERIFY(note.isNull());
    QVERIFY(m_popnote->visibleNotifications().isEmpty());
}

void tst_Popnote::nullNoteIgnored()
{
    QSignalSpy spy(m_popnote.get(), &PopnotePlugin::notificationAdded);
    QTest::ignoreMessage(QtWarningMsg, "addNotification called without a notification");
    m_popnote->addNotification(nullptr, PopnotePlugin::Error, true);
    QCOMPARE(spy.count(), 0);

    // An out-of-range type is shown as information rather than dropped.
    QTest::ignoreMessage(QtWarningMsg, "Unknown notification type 9 shown as information");
    QTest::ignoreMessage(QtInfoMsg, "odd");
    m_popnote->addNotification(makeNote(QString(), QStringLiteral("odd")),
                               PopnotePlugin::TypeNotification(9), true);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(2).toInt(), 0);
}

void tst_Popnote::notifyPostsOrLogs()
{
    QSignalSpy spy(m_popnote.get(), &PopnotePlugin::notificationAdded);
    QTest::ignoreMessage(QtCriticalMsg, "Access level: Invalid password!");
    PopnotePlugin::notify(QStringLiteral("Access level"), QStringLiteral("Invalid password!"),
                          PopnotePlugin::Error);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("Access level"));
    QCOMPARE(spy.at(0).at(1).toString(), QStringLiteral("Invalid password!"));
    QCOMPARE(spy.at(0).at(2).toInt(), int(PopnotePlugin::Error));

    // Without the service the message still reaches the log.
    m_popnote->aboutToShutdown();
    m_popnote.reset();
    QVERIFY(!PopnotePlugin::instance());
    QTest::ignoreMessage(QtWarningMsg, "Access level : Password successfully saved!");
    PopnotePlugin::notify(QStringLiteral("Access level"), QStringLiteral("Password successfully saved!"),
                          PopnotePlugin::Information);
}

void tst_Popnote::shownOverMainWindow()
{
    startCore();
    auto window = qobject_cast<QMainWindow *>(Core::ICore::mainWindow());
    QList<QPointer<QPopnote>> notes;
    for (int type = 0; type < 3; ++type) {
        QPopnote *note = makeNote(QStringLiteral("T%1").arg(type));
        notes.append(note);
        QTest::ignoreMessage(type == 0 ? QtInfoMsg : type == 1 ? QtWarningMsg : QtCriticalMsg,
                             qPrintable(QStringLiteral("T%1: body").arg(type)));
        m_popnote->addNotification(note, PopnotePlugin::TypeNotification(type), true);
    }
    QCOMPARE(m_popnote->visibleNotifications().size(), 3);
    for (int type = 0; type < 3; ++type) {
        QPopnote *note = notes.at(type);
        QVERIFY(note);
        QCOMPARE(note->window(), window);
        QVERIFY(note->isVisible());
        QCOMPARE(note->type(), type);
        QVERIFY(window->rect().contains(note->geometry()));
    }
    // Newest at the bottom, older ones above it, none overlapping.
    QVERIFY(notes.at(2)->geometry().top() > notes.at(1)->geometry().bottom());
    QVERIFY(notes.at(1)->geometry().top() > notes.at(0)->geometry().bottom());
    // They follow the window's corner.
    window->resize(window->width() + 100, window->height() + 80);
    QTRY_VERIFY(qAbs(notes.at(2)->geometry().right() - window->width()) < 40);
    QVERIFY(window->rect().contains(notes.at(2)->geometry()));
}

void tst_Popnote::doesNotTakeFocus()
{
    startCore();
    auto window = qobject_cast<QMainWindow *>(Core::ICore::mainWindow());
    auto edit = new QLineEdit;
    static_cast<Core::Internal::MainWindow *>(window)->setCentralPage(edit);
    window->activateWindow();
    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());
    QTest::ignoreMessage(QtCriticalMsg, "Error: body");
    m_popnote->addNotification(makeNote(QStringLiteral("Error")), PopnotePlugin::Error, true);
    QTest::qWait(50);
    QVERIFY(edit->hasFocus());
    QCOMPARE(QApplication::activeWindow(), window);
}

void tst_Popnote::boundedStack()
{
    startCore();
    const int total = NotificationStack::maximumVisible() + 4;
    QList<QPointer<QPopnote>> notes;
    for (int i = 0; i < total; ++i) {
        QPopnote *note = makeNote(QStringLiteral("N%1").arg(i));
        notes.append(note);
        QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("N%1: body").arg(i)));
        m_popnote->addNotification(note, PopnotePlugin::NotFound, false);
        QVERIFY(m_popnote->visibleNotifications().size() <= NotificationStack::maximumVisible());
    }
    const QList<QPopnote *> visible = m_popnote->visibleNotifications();
    QCOMPARE(visible.size(), NotificationStack::maximumVisible());
    QCOMPARE(visible.last()->title(), QStringLiteral("N%1").arg(total - 1));
    QCOMPARE(visible.first()->title(), QStringLiteral("N%1").arg(total - NotificationStack::maximumVisible()));
    // The retired ones are freed.
    for (int i = 0; i < total - NotificationStack::maximumVisible(); ++i)
        QTRY_VERIFY(notes.at(i).isNull());
}

void tst_Popnote::clickCloses()
{
    startCore();
    QPointer<QPopnote> note = makeNote(QStringLiteral("Click"));
    QTest::ignoreMessage(QtInfoMsg, "Click: body");
    m_popnote->addNotification(note, PopnotePlugin::Information, false);
    QVERIFY(note && note->isVisible());
    QTest::mouseClick(note, Qt::LeftButton);
    QVERIFY(m_popnote->visibleNotifications().isEmpty());
    QTRY_VERIFY(note.isNull());
}

void tst_Popnote::fadesAfterLifetime()
{
    startCore();
    QPointer<QPopnote> info = makeNote(QStringLiteral("Info"));
    QPointer<QPopnote> error = makeNote(QStringLiteral("Error"));
    QPointer<QPopnote> sticky = makeNote(QStringLiteral("Sticky"));
    QTest::ignoreMessage(QtInfoMsg, "Info: body");
    QTest::ignoreMessage(QtCriticalMsg, "Error: body");
    QTest::ignoreMessage(QtInfoMsg, "Sticky: body");
    m_popnote->addNotification(info, PopnotePlugin::Information, true);
    m_popnote->addNotification(error, PopnotePlugin::Error, true);
    m_popnote->addNotification(sticky, PopnotePlugin::Information, false);
    QVERIFY(NotificationStack::lifetime(PopnotePlugin::Error)
            > NotificationStack::lifetime(PopnotePlugin::Information));
    QTRY_VERIFY_WITH_TIMEOUT(info.isNull(), NotificationStack::lifetime(0) + 10000);
    // Errors stay longer; a note without auto-hide stays.
    QVERIFY(error);
    QVERIFY(sticky);
    QCOMPARE(m_popnote->visibleNotifications().size(), 2);
}

void tst_Popnote::pluginFreesShownNotes()
{
    startCore();
    QPointer<QPopnote> note = makeNote(QStringLiteral("Bye"));
    QTest::ignoreMessage(QtInfoMsg, "Bye: body");
    m_popnote->addNotification(note, PopnotePlugin::Information, false);
    QVERIFY(note);
    m_popnote->aboutToShutdown();
    m_popnote.reset();
    QVERIFY(note.isNull());
}

QTEST_MAIN(tst_Popnote)
#include "tst_popnote.moc"
