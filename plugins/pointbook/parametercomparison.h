#pragma once

#include "pointbook_global.h"
#include "parameterset.h"
#include "tag.h"

#include <QJsonValue>
#include <QList>
#include <QCoreApplication>
#include <QString>
#include <QVector>

#include <functional>

namespace Pointbook {

class BaseTag;
class ParameterReader;
class TagWriter;

// A parameter file set against what the device holds, row by row: the
// parameters of the map (those the caller lets the user see) and every
// entry of the file, matched by tag id.
class POINTBOOK_EXPORT ParameterComparison
{
    Q_DECLARE_TR_FUNCTIONS(Pointbook::ParameterComparison)

public:
    enum State { Equal, Differs, NotInFile, NotInMap, OutOfLimits, NotWritable };

    struct Row
    {
        State state = Equal;
        Tag *tag = nullptr;             // null when not in the map
        Tag::RegisterType registerType = Tag::HR;
        QString id;
        QString name;
        QString unit;
        QJsonValue device;              // undefined when not read
        QJsonValue file;                // undefined when not in the file
        QString reason;                 // for not writable and out of limits
        int entry = -1;                 // index in the file's parameters

        // Worth writing: the file's value differs and may be written.
        bool applicable() const { return state == Differs; }
    };

    // Whether the current level may write the tag (rights); the map's own
    // access is checked here.
    using WritableByLevel = std::function<bool(const Tag *)>;

    // `visible`: the map's parameters the user may see, whose device words
    // the reader holds; `base`: the whole map, to tell "not writable" from
    // "not in map". Rows come in address order, then entries not in the map
    // in file order.
    static QVector<Row> compare(const ParameterSet &file, const QList<Tag *> &visible,
                                const BaseTag *base, const ParameterReader &reader,
                                const TagWriter &writer, const WritableByLevel &writable);

    static QString stateText(State state);
    // The entries ticked for writing in their order: apply_order first,
    // then the map's address order.
    static QVector<Row> applyOrder(const QVector<Row> &rows, const ParameterSet &file);
};

} // namespace Pointbook
