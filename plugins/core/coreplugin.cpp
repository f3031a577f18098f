#include "coreplugin.h"

#include "actionmanager.h"
#include "coreconstants.h"
#include "icore.h"
#include "mainwindow.h"
#include "settingsdatabase.h"

#include <extensionsystem/pluginmanager.h>
#include <extensionsystem/pluginspec.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QThread>
#include <QTimer>

namespace Core {

Q_LOGGING_CATEGORY(coreLog, "app.core")

static CorePlugin *s_plugin = nullptr;

CorePlugin::CorePlugin()
{
    s_plugin = this;
}

CorePlugin::~CorePlugin()
{
    // Menus hold the commands' actions and live in the window: containers
    // go first, then the window, the core object and the store.
    delete m_actionManager;
    delete m_mainWindow;
    delete m_core;
    delete m_settingsDatabase;
    ICore::releaseOwnSettings();
    if (s_plugin == this)
        s_plugin = nullptr;
}

CorePlugin *CorePlugin::instance()
{
    return s_plugin;
}

static bool parseArguments(const QStringList &arguments, int *quitAfterMs, QString *errorString)
{
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments.at(i) != QLatin1String("-test-quit-after"))
            continue;
        bool ok = false;
        const int ms = i + 1 < arguments.size() ? arguments.at(i + 1).toInt(&ok) : 0;
        if (!ok || ms < 0) {
            if (errorString) {
                *errorString = QCoreApplication::translate(
                    "Core::CorePlugin",
                    "The option -test-quit-after needs a number of milliseconds, got \"%1\".")
                                   .arg(i + 1 < arguments.size() ? arguments.at(i + 1) : QString());
            }
            return false;
        }
        *quitAfterMs = ms;
        ++i;
    }
    return true;
}

bool CorePlugin::initialize(const QStringList &arguments, QString *errorString)
{
    if (m_core) {
        if (errorString)
            *errorString = tr("The Core plug-in is already initialised.");
        return false;
    }
    if (!parseArguments(arguments, &m_quitAfterMs, errorString))
        return false;

    const QString settingsFolder = QFileInfo(ICore::settings()->fileName()).absolutePath();
    m_settingsDatabase = new SettingsDatabase(
        settingsFolder + QLatin1Char('/') + QLatin1String(Constants::APPLICATION_NAME) + QLatin1String(".db"));
    m_actionManager = new ActionManager;
    m_core = new ICore(nullptr, m_settingsDatabase);
    m_mainWindow = new Internal::MainWindow;
    m_core->m_mainWindow = m_mainWindow;
    return true;
}

void CorePlugin::extensionsInitialized()
{
    if (!m_mainWindow)
        return;
    m_mainWindow->restoreWindowState();
    m_mainWindow->show();
    // One line that tells from the log what this run is made of.
    if (auto manager = ExtensionSystem::PluginManager::instance()) {
        QStringList loaded;
        for (const ExtensionSystem::PluginSpec *spec : manager->plugins()) {
            if (spec->plugin() && !spec->hasError())
                loaded.append(spec->name() + QLatin1Char(' ') + spec->version());
        }
        qCInfo(coreLog).noquote() << "Main window shown; plug-ins loaded:" << loaded.join(QLatin1String(", "));
    }
    if (m_quitAfterMs >= 0) {
        qCInfo(coreLog, "Quitting in %d ms as requested by -test-quit-after", m_quitAfterMs);
        QTimer::singleShot(m_quitAfterMs, this, &CorePlugin::quitWhenLoopRuns);
    }
}

void CorePlugin::quitWhenLoopRuns()
{
    // quit() before the program's event loop runs (start-up still processes
    // events by hand) would be lost; wait for the loop.
    if (QThread::currentThread()->loopLevel() == 0) {
        QTimer::singleShot(20, this, &CorePlugin::quitWhenLoopRuns);
        return;
    }
    QCoreApplication::quit();
}

ExtensionSystem::IPlugin::ShutdownFlag CorePlugin::aboutToShutdown()
{
    if (m_mainWindow) {
        m_mainWindow->saveWindowState();
        m_mainWindow->hide();
    }
    return SynchronousShutdown;
}

QObject *CorePlugin::remoteCommand(const QStringList &, const QString &, const QStringList &)
{
    if (m_mainWindow) {
        if (m_mainWindow->isMinimized())
            m_mainWindow->showNormal();
        else
            m_mainWindow->show();
        m_mainWindow->raise();
        m_mainWindow->activateWindow();
    }
    return nullptr;
}

} // namespace Core
