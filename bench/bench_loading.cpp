// readBase() of generated register maps against QDomDocument::setContent
// alone on the same text; time in a warm process and in a fresh one, and
// peak memory for several map sizes.

#include "benchreport.h"
#include "mapgenerator.h"

#include <pointbook/basetag.h>
#include <pointbook/tagbaseloader.h>

#include <QCoreApplication>
#include <QDomDocument>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

using Pointbook::TagBaseLoader;

namespace {

int tagCount(const Pointbook::BaseTag *base)
{
    int n = 0;
    for (const auto type : {Pointbook::Tag::IR, Pointbook::Tag::HR, Pointbook::Tag::DI, Pointbook::Tag::CO})
        n += base->sizeTagHash(type);
    return n;
}

QString readText(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

// Child mode: one operation in a fresh process; prints "ns peak-kib
// tags resident-kib", the resident set taken while the result is still held.
int runChild(const QString &what, const QString &fileName, const QString &version)
{
    if (what == QLatin1String("readBase") || what == QLatin1String("reload")) {
        TagBaseLoader loader(fileName, version);
        // A reload frees the tags and the document of the load before.
        if (what == QLatin1String("reload") && !loader.readBase())
            return 1;
        const qint64 t0 = Bench::threadCpuNs();
        const bool ok = loader.readBase();
        const qint64 t1 = Bench::threadCpuNs();
        std::printf("%lld %lld %d %lld\n", t1 - t0, Bench::peakRssKiB(), ok ? tagCount(loader.base()) : -1,
                    Bench::currentRssKiB());
        return ok ? 0 : 1;
    }
    const QString text = readText(fileName);
    QDomDocument document;
    // The baseline of a reload: a document that replaces an earlier one.
    if (what == QLatin1String("setContentAgain") && !document.setContent(text))
        return 1;
    const qint64 t0 = Bench::threadCpuNs();
    const bool ok = document.setContent(text);
    const qint64 t1 = Bench::threadCpuNs();
    std::printf("%lld %lld %d %lld\n", t1 - t0, Bench::peakRssKiB(), ok ? 1 : -1, Bench::currentRssKiB());
    return ok ? 0 : 1;
}

struct ChildResult
{
    double seconds = -1;
    double peakMiB = -1;
    double residentMiB = -1;
};

ChildResult child(const QString &what, const Bench::GeneratedMap &map)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QCoreApplication::applicationFilePath(),
            {QStringLiteral("--child"), what, map.fileName, map.version});
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        return {};
    const QList<QByteArray> parts = p.readAllStandardOutput().trimmed().split(' ');
    if (parts.size() < 4)
        return {};
    return {parts.at(0).toDouble() / 1e9, parts.at(1).toDouble() / 1024.0, parts.at(3).toDouble() / 1024.0};
}

// Child runs of `what` and of its baseline, alternating who goes first.
struct ChildPairs
{
    QVector<ChildResult> measured;
    QVector<ChildResult> baseline;
    bool failed = false;
};

ChildPairs childPairs(const QString &what, const QString &baseline, const Bench::GeneratedMap &map, int rounds)
{
    ChildPairs pairs;
    for (int r = 0; r < rounds; ++r) {
        const bool baselineFirst = r % 2;
        const ChildResult first = child(baselineFirst ? baseline : what, map);
        const ChildResult second = child(baselineFirst ? what : baseline, map);
        pairs.measured.append(baselineFirst ? second : first);
        pairs.baseline.append(baselineFirst ? first : second);
        pairs.failed = pairs.failed || first.seconds < 0 || second.seconds < 0;
    }
    return pairs;
}

// Median of one field of the runs, scaled.
double medianOf(const QVector<ChildResult> &runs, double ChildResult::*field, double scale = 1.0)
{
    QVector<double> values;
    for (const ChildResult &run : runs)
        values.append(run.*field * scale);
    return Bench::median(values);
}

// The median times of the runs against their baseline's, with the target
// 1.3 where one is given.
Bench::Figure timeFigure(const QString &name, const ChildPairs &pairs, const QString &baselineName,
                         bool withTarget)
{
    Bench::Figure f;
    f.name = name;
    f.value = medianOf(pairs.measured, &ChildResult::seconds, 1e3);
    f.unit = QStringLiteral("ms");
    f.baseline = medianOf(pairs.baseline, &ChildResult::seconds, 1e3);
    f.baselineName = baselineName;
    if (withTarget) {
        f.targetKind = Bench::Figure::RatioAtMost;
        f.target = 1.3;
    }
    if (pairs.failed)
        f.note = QStringLiteral("a child run failed");
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 5 && args.at(1) == QLatin1String("--child"))
        return runChild(args.at(2), args.at(3), args.at(4));
    // For profiling: bench_loading --generate FILE TAGS [PROPERTIES] writes a
    // map and ends.
    if (args.size() >= 4 && args.at(1) == QLatin1String("--generate")) {
        Bench::GeneratedMap map;
        QString error;
        if (!Bench::generateMap(args.at(2), args.at(3).toInt(), &map, &error,
                                args.size() >= 5 ? args.at(4).toInt() : 0)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        std::printf("%s version %s, %d tags, %lld bytes\n", qPrintable(map.fileName), qPrintable(map.version),
                    map.tags, map.bytes);
        return 0;
    }

    const Bench::Options options = Bench::parseOptions(args);
    Bench::Report report(QStringLiteral("loading"), options);
    // A load takes a few hundred milliseconds and the machine's page faults
    // move it by a third from run to run: medians of nine.
    const int rounds = options.quick ? 3 : 9;

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }

    QVector<QPair<int, Bench::GeneratedMap>> maps;
    for (const int tags : {1000, 5000, 10000}) {
        Bench::GeneratedMap map;
        QString error;
        if (!Bench::generateMap(dir.filePath(QStringLiteral("base_%1.xml").arg(tags)), tags, &map, &error)) {
            std::fprintf(stderr, "cannot write the map: %s\n", qPrintable(error));
            return 1;
        }
        maps.append({tags, map});
    }
    const Bench::GeneratedMap &big = maps.last().second;
    std::printf("map of %d tags: %.2f MB, %d registers; times are thread CPU time\n", big.tags, big.bytes / 1e6, big.registers);

    // Warm process: the plug-in keeps one loader and reloads into it.
    {
        TagBaseLoader loader(big.fileName, big.version);
        const QString text = readText(big.fileName);
        bool allOk = true;
        const auto measured = [&] {
            const qint64 t0 = Bench::threadCpuNs();
            allOk = loader.readBase() && allOk;
            return double(Bench::threadCpuNs() - t0) / 1e6;
        };
        // Each reload frees the document of the load before, so the
        // baseline frees its document too.
        const auto baseline = [&] {
            const qint64 t0 = Bench::threadCpuNs();
            {
                QDomDocument document;
                allOk = document.setContent(text) && allOk;
            }
            return double(Bench::threadCpuNs() - t0) / 1e6;
        };
        const Bench::Pair p = Bench::alternate(rounds, measured, baseline);
        Bench::Figure f;
        f.name = QStringLiteral("readBase %1 tags, repeated").arg(big.tags);
        f.value = p.value;
        f.unit = QStringLiteral("ms");
        f.baseline = p.baseline;
        f.baselineName = QStringLiteral("QDomDocument::setContent and its release");
        // No target, as for the reload in a fresh process below.
        if (!allOk || tagCount(loader.base()) != big.tags)
            f.note = QStringLiteral("load failed or tags lost: %1 of %2").arg(tagCount(loader.base())).arg(big.tags);
        report.add(f);
    }

    // Fresh processes: first-load time and peak memory per map size.
    const int childRounds = options.quick ? 1 : 7;
    QVector<double> peakLoader;
    QVector<double> peakDom;
    for (const auto &entry : maps) {
        const Bench::GeneratedMap &map = entry.second;
        const ChildPairs load = childPairs(QStringLiteral("readBase"), QStringLiteral("setContent"), map, childRounds);
        peakLoader.append(medianOf(load.measured, &ChildResult::peakMiB));
        peakDom.append(medianOf(load.baseline, &ChildResult::peakMiB));
        if (map.tags == big.tags) {
            report.add(timeFigure(QStringLiteral("readBase %1 tags, fresh process").arg(map.tags), load,
                                  QStringLiteral("QDomDocument::setContent"), true));
            // The reload on its own: each process loads once, then times the
            // second load, so that no baseline shares its heap. No target:
            // the gap is the loader's own work, which the baseline does not
            // do (bench/README.md).
            const ChildPairs reload =
                childPairs(QStringLiteral("reload"), QStringLiteral("setContentAgain"), map, childRounds);
            report.add(timeFigure(QStringLiteral("readBase %1 tags, reload in a fresh process").arg(map.tags),
                                  reload, QStringLiteral("QDomDocument::setContent replacing a document"), false));

            // The loader keeps the parsed document after loading.
            Bench::Figure r;
            r.name = QStringLiteral("resident after readBase %1 tags").arg(map.tags);
            r.value = medianOf(load.measured, &ChildResult::residentMiB);
            r.unit = QStringLiteral("MiB");
            r.baseline = medianOf(load.baseline, &ChildResult::residentMiB);
            r.baselineName = QStringLiteral("after setContent, document held");
            report.add(r);
        }
        Bench::Figure m;
        m.name = QStringLiteral("peak memory readBase %1 tags").arg(map.tags);
        m.value = peakLoader.last();
        m.unit = QStringLiteral("MiB");
        m.baseline = peakDom.last();
        m.baselineName = QStringLiteral("setContent");
        report.add(m);
    }

    // Linear in tags: the growth per tag between the small and the big map
    // should hold between the middle and the big one.
    const double perTagLow = (peakLoader.at(1) - peakLoader.at(0)) * 1024.0 * 1024.0 / (maps.at(1).first - maps.at(0).first);
    const double perTagHigh = (peakLoader.at(2) - peakLoader.at(1)) * 1024.0 * 1024.0 / (maps.at(2).first - maps.at(1).first);
    const double domPerTag = (peakDom.at(2) - peakDom.at(0)) * 1024.0 * 1024.0 / (maps.at(2).first - maps.at(0).first);
    Bench::Figure g;
    g.name = QStringLiteral("memory growth readBase 5000->10000 tags");
    g.value = perTagHigh / 1024.0;
    g.unit = QStringLiteral("KiB/tag");
    g.baseline = domPerTag / 1024.0;
    g.baselineName = QStringLiteral("setContent 1000->10000");
    g.note = QStringLiteral("1000->5000: %1 KiB/tag").arg(perTagLow / 1024.0, 0, 'f', 2);
    report.add(g);

    // Dynamic properties at the per-tag limit: each new name is looked for
    // among those before it, so the load must stay linear in the number of
    // tags only because that limit bounds the search.
    {
        QVector<double> times;
        bool allOk = true;
        Bench::GeneratedMap heavy;
        for (const int tags : {500, 1000}) {
            QString error;
            if (!Bench::generateMap(dir.filePath(QStringLiteral("props_%1.xml").arg(tags)), tags, &heavy,
                                    &error, TagBaseLoader::MaxTagProperties)) {
                std::fprintf(stderr, "cannot write the map: %s\n", qPrintable(error));
                return 1;
            }
            TagBaseLoader loader(heavy.fileName, heavy.version);
            const QString text = readText(heavy.fileName);
            const Bench::Pair p = Bench::alternate(
                options.quick ? 1 : 3,
                [&] {
                    const qint64 t0 = Bench::threadCpuNs();
                    allOk = loader.readBase() && allOk;
                    return double(Bench::threadCpuNs() - t0) / 1e6;
                },
                [&] {
                    const qint64 t0 = Bench::threadCpuNs();
                    {
                        QDomDocument document;
                        allOk = document.setContent(text) && allOk;
                    }
                    return double(Bench::threadCpuNs() - t0) / 1e6;
                });
            times.append(p.value);
            if (tags == 1000) {
                Bench::Figure f;
                f.name = QStringLiteral("readBase %1 tags x %2 properties (%3 MB)")
                             .arg(tags)
                             .arg(TagBaseLoader::MaxTagProperties)
                             .arg(heavy.bytes / 1e6, 0, 'f', 1);
                f.value = p.value;
                f.unit = QStringLiteral("ms");
                f.baseline = p.baseline;
                f.baselineName = QStringLiteral("QDomDocument::setContent and its release");
                f.note = QStringLiteral("500 tags: %1 ms (ratio 1000/500 tags %2)")
                             .arg(times.first(), 0, 'f', 0)
                             .arg(times.last() / times.first(), 0, 'f', 2);
                if (!allOk)
                    f.note += QStringLiteral("; a load failed");
                report.add(f);
            }
        }
    }

    return report.write() ? 0 : 1;
}
