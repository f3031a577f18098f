// Register rate of full cyclic passes of the polling engine (TagBase over
// Fieldlink) against the device simulator, versus a bare QModbusTcpClient
// loop and a bare libmodbus loop that issue the same requests to the same
// server. The server runs in a thread of its own. The engine also runs with
// the link diagnostics recording every request (traffic log, round-trip
// window), to show what that costs.

#include "benchreport.h"
#include "mapgenerator.h"
#include "simulatorthread.h"

#include <devicesim/devicesimulator.h>
#include <fieldlink/modbusconnection.h>
#include <fieldlink/qmodbussettings.h>
#include <fieldlink/trafficrecorder.h>
#include <pointbook/basetag.h>
#include <pointbook/tagbase.h>
#include <pointbook/tagbaseloader.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QModbusReply>
#include <QModbusTcpClient>
#include <QTemporaryDir>
#include <QTimer>
#include <QVariant>

#include <modbus.h>

#include <cerrno>
#include <cstdio>

using Fieldlink::FieldlinkCore::ModbusConnection;
using Fieldlink::FieldlinkCore::QModbusSettings;
using Pointbook::TagBase;

namespace {

struct Request
{
    int type; // 0 IR, 1 HR
    int start;
    int count;
};

const int ServerAddress = 1;

bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    return true;
}

// The same split the engine makes: 124 registers at most per request.
QVector<Request> requestsOf(const TagBase &engine)
{
    QVector<Request> requests;
    const QVector<QPoint> tables[2] = {engine.irInterval(), engine.hrInterval()};
    for (int type = 0; type < 2; ++type) {
        for (const QPoint &interval : tables[type]) {
            for (int done = 0; done < interval.y(); done += TagBase::MaxRequestLength)
                requests.append({type, interval.x() + done, qMin(interval.y() - done, int(TagBase::MaxRequestLength))});
        }
    }
    return requests;
}

int registersOf(const QVector<Request> &requests)
{
    int n = 0;
    for (const Request &r : requests)
        n += r.count;
    return n;
}

// One full pass of the requests per call, one request in flight.
class QtLoop
{
public:
    bool connect(quint16 port)
    {
        m_client.setConnectionParameter(QModbusDevice::NetworkAddressParameter, QStringLiteral("127.0.0.1"));
        m_client.setConnectionParameter(QModbusDevice::NetworkPortParameter, port);
        m_client.setTimeout(1000);
        m_client.setNumberOfRetries(0);
        return m_client.connectDevice()
               && waitFor([this] { return m_client.state() == QModbusDevice::ConnectedState; }, 5000);
    }

    // Seconds for `passes` passes; -1 on any failed request.
    double run(const QVector<Request> &requests, int passes)
    {
        m_requests = &requests;
        m_left = passes;
        m_index = 0;
        m_failed = false;
        QEventLoop loop;
        m_loop = &loop;
        const qint64 t0 = Bench::nowNs();
        sendNext();
        if (m_left > 0)
            loop.exec();
        const qint64 t1 = Bench::nowNs();
        m_loop = nullptr;
        return m_failed ? -1 : double(t1 - t0) / 1e9;
    }

private:
    void sendNext()
    {
        while (m_left > 0) {
            const Request &r = m_requests->at(m_index);
            const QModbusDataUnit unit(r.type == 0 ? QModbusDataUnit::InputRegisters : QModbusDataUnit::HoldingRegisters,
                                       r.start, quint16(r.count));
            QModbusReply *reply = m_client.sendReadRequest(unit, ServerAddress);
            if (!reply) {
                m_failed = true;
                m_left = 0;
                break;
            }
            if (!reply->isFinished()) {
                QObject::connect(reply, &QModbusReply::finished, reply, [this, reply] { onFinished(reply); });
                return;
            }
            onFinished(reply, false);
        }
        if (m_loop)
            m_loop->quit();
    }

    void onFinished(QModbusReply *reply, bool sendMore = true)
    {
        if (reply->error() != QModbusDevice::NoError || reply->result().valueCount() != uint(m_requests->at(m_index).count))
            m_failed = true;
        reply->deleteLater();
        if (++m_index == m_requests->size()) {
            m_index = 0;
            --m_left;
        }
        if (m_failed)
            m_left = 0;
        if (sendMore)
            sendNext();
    }

    QModbusTcpClient m_client;
    const QVector<Request> *m_requests = nullptr;
    int m_left = 0;
    int m_index = 0;
    bool m_failed = false;
    QEventLoop *m_loop = nullptr;
};

class LibmodbusLoop
{
public:
    ~LibmodbusLoop()
    {
        if (m_ctx) {
            modbus_close(m_ctx);
            modbus_free(m_ctx);
        }
    }

    bool connect(quint16 port)
    {
        m_ctx = modbus_new_tcp("127.0.0.1", port);
        if (!m_ctx)
            return false;
        modbus_set_slave(m_ctx, ServerAddress);
        modbus_set_response_timeout(m_ctx, 1, 0);
        return modbus_connect(m_ctx) == 0;
    }

    double run(const QVector<Request> &requests, int passes)
    {
        uint16_t buffer[128];
        const qint64 t0 = Bench::nowNs();
        for (int p = 0; p < passes; ++p) {
            for (const Request &r : requests) {
                const int n = r.type == 0 ? modbus_read_input_registers(m_ctx, r.start, r.count, buffer)
                                          : modbus_read_registers(m_ctx, r.start, r.count, buffer);
                if (n != r.count) {
                    std::fprintf(stderr, "libmodbus: %s\n", modbus_strerror(errno));
                    return -1;
                }
            }
        }
        return double(Bench::nowNs() - t0) / 1e9;
    }

private:
    modbus_t *m_ctx = nullptr;
};

// The polling engine on its own connection, as the plug-in wires it.
class EngineLoop
{
public:
    explicit EngineLoop(Pointbook::BaseTag *base)
        : m_settings(ServerAddress, 1000, 0)
    {
        m_engine.setModbusSettings(&m_settings);
        m_engine.setTagBase(base);
        QObject::connect(&m_engine, &TagBase::updateAllBase, [this] {
            ++m_passes;
            m_passEnds.append(Bench::nowNs());
            if (m_loop && m_passes >= m_target)
                m_loop->quit();
        });
        QObject::connect(&m_engine, &TagBase::updateStepClear, [this] { m_firstOfPass = true; });
        QObject::connect(&m_engine, &TagBase::updateStepIncrement, [this] {
            if (m_firstOfPass)
                m_passStarts.append(Bench::nowNs());
            m_firstOfPass = false;
        });
    }

    bool connect(quint16 port)
    {
        m_connection.setHost(QStringLiteral("127.0.0.1"));
        m_connection.setPort(port);
        m_connection.setAutoReconnect(false);
        if (!m_connection.connectDevice()
            || !waitFor([this] { return m_connection.isConnected(); }, 5000))
            return false;
        m_engine.setModbusConnection(&m_connection);
        m_engine.updateTagInterval();
        return true;
    }

    TagBase &engine() { return m_engine; }
    // Diagnostics recording of every ended request, as the program does
    // with the diagnostics plug-in loaded.
    void setRecording(bool on) { m_connection.setTrafficRecorder(on ? &m_recorder : nullptr); }
    // Requests put on the wire and failed answers over all timed passes.
    quint64 sent() const { return m_sent; }
    quint64 failed() const { return m_failed; }

    // Seconds for `passes` full cyclic passes, counted from the end of a
    // first pass that warms up; pass durations (first request to
    // updateAllBase) are appended to `passTimes` in ms.
    double run(int passes, QVector<double> *passTimes)
    {
        QEventLoop loop;
        m_loop = &loop;
        m_passes = 0;
        m_target = 1;
        m_passStarts.clear();
        m_passEnds.clear();
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
        guard.start(60000);
        m_engine.setUpdateBase(TagBase::CyclicUpdate, false);
        if (m_passes < 1)
            loop.exec();
        const auto before = m_connection.statistics();
        const qint64 t0 = Bench::nowNs();
        m_target = 1 + passes;
        if (m_passes < m_target)
            loop.exec();
        const qint64 t1 = Bench::nowNs();
        const auto after = m_connection.statistics();
        m_sent += after.requests() - before.requests();
        m_failed += after.failures() - before.failures();
        const bool complete = m_passes >= m_target;
        m_engine.setUpdateBase(TagBase::NoUpdate, false);
        m_loop = nullptr;
        // Let the request still on the wire come back before the next loop.
        waitFor([this] { return !m_connection.isBusy() && m_connection.queuedCount() == 0; }, 2000);
        if (passTimes) {
            for (int i = 0; i < m_passEnds.size() && i < m_passStarts.size(); ++i)
                passTimes->append(double(m_passEnds.at(i) - m_passStarts.at(i)) / 1e6);
        }
        return complete ? double(t1 - t0) / 1e9 : -1;
    }

private:
    QModbusSettings m_settings;
    Fieldlink::FieldlinkCore::TrafficRecorder m_recorder;
    ModbusConnection m_connection;
    TagBase m_engine;
    QEventLoop *m_loop = nullptr;
    int m_passes = 0;
    int m_target = 0;
    bool m_firstOfPass = false;
    QVector<qint64> m_passStarts;
    QVector<qint64> m_passEnds;
    quint64 m_sent = 0;
    quint64 m_failed = 0;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const Bench::Options options = Bench::parseOptions(app.arguments());
    Bench::Report report(QStringLiteral("polling"), options);
    const int rounds = options.quick ? 3 : 5;
    const double secondsPerRun = options.quick ? 0.15 : 0.4;
    // For profiling: --engine-only runs a few passes of the engine over the
    // big map and nothing else; --qt-only the same passes of the bare Qt loop.
    const bool qtOnly = options.rest.contains(QStringLiteral("--qt-only"));
    const bool engineOnly = qtOnly || options.rest.contains(QStringLiteral("--engine-only"));

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;

    for (const int tags : engineOnly ? QVector<int>{10000} : QVector<int>{1000, 10000}) {
        Bench::GeneratedMap map;
        QString error;
        if (!Bench::generateMap(dir.filePath(QStringLiteral("base_%1.xml").arg(tags)), tags, &map, &error)) {
            std::fprintf(stderr, "map: %s\n", qPrintable(error));
            return 1;
        }
        Bench::SimulatorThread server;
        const quint16 port = server.start(map.fileName, &error);
        if (!port) {
            std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
            return 1;
        }

        Pointbook::TagBaseLoader loader(map.fileName, map.version);
        if (!loader.readBase()) {
            std::fprintf(stderr, "loader: %s\n", qPrintable(loader.errorString()));
            return 1;
        }
        EngineLoop engine(loader.base());
        QtLoop qt;
        LibmodbusLoop lm;
        if (!engine.connect(port) || !qt.connect(port) || !lm.connect(port)) {
            std::fprintf(stderr, "cannot connect to the simulator on port %u\n", port);
            return 1;
        }
        const QVector<Request> requests = requestsOf(engine.engine());
        const int registers = registersOf(requests);
        if (qtOnly) {
            const double s = qt.run(requests, 6);
            std::printf("bare Qt loop: 6 passes of %d requests in %.1f ms\n", requests.size(), s * 1e3);
            return 0;
        }
        if (engineOnly) {
            const double s = engine.run(5, nullptr);
            std::printf("engine: 5 passes of %d requests in %.1f ms\n", requests.size(), s * 1e3);
            return 0;
        }

        // Passes per run so that each run lasts about secondsPerRun.
        const double onePass = qt.run(requests, 1);
        if (onePass <= 0) {
            std::fprintf(stderr, "the simulator does not answer every request\n");
            return 1;
        }
        const int passes = qMax(1, int(secondsPerRun / onePass));
        std::printf("%d tags: %d requests, %d registers a pass, %d passes a run, median of %d rounds\n",
                    tags, requests.size(), registers, passes, rounds);

        QVector<double> e, q, l, passTimes, qtPass, recorded;
        bool failed = false;
        for (int r = 0; r < rounds; ++r) {
            // Rotate who goes first.
            for (int k = 0; k < 4; ++k) {
                switch ((r + k) % 4) {
                case 0: {
                    const double s = engine.run(passes, &passTimes);
                    failed = failed || s <= 0;
                    e.append(s > 0 ? registers * passes / s : 0);
                    break;
                }
                case 1: {
                    const double s = qt.run(requests, passes);
                    failed = failed || s <= 0;
                    q.append(s > 0 ? registers * passes / s : 0);
                    qtPass.append(s > 0 ? s * 1e3 / passes : 0);
                    break;
                }
                case 2: {
                    const double s = lm.run(requests, passes);
                    failed = failed || s <= 0;
                    l.append(s > 0 ? registers * passes / s : 0);
                    break;
                }
                case 3: {
                    engine.setRecording(true);
                    const double s = engine.run(passes, nullptr);
                    engine.setRecording(false);
                    failed = failed || s <= 0;
                    recorded.append(s > 0 ? registers * passes / s : 0);
                    break;
                }
                }
            }
        }
        QStringList notes;
        if (failed)
            notes << QStringLiteral("a run failed");
        // Engine runs with and without recording.
        const quint64 expected = quint64(requests.size()) * passes * rounds * 2;
        if (engine.sent() != expected || engine.failed() != 0)
            notes << QStringLiteral("engine sent %1 of %2 requests, %3 failed").arg(engine.sent()).arg(expected).arg(engine.failed());
        const QString note = notes.join(QStringLiteral("; "));
        Bench::Figure a;
        a.name = QStringLiteral("polling %1 tags vs QModbusTcpClient").arg(tags);
        a.value = Bench::median(e);
        a.unit = QStringLiteral("registers/s");
        a.baseline = Bench::median(q);
        a.baselineName = QStringLiteral("bare QModbusTcpClient");
        a.targetKind = Bench::Figure::RatioAtLeast;
        a.target = 0.9;
        a.note = note;
        report.add(a);
        Bench::Figure b = a;
        b.name = QStringLiteral("polling %1 tags vs libmodbus").arg(tags);
        b.baseline = Bench::median(l);
        b.baselineName = QStringLiteral("bare libmodbus");
        b.target = 0.75;
        report.add(b);
        Bench::Figure d;
        d.name = QStringLiteral("polling %1 tags, diagnostics recording on vs off").arg(tags);
        d.value = Bench::median(recorded);
        d.unit = QStringLiteral("registers/s");
        d.baseline = Bench::median(e);
        d.baselineName = QStringLiteral("recording off");
        d.targetKind = Bench::Figure::RatioAtLeast;
        d.target = 0.95;
        d.note = note;
        report.add(d);
        if (tags == 10000) {
            Bench::Figure c;
            c.name = QStringLiteral("pass time %1 tags, first request to updateAllBase").arg(tags);
            c.value = Bench::median(passTimes);
            c.unit = QStringLiteral("ms");
            c.baseline = Bench::median(qtPass);
            c.baselineName = QStringLiteral("bare QModbusTcpClient pass");
            c.note = QStringLiteral("%1 requests a pass").arg(requests.size());
            report.add(c);
        }
    }
    return report.write() ? 0 : 1;
}
