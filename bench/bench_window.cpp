// The window while it polls: the program's workspace (the Core, Popnote,
// Fieldlink, Pointbook, Clearance and Workspace plug-ins, main window shown
// offscreen with the tag table) polling a generated map back to back,
// against the polling engine alone (TagBase over a ModbusConnection, no
// window) doing the same passes. Figures: CPU time of the main thread per
// pass, wall time per pass and peak resident memory (VmHWM), at 1,000,
// 10,000 and 50,000 tags, with the growth per tag.
//
// Each run is a process of its own (this program started again with
// --child), so that peaks of memory are the run's own; the device simulator
// runs in a thread of this parent process, where it costs neither child
// anything. Every measured value moves on once a pass, so every pass brings
// the table new values to show: the heaviest case for the window.

#include "benchreport.h"
#include "mapgenerator.h"
#include "simulatorthread.h"

#include <clearance/clearanceplugin.h>
#include <core/coreplugin.h>
#include <core/icore.h>
#include <fieldlink/fieldlinkplugin.h>
#include <fieldlink/modbusconnection.h>
#include <fieldlink/qmodbussettings.h>
#include <pointbook/pointbookplugin.h>
#include <pointbook/statusupdatebase.h>
#include <pointbook/tagbase.h>
#include <pointbook/tagbaseloader.h>
#include <popnote/popnoteplugin.h>
#include <workspace/connectionprofile.h>
#include <workspace/connectionstatuswidget.h>
#include <workspace/tagtablemodel.h>
#include <workspace/workspacecontroller.h>
#include <workspace/workspacepage.h>
#include <workspace/workspaceplugin.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <memory>

using Fieldlink::FieldlinkCore::ModbusConnection;
using Pointbook::TagBase;

namespace {

const char ResultTag[] = "RESULT";

struct ChildOptions
{
    QString mode; // "window" or "engine"
    QString map;
    QString version;
    quint16 port = 0;
    double seconds = 3;
    int minPasses = 5;
};

struct Result
{
    double cpuMs = -1;    // main thread CPU per pass
    double wallMs = -1;   // wall time per pass
    double peakKiB = 0;   // VmHWM at the end of the run
    double rssKiB = 0;    // VmRSS at the end of the run
    double requests = 0;  // requests per pass
    bool ok() const { return cpuMs > 0 && wallMs > 0; }
};

// Times whole passes: from the end of a warm-up pass to the end of the pass
// that ends after both `seconds` and `minPasses` have gone by.
class PassTimer : public QObject
{
public:
    PassTimer(TagBase *engine, ModbusConnection *link, const ChildOptions &options)
        : m_link(link)
        , m_options(options)
    {
        connect(engine, &TagBase::updateAllBase, this, &PassTimer::onPass);
    }

    // Runs the event loop until done; false on timeout.
    bool run(int timeoutMs)
    {
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, &m_loop, &QEventLoop::quit);
        guard.start(timeoutMs);
        m_loop.exec();
        return m_result.ok();
    }

    Result result() const { return m_result; }

private:
    // The first passes fill the table and size its columns; they are not
    // what polling costs from then on.
    enum { WarmUpPasses = 3 };

    void onPass()
    {
        ++m_passes;
        if (m_passes == WarmUpPasses) {
            m_cpu0 = Bench::threadCpuNs();
            m_wall0 = Bench::nowNs();
            m_requests0 = m_link->statistics().requests();
            return;
        }
        const int measured = m_passes - WarmUpPasses;
        if (measured <= 0 || m_result.ok())
            return;
        const double wall = double(Bench::nowNs() - m_wall0);
        if (measured < m_options.minPasses || wall < m_options.seconds * 1e9)
            return;
        m_result.cpuMs = double(Bench::threadCpuNs() - m_cpu0) / 1e6 / measured;
        m_result.wallMs = wall / 1e6 / measured;
        m_result.requests = double(m_link->statistics().requests() - m_requests0) / measured;
        m_loop.quit();
    }

    ModbusConnection *m_link;
    ChildOptions m_options;
    QEventLoop m_loop;
    int m_passes = 0;
    qint64 m_cpu0 = 0;
    qint64 m_wall0 = 0;
    quint64 m_requests0 = 0;
    Result m_result;
};

void finish(Result r)
{
    r.peakKiB = double(Bench::peakRssKiB());
    r.rssKiB = double(Bench::currentRssKiB());
    std::printf("%s %.6f %.6f %.0f %.0f %.3f\n", ResultTag, r.cpuMs, r.wallMs, r.peakKiB, r.rssKiB, r.requests);
    std::fflush(stdout);
}

int timeoutFor(const ChildOptions &o)
{
    return int(o.seconds * 1000) + 240000;
}

// The polling engine on its own connection, as the plug-ins wire it.
int runEngine(const ChildOptions &o)
{
    Pointbook::TagBaseLoader loader(o.map, o.version);
    if (!loader.readBase()) {
        std::fprintf(stderr, "engine: %s\n", qPrintable(loader.errorString()));
        return 1;
    }
    Fieldlink::FieldlinkCore::QModbusSettings settings(1, 1000, 0);
    ModbusConnection link;
    TagBase engine;
    engine.setModbusSettings(&settings);
    engine.setTagBase(loader.base());
    link.setHost(QStringLiteral("127.0.0.1"));
    link.setPort(o.port);
    link.setAutoReconnect(false);
    QEventLoop wait;
    QObject::connect(&link, &ModbusConnection::connected, &wait, &QEventLoop::quit);
    QTimer::singleShot(10000, &wait, &QEventLoop::quit);
    if (!link.connectDevice())
        return 1;
    if (!link.isConnected())
        wait.exec();
    if (!link.isConnected()) {
        std::fprintf(stderr, "engine: no link to port %u\n", o.port);
        return 1;
    }
    engine.setModbusConnection(&link);
    engine.updateTagInterval();
    PassTimer timer(&engine, &link, o);
    engine.setUpdateBase(TagBase::CyclicUpdate, false);
    if (!timer.run(timeoutFor(o))) {
        std::fprintf(stderr, "engine: the passes did not end in time\n");
        return 1;
    }
    engine.setUpdateBase(TagBase::NoUpdate, false);
    finish(timer.result());
    return 0;
}

// The workspace as the program starts it, main window shown, polling
// back to back.
int runWindow(const ChildOptions &o)
{
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home.filePath(QStringLiteral("user")));
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, home.filePath(QStringLiteral("system")));

    QString error;
    std::vector<std::unique_ptr<ExtensionSystem::IPlugin>> plugins;
    plugins.emplace_back(new Core::CorePlugin);
    plugins.emplace_back(new Popnote::PopnotePlugin);
    plugins.emplace_back(new Fieldlink::FieldlinkCore::FieldlinkPlugin);
    plugins.emplace_back(new Pointbook::PointbookPlugin);
    plugins.emplace_back(new Clearance::ClearancePlugin);
    auto *workspace = new Workspace::WorkspacePlugin;
    plugins.emplace_back(workspace);
    for (auto &p : plugins) {
        if (!p->initialize({}, &error)) {
            std::fprintf(stderr, "window: %s\n", qPrintable(error));
            return 1;
        }
    }
    for (auto &p : plugins)
        p->extensionsInitialized();

    // The device's version names the map the workspace loads.
    const QString folder = Pointbook::PointbookPlugin::registerMapFolder();
    if (!QDir().mkpath(folder)
        || !QFile::copy(o.map, folder + QStringLiteral("base_v") + o.version + QStringLiteral(".xml"))) {
        std::fprintf(stderr, "window: cannot put the map into %s\n", qPrintable(folder));
        return 1;
    }
    if (QWidget *window = Core::ICore::mainWindow()) {
        window->resize(1280, 900);
        window->show();
    }
    Workspace::WorkspaceController *controller = workspace->controller();
    workspace->page()->setPromptsEnabled(false);
    controller->setPollingPeriod(0);
    TagBase *engine = Pointbook::PointbookPlugin::instance()->tagBase();
    PassTimer timer(engine, controller->connection(), o);
    controller->connectTo(Workspace::ConnectionProfile::tcp(QStringLiteral("127.0.0.1"), o.port));
    const bool done = timer.run(timeoutFor(o));
    int code = 0;
    if (!done) {
        std::fprintf(stderr, "window: the passes did not end in time (phase %d, %llu passes)\n",
                     int(controller->phase()), static_cast<unsigned long long>(controller->passCount()));
        code = 1;
    } else {
        finish(timer.result());
    }
    for (auto it = plugins.rbegin(); it != plugins.rend(); ++it)
        (*it)->aboutToShutdown();
    while (!plugins.empty())
        plugins.pop_back();
    return code;
}

// Starts this program again in `mode` and reads its result.
Result runChild(const QString &mode, const Bench::GeneratedMap &map, const QString &version, quint16 port,
                const ChildOptions &o)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // The child's log is shown only when it fails.
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.info=false"));
    p.setProcessEnvironment(env);
    p.start(QCoreApplication::applicationFilePath(),
            {QStringLiteral("--child"), mode, QStringLiteral("--map"), map.fileName, QStringLiteral("--version"),
             version, QStringLiteral("--port"), QString::number(port), QStringLiteral("--seconds"),
             QString::number(o.seconds), QStringLiteral("--min-passes"), QString::number(o.minPasses)});
    Result r;
    if (!p.waitForFinished(timeoutFor(o) + 60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        p.kill();
        p.waitForFinished(5000);
        std::fprintf(stderr, "%s", p.readAllStandardError().constData());
        return r;
    }
    const QList<QByteArray> lines = p.readAllStandardOutput().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() == 6 && f.at(0) == ResultTag) {
            r.cpuMs = f.at(1).toDouble();
            r.wallMs = f.at(2).toDouble();
            r.peakKiB = f.at(3).toDouble();
            r.rssKiB = f.at(4).toDouble();
            r.requests = f.at(5).toDouble();
        }
    }
    return r;
}

// Requests of one pass over the map, as the engine splits it.
int requestsOfPass(const QString &map, const QString &version)
{
    Pointbook::TagBaseLoader loader(map, version);
    if (!loader.readBase())
        return 0;
    TagBase engine;
    engine.setTagBase(loader.base());
    engine.updateTagInterval();
    int requests = 0;
    for (const QVector<QPoint> &table : {engine.irInterval(), engine.hrInterval()}) {
        for (const QPoint &interval : table)
            requests += (interval.y() + TagBase::MaxRequestLength - 1) / TagBase::MaxRequestLength;
    }
    return requests;
}

struct Size
{
    int tags = 0;
    Result window;
    Result engine;
};

double mib(double kib)
{
    return kib / 1024;
}

// For profiling a child by hand: serves a generated map of `tags` tags
// until ended, and prints the child's command line.
int serve(int tags)
{
    QTemporaryDir dir;
    Bench::GeneratedMap map;
    QString error;
    Bench::SimulatorThread device;
    if (!dir.isValid() || !Bench::generateMap(dir.filePath(QStringLiteral("base.xml")), tags, &map, &error))
        return 1;
    const quint16 port = device.start(map.fileName, &error);
    if (!port)
        return 1;
    device.setAdvanceEvery(quint64(qMax(1, requestsOfPass(map.fileName, device.version()))));
    std::printf("%s --child window --map %s --version %s --port %u --seconds 10\n",
                qPrintable(QCoreApplication::applicationFilePath()), qPrintable(map.fileName),
                qPrintable(device.version()), port);
    std::fflush(stdout);
    return QCoreApplication::exec();
}

int parent(const Bench::Options &options)
{
    const int served = options.rest.indexOf(QStringLiteral("--serve"));
    if (served >= 0)
        return serve(options.rest.value(served + 1).toInt());

    Bench::Report report(QStringLiteral("window"), options);
    ChildOptions o;
    o.seconds = options.quick ? 0.5 : 3;
    o.minPasses = options.quick ? 3 : 5;
    const int rounds = options.quick ? 1 : 3;
    const QVector<int> sizes = options.quick ? QVector<int>{1000, 10000} : QVector<int>{1000, 10000, 50000};

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    QVector<Size> measured;
    bool failed = false;
    for (const int tags : sizes) {
        Bench::GeneratedMap map;
        QString error;
        if (!Bench::generateMap(dir.filePath(QStringLiteral("base_%1.xml").arg(tags)), tags, &map, &error)) {
            std::fprintf(stderr, "map: %s\n", qPrintable(error));
            return 1;
        }
        Bench::SimulatorThread device;
        const quint16 port = device.start(map.fileName, &error);
        if (!port) {
            std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
            return 1;
        }
        const int requests = requestsOfPass(map.fileName, device.version());
        device.setAdvanceEvery(quint64(qMax(1, requests)));

        QVector<double> wCpu, eCpu, wWall, eWall, wPeak, ePeak, wRss, eRss;
        Size s;
        s.tags = tags;
        for (int round = 0; round < rounds; ++round) {
            for (int k = 0; k < 2; ++k) {
                // Who goes first alternates, so that drift hits both.
                const bool window = (round + k) % 2 == 0;
                const Result r = runChild(window ? QStringLiteral("window") : QStringLiteral("engine"), map,
                                          device.version(), port, o);
                if (!r.ok()) {
                    failed = true;
                    std::fprintf(stderr, "%d tags: the %s run failed\n", tags, window ? "window" : "engine");
                    continue;
                }
                (window ? wCpu : eCpu).append(r.cpuMs);
                (window ? wWall : eWall).append(r.wallMs);
                (window ? wPeak : ePeak).append(r.peakKiB);
                (window ? wRss : eRss).append(r.rssKiB);
                (window ? s.window : s.engine).requests = r.requests;
            }
        }
        s.window.cpuMs = Bench::median(wCpu);
        s.window.wallMs = Bench::median(wWall);
        s.window.peakKiB = Bench::median(wPeak);
        s.window.rssKiB = Bench::median(wRss);
        s.engine.cpuMs = Bench::median(eCpu);
        s.engine.wallMs = Bench::median(eWall);
        s.engine.peakKiB = Bench::median(ePeak);
        s.engine.rssKiB = Bench::median(eRss);
        measured.append(s);

        QString note = QStringLiteral("%1 requests a pass").arg(requests);
        if (qAbs(s.window.requests - requests) > 0.5 || qAbs(s.engine.requests - requests) > 0.5)
            note += QStringLiteral("; window sent %1, engine %2 a pass").arg(s.window.requests).arg(s.engine.requests);
        const QString label = QLocale(QLocale::English).toString(tags);

        Bench::Figure cpu;
        cpu.name = QStringLiteral("window polling %1 tags: main thread CPU per pass").arg(label);
        cpu.value = s.window.cpuMs;
        cpu.unit = QStringLiteral("ms");
        cpu.baseline = s.engine.cpuMs;
        cpu.baselineName = QStringLiteral("engine alone");
        if (tags == 10000) {
            cpu.targetKind = Bench::Figure::RatioAtMost;
            cpu.target = 1.5;
        }
        cpu.note = note;
        report.add(cpu);

        Bench::Figure wall;
        wall.name = QStringLiteral("window polling %1 tags: wall time per pass").arg(label);
        wall.value = s.window.wallMs;
        wall.unit = QStringLiteral("ms");
        wall.baseline = s.engine.wallMs;
        wall.baselineName = QStringLiteral("engine alone");
        report.add(wall);

        Bench::Figure peak;
        peak.name = QStringLiteral("window polling %1 tags: peak resident memory").arg(label);
        peak.value = mib(s.window.peakKiB);
        peak.unit = QStringLiteral("MiB");
        peak.baseline = mib(s.engine.peakKiB);
        peak.baselineName = QStringLiteral("engine alone");
        peak.note = QStringLiteral("resident while polling: %1 MiB; engine alone %2 MiB")
                        .arg(mib(s.window.rssKiB), 0, 'f', 1)
                        .arg(mib(s.engine.rssKiB), 0, 'f', 1);
        report.add(peak);
    }

    // Growth per tag, from each size to the next: CPU per pass and peak
    // memory. Linear growth keeps the cost per added tag the same.
    for (int i = 1; i < measured.size(); ++i) {
        const Size &a = measured.at(i - 1);
        const Size &b = measured.at(i);
        const double added = b.tags - a.tags;
        const QString span = QStringLiteral("%1 to %2 tags")
                                 .arg(QLocale(QLocale::English).toString(a.tags),
                                      QLocale(QLocale::English).toString(b.tags));
        const struct
        {
            const char *what;
            double from, to, scale;
            const char *unit;
        } rows[] = {
            {"engine CPU per pass, per added tag", a.engine.cpuMs, b.engine.cpuMs, 1e6, "ns"},
            {"window CPU per pass, per added tag", a.window.cpuMs, b.window.cpuMs, 1e6, "ns"},
            {"engine peak memory, per added tag", a.engine.peakKiB, b.engine.peakKiB, 1, "KiB"},
            {"window peak memory, per added tag", a.window.peakKiB, b.window.peakKiB, 1, "KiB"},
        };
        for (const auto &row : rows) {
            Bench::Figure f;
            f.name = QStringLiteral("%1, %2").arg(QLatin1String(row.what), span);
            f.value = (row.to - row.from) * row.scale / added;
            f.unit = QLatin1String(row.unit);
            report.add(f);
        }
    }
    return report.write() && !failed ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    // A child runs one side of the comparison; the parent asks for each.
    const QStringList args = [&] {
        QStringList l;
        for (int i = 0; i < argc; ++i)
            l.append(QString::fromLocal8Bit(argv[i]));
        return l;
    }();
    const int child = args.indexOf(QStringLiteral("--child"));
    if (child < 0) {
        QCoreApplication app(argc, argv);
        return parent(Bench::parseOptions(app.arguments()));
    }
    ChildOptions o;
    o.mode = args.value(child + 1);
    for (int i = 1; i + 1 < args.size(); ++i) {
        const QString &a = args.at(i);
        if (a == QLatin1String("--map"))
            o.map = args.at(i + 1);
        else if (a == QLatin1String("--version"))
            o.version = args.at(i + 1);
        else if (a == QLatin1String("--port"))
            o.port = quint16(args.at(i + 1).toUInt());
        else if (a == QLatin1String("--seconds"))
            o.seconds = args.at(i + 1).toDouble();
        else if (a == QLatin1String("--min-passes"))
            o.minPasses = qMax(1, args.at(i + 1).toInt());
    }
    if (o.mode == QLatin1String("window")) {
        QApplication app(argc, argv);
        return runWindow(o);
    }
    if (o.mode == QLatin1String("engine")) {
        QCoreApplication app(argc, argv);
        return runEngine(o);
    }
    std::fprintf(stderr, "unknown mode %s\n", qPrintable(o.mode));
    return 2;
}
