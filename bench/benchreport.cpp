#include "benchreport.h"

#include <QDir>
#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <ctime>
#include <cstdio>

namespace Bench {

Options parseOptions(const QStringList &arguments)
{
    Options options;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (a == QLatin1String("--csv-dir") && i + 1 < arguments.size())
            options.csvDir = arguments.at(++i);
        else if (a == QLatin1String("--quick"))
            options.quick = true;
        else
            options.rest.append(a);
    }
    return options;
}

double median(QVector<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const int n = values.size();
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
}

qint64 threadCpuNs()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

static qint64 statusField(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return 0;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

qint64 peakRssKiB()
{
    return statusField("VmHWM:");
}

qint64 currentRssKiB()
{
    return statusField("VmRSS:");
}

Report::Report(const QString &benchmark, const Options &options)
    : m_benchmark(benchmark)
    , m_options(options)
{
}

static QString number(double v)
{
    if (v == 0)
        return QStringLiteral("0");
    const double a = v < 0 ? -v : v;
    if (a >= 1000)
        return QString::number(v, 'f', 0);
    if (a >= 10)
        return QString::number(v, 'f', 1);
    if (a >= 0.1)
        return QString::number(v, 'f', 3);
    return QString::number(v, 'g', 3);
}

static QString verdict(const Figure &f, double ratio)
{
    switch (f.targetKind) {
    case Figure::NoTarget:
        return QString();
    case Figure::RatioAtLeast:
        return QStringLiteral("target ratio >= %1: %2").arg(number(f.target),
                                                           ratio >= f.target ? QStringLiteral("met") : QStringLiteral("MISSED"));
    case Figure::RatioAtMost:
        return QStringLiteral("target ratio <= %1: %2").arg(number(f.target),
                                                           ratio <= f.target ? QStringLiteral("met") : QStringLiteral("MISSED"));
    case Figure::ValueAtMost:
        return QStringLiteral("target <= %1 %2: %3").arg(number(f.target), f.unit,
                                                        f.value <= f.target ? QStringLiteral("met") : QStringLiteral("MISSED"));
    }
    return QString();
}

void Report::add(const Figure &f)
{
    m_figures.append(f);
    const double ratio = f.baseline != 0 ? f.value / f.baseline : 0;
    QString line = QStringLiteral("%1: %2 %3").arg(f.name, number(f.value), f.unit);
    if (f.baseline != 0)
        line += QStringLiteral("; %1 %2 %3; ratio %4")
                    .arg(f.baselineName, number(f.baseline), f.unit, QString::number(ratio, 'f', 2));
    const QString v = verdict(f, ratio);
    if (!v.isEmpty())
        line += QStringLiteral(" (") + v + QLatin1Char(')');
    if (!f.note.isEmpty())
        line += QStringLiteral(" [") + f.note + QLatin1Char(']');
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

static QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')))
        return text;
    QString t = text;
    t.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + t + QLatin1Char('"');
}

bool Report::write() const
{
    QDir().mkpath(m_options.csvDir);
    const QString path = QDir(m_options.csvDir).filePath(m_benchmark + QStringLiteral(".csv"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
        return false;
    }
    QTextStream out(&file);
    out << "figure,value,unit,baseline_name,baseline,ratio,target,met,note\n";
    for (const Figure &f : m_figures) {
        const double ratio = f.baseline != 0 ? f.value / f.baseline : 0;
        QString met;
        switch (f.targetKind) {
        case Figure::NoTarget: break;
        case Figure::RatioAtLeast: met = ratio >= f.target ? "yes" : "no"; break;
        case Figure::RatioAtMost: met = ratio <= f.target ? "yes" : "no"; break;
        case Figure::ValueAtMost: met = f.value <= f.target ? "yes" : "no"; break;
        }
        out << csvField(f.name) << ',' << QString::number(f.value, 'g', 8) << ',' << csvField(f.unit) << ','
            << csvField(f.baselineName) << ',' << QString::number(f.baseline, 'g', 8) << ','
            << (f.baseline != 0 ? QString::number(ratio, 'f', 4) : QString()) << ','
            << (f.targetKind != Figure::NoTarget ? QString::number(f.target, 'g', 6) : QString()) << ','
            << met << ',' << csvField(f.note) << '\n';
    }
    return true;
}

Pair alternate(int rounds, const std::function<double()> &measured,
               const std::function<double()> &baseline)
{
    QVector<double> a;
    QVector<double> b;
    for (int i = 0; i < rounds; ++i) {
        // Swap who goes first every round so that warm-up and drift hit both.
        if (i % 2 == 0) {
            a.append(measured());
            b.append(baseline());
        } else {
            b.append(baseline());
            a.append(measured());
        }
    }
    return {median(a), median(b)};
}

} // namespace Bench
