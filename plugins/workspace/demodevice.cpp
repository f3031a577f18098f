#include "demodevice.h"
#include "workspacecontroller.h"

#include <core/shippedfiles.h>
#include <devicesim/devicesimulator.h>
#include <pointbook/pointbookplugin.h>
#include <pointbook/statusupdatebase.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Workspace {

DemoDevice::DemoDevice(QObject *parent)
    : QObject(parent)
{
    m_thread.setObjectName(QStringLiteral("DemoDevice"));
}

DemoDevice::~DemoDevice()
{
    stop();
}

QString DemoDevice::shippedMap()
{
    const QDir folder(Core::ShippedFiles::demoFolder(QStringLiteral("pointbook")));
    const QStringList files = folder.entryList({QStringLiteral("base_v*.xml")}, QDir::Files, QDir::Name);
    return files.isEmpty() ? QString() : folder.filePath(files.constFirst());
}

void DemoDevice::prepare(const QString &mapFile)
{
    const QString file = mapFile.isEmpty() ? shippedMap() : mapFile;
    if (m_started || file.isEmpty() || file == m_preparedFile)
        return;
    stop();
    m_threadError.clear();
    // Nothing may wait for a thread that is not there (the system refuses
    // new threads when memory or its thread limit runs out).
    m_thread.start();
    if (!m_thread.isRunning()) {
        m_threadError = tr("The demo device cannot run: the system refused to start a thread for it.");
        return;
    }
    // Made here and handed over, so that the pointer is ours at once; from
    // now on only the thread touches the simulator.
    m_simulator = new Devicesim::DeviceSimulator;
    m_context = new QObject;
    m_simulator->moveToThread(&m_thread);
    m_context->moveToThread(&m_thread);
    m_preparedFile = file;
    m_loaded = false;
    m_loadError.clear();
    QMetaObject::invokeMethod(m_context, [this, file] {
        m_loaded = m_simulator->loadMap(file);
        if (!m_loaded)
            m_loadError = m_simulator->errorString();
    }, Qt::QueuedConnection);
}

bool DemoDevice::start(const QString &mapFile)
{
    const QString file = mapFile.isEmpty() ? shippedMap() : mapFile;
    // A running device is started afresh; a prepared one is taken as it is.
    if (m_started || file != m_preparedFile)
        stop();
    m_errorString.clear();
    if (file.isEmpty()) {
        m_errorString = tr("The demo register map is missing (looked in %1).")
                            .arg(QDir::toNativeSeparators(
                                Core::ShippedFiles::demoFolder(QStringLiteral("pointbook"))));
        return false;
    }
    prepare(file);
    if (!m_context) {
        m_errorString = m_threadError;
        return false;
    }

    enum Outcome { Listening, NotLoaded, NoVersion, NotListening } outcome = Listening;
    QString detail;
    QString version;
    quint16 port = 0;
    // Queued behind the load, so this waits for it when it is not done yet.
    run([&](Devicesim::DeviceSimulator *simulator) {
        if (!m_loaded) {
            outcome = NotLoaded;
            detail = m_loadError;
            return;
        }
        version = simulator->version();
        if (!WorkspaceController::isUsableVersion(version)) {
            outcome = NoVersion;
            return;
        }
        if (!simulator->listen(QStringLiteral("127.0.0.1"), 0)) {
            outcome = NotListening;
            detail = simulator->errorString();
            return;
        }
        simulator->setUpdateInterval(DriftIntervalMs);
        port = simulator->port();
    });
    switch (outcome) {
    case Listening:
        break;
    case NotLoaded:
        m_errorString = tr("The demo device cannot use its register map: %1").arg(detail);
        break;
    case NoVersion:
        m_errorString = tr("The demo register map has no usable version.");
        break;
    case NotListening:
        m_errorString = tr("The demo device cannot listen on 127.0.0.1: %1").arg(detail);
        break;
    }
    if (outcome != Listening) {
        stop();
        return false;
    }
    m_started = true;
    m_port = port;
    m_version = version;
    if (!installMap(file, version)) {
        stop();
        return false;
    }
    return true;
}

bool DemoDevice::installMap(const QString &mapFile, const QString &version)
{
    const QString folder = Pointbook::PointbookPlugin::registerMapFolder();
    const QString target = folder + QStringLiteral("base_v") + version + QStringLiteral(".xml");
    if (QFileInfo::exists(target))
        return true;
    if (!QDir().mkpath(folder) || !QFile::copy(mapFile, target)) {
        m_errorString = tr("Cannot put the demo register map into %1.").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    // The shipped copy may be read-only; the user's copy must stay editable.
    QFile(target).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return true;
}

void DemoDevice::stop()
{
    if (!m_context)
        return;
    // Cuts a response delay short; a map still loading is waited for.
    m_thread.requestInterruption();
    // The simulator's sockets and timer belong to its thread: they end there.
    Devicesim::DeviceSimulator *simulator = m_simulator;
    QMetaObject::invokeMethod(m_context, [simulator] {
        simulator->close();
        delete simulator;
        QThread::currentThread()->quit();
    }, Qt::QueuedConnection);
    m_thread.wait();
    delete m_context;
    m_context = nullptr;
    m_simulator = nullptr;
    m_preparedFile.clear();
    m_started = false;
    m_port = 0;
    m_version.clear();
}

bool DemoDevice::isRunning() const
{
    return m_started && call([](Devicesim::DeviceSimulator *simulator) { return simulator->isListening(); });
}

void DemoDevice::run(const std::function<void(Devicesim::DeviceSimulator *)> &work) const
{
    if (!m_simulator)
        return;
    if (QThread::currentThread() == &m_thread) {
        work(m_simulator);
        return;
    }
    QMetaObject::invokeMethod(m_context, [this, &work] { work(m_simulator); }, Qt::BlockingQueuedConnection);
}

} // namespace Workspace
