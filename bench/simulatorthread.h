#pragma once

#include <QString>
#include <QThread>

namespace Devicesim {
class DeviceSimulator;
}

namespace Bench {

// The device simulator in a thread of its own, as a device would run on its
// own: what it costs stays off the measured thread.
class SimulatorThread
{
public:
    SimulatorThread() = default;
    ~SimulatorThread();
    SimulatorThread(const SimulatorThread &) = delete;
    SimulatorThread &operator=(const SimulatorThread &) = delete;

    // Serves the map on 127.0.0.1; returns the port, or 0 with `error`.
    quint16 start(const QString &map, QString *error);
    QString version() const { return m_version; }
    // Measured values move on once every `requests` requests served (about
    // once a pass when it is the number of requests of a pass); 0 holds
    // them still.
    void setAdvanceEvery(quint64 requests);

private:
    QThread m_thread;
    QObject *m_context = nullptr;
    Devicesim::DeviceSimulator *m_simulator = nullptr;
    QString m_version;
};

} // namespace Bench
