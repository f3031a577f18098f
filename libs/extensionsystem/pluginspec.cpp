#include "pluginspec.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QPluginLoader>
#include <QRegularExpression>

namespace ExtensionSystem {

namespace {

// Reads an optional string field; a present value of another type is an error.
bool readString(const QJsonObject &object, const QString &key, QString *value, QString *error,
                bool mandatory = false)
{
    const QJsonValue v = object.value(key);
    if (v.isUndefined() && !mandatory)
        return true;
    if (!v.isString() || (mandatory && v.toString().trimmed().isEmpty())) {
        *error = QCoreApplication::translate("ExtensionSystem::PluginSpec", "Value for key \"%1\" is missing or not a string.").arg(key);
        return false;
    }
    *value = v.toString();
    return true;
}

} // namespace

PluginSpec::PluginSpec() = default;

PluginSpec::~PluginSpec()
{
    kill();
}

QString PluginSpec::location() const
{
    return QFileInfo(m_filePath).absolutePath();
}

bool PluginSpec::isValidVersion(const QString &version)
{
    // Parts are limited to nine digits so that they always fit an int.
    static const QRegularExpression re(QStringLiteral("^[0-9]{1,9}(\\.[0-9]{1,9}){0,3}$"));
    return re.match(version).hasMatch();
}

int PluginSpec::versionCompare(const QString &a, const QString &b)
{
    const QStringList pa = a.split(QLatin1Char('.'));
    const QStringList pb = b.split(QLatin1Char('.'));
    const int n = qMax(pa.size(), pb.size());
    for (int i = 0; i < n; ++i) {
        const int va = i < pa.size() ? pa.at(i).toInt() : 0;
        const int vb = i < pb.size() ? pb.at(i).toInt() : 0;
        if (va != vb)
            return va < vb ? -1 : 1;
    }
    return 0;
}

bool PluginSpec::provides(const QString &pluginName, const QString &version) const
{
    if (pluginName != m_name || !isValidVersion(version))
        return false;
    return versionCompare(m_compatVersion, version) <= 0 && versionCompare(version, m_version) <= 0;
}

void PluginSpec::setError(const QString &message)
{
    // The first reason is the one that matters; later ones are consequences.
    if (m_hasError)
        return;
    m_hasError = true;
    m_errorString = message;
}

PluginSpec::ReadResult PluginSpec::read(const QString &filePath, const QString &pluginIID)
{
    m_filePath = QFileInfo(filePath).absoluteFilePath();
    m_loader = std::make_unique<QPluginLoader>(m_filePath);
    const QJsonObject meta = m_loader->metaData();
    if (meta.isEmpty())
        return NotAPlugin;
    if (meta.value(QStringLiteral("IID")).toString() != pluginIID)
        return OtherInterface;
    m_className = meta.value(QStringLiteral("className")).toString();
    const QJsonValue data = meta.value(QStringLiteral("MetaData"));
    if (!data.isObject()) {
        m_name = QFileInfo(filePath).completeBaseName();
        setError(QCoreApplication::translate("ExtensionSystem::PluginSpec", "Plug-in meta data not found."));
        return Taken;
    }
    if (readMetaData(data.toObject()))
        m_state = Read;
    return Taken;
}

bool PluginSpec::readMetaData(const QJsonObject &data)
{
    QString error;
    auto fail = [this, &error]() {
        setError(QCoreApplication::translate("ExtensionSystem::PluginSpec", "Broken plug-in meta data: %1").arg(error));
        return false;
    };

    if (!readString(data, QStringLiteral("Name"), &m_name, &error, true)) {
        m_name = QFileInfo(m_filePath).completeBaseName();
        return fail();
    }
    if (!readString(data, QStringLiteral("Version"), &m_version, &error, true))
        return fail();
    if (!isValidVersion(m_version)) {
        error = QCoreApplication::translate("ExtensionSystem::PluginSpec", "\"%1\" is not a valid version.").arg(m_version);
        return fail();
    }
    m_compatVersion = m_version;
    if (!readString(data, QStringLiteral("CompatVersion"), &m_compatVersion, &error))
        return fail();
    if (!isValidVersion(m_compatVersion)) {
        error = QCoreApplication::translate("ExtensionSystem::PluginSpec", "\"%1\" is not a valid compatibility version.").arg(m_compatVersion);
        return fail();
    }
    if (versionCompare(m_compatVersion, m_version) > 0) {
        error = QCoreApplication::translate("ExtensionSystem::PluginSpec", "Compatibility version %1 is newer than version %2.").arg(m_compatVersion, m_version);
        return fail();
    }
    if (!readString(data, QStringLiteral("Vendor"), &m_vendor, &error)
        || !readString(data, QStringLiteral("Copyright"), &m_copyright, &error)
        || !readString(data, QStringLiteral("Url"), &m_url, &error)
        || !readString(data, QStringLiteral("Category"), &m_category, &error)
        || !readString(data, QStringLiteral("Description"), &m_description, &error)
        || !readString(data, QStringLiteral("License"), &m_license, &error))
        return fail();

    const QJsonValue required = data.value(QStringLiteral("Required"));
    if (!required.isUndefined()) {
        if (!required.isBool()) {
            error = QCoreApplication::translate("ExtensionSystem::PluginSpec", "Value for key \"Required\" is not a boolean.");
            return fail();
        }
        m_required = required.toBool();
    }

    const QJsonValue deps = data.value(QStringLiteral("Dependencies"));
    if (!deps.isUndefined()) {
        if (!deps.isArray()) {
            error = QCoreApplication::translate("ExtensionSystem::PluginSpec", "Value for key \"Dependencies\" is not an array.");
            return fail();
        }
        for (const QJsonValue &entry : deps.toArray()) {
            if (!entry.isObject()) {
                error = QCoreApplication::translate("ExtensionSystem::PluginSpec", "A dependency is not an object.");
                return fail();
            }
            const QJsonObject o = entry.toObject();
            PluginDependency dep;
            if (!readString(o, QStringLiteral("Name"), &dep.name, &error, true)
                || !readString(o, QStringLiteral("Version"), &dep.version, &error, true))
                return fail();
            if (!isValidVersion(dep.version)) {
                error = QCoreApplication::translate("ExtensionSystem::PluginSpec", "Dependency %1 asks for the invalid version \"%2\".").arg(dep.name, dep.version);
                return fail();
            }
            m_dependencies.append(dep);
        }
    }

    const QJsonValue args = data.value(QStringLiteral("Arguments"));
    if (!args.isUndefined()) {
        if (!args.isArray()) {
            error = QCoreApplication::translate("ExtensionSystem::PluginSpec", "Value for key \"Arguments\" is not an array.");
            return fail();
        }
        for (const QJsonValue &entry : args.toArray()) {
            if (!entry.isObject()) {
                error = QCoreApplication::translate("ExtensionSystem::PluginSpec", "An argument description is not an object.");
                return fail();
            }
            const QJsonObject o = entry.toObject();
            PluginArgumentDescription arg;
            if (!readString(o, QStringLiteral("Name"), &arg.name, &error, true)
                || !readString(o, QStringLiteral("Parameter"), &arg.parameter, &error)
                || !readString(o, QStringLiteral("Description"), &arg.description, &error))
                return fail();
            m_argumentDescriptions.append(arg);
        }
    }
    return true;
}

bool PluginSpec::resolveDependencies(const QVector<PluginSpec *> &specs)
{
    if (m_hasError || m_state != Read)
        return false;
    QVector<PluginSpec *> found;
    for (const PluginDependency &dep : qAsConst(m_dependencies)) {
        PluginSpec *provider = nullptr;
        PluginSpec *sameName = nullptr;
        for (PluginSpec *candidate : specs) {
            if (candidate == this || candidate->name() != dep.name)
                continue;
            if (!sameName)
                sameName = candidate;
            if (candidate->provides(dep.name, dep.version)) {
                provider = candidate;
                break;
            }
        }
        if (!provider) {
            if (sameName) {
                setError(QCoreApplication::translate("ExtensionSystem::PluginSpec", "Plug-in %1 needs %2 in version %3, but %2 offers versions %4 to %5.")
                             .arg(m_name, dep.name, dep.version, sameName->compatVersion(),
                                  sameName->version()));
            } else {
                setError(QCoreApplication::translate("ExtensionSystem::PluginSpec", "Could not resolve dependency '%1(%2)'.").arg(dep.name, dep.version));
            }
            return false;
        }
        found.append(provider);
    }
    m_dependencySpecs = found;
    m_state = Resolved;
    return true;
}

PluginSpec *PluginSpec::failedDependency() const
{
    for (PluginSpec *dep : m_dependencySpecs) {
        if (dep->hasError() || !dep->isEffectivelyEnabled())
            return dep;
    }
    return nullptr;
}

bool PluginSpec::loadLibrary()
{
    if (m_hasError || m_state != Resolved)
        return false;
    if (PluginSpec *dep = failedDependency()) {
        setError(QCoreApplication::translate("ExtensionSystem::PluginSpec", "Cannot load plug-in because dependency failed to load: %1(%2)\nReason: %3")
                     .arg(dep->name(), dep->version(), dep->errorString()));
        return false;
    }
    if (!m_loader->load()) {
        setError(QCoreApplication::translate("ExtensionSystem::PluginSpec", "Library load failed: %1").arg(m_loader->errorString()));
        return false;
    }
    QObject *object = m_loader->instance();
    auto plugin = qobject_cast<IPlugin *>(object);
    if (!plugin) {
        delete object;
        setError(QCoreApplication::translate("ExtensionSystem::PluginSpec", "Plug-in is not valid (does not derive from IPlugin)."));
        return false;
    }
    m_plugin = plugin;
    m_plugin->m_spec = this;
    m_state = Loaded;
    return true;
}

bool PluginSpec::initializePlugin()
{
    if (m_hasError || m_state != Loaded || !m_plugin)
        return false;
    QString error;
    if (!m_plugin->initialize(m_arguments, &error)) {
        setError(QCoreApplication::translate("ExtensionSystem::PluginSpec", "Plug-in initialization failed: %1").arg(error));
        return false;
    }
    m_state = Initialized;
    return true;
}

bool PluginSpec::initializeExtensions()
{
    if (m_hasError || m_state != Initialized || !m_plugin)
        return false;
    m_plugin->extensionsInitialized();
    m_state = Running;
    return true;
}

bool PluginSpec::delayedInitialize()
{
    if (m_hasError || m_state != Running || !m_plugin)
        return false;
    return m_plugin->delayedInitialize();
}

IPlugin::ShutdownFlag PluginSpec::stop()
{
    if (!m_plugin || (m_state != Initialized && m_state != Running))
        return IPlugin::SynchronousShutdown;
    m_state = Stopped;
    return m_plugin->aboutToShutdown();
}

void PluginSpec::kill()
{
    if (!m_plugin)
        return;
    delete m_plugin;
    m_plugin = nullptr;
    m_state = Deleted;
}

} // namespace ExtensionSystem
