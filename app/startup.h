#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <cstddef>
#include <memory>

QT_BEGIN_NAMESPACE
class QMessageBox;
class QSettings;
class QTranslator;
QT_END_NAMESPACE

class QCustomSplashScreen;

namespace ExtensionSystem {
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

QString coreFailureText(const QString &reason);
// The modal critical box for a failed "Core": no parent, one OK button, no
// default button.
std::unique_ptr<QMessageBox> createCoreFailureBox(const QString &reason);

// Labels, colours and fonts of the start-up splash screen.
void decorateSplash(QCustomSplashScreen *splash);

// Puts the next `bytes` of the heap in transparent huge pages, where the
// kernel gives them on request (Linux with glibc's malloc). Start-up fills
// some 10 MB of fresh heap, and each first touch of a 4 KiB page is a
// fault; on a virtual machine a fault costs about 11 us, so these faults
// took a quarter of the main thread's time to the first live value. A huge
// page is one fault for 512 of them. Costs a few MB more resident memory,
// and free memory at the heap's top is kept up to twice `bytes` rather
// than handed back at once. Call it first thing in main(). Returns whether the
// heap was set up so; false (and nothing changed but the heap's trim and
// pad settings) elsewhere, e.g. under a sanitizer's malloc.
bool reserveHugePageHeap(std::size_t bytes);

} // namespace Startup
