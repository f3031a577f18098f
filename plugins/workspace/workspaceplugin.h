#pragma once

#include "workspace_global.h"

#include <extensionsystem/iplugin.h>

#include <QPointer>

QT_BEGIN_NAMESPACE
class QToolButton;
QT_END_NAMESPACE

namespace Workspace {

class ConnectionHistory;
class ConnectionStatusWidget;
class DemoDevice;
class WorkspaceController;
class WorkspacePage;

// The device workspace: the program's main page (live tag table), the
// connection dialog and tool bar, the connection state in the status bar
// and the demo device. With "-demo" on the command line the program starts
// straight into the demo device.
class WORKSPACE_EXPORT WorkspacePlugin : public ExtensionSystem::IPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "app.Plugin" FILE "Workspace.json")

public:
    WorkspacePlugin();
    ~WorkspacePlugin() override;

    static WorkspacePlugin *instance();

    bool initialize(const QStringList &arguments, QString *errorString) override;
    void extensionsInitialized() override;
    bool delayedInitialize() override;
    ShutdownFlag aboutToShutdown() override;

    WorkspaceController *controller() const { return m_controller; }
    WorkspacePage *page() const { return m_page; }
    ConnectionStatusWidget *statusWidget() const { return m_status; }
    // The current access level in the status bar; a click opens the level
    // dialog.
    QToolButton *accessLevelButton() const;
    DemoDevice *demoDevice() const { return m_demo; }

public slots:
    // Starts the demo device and connects to it; false (with a
    // notification) when it cannot start.
    bool startDemo();

private:
    void createActions();
    void placeStatusWidgets(QWidget *window);
    void updateAccessLevel();
    void updatePollStrip();

    ConnectionHistory *m_history = nullptr;
    WorkspaceController *m_controller = nullptr;
    DemoDevice *m_demo = nullptr;
    // Owned by the main window once placed there.
    QPointer<WorkspacePage> m_page;
    QPointer<ConnectionStatusWidget> m_status;
    QPointer<QToolButton> m_accessLevel;
    bool m_demoOnStart = false;
};

} // namespace Workspace
