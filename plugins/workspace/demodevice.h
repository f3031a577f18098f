#pragma once

#include "workspace_global.h"

#include <QObject>
#include <QString>

namespace Devicesim {
class DeviceSimulator;
}

namespace Workspace {

// The built-in demo device: the device simulator, run inside the program on
// 127.0.0.1 at a free port, serving the shipped demo register map with
// slowly moving values.
class WORKSPACE_EXPORT DemoDevice : public QObject
{
    Q_OBJECT

public:
    enum { DriftIntervalMs = 1000 };

    explicit DemoDevice(QObject *parent = nullptr);
    ~DemoDevice() override;

    // The shipped demo map: the first base_v*.xml beside the program
    // ("../share/appcore/demo/pointbook"); empty when none is there.
    static QString shippedMap();

    // Loads the map and listens. An empty file name takes the shipped map.
    // The map is also put into the register map folder when that folder
    // has no file for its version yet (an existing file is never replaced),
    // so that the program finds the map the device answers with.
    bool start(const QString &mapFile = QString());
    void stop();
    bool isRunning() const;

    quint16 port() const;
    QString version() const;
    QString errorString() const { return m_errorString; }
    Devicesim::DeviceSimulator *simulator() const { return m_simulator; }

private:
    bool installMap(const QString &mapFile, const QString &version);

    Devicesim::DeviceSimulator *m_simulator = nullptr;
    QString m_errorString;
};

} // namespace Workspace
