#include "icore.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "coreconstants.h"
#include "mainwindow.h"
#include "settingsdatabase.h"

#include <extensionsystem/pluginmanager.h>


#include <memory>

namespace Core {

static ICore *s_instance = nullptr;

ICore::ICore(Internal::MainWindow *mainWindow, SettingsDatabase *database)
    : m_mainWindow(mainWindow)
    , m_settingsDatabase(database)
{
    s_instance = this;
}

ICore::~ICore()
{
    if (s_instance == this)
        s_instance = nullptr;
}

ICore *ICore::instance()
{
    return s_instance;
}

QWidget *ICore::mainWindow()
{
    return s_instance ? s_instance->m_mainWindow : nullptr;
}

SettingsDatabase *ICore::settingsDatabase()
{
    return s_instance ? s_instance->m_settingsDatabase : nullptr;
}

// Without a plug-in manager (tests, tools) Core keeps stores of its own.
// They are made on first use, so a test can set the INI path beforehand.
static std::unique_ptr<QSettings> s_ownUserSettings;
static std::unique_ptr<QSettings> s_ownSystemSettings;

static QSettings *ownSettings(QSettings::Scope scope)
{
    std::unique_ptr<QSettings> &store = scope == QSettings::UserScope ? s_ownUserSettings
                                                                      : s_ownSystemSettings;
    if (!store) {
        store.reset(new QSettings(QSettings::IniFormat, scope,
                                  QLatin1String(Constants::APPLICATION_NAME),
                                  QLatin1String(Constants::APPLICATION_NAME)));
    }
    return store.get();
}

void ICore::releaseOwnSettings()
{
    s_ownUserSettings.reset();
    s_ownSystemSettings.reset();
}

QSettings *ICore::settings(QSettings::Scope scope)
{
    if (ExtensionSystem::PluginManager *manager = ExtensionSystem::PluginManager::instance()) {
        QSettings *store = scope == QSettings::UserScope ? manager->settings()
                                                         : manager->globalSettings();
        if (store)
            return store;
    }
    return ownSettings(scope);
}

void ICore::resizeWithinScreen(QWidget *window, const QSize &wanted)
{
    QScreen *screen = window->screen();
    if (QWidget *parent = window->parentWidget())
        screen = parent->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    QSize size = wanted;
    if (screen) {
        // Room for the frame the window manager adds.
        const QSize room = screen->availableGeometry().size() - QSize(40, 60);
        size = size.boundedTo(room.expandedTo(QSize(320, 240)));
    }
    window->resize(size);
}

} // namespace Core
