#pragma once

#include "core_global.h"

#include <QObject>
#include <QSettings>
#include <QSize>

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE

namespace Core {

class CorePlugin;
class SettingsDatabase;

namespace Internal {
class MainWindow;
}

// Entry point to Core's services for the other plug-ins.
class CORE_EXPORT ICore : public QObject
{
    Q_OBJECT

public:
    ~ICore() override;

    static ICore *instance();
    // The main window (a Core::Internal::MainWindow), or null.
    static QWidget *mainWindow();
    // User scope: the plug-in manager's user store; system scope: its global
    // store. Without a manager, an INI store of Core's own. Never null.
    static QSettings *settings(QSettings::Scope scope = QSettings::UserScope);
    // Null only when no store could be created at all.
    static SettingsDatabase *settingsDatabase();
    // Resizes a dialog to the size it wants, but never beyond the available
    // area of the screen it opens on (a small laptop screen).
    static void resizeWithinScreen(QWidget *window, const QSize &wanted);

private:
    friend class CorePlugin;
    ICore(Internal::MainWindow *mainWindow, SettingsDatabase *database);
    // Drops Core's own stores so that the next use honours a changed INI path.
    static void releaseOwnSettings();

    Internal::MainWindow *m_mainWindow;
    SettingsDatabase *m_settingsDatabase;
};

} // namespace Core
