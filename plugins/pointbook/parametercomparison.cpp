#include "parametercomparison.h"

#include "basetag.h"
#include "parameterreader.h"
#include "tagwriter.h"

#include <QCoreApplication>
#include <QSet>

#include <algorithm>

namespace Pointbook {

namespace {

QString tableName(Tag::RegisterType type)
{
    return type == Tag::CO ? ParameterComparison::tr("a coil") : type == Tag::HR ? ParameterComparison::tr("a holding register")
                                                            : ParameterComparison::tr("a read-only table");
}

} // namespace

QString ParameterComparison::stateText(State state)
{
    switch (state) {
    case Equal: return tr("equal");
    case Differs: return tr("differs");
    case NotInFile: return tr("not in file");
    case NotInMap: return tr("not in map");
    case OutOfLimits: return tr("out of limits for this map");
    case NotWritable: return tr("not writable at this level");
    }
    return QString();
}

QVector<ParameterComparison::Row> ParameterComparison::compare(
    const ParameterSet &file, const QList<Tag *> &visible, const BaseTag *base,
    const ParameterReader &reader, const TagWriter &writer, const WritableByLevel &writable)
{
    QList<Tag *> tags = visible;
    QSet<Tag *> shown(visible.begin(), visible.end());
    // Entries of the file that name a tag of the map the user may not
    // change still get their row, next to the others.
    QVector<int> notInMap;
    for (int i = 0; i < file.parameters.size(); ++i) {
        const QString &id = file.parameters.at(i).id;
        Tag *found = nullptr;
        for (Tag *tag : qAsConst(tags)) {
            if (tag->Id() == id) {
                found = tag;
                break;
            }
        }
        if (!found && base) {
            for (const Tag::RegisterType t : {Tag::HR, Tag::CO, Tag::IR, Tag::DI}) {
                if ((found = base->tagHash(t).value(id, nullptr)))
                    break;
            }
            if (found)
                tags << found;
        }
        if (!found)
            notInMap << i;
    }
    std::stable_sort(tags.begin(), tags.end(), [](Tag *a, Tag *b) { return Tag::lessThan(a, b); });

    QVector<Row> rows;
    for (Tag *tag : qAsConst(tags)) {
        Row row;
        row.tag = tag;
        row.registerType = tag->registerType();
        row.id = tag->Id();
        row.name = tag->name();
        row.unit = tag->unit();
        if (reader.hasWords(tag))
            row.device = ParameterSet::jsonValue(tag, reader.words(tag));
        row.entry = file.indexOf(tag->Id());
        if (row.entry < 0) {
            row.state = NotInFile;
            rows << row;
            continue;
        }
        const ParameterSet::Entry &e = file.parameters.at(row.entry);
        row.file = e.value;
        // What the device would hold after writing the file's value; a
        // value the level may not write is still told equal when it is.
        QString encodeProblem;
        const QVector<quint16> encoded = e.registerType == tag->registerType()
            ? tag->encode(ParameterSet::writeValue(e.value), &encodeProblem) : QVector<quint16>();
        const bool equal = !encoded.isEmpty() && !row.device.isUndefined()
                           && ParameterSet::jsonValue(tag, encoded) == row.device;
        if (!shown.contains(tag) || !ParameterSet::isParameter(tag)) {
            row.state = equal ? Equal : NotWritable;
            row.reason = !ParameterSet::isParameter(tag)
                             ? tr("The register map does not make this tag a parameter.")
                             : tr("The current access level does not show this tag.");
        } else if (e.registerType != tag->registerType()) {
            row.state = OutOfLimits;
            row.reason = tr("The file gives it as %1, the map as %2.")
                             .arg(tableName(e.registerType), tableName(tag->registerType()));
        } else if (writable && !writable(tag)) {
            row.state = equal ? Equal : NotWritable;
            row.reason = tr("The current access level may not change this tag.");
        } else {
            const QString problem = writer.check(tag, ParameterSet::writeValue(e.value), false);
            if (!problem.isEmpty()) {
                row.state = OutOfLimits;
                row.reason = problem;
            } else {
                // Equal when writing the file's value would leave the
                // device's value as it is.
                row.state = equal ? Equal : Differs;
            }
        }
        rows << row;
    }
    for (const int i : qAsConst(notInMap)) {
        const ParameterSet::Entry &e = file.parameters.at(i);
        Row row;
        row.state = NotInMap;
        row.registerType = e.registerType;
        row.id = e.id;
        row.name = e.name;
        row.unit = e.unit;
        row.file = e.value;
        row.entry = i;
        rows << row;
    }
    return rows;
}

QVector<ParameterComparison::Row> ParameterComparison::applyOrder(const QVector<Row> &rows,
                                                                  const ParameterSet &file)
{
    QVector<Row> ordered = rows;
    const auto rank = [&file](const Row &r) {
        const int i = file.applyOrder.indexOf(r.id);
        return i < 0 ? file.applyOrder.size() : i;
    };
    std::stable_sort(ordered.begin(), ordered.end(), [&](const Row &a, const Row &b) {
        const int ra = rank(a);
        const int rb = rank(b);
        if (ra != rb)
            return ra < rb;
        if (a.tag && b.tag)
            return Tag::lessThan(a.tag, b.tag);
        return a.tag && !b.tag;
    });
    return ordered;
}

} // namespace Pointbook
