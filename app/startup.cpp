#include "startup.h"

#include "qcustomsplashscreen.h"

#include <extensionsystem/pluginspec.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QSettings>
#include <QTranslator>

#include <cstdint>

#if defined(Q_OS_LINUX) && defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace Startup {

QString dataRoot(const QString &programData, const QString &genericDataLocation)
{
    return programData.isEmpty() ? genericDataLocation : programData;
}

QString logFolder(const QString &root)
{
    return QDir::toNativeSeparators(root + QStringLiteral("/TavrelKorvane_ConfigData"));
}

QStringList pluginPaths(const QString &applicationDir, const QString &genericDataLocation)
{
    return {QDir::cleanPath(applicationDir + QLatin1Char('/') + QStringLiteral("../lib/appcore/plugins")),
            genericDataLocation + QStringLiteral("/Tavrel/appcore/plugins/") + QLatin1String(version)};
}

void ensureSettingsFolder(const QSettings &settings)
{
    const QFileInfo file(settings.fileName());
    if (file.exists())
        return;
    QDir folder = file.absoluteDir();
    if (!folder.exists())
        folder.mkpath(QStringLiteral("."));
}

QString loggerFilterRules(const QSettings &settings)
{
    const QString stored = settings.value(QStringLiteral("General/LoggerFilterRules"), QString()).toString();
    return stored.isEmpty() ? QString::fromLatin1(defaultFilterRules) : stored;
}

QString selectTranslations(QTranslator *appTranslator, QTranslator *qtTranslator,
                           const QStringList &uiLanguages, const QString &appTranslationDir,
                           const QStringList &qtTranslationDirs)
{
    for (const QString &language : uiLanguages) {
        const QString name = QLocale(language).name();
        if (appTranslator->load(QStringLiteral("appcore_") + name, appTranslationDir)) {
            for (const QString &dir : qtTranslationDirs) {
                if (qtTranslator->load(QStringLiteral("qt_") + name, dir))
                    return name;
            }
            // Loading nothing empties the translator.
            appTranslator->load(QString());
        } else if (name.startsWith(QLatin1String("en"))) {
            return QString();
        }
    }
    return QString();
}

QString coreProblemBeforeLoad(const QVector<ExtensionSystem::PluginSpec *> &plugins,
                              const QStringList &pluginPaths, ExtensionSystem::PluginSpec **core)
{
    *core = nullptr;
    for (ExtensionSystem::PluginSpec *spec : plugins) {
        if (spec->name() == QLatin1String("Core")) {
            *core = spec;
            break;
        }
    }
    if (!*core) {
        return QCoreApplication::translate("Application", "Could not find Core plugin in %1")
            .arg(QDir::toNativeSeparators(pluginPaths.join(QLatin1Char(','))));
    }
    if (!(*core)->isEffectivelyEnabled())
        return QCoreApplication::translate("Application", "Core plugin is disabled.");
    if ((*core)->hasError())
        return (*core)->errorString();
    return QString();
}

QString coreProblemAfterLoad(const ExtensionSystem::PluginSpec *core)
{
    return core && core->hasError() ? core->errorString() : QString();
}

QString coreFailureText(const QString &reason)
{
    return QCoreApplication::translate("Application", "Failed to load core: %1").arg(reason);
}

std::unique_ptr<QMessageBox> createCoreFailureBox(const QString &reason)
{
    auto box = std::make_unique<QMessageBox>(QMessageBox::Critical, QLatin1String(applicationId),
                                             coreFailureText(reason), QMessageBox::Ok);
    box->setObjectName(QStringLiteral("coreFailureBox"));
    return box;
}

void decorateSplash(QCustomSplashScreen *splash)
{
    QFont font;
    font.setPixelSize(16);
    const QColor color(124, 252, 0, 255);
    splash->setCompanyFont(font);
    splash->setCompanyText(QStringLiteral("OOO NPP TAVREL"));
    splash->setCompanyColor(color);
    splash->setWebFont(font);
    splash->setWebText(QStringLiteral("www.tavrel.example"));
    splash->setWebColor(color);
    splash->setVersionFont(font);
    splash->setVersionText(QStringLiteral("%1.%2.%3").arg(5).arg(48).arg(0));
    splash->setVersionColor(color);
    splash->setDateFont(font);
    splash->setDateColor(color);
    splash->setMessageFont(font);
}

#if defined(Q_OS_LINUX) && defined(__GLIBC__) && defined(MADV_HUGEPAGE)
namespace {

// The free heap between the old top and the first 2 MB boundary can only
// have small pages, faulted in 4 KiB at a time: start-up used up to 1.4 MB
// of it. It is taken by blocks that are never written nor freed (only their
// headers touch a page each), so that the heap's use starts on the huge
// pages. Called after the range above is marked, as the last block's end
// writes past the boundary.
void *heapFillers[64];

void fillBelow(std::uintptr_t oldTop, std::uintptr_t boundary, std::uintptr_t hugePage)
{
    int count = 0;
    for (const std::size_t size : {std::size_t(120) * 1024, std::size_t(8) * 1024}) {
        while (count < 64) {
            void *block = malloc(size);
            const auto start = reinterpret_cast<std::uintptr_t>(block);
            // A block from a free gap far below, or one reaching past the
            // boundary, goes back.
            if (!block || start + hugePage < oldTop || start + size > boundary) {
                free(block);
                break;
            }
            heapFillers[count++] = block;
        }
    }
}

} // namespace
#endif

bool reserveHugePageHeap(std::size_t bytes)
{
#if defined(Q_OS_LINUX) && defined(__GLIBC__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t hugePage = std::uintptr_t(2) << 20;
    constexpr int defaultTopPad = 128 * 1024; // glibc's
    if (bytes < 2 * hugePage || bytes > (std::size_t(1) << 30))
        return false;
    // Free memory at the heap's top is kept up to twice the reserve, so that
    // no free() hands the reserve back while it is still unused. A malloc
    // other than glibc's refuses these settings.
    if (mallopt(M_TRIM_THRESHOLD, int(2 * bytes)) != 1 || mallopt(M_TOP_PAD, int(bytes)) != 1)
        return false;
    // The heap's next growth takes the pad with it: blocks below the mmap
    // threshold until it grows (the free top may already hold several MB),
    // then back to the free top. Nothing is written to them.
    char *const before = static_cast<char *>(sbrk(0));
    void *blocks[512];
    int count = 0;
    while (count < 512 && static_cast<char *>(sbrk(0)) == before) {
        void *block = malloc(120 * 1024);
        if (!block)
            break;
        blocks[count++] = block;
    }
    for (int i = 0; i < count; ++i)
        free(blocks[i]);
    mallopt(M_TOP_PAD, defaultTopPad);
    const auto from = (reinterpret_cast<std::uintptr_t>(before) + hugePage - 1) & ~(hugePage - 1);
    const auto to = reinterpret_cast<std::uintptr_t>(sbrk(0)) & ~(hugePage - 1);
    if (before == reinterpret_cast<char *>(-1) || to <= from
        || madvise(reinterpret_cast<void *>(from), to - from, MADV_HUGEPAGE) != 0)
        return false;
    fillBelow(reinterpret_cast<std::uintptr_t>(before), from, hugePage);
    return true;
#else
    Q_UNUSED(bytes)
    return false;
#endif
}

} // namespace Startup
