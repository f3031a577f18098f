#include "browserplugin.h"
#include "browsermodel.h"
#include "browserpage.h"
#include "browserwriter.h"
#include "mapfileactions.h"
#include "registerbrowser.h"

#include <core/actioncontainer.h>
#include <core/actionmanager.h>
#include <core/command.h>
#include <core/context.h>
#include <core/icore.h>
#include <core/mainwindow.h>
#include <fieldlink/fieldlinkplugin.h>
#include <workspace/workspacecontroller.h>
#include <workspace/connectionstatuswidget.h>
#include <workspace/workspacepage.h>
#include <workspace/workspaceplugin.h>

#include <QAction>
#include <QToolBar>

namespace Browser {

namespace {
BrowserPlugin *s_instance = nullptr;
} // namespace

BrowserPlugin::BrowserPlugin()
{
    s_instance = this;
}

BrowserPlugin::~BrowserPlugin()
{
    if (m_page && !m_page->parent())
        delete m_page;
    if (s_instance == this)
        s_instance = nullptr;
}

BrowserPlugin *BrowserPlugin::instance()
{
    return s_instance;
}

bool BrowserPlugin::initialize(const QStringList &arguments, QString *errorString)
{
    Q_UNUSED(arguments)
    Q_UNUSED(errorString)

    m_model = new BrowserModel(this);
    m_browser = new RegisterBrowser(m_model, this);
    if (auto *fieldlink = Fieldlink::FieldlinkCore::FieldlinkPlugin::instance())
        m_browser->setConnection(fieldlink->connection(), fieldlink->modbusSettings());

    auto *workspace = Workspace::WorkspacePlugin::instance();
    Workspace::WorkspaceController *controller = workspace ? workspace->controller() : nullptr;
    auto *window = qobject_cast<Core::Internal::MainWindow *>(Core::ICore::mainWindow());
    m_mapFiles = new MapFileActions(controller, window, this);
    createActions();
    return true;
}

// Built when first shown: most starts never show it, and building it was a
// twentieth of the main thread's work before the first live value.
BrowserPage *BrowserPlugin::page()
{
    if (m_page)
        return m_page;
    auto *workspace = Workspace::WorkspacePlugin::instance();
    Workspace::WorkspaceController *controller = workspace ? workspace->controller() : nullptr;
    m_page = new BrowserPage(m_browser, controller);
    if (controller && controller->writer())
        m_page->setWriter(new BrowserWriter(controller, this));
    if (auto *window = qobject_cast<Core::Internal::MainWindow *>(Core::ICore::mainWindow()))
        window->addPage(m_page);

    connect(m_page.data(), &BrowserPage::tagTableRequested, this, &BrowserPlugin::showTagTable);
    connect(m_page.data(), &BrowserPage::createTagsRequested, this,
            [this](const QList<int> &rows) { m_mapFiles->createTags(m_model, rows); });
    return m_page;
}

void BrowserPlugin::createActions()
{
    const Core::Context global(Core::Id("Global Context"));
    m_show = new QAction(tr("Register browser"), this);
    m_show->setObjectName(QStringLiteral("actionRegisterBrowser"));
    m_show->setToolTip(tr("Read any address range of the device and choose how to show it"));
    connect(m_show.data(), &QAction::triggered, this, &BrowserPlugin::showBrowser);
    if (auto *workspace = Workspace::WorkspacePlugin::instance()) {
        if (Workspace::WorkspacePage *page = workspace->page()) {
            page->toolBar()->addSeparator();
            page->toolBar()->addAction(m_show);
        }
    }
    if (Core::ActionContainer *tools = Core::ActionManager::actionContainer("App.Menu.Tools")) {
        if (Core::Command *command = Core::ActionManager::registerAction(m_show, "App.Browser.Show", global))
            tools->addAction(command, "App.Group.Tools.Other");
    }

    Core::ActionContainer *file = Core::ActionManager::actionContainer("App.Menu.File");
    const struct
    {
        QString text;
        const char *id;
        const char *object;
        void (MapFileActions::*slot)();
    } entries[] = {
        {tr("Import register map…"), "App.Browser.ImportMap", "actionImportRegisterMap",
         &MapFileActions::importRegisterMap},
        {tr("Import access file…"), "App.Browser.ImportAccess", "actionImportAccessFile",
         &MapFileActions::importAccessFile},
        {tr("Open register map folder"), "App.Browser.OpenMapFolder", "actionOpenRegisterMapFolder",
         &MapFileActions::openRegisterMapFolder},
    };
    for (const auto &entry : entries) {
        auto *action = new QAction(entry.text, this);
        action->setObjectName(QLatin1String(entry.object));
        connect(action, &QAction::triggered, m_mapFiles, entry.slot);
        Core::Command *command = Core::ActionManager::registerAction(action, entry.id, global);
        if (file && command)
            file->addAction(command, "App.Group.File.Open");
    }
}

void BrowserPlugin::extensionsInitialized()
{
}

ExtensionSystem::IPlugin::ShutdownFlag BrowserPlugin::aboutToShutdown()
{
    if (m_browser)
        m_browser->stop();
    return SynchronousShutdown;
}

void BrowserPlugin::showBrowser()
{
    if (auto *window = qobject_cast<Core::Internal::MainWindow *>(Core::ICore::mainWindow()))
        window->setCentralPage(page());
}

void BrowserPlugin::showTagTable()
{
    auto *window = qobject_cast<Core::Internal::MainWindow *>(Core::ICore::mainWindow());
    auto *workspace = Workspace::WorkspacePlugin::instance();
    if (window && workspace && workspace->page())
        window->setCentralPage(workspace->page());
}

} // namespace Browser
