#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

QT_BEGIN_NAMESPACE
class QMessageBox;
class QSettings;
class QTranslator;
QT_END_NAMESPACE

class QCustomSplashScreen;

namespace ExtensionSystem {
class PluginManager;
class PluginSpec;
}

// The decisions of the start-up sequence, kept apart from main() so that
// each can be checked on its own.
namespace Startup {

constexpr char applicationId[] = "Korvane_Config";
constexpr char version[] = "5.48.00";
constexpr char pluginIID[] = "app.Plugin";
constexpr char defaultFilterRules[] = "qtc.*.debug=false\nqtc.*.info=false";

// The per-machine data folder: the "ProgramData" value, or the user's
// generic data folder where that is unset or empty, so that nothing is ever
// written relative to the file-system root.
QString dataRoot(const QString &programData, const QString &genericDataLocation);

// <root>/TavrelKorvane_ConfigData with the platform's separators.
QString logFolder(const QString &root);

// The install tree's plug-in folder, then the user's own for this version.
QStringList pluginPaths(const QString &applicationDir, const QString &genericDataLocation);

// Creates the folder of the settings file when the file does not exist yet.
void ensureSettingsFolder(const QSettings &settings);

// The stored "General/LoggerFilterRules" text, or the default rules when
// missing or empty.
QString loggerFilterRules(const QSettings &settings);

// Loads the first usable pair of translations for the UI languages (in
// order) and returns its locale name, or an empty string when nothing is to
// be installed. An application translation without a matching Qt one is
// dropped; an English language without an application translation ends the
// search, English being built in.
QString selectTranslations(QTranslator *appTranslator, QTranslator *qtTranslator,
                           const QStringList &uiLanguages, const QString &appTranslationDir,
                           const QStringList &qtTranslationDirs);

// Why "Core" cannot be used before loading (empty when it can); *core is
// set to its PluginSpec when found.
QString coreProblemBeforeLoad(const QVector<ExtensionSystem::PluginSpec *> &plugins,
                              const QStringList &pluginPaths, ExtensionSystem::PluginSpec **core);
// Why "Core" failed while loading (empty when it did not).
QString coreProblemAfterLoad(const ExtensionSystem::PluginSpec *core);

// The files of the plug-ins the manager will load, in its load order:
// those switched off in the settings, refused, or needing one of these are
// left out.
QStringList pluginLibraries(const ExtensionSystem::PluginManager &manager);

QString coreFailureText(const QString &reason);
// The modal critical box for a failed "Core": no parent, one OK button, no
// default button.
std::unique_ptr<QMessageBox> createCoreFailureBox(const QString &reason);

// Labels, colours and fonts of the start-up splash screen.
void decorateSplash(QCustomSplashScreen *splash);

} // namespace Startup
