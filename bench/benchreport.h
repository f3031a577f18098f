#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

namespace Bench {

// Command line shared by every benchmark: --csv-dir DIR (default: the
// current folder) and --quick (fewer rounds, for a smoke run).
struct Options
{
    QString csvDir = QStringLiteral(".");
    bool quick = false;
    QStringList rest;
};
Options parseOptions(const QStringList &arguments);

double median(QVector<double> values);

// Nanoseconds since an arbitrary start, monotonic.
inline qint64 nowNs()
{
    static QElapsedTimer clock = [] { QElapsedTimer t; t.start(); return t; }();
    return clock.nsecsElapsed();
}

// CPU time of the calling thread in nanoseconds. The machine is shared,
// so CPU-bound figures use it: it leaves out the time other processes run.
qint64 threadCpuNs();

// Peak resident set of this process in KiB (VmHWM), 0 when unknown.
qint64 peakRssKiB();
// Resident set now, in KiB (VmRSS), 0 when unknown.
qint64 currentRssKiB();

// One figure against its baseline of the same run. The ratio is
// value / baseline; `higherIsBetter` tells which way the target points.
struct Figure
{
    QString name;
    double value = 0;
    QString unit;
    double baseline = 0;          // 0: no baseline for this figure
    QString baselineName;
    double target = 0;            // 0: no target
    enum TargetKind { NoTarget, RatioAtLeast, RatioAtMost, ValueAtMost } targetKind = NoTarget;
    QString note;
};

// Collects figures, prints one line per figure and writes <name>.csv.
class Report
{
public:
    Report(const QString &benchmark, const Options &options);
    void add(const Figure &figure);
    // Writes the CSV; returns false when it cannot be written.
    bool write() const;

private:
    QString m_benchmark;
    Options m_options;
    QVector<Figure> m_figures;
};

// Runs the measured function and the baseline alternately, `rounds`
// times each, and returns the medians of what they report.
struct Pair
{
    double value;
    double baseline;
};
Pair alternate(int rounds, const std::function<double()> &measured,
               const std::function<double()> &baseline);

} // namespace Bench
