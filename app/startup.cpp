#include "startup.h"

#include "qcustomsplashscreen.h"

#include <extensionsystem/pluginmanager.h>
#include <extensionsystem/pluginspec.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QSettings>
#include <QTranslator>

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

QStringList pluginLibraries(const ExtensionSystem::PluginManager &manager)
{
    QStringList files;
    for (const ExtensionSystem::PluginSpec *spec : manager.loadQueue())
        files.append(spec->filePath());
    return files;
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

} // namespace Startup
