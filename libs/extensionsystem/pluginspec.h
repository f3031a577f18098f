#pragma once

#include "extensionsystem_global.h"
#include "iplugin.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

QT_BEGIN_NAMESPACE
class QPluginLoader;
QT_END_NAMESPACE

namespace ExtensionSystem {

class PluginManager;

// One entry of a plug-in's "Dependencies" metadata list.
struct EXTENSIONSYSTEM_EXPORT PluginDependency
{
    QString name;
    QString version;
};

// One entry of a plug-in's "Arguments" metadata list: a command-line option
// the plug-in understands, optionally followed by one value.
struct EXTENSIONSYSTEM_EXPORT PluginArgumentDescription
{
    QString name;
    QString parameter;
    QString description;
};

// What the manager knows about one plug-in library: its metadata, where it
// stands in its life cycle and, if something went wrong, why. Owned by the
// plug-in manager.
class EXTENSIONSYSTEM_EXPORT PluginSpec
{
public:
    enum State {
        Invalid,     // metadata could not be read
        Read,        // metadata read
        Resolved,    // dependencies found and versions matched
        Loaded,      // library loaded and plug-in object constructed
        Initialized, // initialize() returned true
        Running,     // extensionsInitialized() done
        Stopped,     // aboutToShutdown() done
        Deleted      // plug-in object destroyed
    };

    ~PluginSpec();

    QString name() const { return m_name; }
    QString version() const { return m_version; }
    QString compatVersion() const { return m_compatVersion; }
    QString vendor() const { return m_vendor; }
    QString copyright() const { return m_copyright; }
    QString url() const { return m_url; }
    QString category() const { return m_category; }
    QString description() const { return m_description; }
    QString license() const { return m_license; }
    bool isRequired() const { return m_required; }
    QString className() const { return m_className; }
    QVector<PluginDependency> dependencies() const { return m_dependencies; }
    QVector<PluginArgumentDescription> argumentDescriptions() const { return m_argumentDescriptions; }

    QString filePath() const { return m_filePath; }
    // The folder the library was found in.
    QString location() const;

    // The command-line words handed to initialize().
    QStringList arguments() const { return m_arguments; }

    bool isEnabledBySettings() const { return m_enabledBySettings; }
    bool isDisabledIndirectly() const { return m_disabledIndirectly; }
    bool isEffectivelyEnabled() const { return m_enabledBySettings && !m_disabledIndirectly; }

    bool hasError() const { return m_hasError; }
    QString errorString() const { return m_errorString; }

    State state() const { return m_state; }
    IPlugin *plugin() const { return m_plugin; }
    QVector<PluginSpec *> dependencySpecs() const { return m_dependencySpecs; }

    // True when this plug-in is `pluginName` and `version` lies between its
    // CompatVersion and Version (both inclusive).
    bool provides(const QString &pluginName, const QString &version) const;

    // Versions are one to four dot-separated decimal numbers ("5.48.00").
    static bool isValidVersion(const QString &version);
    // <0, 0, >0 like strcmp; missing parts count as zero.
    static int versionCompare(const QString &a, const QString &b);

private:
    friend class PluginManager;

    enum ReadResult { NotAPlugin, OtherInterface, Taken };

    PluginSpec();
    Q_DISABLE_COPY(PluginSpec)

    ReadResult read(const QString &filePath, const QString &pluginIID);
    bool readMetaData(const QJsonObject &metaData);
    bool resolveDependencies(const QVector<PluginSpec *> &specs);
    bool loadLibrary();
    bool initializePlugin();
    bool initializeExtensions();
    bool delayedInitialize();
    IPlugin::ShutdownFlag stop();
    void kill();
    void setError(const QString &message);
    // The first dependency that has an error, or null.
    PluginSpec *failedDependency() const;

    QString m_name;
    QString m_version;
    QString m_compatVersion;
    QString m_vendor;
    QString m_copyright;
    QString m_url;
    QString m_category;
    QString m_description;
    QString m_license;
    QString m_className;
    bool m_required = false;
    QVector<PluginDependency> m_dependencies;
    QVector<PluginArgumentDescription> m_argumentDescriptions;

    QString m_filePath;
    QStringList m_arguments;
    bool m_enabledBySettings = true;
    bool m_disabledIndirectly = false;
    bool m_hasError = false;
    QString m_errorString;
    State m_state = Invalid;
    IPlugin *m_plugin = nullptr;
    QVector<PluginSpec *> m_dependencySpecs;
    std::unique_ptr<QPluginLoader> m_loader;
};

} // namespace ExtensionSystem
