#pragma once

#include "browser_global.h"

#include <extensionsystem/iplugin.h>

#include <QAction>
#include <QPointer>

namespace Browser {

class BrowserModel;
class BrowserPage;
class MapFileActions;
class RegisterBrowser;

// The register browser: a second page beside the tag table that reads any
// address range of the connected device, with or without a register map;
// "Create tags…" turns browsed rows into a register map, and the File menu
// imports register maps and access files.
class BROWSER_EXPORT BrowserPlugin : public ExtensionSystem::IPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "app.Plugin" FILE "Browser.json")

public:
    BrowserPlugin();
    ~BrowserPlugin() override;

    static BrowserPlugin *instance();

    bool initialize(const QStringList &arguments, QString *errorString) override;
    void extensionsInitialized() override;
    ShutdownFlag aboutToShutdown() override;

    // The page, built on first use.
    BrowserPage *page();
    RegisterBrowser *browser() const { return m_browser; }
    MapFileActions *mapFiles() const { return m_mapFiles; }
    QAction *showAction() const { return m_show; }

public slots:
    void showBrowser();
    void showTagTable();

private:
    void createActions();

    BrowserModel *m_model = nullptr;
    RegisterBrowser *m_browser = nullptr;
    MapFileActions *m_mapFiles = nullptr;
    // Owned by the main window once placed there.
    QPointer<BrowserPage> m_page;
    QPointer<QAction> m_show;
};

} // namespace Browser
