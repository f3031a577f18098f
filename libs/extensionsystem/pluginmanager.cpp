#include "pluginmanager.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QLibrary>
#include <QLoggingCategory>
#include <QSettings>
#include <QTimer>

#include <memory>

namespace ExtensionSystem {

namespace {
Q_LOGGING_CATEGORY(pluginLog, "app.extensionsystem", QtInfoMsg)

// How long an asynchronous shutdown may take before the plug-ins are
// deleted anyway; a hanging plug-in must not keep the process alive.
constexpr int asynchronousShutdownTimeoutMs = 10000;
} // namespace

PluginManager *PluginManager::m_instance = nullptr;

PluginManager::PluginManager(QObject *parent)
    : QObject(parent)
    , m_delayedTimer(new QTimer(this))
{
    m_instance = this;
    m_delayedTimer->setSingleShot(true);
    m_delayedTimer->setInterval(0);
    connect(m_delayedTimer, &QTimer::timeout, this, &PluginManager::nextDelayedInitialize);
}

PluginManager::~PluginManager()
{
    shutdown();
    qDeleteAll(m_specs);
    m_specs.clear();
    if (m_instance == this)
        m_instance = nullptr;
}

PluginManager *PluginManager::instance()
{
    return m_instance;
}

void PluginManager::setPluginIID(const QString &iid)
{
    m_pluginIID = iid;
}

void PluginManager::setGlobalSettings(QSettings *settings)
{
    m_globalSettings = settings;
}

void PluginManager::setSettings(QSettings *settings)
{
    m_settings = settings;
}

void PluginManager::setPluginPaths(const QStringList &paths)
{
    m_pluginPaths = paths;
    readPlugins();
}

PluginSpec *PluginManager::pluginByName(const QString &name) const
{
    for (PluginSpec *spec : m_specs) {
        if (spec->name() == name)
            return spec;
    }
    return nullptr;
}

bool PluginManager::hasError() const
{
    for (const PluginSpec *spec : m_specs) {
        if (spec->hasError())
            return true;
    }
    return false;
}

QStringList PluginManager::ignoredPlugins() const
{
    QStringList ignored;
    for (QSettings *s : {m_globalSettings, m_settings}) {
        if (s)
            ignored += s->value(QStringLiteral("Plugins/Ignored")).toStringList();
    }
    return ignored;
}

void PluginManager::readPlugins()
{
    if (m_loaded) {
        qCWarning(pluginLog) << "Plug-in paths changed after loading; ignored.";
        return;
    }
    qDeleteAll(m_specs);
    m_specs.clear();
    m_loadQueue.clear();

    for (const QString &path : qAsConst(m_pluginPaths)) {
        QStringList files;
        QDirIterator it(path, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            if (QLibrary::isLibrary(file))
                files.append(file);
        }
        // Stable order, so that load order and reported cycles do not depend
        // on the file system.
        files.sort();
        for (const QString &file : qAsConst(files)) {
            auto spec = new PluginSpec;
            const PluginSpec::ReadResult result = spec->read(file, m_pluginIID);
            if (result != PluginSpec::Taken) {
                delete spec;
                continue;
            }
            if (PluginSpec *existing = pluginByName(spec->name()); existing && !spec->name().isEmpty()) {
                spec->setError(tr("A plug-in named %1 was already found in %2.")
                                   .arg(spec->name(), QDir::toNativeSeparators(existing->filePath())));
            }
            m_specs.append(spec);
        }
    }

    const QStringList ignored = ignoredPlugins();
    for (PluginSpec *spec : qAsConst(m_specs))
        spec->m_enabledBySettings = spec->isRequired() || !ignored.contains(spec->name());

    resolve();
    emit pluginsChanged();
}

void PluginManager::resolve()
{
    for (PluginSpec *spec : qAsConst(m_specs))
        spec->resolveDependencies(m_specs);

    // A plug-in that needs a disabled one cannot run either; repeat until
    // nothing changes so that whole chains are covered.
    bool changed = true;
    while (changed) {
        changed = false;
        for (PluginSpec *spec : qAsConst(m_specs)) {
            if (spec->m_disabledIndirectly)
                continue;
            for (const PluginSpec *dep : qAsConst(spec->m_dependencySpecs)) {
                if (!dep->isEffectivelyEnabled()) {
                    spec->m_disabledIndirectly = true;
                    changed = true;
                    break;
                }
            }
        }
    }

    QVector<PluginSpec *> path;
    for (PluginSpec *spec : qAsConst(m_specs))
        enqueue(spec, m_loadQueue, path);
}

bool PluginManager::enqueue(PluginSpec *spec, QVector<PluginSpec *> &queue, QVector<PluginSpec *> &path)
{
    if (queue.contains(spec))
        return true;
    const int cycleStart = path.indexOf(spec);
    if (cycleStart >= 0) {
        QStringList chain;
        for (int i = cycleStart; i < path.size(); ++i)
            chain.append(path.at(i)->name());
        chain.append(spec->name());
        const QString message = tr("Circular dependency detected: %1").arg(chain.join(QStringLiteral(" -> ")));
        for (int i = cycleStart; i < path.size(); ++i)
            path.at(i)->setError(message);
        return false;
    }
    if (spec->hasError() || spec->state() != PluginSpec::Resolved || !spec->isEffectivelyEnabled())
        return false;

    path.append(spec);
    bool ok = true;
    for (PluginSpec *dep : qAsConst(spec->m_dependencySpecs)) {
        if (!enqueue(dep, queue, path)) {
            if (dep->hasError()) {
                spec->setError(tr("Cannot load plug-in because dependency failed to load: %1(%2)\nReason: %3")
                                   .arg(dep->name(), dep->version(), dep->errorString()));
            }
            ok = false;
            break;
        }
    }
    path.removeLast();
    if (!ok)
        return false;
    queue.append(spec);
    return true;
}

QStringList PluginManager::argumentsFor(const QVector<PluginArgumentDescription> &descriptions,
                                        const QStringList &commandLine)
{
    QStringList result;
    for (int i = 0; i < commandLine.size(); ++i) {
        const QString &word = commandLine.at(i);
        for (const PluginArgumentDescription &d : descriptions) {
            if (d.name != word)
                continue;
            result.append(word);
            if (!d.parameter.isEmpty() && i + 1 < commandLine.size())
                result.append(commandLine.at(++i));
            break;
        }
    }
    return result;
}

void PluginManager::loadPlugins()
{
    if (m_loaded) {
        qCWarning(pluginLog) << "Plug-ins are already loaded.";
        return;
    }
    m_loaded = true;

    const QStringList commandLine = QCoreApplication::arguments().mid(1);
    // Loading and initialising go together in dependency order, so a plug-in
    // whose dependency failed in any way is never even loaded.
    for (PluginSpec *spec : qAsConst(m_loadQueue)) {
        spec->m_arguments = argumentsFor(spec->argumentDescriptions(), commandLine);
        if (spec->loadLibrary())
            spec->initializePlugin();
    }
    for (auto it = m_loadQueue.crbegin(); it != m_loadQueue.crend(); ++it) {
        if ((*it)->initializeExtensions())
            m_delayedQueue.append(*it);
    }

    for (const PluginSpec *spec : qAsConst(m_specs)) {
        if (spec->hasError()) {
            qCWarning(pluginLog).noquote() << QStringLiteral("Plug-in %1 (%2): %3")
                                                  .arg(spec->name(), QDir::toNativeSeparators(spec->filePath()),
                                                       spec->errorString());
        }
    }
    if (!m_delayedQueue.isEmpty())
        m_delayedTimer->start();
    emit initializationDone();
}

void PluginManager::nextDelayedInitialize()
{
    // One plug-in per event-loop turn, so the window stays responsive.
    while (!m_delayedQueue.isEmpty()) {
        PluginSpec *spec = m_delayedQueue.takeFirst();
        if (spec->delayedInitialize())
            break;
    }
    if (!m_delayedQueue.isEmpty())
        m_delayedTimer->start();
}

void PluginManager::remoteArguments(const QString &message, QObject *socket)
{
    Q_UNUSED(socket)
    qCInfo(pluginLog).noquote() << "Remote arguments received:" << message;
    QStringList lines = message.split(QLatin1Char('\n'));
    const QString workingDirectory = lines.isEmpty() ? QString() : lines.takeFirst();
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();

    for (PluginSpec *spec : qAsConst(m_loadQueue)) {
        if (spec->state() != PluginSpec::Running || !spec->plugin())
            continue;
        const QStringList options = argumentsFor(spec->argumentDescriptions(), lines);
        QStringList plain;
        for (const QString &word : qAsConst(lines)) {
            if (!word.startsWith(QLatin1Char('-')) && !options.contains(word))
                plain.append(word);
        }
        spec->plugin()->remoteCommand(options, workingDirectory, plain);
    }
}

void PluginManager::shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    m_delayedTimer->stop();
    m_delayedQueue.clear();

    // Listen before asking, so that a plug-in which finishes at once is not
    // waited for.
    QEventLoop loop;
    int remaining = 0;
    for (auto it = m_loadQueue.crbegin(); it != m_loadQueue.crend(); ++it) {
        IPlugin *plugin = (*it)->plugin();
        if (!plugin)
            continue;
        auto connection = std::make_shared<QMetaObject::Connection>();
        auto finished = std::make_shared<bool>(false);
        *connection = connect(plugin, &IPlugin::asynchronousShutdownFinished, &loop,
                              [&loop, &remaining, finished, connection]() {
                                  QObject::disconnect(*connection);
                                  *finished = true;
                                  if (--remaining == 0)
                                      loop.quit();
                              });
        ++remaining;
        if ((*it)->stop() != IPlugin::AsynchronousShutdown && !*finished) {
            disconnect(*connection);
            --remaining;
        }
    }

    if (remaining > 0) {
        QTimer::singleShot(asynchronousShutdownTimeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
        if (remaining > 0)
            qCWarning(pluginLog) << remaining << "plug-in(s) did not finish shutting down in time.";
    }

    // Every plug-in object, including those whose initialisation failed,
    // goes in reverse load order.
    for (auto it = m_loadQueue.crbegin(); it != m_loadQueue.crend(); ++it)
        (*it)->kill();
    for (PluginSpec *spec : qAsConst(m_specs))
        spec->kill();
}

} // namespace ExtensionSystem
