// Time from process start to the first live value of the demo device
// painted in the tag table (offscreen, started with -demo), and to the main
// window shown with all plug-ins loaded, against a bare Qt program that
// shows an empty QMainWindow; also the main thread's CPU time up to the
// first value against the baseline's, and the machine's load. Each reports the moment on stderr: the program
// through the lines the workspace logs once the table has painted the first
// value and Core logs once the window is shown; the baseline by a line of
// its own.
// The program is then ended by SIGTERM: its -test-quit-after 0 timer can
// fire before the event loop runs (the splash screen processes events) and
// is then lost.

#include "benchreport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTime>

#include <cstdio>

namespace {

struct Run
{
    double ms = -1;
    double mainCpuMs = -1; // CPU time of the program's main thread up to the marker
    QString line;
    QByteArray log; // stderr up to the marker
};

// CPU time a thread of a process has run, in ms (the scheduler's own
// nanosecond count); -1 when unknown. Unlike wall-clock time it leaves out
// the time other processes of a loaded machine run.
double threadCpuMs(qint64 pid, qint64 tid)
{
    QFile file(QStringLiteral("/proc/%1/task/%2/schedstat").arg(pid).arg(tid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    bool ok = false;
    const qint64 ns = file.readLine().split(' ').value(0).toLongLong(&ok);
    return ok ? double(ns) / 1e6 : -1;
}

// The load averages of the last 1, 5 and 15 minutes.
QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(file.readLine()).section(QLatin1Char(' '), 0, 2);
}

// The log's own time stamp of the first line that holds `text`, in ms of
// the day; -1 when there is none.
double loggedAt(const QByteArray &log, const QByteArray &text)
{
    const int at = log.indexOf(text);
    if (at < 0)
        return -1;
    const int begin = log.lastIndexOf('\n', at) + 1;
    // "yyyy-MM-dd HH:mm:ss.zzz" opens every line.
    const QTime time = QTime::fromString(QString::fromLatin1(log.mid(begin + 11, 12)),
                                         QStringLiteral("HH:mm:ss.zzz"));
    return time.isValid() ? double(time.msecsSinceStartOfDay()) : -1;
}

// Starts the program and returns the time until `marker` appears on its
// stderr; the program then quits by itself.
Run timeToMarker(const QString &program, const QStringList &arguments, const QProcessEnvironment &env,
                 const QByteArray &marker)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.setReadChannel(QProcess::StandardError);
    QByteArray seen;
    Run run;
    const qint64 t0 = Bench::nowNs();
    p.start(program, arguments);
    if (!p.waitForStarted(10000))
        return run;
    while (run.ms < 0) {
        if (!p.waitForReadyRead(30000))
            break;
        seen += p.readAllStandardError();
        p.readAllStandardOutput();
        const int at = seen.indexOf(marker);
        if (at >= 0) {
            run.ms = double(Bench::nowNs() - t0) / 1e6;
            run.mainCpuMs = threadCpuMs(p.processId(), p.processId());
            const int end = seen.indexOf('\n', at);
            run.line = QString::fromLocal8Bit(seen.mid(at, end < 0 ? -1 : end - at));
            run.log = seen;
        }
    }
    // The window is up: end the program the way a user's session would
    // (SIGTERM), rather than wait for its own quit timer.
    // A request that arrives before the event loop runs is lost, so it is
    // repeated once before the process is killed.
    for (int attempt = 0; attempt < 2 && p.state() != QProcess::NotRunning; ++attempt) {
        p.terminate();
        p.waitForFinished(attempt == 0 ? 3000 : 10000);
    }
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(5000);
    }
    return run;
}

// A median time against the bare window's, in milliseconds.
Bench::Figure againstBareWindow(const QString &name, const QVector<double> &ours, const QVector<double> &bare,
                                const QString &note)
{
    Bench::Figure f;
    f.name = name;
    f.value = Bench::median(ours);
    f.unit = QStringLiteral("ms");
    f.baseline = Bench::median(bare);
    f.baselineName = QStringLiteral("bare QMainWindow");
    f.note = note;
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const Bench::Options options = Bench::parseOptions(app.arguments());
    Bench::Report report(QStringLiteral("startup"), options);
    // A start takes a tenth of a second, and medians of seven moved by a
    // tenth between complete runs on an idle machine: fifteen rounds.
    const int rounds = options.quick ? 3 : 15;

    const QString program = QStringLiteral(KORVANE_BUILD_DIR "/bin/Korvane_Config");
    const QString baseline = QStringLiteral(KORVANE_BENCH_LIBEXEC "/korvane_bench_emptywindow");
    if (!QFile::exists(program) || !QFile::exists(baseline)) {
        std::printf("start-up: skipped, %s or the baseline is not built\n", qPrintable(program));
        return 0;
    }
    const QStringList plugins = QDir(QStringLiteral(KORVANE_BUILD_DIR "/lib/appcore/plugins"))
                                    .entryList({QStringLiteral("lib*.so")}, QDir::Files, QDir::Name);

    // Settings, data, logs and the single-instance socket of a user of its
    // own, so that a program already running elsewhere is not asked instead.
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    QDir(home.path()).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("ProgramData"), home.filePath(QStringLiteral("ProgramData")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));

    const QStringList programArgs = {QStringLiteral("-test-quit-after"), QStringLiteral("0")};
    const QByteArray programMarker = "Main window shown; plug-ins loaded:";
    const QByteArray baselineMarker = "Main window shown";

    // The first start writes settings and demo files; it is reported apart.
    const Run first = timeToMarker(program, programArgs, env, programMarker);
    timeToMarker(baseline, {}, env, baselineMarker);
    if (first.ms < 0) {
        std::printf("start-up: the program did not report its main window\n");
        Bench::Figure f;
        f.name = QStringLiteral("start-up to main window");
        f.note = QStringLiteral("no report from the program");
        report.add(f);
        report.write();
        return 1;
    }

    // The demo device is polled once a second; the first pass starts as soon
    // as its map is loaded. The quit timer only bounds a run that goes wrong.
    const QStringList demoArgs = {QStringLiteral("-demo"), QStringLiteral("-test-quit-after"),
                                  QStringLiteral("60000")};
    const QByteArray valueMarker = "First live value shown";
    // The first demo run puts the demo's register map into the user's folder.
    timeToMarker(program, demoArgs, env, valueMarker);

    QString loadedLine;
    QString valueLine;
    bool failed = false;
    QVector<double> window, value, bare, windowToValue, valueCpu, bareCpu;
    const QString loadBefore = loadAverage();
    for (int round = 0; round < rounds; ++round) {
        // Who goes first rotates, so that warm-up and drift hit all three.
        for (int k = 0; k < 3; ++k) {
            switch ((round + k) % 3) {
            case 0: {
                const Run r = timeToMarker(program, programArgs, env, programMarker);
                failed = failed || r.ms < 0;
                loadedLine = r.line;
                window.append(r.ms);
                break;
            }
            case 1: {
                const Run r = timeToMarker(program, demoArgs, env, valueMarker);
                failed = failed || r.ms < 0;
                valueLine = r.line;
                value.append(r.ms);
                if (r.mainCpuMs >= 0)
                    valueCpu.append(r.mainCpuMs);
                const double shown = loggedAt(r.log, programMarker);
                const double painted = loggedAt(r.log, valueMarker);
                if (shown >= 0 && painted >= shown)
                    windowToValue.append(painted - shown);
                break;
            }
            case 2: {
                const Run r = timeToMarker(baseline, {}, env, baselineMarker);
                failed = failed || r.ms < 0;
                bare.append(r.ms);
                if (r.mainCpuMs >= 0)
                    bareCpu.append(r.mainCpuMs);
                break;
            }
            }
        }
    }
    const QString failure = failed ? QStringLiteral("a run failed; ") : QString();
    const QString load = QStringLiteral("load average %1 before, %2 after").arg(loadBefore, loadAverage());

    // No target: the ratio moves with the machine's load by more than any
    // change to start-up does (bench/README.md).
    report.add(againstBareWindow(QStringLiteral("start-up to the first live value of the demo device painted"),
                                 value, bare, failure + valueLine.trimmed() + QStringLiteral("; ") + load));

    // The same start in CPU time of the main thread, which a loaded machine
    // moves much less; the baseline's up to its window shown.
    if (!valueCpu.isEmpty() && !bareCpu.isEmpty())
        report.add(againstBareWindow(QStringLiteral("main-thread CPU time to the first live value"), valueCpu,
                                     bareCpu, load));

    Bench::Figure w;
    w.name = QStringLiteral("main window shown to first value painted, by the log's time stamps");
    w.value = Bench::median(windowToValue);
    w.unit = QStringLiteral("ms");
    report.add(w);

    // The figure of the first round, kept for comparison.
    report.add(againstBareWindow(QStringLiteral("start-up to main window, %1 plug-ins").arg(plugins.size()), window,
                                 bare, failure + loadedLine.trimmed()));

    Bench::Figure g;
    g.name = QStringLiteral("first start (settings and demo files written)");
    g.value = first.ms;
    g.unit = QStringLiteral("ms");
    report.add(g);
    return report.write() ? 0 : 1;
}
