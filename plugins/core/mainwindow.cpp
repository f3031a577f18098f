#include "mainwindow.h"

#include "actioncontainer.h"
#include "actionmanager.h"
#include "command.h"
#include "coreconstants.h"
#include "icore.h"
#include "settingsdatabase.h"

#include <extensionsystem/pluginmanager.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>

namespace Core {
namespace Internal {

namespace {
const char kWindowGroup[] = "MainWindow";
const char kGeometryKey[] = "Geometry";
const char kStateKey[] = "State";
} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Core.MainWindow"));
    setWindowTitle(QLatin1String(Constants::APPLICATION_NAME));
    setDockNestingEnabled(true);

    m_pages = new QStackedWidget(this);
    m_pages->setObjectName(QStringLiteral("centralPages"));
    m_welcome = new QLabel(tr("%1 %2").arg(QLatin1String(Constants::APPLICATION_NAME),
                                          QLatin1String(Constants::VERSION)),
                           m_pages);
    m_welcome->setObjectName(QStringLiteral("welcomePage"));
    m_welcome->setAlignment(Qt::AlignCenter);
    m_welcome->setEnabled(false);
    m_pages->addWidget(m_welcome);
    setCentralWidget(m_pages);

    statusBar()->setObjectName(QStringLiteral("statusBar"));
    // A passing message only: a lasting one would hide the status widgets
    // that plug-ins put into the bar.
    statusBar()->showMessage(tr("Ready"), 3000);

    createMenus();
    resize(1024, 700);
}

MainWindow::~MainWindow() = default;

void MainWindow::createMenus()
{
    ActionContainer *bar = ActionManager::createMenuBar(Constants::MENU_BAR);
    if (!bar)
        return;
    bar->appendGroup(Constants::G_MENU_FILE);
    bar->appendGroup(Constants::G_MENU_TOOLS);
    bar->appendGroup(Constants::G_MENU_HELP);
    setMenuBar(bar->menuBar());

    ActionContainer *file = ActionManager::createMenu(Constants::M_FILE);
    file->menu()->setTitle(tr("&File"));
    file->appendGroup(Constants::G_FILE_OPEN);
    file->appendGroup(Constants::G_FILE_SAVE);
    file->appendGroup(Constants::G_FILE_OTHER);
    bar->addMenu(file, Constants::G_MENU_FILE);

    ActionContainer *tools = ActionManager::createMenu(Constants::M_TOOLS);
    tools->menu()->setTitle(tr("&Tools"));
    tools->appendGroup(Constants::G_TOOLS_OPTIONS);
    tools->appendGroup(Constants::G_TOOLS_OTHER);
    bar->addMenu(tools, Constants::G_MENU_TOOLS);

    ActionContainer *help = ActionManager::createMenu(Constants::M_HELP);
    help->menu()->setTitle(tr("&Help"));
    help->appendGroup(Constants::G_HELP_ABOUT);
    bar->addMenu(help, Constants::G_MENU_HELP);

    const Context global(Constants::C_GLOBAL);

    auto exitAction = new QAction(tr("E&xit"), this);
    exitAction->setMenuRole(QAction::QuitRole);
    connect(exitAction, &QAction::triggered, this, &QWidget::close);
    Command *exitCommand = ActionManager::registerAction(exitAction, Constants::EXIT, global);
    exitCommand->setDefaultKeySequence(QKeySequence::Quit);
    file->addAction(exitCommand, Constants::G_FILE_OTHER);

    auto aboutAction = new QAction(tr("&About %1").arg(QLatin1String(Constants::APPLICATION_NAME)),
                                   this);
    aboutAction->setMenuRole(QAction::AboutRole);
    connect(aboutAction, &QAction::triggered, this, &MainWindow::showAbout);
    help->addAction(ActionManager::registerAction(aboutAction, Constants::ABOUT, global),
                    Constants::G_HELP_ABOUT);
}

QString MainWindow::workPath() const
{
    const QString base = QFileInfo(ICore::settings()->fileName()).absolutePath();
    const QString path = base + QLatin1Char('/') + QLatin1String(Constants::APPLICATION_NAME);
    QDir().mkpath(path);
    return path;
}

void MainWindow::setCentralPage(QWidget *page)
{
    if (!page)
        return;
    if (m_pages->indexOf(page) < 0)
        m_pages->addWidget(page);
    m_pages->setCurrentWidget(page);
    fitPagesToCurrent();
}

void MainWindow::addPage(QWidget *page)
{
    if (page && m_pages->indexOf(page) < 0) {
        m_pages->addWidget(page);
        fitPagesToCurrent();
    }
}

void MainWindow::fitPagesToCurrent()
{
    // A stacked widget is as large as its largest page; hidden pages are
    // ignored so that a wide page does not widen the window until shown.
    for (int i = 0; i < m_pages->count(); ++i) {
        QWidget *page = m_pages->widget(i);
        const bool current = page == m_pages->currentWidget();
        page->setSizePolicy(current ? QSizePolicy::Preferred : QSizePolicy::Ignored,
                            current ? QSizePolicy::Preferred : QSizePolicy::Ignored);
    }
}

QWidget *MainWindow::centralPage() const
{
    return m_pages->currentWidget();
}

void MainWindow::addDock(QDockWidget *dock, Qt::DockWidgetArea area)
{
    if (!dock)
        return;
    // saveState() finds docks by object name.
    if (dock->objectName().isEmpty())
        dock->setObjectName(QStringLiteral("Dock.%1").arg(findChildren<QDockWidget *>().size()));
    addDockWidget(area, dock);
    if (ActionContainer *tools = ActionManager::actionContainer(Constants::M_TOOLS)) {
        const Id id = Id::fromString(QStringLiteral("App.Dock.") + dock->objectName());
        if (Command *command = ActionManager::registerAction(dock->toggleViewAction(), id,
                                                             Context(Constants::C_GLOBAL)))
            tools->addAction(command, Constants::G_TOOLS_OTHER);
    }
}

void MainWindow::restoreWindowState()
{
    QByteArray geometry;
    QByteArray state;
    if (SettingsDatabase *db = ICore::settingsDatabase()) {
        db->beginGroup(QLatin1String(kWindowGroup));
        geometry = db->value(QLatin1String(kGeometryKey)).toByteArray();
        state = db->value(QLatin1String(kStateKey)).toByteArray();
        db->endGroup();
    }
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    if (!state.isEmpty())
        restoreState(state);
}

void MainWindow::saveWindowState()
{
    // A window that was never shown has no geometry worth keeping.
    SettingsDatabase *db = ICore::settingsDatabase();
    if (!db || !m_wasShown)
        return;
    db->beginGroup(QLatin1String(kWindowGroup));
    db->beginTransaction();
    db->setValue(QLatin1String(kGeometryKey), saveGeometry());
    db->setValue(QLatin1String(kStateKey), saveState());
    db->endTransaction();
    db->endGroup();
}

void MainWindow::showAbout()
{
    QMessageBox::about(this, tr("About %1").arg(QLatin1String(Constants::APPLICATION_NAME)),
                       tr("<h3>%1</h3><p>Version %2</p>"
                          "<p>Commissioning and monitoring of Modbus field devices.</p>"
                          "<p>Built with Qt %3.</p>")
                           .arg(QLatin1String(Constants::APPLICATION_NAME),
                                QLatin1String(Constants::VERSION),
                                QLatin1String(QT_VERSION_STR)));
}

void MainWindow::showEvent(QShowEvent *event)
{
    m_wasShown = true;
    QMainWindow::showEvent(event);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    saveWindowState();
    event->accept();
    // Closing the main window ends the program even when other windows
    // (tool dialogs) are still open. Without a manager (tests) nothing quits.
    if (ExtensionSystem::PluginManager::instance())
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

} // namespace Internal
} // namespace Core
