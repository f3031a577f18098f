#pragma once

#include "workspace_global.h"

#include <QObject>
#include <QString>
#include <QThread>

#include <functional>
#include <type_traits>

namespace Devicesim {
class DeviceSimulator;
}

namespace Workspace {

// The built-in demo device: the device simulator, run inside the program on
// 127.0.0.1 at a free port, serving the shipped demo register map with
// slowly moving values.
//
// The simulator runs in a thread of its own, as a real device runs apart
// from the tool that polls it: loading its map, serving requests and moving
// its values cost the window's thread nothing.
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

    // Starts loading the map on the simulator's thread and returns at once,
    // so that the load overlaps whatever the program does meanwhile; start()
    // with the same file takes the loaded map (waiting for it if need be).
    // An empty file name takes the shipped map. Does nothing while running.
    void prepare(const QString &mapFile = QString());
    // Loads the map (unless prepared) and listens. An empty file name takes
    // the shipped map. The map is also put into the register map folder when
    // that folder has no file for its version yet (an existing file is never
    // replaced), so that the program finds the map the device answers with.
    bool start(const QString &mapFile = QString());
    // Ends the device and its thread; a response delay in progress is cut short.
    void stop();
    bool isRunning() const;

    quint16 port() const { return m_port; }
    QString version() const { return m_version; }
    QString errorString() const { return m_errorString; }
    // The simulator lives on its own thread: connecting to its signals is
    // safe from anywhere, anything else goes through call().
    Devicesim::DeviceSimulator *simulator() const { return m_simulator; }

    // Runs `work` with the simulator on the simulator's thread and waits for
    // its result (directly when called on that thread). Without a simulator
    // `work` is not run and the result is default-constructed.
    template <typename Work>
    auto call(Work work) const -> std::invoke_result_t<Work, Devicesim::DeviceSimulator *>
    {
        using Result = std::invoke_result_t<Work, Devicesim::DeviceSimulator *>;
        if constexpr (std::is_void_v<Result>) {
            run([&](Devicesim::DeviceSimulator *simulator) { work(simulator); });
        } else {
            Result result{};
            run([&](Devicesim::DeviceSimulator *simulator) { result = work(simulator); });
            return result;
        }
    }

private:
    void run(const std::function<void(Devicesim::DeviceSimulator *)> &work) const;
    bool installMap(const QString &mapFile, const QString &version);

    QThread m_thread;
    QObject *m_context = nullptr; // lives on m_thread; work is run through it
    // Created, used and deleted on m_thread only (see call()).
    Devicesim::DeviceSimulator *m_simulator = nullptr;
    // Written on m_thread by the load, read after waiting for it.
    bool m_loaded = false;
    QString m_loadError;
    // Why the last prepare() could not start the thread.
    QString m_threadError;
    QString m_preparedFile;
    bool m_started = false;
    quint16 m_port = 0;
    QString m_version;
    QString m_errorString;
};

} // namespace Workspace
