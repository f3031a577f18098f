#include "qcustomsplashscreen.h"
#include "quitonsignal.h"
#include "startup.h"
#include "startupwarmup.h"

#include <extensionsystem/pluginmanager.h>
#include <extensionsystem/pluginspec.h>
#include <logkeeper/logkeeper.h>
#include <qtsingleapplication/qtsingleapplication.h>

#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QTranslator>

namespace {

// Shows why "Core" cannot be used; the text also goes to the log, so that a
// start without anyone watching leaves a trace.
int failCore(const QString &reason)
{
    qCritical().noquote() << Startup::coreFailureText(reason);
    Startup::createCoreFailureBox(reason)->exec();
    return 1;
}

// Everything from the plug-in manager on; returns the exit code. Kept
// apart so that the manager is gone before the settings are written out.
int loadAndRun(QtSingleApplication &app, QCustomSplashScreen *splash, StartupWarmup &warmup,
               QSettings *globalSettings, QSettings *userSettings)
{
    ExtensionSystem::PluginManager manager;
    manager.setPluginIID(QLatin1String(Startup::pluginIID));
    manager.setGlobalSettings(globalSettings);
    manager.setSettings(userSettings);

    const QStringList pluginPaths = Startup::pluginPaths(
        QCoreApplication::applicationDirPath(),
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    manager.setPluginPaths(pluginPaths);

    ExtensionSystem::PluginSpec *core = nullptr;
    QString problem = Startup::coreProblemBeforeLoad(manager.plugins(), pluginPaths, &core);
    if (!problem.isEmpty())
        return failCore(problem);
    warmup.openLibraries(Startup::pluginLibraries(manager));

    splash->setProgress(50);
    splash->appendMessage(QObject::tr("Loading plugins....\n"));
    manager.loadPlugins();
    problem = Startup::coreProblemAfterLoad(core);
    if (!problem.isEmpty())
        return failCore(problem);

    QObject::connect(&app, &QtSingleApplication::messageReceived, &manager,
                     &ExtensionSystem::PluginManager::remoteArguments);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &manager, &ExtensionSystem::PluginManager::shutdown);

    splash->setProgress(100);
    QTimer::singleShot(1500, splash, &QWidget::close);
    return app.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    // First, so that it runs beside everything up to the splash screen.
    StartupWarmup warmup;
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QtSingleApplication app(QLatin1String(Startup::applicationId), argc, argv);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QuitOnSignal quitOnSignal;

    const QString appDir = QCoreApplication::applicationDirPath();
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, appDir + QStringLiteral("/../share/appcore"));
    auto globalSettings = new QSettings(QSettings::IniFormat, QSettings::SystemScope, QStringLiteral("Tavrel"),
                                        QStringLiteral("Korvane_Config"));
    QSettings::setDefaultFormat(QSettings::IniFormat);

    const QString genericData = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString dataRoot = Startup::dataRoot(qEnvironmentVariable("ProgramData"), genericData);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dataRoot);
    auto userSettings = new QSettings(QSettings::IniFormat, QSettings::UserScope,
                                      QStringLiteral("TavrelKorvane_ConfigSettings"), QStringLiteral("Korvane_Config"));
    Startup::ensureSettingsFolder(*userSettings);

    QLoggingCategory::setFilterRules(Startup::loggerFilterRules(*userSettings));

    Logkeeper::InitQDebugController();
    Logkeeper::Logkeeper logkeeper;
    logkeeper.setLogPath(Startup::logFolder(dataRoot));
    logkeeper.setSettings(userSettings);

    QTranslator appTranslator;
    QTranslator qtTranslator;
    const QString appTranslationDir = appDir + QStringLiteral("/../share/appcore") + QStringLiteral("/translations/");
    const QString locale = Startup::selectTranslations(
        &appTranslator, &qtTranslator, QLocale::system().uiLanguages(), appTranslationDir,
        {appDir + QStringLiteral("/translations/"), appTranslationDir,
         QLibraryInfo::location(QLibraryInfo::TranslationsPath)});
    if (!locale.isEmpty()) {
        QCoreApplication::installTranslator(&appTranslator);
        QCoreApplication::installTranslator(&qtTranslator);
        app.setProperty("qtc_locale", locale);
    }

    const QPixmap splashPicture(QStringLiteral(":/appcore/icons/SplashScreen.png"));
    warmup.waitForFonts(); // the splash screen's widgets use the first fonts
    // Not deleted here: it closes itself shortly after the event loop starts.
    auto splash = new QCustomSplashScreen(splashPicture);
    splash->setAttribute(Qt::WA_DeleteOnClose);
    Startup::decorateSplash(splash);
    splash->show();
    splash->appendMessage(QObject::tr("Loading the main plugin....\n"));
    splash->setProgress(25);

    const int exitCode = loadAndRun(app, splash, warmup, globalSettings, userSettings);

    // Plug-ins may have written settings while shutting down; write them out
    // now, since the stores themselves are never deleted.
    userSettings->sync();
    globalSettings->sync();
    return exitCode;
}
