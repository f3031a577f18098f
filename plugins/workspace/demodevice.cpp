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

bool DemoDevice::start(const QString &mapFile)
{
    stop();
    m_errorString.clear();
    const QString file = mapFile.isEmpty() ? shippedMap() : mapFile;
    if (file.isEmpty()) {
        m_errorString = tr("The demo register map is missing (looked in %1).")
                            .arg(QDir::toNativeSeparators(
                                Core::ShippedFiles::demoFolder(QStringLiteral("pointbook"))));
        return false;
    }
    m_simulator = new Devicesim::DeviceSimulator(this);
    if (!m_simulator->loadMap(file)) {
        m_errorString = tr("The demo device cannot use its register map: %1").arg(m_simulator->errorString());
        stop();
        return false;
    }
    if (!WorkspaceController::isUsableVersion(m_simulator->version())) {
        m_errorString = tr("The demo register map has no usable version.");
        stop();
        return false;
    }
    if (!m_simulator->listen(QStringLiteral("127.0.0.1"), 0)) {
        m_errorString = tr("The demo device cannot listen on 127.0.0.1: %1").arg(m_simulator->errorString());
        stop();
        return false;
    }
    m_simulator->setUpdateInterval(DriftIntervalMs);
    if (!installMap(file, m_simulator->version())) {
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
    if (!m_simulator)
        return;
    m_simulator->close();
    delete m_simulator;
    m_simulator = nullptr;
}

bool DemoDevice::isRunning() const
{
    return m_simulator && m_simulator->isListening();
}

quint16 DemoDevice::port() const
{
    return m_simulator ? m_simulator->port() : 0;
}

QString DemoDevice::version() const
{
    return m_simulator ? m_simulator->version() : QString();
}

} // namespace Workspace
