#pragma once

#include "core_global.h"

#include <QMainWindow>

QT_BEGIN_NAMESPACE
class QDockWidget;
class QLabel;
class QStackedWidget;
QT_END_NAMESPACE

namespace Core {
namespace Internal {

// The application's main window: menus built from Core's action
// containers, a status bar, a central page and docks that plug-ins fill.
class CORE_EXPORT MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Folder of the user settings file + "/Korvane_Config"; created if missing.
    QString workPath() const;

    // Shows the page in the central area (the window takes ownership).
    void setCentralPage(QWidget *page);
    QWidget *centralPage() const;
    // Adds a page to the central area without showing it (the window takes
    // ownership); setCentralPage() brings it to the front.
    void addPage(QWidget *page);
    // Adds a dock; its toggle action goes into the Tools menu.
    void addDock(QDockWidget *dock, Qt::DockWidgetArea area);

    void restoreWindowState();
    void saveWindowState();

public slots:
    void showAbout();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void createMenus();

    void fitPagesToCurrent();

    QStackedWidget *m_pages = nullptr;
    QLabel *m_welcome = nullptr;
    bool m_wasShown = false;
};

} // namespace Internal
} // namespace Core
