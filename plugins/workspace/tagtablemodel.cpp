#include "tagtablemodel.h"
#include "tagformatter.h"

#include <pointbook/basetag.h>
#include <pointbook/tagbase.h>

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QStringList>
#include <QHash>
#include <QTimer>

#include <algorithm>

using Pointbook::BaseTag;
using Pointbook::Tag;

namespace Workspace {

namespace {

// internalId of an index names its parent: 0 for a table row, 1 + table
// for a kind row, FirstKindId + kind node for a tag row.
constexpr quintptr FirstKindId = 1 + 4;

const Tag::TypeTag KindOrder[] = {Tag::Status, Tag::Parameter, Tag::Dimension, Tag::Command,
                                  Tag::UnknownTag};

int kindRank(Tag::TypeTag kind)
{
    for (int i = 0; i < int(sizeof KindOrder / sizeof KindOrder[0]); ++i) {
        if (KindOrder[i] == kind)
            return i;
    }
    return int(sizeof KindOrder / sizeof KindOrder[0]) - 1;
}

} // namespace

TagTableModel::TagTableModel(QObject *parent)
    : QAbstractItemModel(parent)
    , m_flushTimer(new QTimer(this))
    , m_rebuildTimer(new QTimer(this))
    , m_ageTimer(new QTimer(this))
{
    m_ageTimer->setInterval(AgeCheckIntervalMs);
    connect(m_ageTimer, &QTimer::timeout, this, &TagTableModel::checkAge);
    m_flushTimer->setSingleShot(true);
    m_flushTimer->setInterval(DefaultFlushIntervalMs);
    connect(m_flushTimer, &QTimer::timeout, this, &TagTableModel::flush);
    m_rebuildTimer->setSingleShot(true);
    m_rebuildTimer->setInterval(0);
    connect(m_rebuildTimer, &QTimer::timeout, this, &TagTableModel::rebuild);
}

TagTableModel::~TagTableModel()
{
    disconnectLeaves();
}

void TagTableModel::setBaseTag(BaseTag *base)
{
    if (m_base == base)
        return;
    disconnect(m_baseConnection);
    disconnect(m_baseDestroyed);
    m_base = base;
    if (base) {
        // A loader fills the collection one tag at a time; one rebuild after
        // the burst is enough.
        m_baseConnection = connect(base, &BaseTag::updateBase, this, &TagTableModel::scheduleRebuild);
        m_baseDestroyed = connect(base, &QObject::destroyed, this, &TagTableModel::scheduleRebuild);
    }
    rebuild();
}

BaseTag *TagTableModel::baseTag() const
{
    return m_base;
}

void TagTableModel::setEngine(Pointbook::TagBase *engine)
{
    if (m_engine == engine)
        return;
    disconnect(m_engineConnection);
    m_engine = engine;
    if (engine)
        m_engineConnection = connect(engine, &Pointbook::TagBase::valuesDelivered, this,
                                     &TagTableModel::valuesDelivered);
    // Switches the rows between the engine's notices and their own tags.
    rebuild();
}

Pointbook::TagBase *TagTableModel::engine() const
{
    return m_engine;
}

void TagTableModel::setRights(const TagRights &rights)
{
    m_rights = rights;
    rebuild();
}

void TagTableModel::setFlushInterval(int milliseconds)
{
    m_flushTimer->setInterval(qMax(0, milliseconds));
}

int TagTableModel::flushInterval() const
{
    return m_flushTimer->interval();
}

void TagTableModel::setMaxAge(int milliseconds)
{
    m_maxAgeMs = qMax(0, milliseconds);
    if (m_maxAgeMs > 0)
        m_ageTimer->start();
    else
        m_ageTimer->stop();
}

void TagTableModel::setLive(bool live, const QString &reason)
{
    if (live && m_live)
        return;
    const QString previous = m_liveReason;
    m_live = live;
    m_liveReason = live ? QString() : reason;
    if (live) {
        // Rows turn fresh one by one as their requests answer; until then an
        // old value stays stale, and the reason the link gave no longer holds.
        for (int i = 0; i < m_leaves.size(); ++i) {
            Leaf &leaf = m_leaves[i];
            if (!previous.isEmpty() && leaf.reason == previous) {
                leaf.reason.clear();
                leaf.stale = leaf.hasValue;
                markDirty(i);
            }
        }
        flush();
        return;
    }
    for (int i = 0; i < m_leaves.size(); ++i) {
        Leaf &leaf = m_leaves[i];
        leaf.stale = true;
        leaf.reason = reason;
        markDirty(i);
    }
    flush();
}

void TagTableModel::clearValues()
{
    m_answerStart = -1;
    for (int i = 0; i < m_leaves.size(); ++i) {
        Leaf &leaf = m_leaves[i];
        leaf.hasValue = false;
        leaf.refreshedAt = 0;
        leaf.requestStart = -1;
        leaf.requestCount = 0;
        markDirty(i);
    }
    flush();
}

void TagTableModel::requestAnswered(int registerType, int start, int count)
{
    m_answerType = registerType;
    m_answerStart = start;
    m_answerCount = count;
}

void TagTableModel::requestFailed(int registerType, int start, int count, const QString &reason)
{
    const qint64 end = qint64(start) + count;
    for (int i = 0; i < m_leaves.size(); ++i) {
        const Leaf &leaf = m_leaves.at(i);
        if (int(leaf.type) != registerType || !leaf.tag)
            continue;
        const int first = leaf.tag->startAddress();
        const int span = qMax<int>(1, leaf.tag->sizeRegisters());
        if (first < end && first + span > start)
            setStale(i, reason);
    }
}

void TagTableModel::setStale(int leaf, const QString &reason)
{
    Leaf &l = m_leaves[leaf];
    if (l.stale && l.reason == reason)
        return;
    l.stale = true;
    l.reason = reason;
    markDirty(leaf);
    if (!m_flushTimer->isActive())
        m_flushTimer->start();
}

void TagTableModel::checkAge()
{
    if (m_maxAgeMs <= 0)
        return;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (int i = 0; i < m_leaves.size(); ++i) {
        const Leaf &leaf = m_leaves.at(i);
        // The row's own fields first: the tag itself (another block of
        // memory per row) is looked at only for a value that is too old.
        if (leaf.stale || !leaf.hasValue || leaf.refreshedAt == 0 || now - leaf.refreshedAt <= m_maxAgeMs)
            continue;
        if (leaf.tag && leaf.tag->isUpdate())
            setStale(i, tr("not refreshed for %1 s").arg((now - leaf.refreshedAt) / 1000.0, 0, 'f', 1));
    }
}

bool TagTableModel::isRebuildPending() const
{
    return m_rebuildTimer->isActive();
}

void TagTableModel::scheduleRebuild()
{
    if (!m_rebuildTimer->isActive())
        m_rebuildTimer->start();
}

void TagTableModel::disconnectLeaves()
{
    for (Leaf &leaf : m_leaves)
        disconnect(leaf.connection);
}

void TagTableModel::rebuild()
{
    m_rebuildTimer->stop();
    beginResetModel();
    disconnectLeaves();
    // A rebuild (rights, a refilled collection) keeps what is known of the
    // tags that stay; a new tag starts from its own value.
    QHash<const Tag *, Leaf> previous;
    for (const Leaf &leaf : qAsConst(m_leaves)) {
        if (leaf.tag)
            previous.insert(leaf.tag.data(), leaf);
    }
    m_tables.clear();
    m_kinds.clear();
    m_leaves.clear();
    m_leafOfTag.clear();
    m_deliveries.clear();
    m_dirty.clear();
    m_isDirty.clear();
    const bool notified = m_engine;

    if (m_base) {
        for (int t = 1; t <= 4; ++t) {
            const auto type = Tag::RegisterType(t);
            const QHash<QString, Tag *> hash = m_base->tagHash(type);
            QVector<QPair<QString, Tag *>> shown;
            shown.reserve(hash.size());
            for (auto it = hash.cbegin(); it != hash.cend(); ++it) {
                if (it.value() && m_rights.access(type, it.key()).visible)
                    shown.append(qMakePair(it.key(), it.value()));
            }
            if (shown.isEmpty())
                continue;
            std::stable_sort(shown.begin(), shown.end(),
                             [](const QPair<QString, Tag *> &a, const QPair<QString, Tag *> &b) {
                                 const int ka = kindRank(Tag::stringToTypeTag(a.second->typeTag()));
                                 const int kb = kindRank(Tag::stringToTypeTag(b.second->typeTag()));
                                 if (ka != kb)
                                     return ka < kb;
                                 if (Tag::lessThan(a.second, b.second))
                                     return true;
                                 if (Tag::lessThan(b.second, a.second))
                                     return false;
                                 return a.first < b.first;
                             });
            TableNode table;
            table.type = type;
            const int tableIndex = m_tables.size();
            int currentRank = -1;
            for (const auto &entry : shown) {
                const int rank = kindRank(Tag::stringToTypeTag(entry.second->typeTag()));
                if (rank != currentRank) {
                    KindNode node;
                    node.table = tableIndex;
                    node.kind = KindOrder[rank];
                    table.kinds.append(m_kinds.size());
                    m_kinds.append(node);
                    currentRank = rank;
                }
                const int kindIndex = m_kinds.size() - 1;
                Leaf leaf;
                leaf.tag = entry.second;
                leaf.id = entry.first;
                leaf.type = type;
                leaf.kindNode = kindIndex;
                leaf.row = m_kinds[kindIndex].leaves.size();
                const auto known = previous.constFind(entry.second);
                if (known != previous.constEnd()) {
                    leaf.refreshedPass = known->refreshedPass;
                    leaf.refreshedAt = known->refreshedAt;
                    leaf.requestStart = known->requestStart;
                    leaf.requestCount = known->requestCount;
                    leaf.reason = known->reason;
                    leaf.hasValue = known->hasValue;
                    leaf.stale = known->stale;
                } else {
                    leaf.hasValue = !entry.second->valueByteArray().isEmpty();
                    leaf.refreshedPass = m_pass;
                    leaf.stale = !m_live;
                    leaf.reason = m_liveReason;
                }
                leaf.access = m_rights.access(type, entry.first);
                const int leafIndex = m_leaves.size();
                if (notified)
                    m_leafOfTag.insert(entry.second, leafIndex);
                else
                    leaf.connection = connect(entry.second, &Tag::changedValue, this,
                                              [this, leafIndex] { markChanged(leafIndex); });
                m_kinds[kindIndex].leaves.append(leafIndex);
                m_leaves.append(leaf);
            }
            m_tables.append(table);
        }
    }
    endResetModel();
}

void TagTableModel::markChanged(int leaf)
{
    if (leaf < 0 || leaf >= m_leaves.size())
        return;
    refresh(leaf, QDateTime::currentMSecsSinceEpoch(), m_answerType, m_answerStart, m_answerCount);
    if (!m_flushTimer->isActive())
        m_flushTimer->start();
}

void TagTableModel::valuesDelivered(int registerType, int start, int count, const QVector<Tag *> &tags)
{
    if (!m_engine || tags.isEmpty())
        return;
    // A request brings the same tags every pass: their rows are looked up
    // once and kept with the request, and checked against the tags given.
    const quint64 key = (quint64(quint32(registerType) & 0xFF) << 48) | (quint64(quint32(start) & 0xFFFFFF) << 24)
                        | quint64(quint32(count) & 0xFFFFFF);
    Delivery &known = m_deliveries[key];
    if (known.tags != tags) {
        known.tags = QVector<Tag *>(tags.constBegin(), tags.constEnd()); // a copy of its own
        known.leaves.resize(tags.size());
        for (int i = 0; i < tags.size(); ++i)
            known.leaves[i] = m_leafOfTag.value(tags.at(i), -1);
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (int i = 0; i < known.leaves.size(); ++i) {
        const int leaf = known.leaves.at(i);
        // A tag of a new collection may have the address of a deleted one
        // until the rows are rebuilt.
        if (leaf >= 0 && m_leaves.at(leaf).tag == known.tags.at(i))
            refresh(leaf, now, registerType, start, count);
    }
    if (!m_flushTimer->isActive())
        m_flushTimer->start();
}

void TagTableModel::refresh(int leaf, qint64 now, int registerType, int start, int count)
{
    Leaf &l = m_leaves[leaf];
    // An answer that arrives after the link was given up (an old request
    // still on the wire) refreshes nothing: it may be another device's.
    if (!m_live) {
        markDirty(leaf, ValueCells);
        return;
    }
    // Only the value cells change unless the row's state does.
    markDirty(leaf, l.hasValue && !l.stale && l.reason.isEmpty() ? ValueCells : WholeRow);
    l.refreshedPass = m_pass;
    l.hasValue = true;
    l.refreshedAt = now;
    l.stale = false;
    l.reason.clear();
    const int address = l.tag ? l.tag->startAddress() : -1;
    if (int(l.type) == registerType && start >= 0 && address >= start && address < start + count) {
        l.requestStart = start;
        l.requestCount = count;
    } else {
        l.requestStart = -1;
        l.requestCount = 0;
    }
}

void TagTableModel::passEnded()
{
    for (int i = 0; i < m_leaves.size(); ++i) {
        Leaf &leaf = m_leaves[i];
        // Refreshed by this pass while live: fresh already, and stays so.
        // Most rows end here without a look at their tag.
        if (m_live && leaf.refreshedPass == m_pass && !leaf.stale)
            continue;
        const bool polled = leaf.tag && leaf.tag->isUpdate();
        const bool missed = polled && leaf.refreshedPass != m_pass;
        const bool stale = !m_live || (missed && (leaf.hasValue || !leaf.reason.isEmpty()));
        if (stale != leaf.stale) {
            leaf.stale = stale;
            if (!stale)
                leaf.reason.clear();
            markDirty(i);
        }
    }
    ++m_pass;
    flush();
}

void TagTableModel::markDirty(int leaf, Dirt dirt)
{
    if (m_isDirty.size() != m_leaves.size())
        m_isDirty.resize(m_leaves.size());
    const quint8 was = m_isDirty.at(leaf);
    if (was >= dirt)
        return;
    m_isDirty[leaf] = quint8(dirt);
    if (was == Clean)
        m_dirty.append(leaf);
}

void TagTableModel::flush()
{
    m_flushTimer->stop();
    if (m_dirty.isEmpty())
        return;
    // Per kind group, one range of rows whose state changed (every cell)
    // and one of rows with only a new value (the value cells, so that a
    // view repaints no more than those). Every polled row changes in every
    // pass, so this runs over all of them: a list and flags per row, not a
    // hash.
    QVector<QPair<int, int>> ranges(2 * m_kinds.size(), qMakePair(-1, -1));
    for (const int leafIndex : qAsConst(m_dirty)) {
        const bool whole = m_isDirty.at(leafIndex) == WholeRow;
        m_isDirty[leafIndex] = Clean;
        const Leaf &leaf = m_leaves.at(leafIndex);
        QPair<int, int> &range = ranges[2 * leaf.kindNode + (whole ? 0 : 1)];
        if (range.first < 0) {
            range = qMakePair(leaf.row, leaf.row);
        } else {
            range.first = qMin(range.first, leaf.row);
            range.second = qMax(range.second, leaf.row);
        }
    }
    m_dirty.resize(0); // keeps its room for the next pass
    for (int kind = 0; kind < m_kinds.size(); ++kind) {
        const quintptr id = FirstKindId + quintptr(kind);
        const QPair<int, int> &whole = ranges.at(2 * kind);
        const QPair<int, int> &values = ranges.at(2 * kind + 1);
        if (whole.first >= 0)
            emit dataChanged(createIndex(whole.first, 0, id), createIndex(whole.second, ColumnCount - 1, id));
        // Rows within the range just reported need no second notice.
        if (values.first >= 0 && (whole.first < 0 || values.first < whole.first || values.second > whole.second))
            emit dataChanged(createIndex(values.first, ValueColumn, id), createIndex(values.second, RawColumn, id));
    }
}

const TagTableModel::Leaf *TagTableModel::leafOf(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this || index.internalId() < FirstKindId)
        return nullptr;
    const int kind = int(index.internalId() - FirstKindId);
    if (kind >= m_kinds.size())
        return nullptr;
    const QVector<int> &leaves = m_kinds.at(kind).leaves;
    if (index.row() < 0 || index.row() >= leaves.size())
        return nullptr;
    return &m_leaves.at(leaves.at(index.row()));
}

Tag *TagTableModel::tagAt(const QModelIndex &index) const
{
    const Leaf *leaf = leafOf(index);
    return leaf ? leaf->tag.data() : nullptr;
}

QModelIndex TagTableModel::indexOfTag(Tag::RegisterType type, const QString &id, int column) const
{
    for (const Leaf &leaf : m_leaves) {
        if (leaf.type == type && leaf.id == id)
            return createIndex(leaf.row, column, FirstKindId + quintptr(leaf.kindNode));
    }
    return QModelIndex();
}

QModelIndex TagTableModel::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || column < 0 || column >= ColumnCount)
        return QModelIndex();
    if (!parent.isValid()) {
        return row < m_tables.size() ? createIndex(row, column, quintptr(0)) : QModelIndex();
    }
    if (parent.model() != this || parent.column() != 0)
        return QModelIndex();
    if (parent.internalId() == 0) {
        const int table = parent.row();
        if (table >= m_tables.size() || row >= m_tables.at(table).kinds.size())
            return QModelIndex();
        return createIndex(row, column, quintptr(1 + table));
    }
    if (parent.internalId() < FirstKindId) {
        const int table = int(parent.internalId() - 1);
        if (table >= m_tables.size() || parent.row() >= m_tables.at(table).kinds.size())
            return QModelIndex();
        const int kind = m_tables.at(table).kinds.at(parent.row());
        if (row >= m_kinds.at(kind).leaves.size())
            return QModelIndex();
        return createIndex(row, column, FirstKindId + quintptr(kind));
    }
    return QModelIndex();
}

QModelIndex TagTableModel::parent(const QModelIndex &child) const
{
    if (!child.isValid() || child.internalId() == 0)
        return QModelIndex();
    if (child.internalId() < FirstKindId) {
        const int table = int(child.internalId() - 1);
        return table < m_tables.size() ? createIndex(table, 0, quintptr(0)) : QModelIndex();
    }
    const int kind = int(child.internalId() - FirstKindId);
    if (kind >= m_kinds.size())
        return QModelIndex();
    const int table = m_kinds.at(kind).table;
    const int row = m_tables.at(table).kinds.indexOf(kind);
    return createIndex(row, 0, quintptr(1 + table));
}

int TagTableModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return m_tables.size();
    if (parent.column() != 0)
        return 0;
    if (parent.internalId() == 0) {
        return parent.row() < m_tables.size() ? m_tables.at(parent.row()).kinds.size() : 0;
    }
    if (parent.internalId() < FirstKindId) {
        const int table = int(parent.internalId() - 1);
        if (table >= m_tables.size() || parent.row() >= m_tables.at(table).kinds.size())
            return 0;
        return m_kinds.at(m_tables.at(table).kinds.at(parent.row())).leaves.size();
    }
    return 0;
}

int TagTableModel::columnCount(const QModelIndex &) const
{
    return ColumnCount;
}

QVariant TagTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.model() != this)
        return QVariant();
    if (const Leaf *leaf = leafOf(index))
        return leafData(*leaf, index.column(), role);
    if (index.internalId() >= FirstKindId)
        return QVariant();
    return groupData(index, role);
}

QVariant TagTableModel::groupData(const QModelIndex &index, int role) const
{
    if (role == IsTagRole)
        return false;
    if (role == GroupNameRole) {
        if (index.internalId() == 0)
            return index.row() < m_tables.size() ? TagFormatter::registerTypeName(m_tables.at(index.row()).type)
                                                  : QVariant();
        const int table = int(index.internalId() - 1);
        if (table >= m_tables.size() || index.row() >= m_tables.at(table).kinds.size())
            return QVariant();
        return TagFormatter::tagKindName(m_kinds.at(m_tables.at(table).kinds.at(index.row())).kind);
    }
    if (role == Qt::FontRole) {
        QFont font;
        font.setBold(true);
        return font;
    }
    if (role != Qt::DisplayRole || index.column() != NameColumn)
        return QVariant();
    if (index.internalId() == 0) {
        if (index.row() >= m_tables.size())
            return QVariant();
        const TableNode &table = m_tables.at(index.row());
        int count = 0;
        for (const int k : table.kinds)
            count += m_kinds.at(k).leaves.size();
        return QStringLiteral("%1 (%2)").arg(TagFormatter::registerTypeName(table.type)).arg(count);
    }
    const int table = int(index.internalId() - 1);
    if (table >= m_tables.size() || index.row() >= m_tables.at(table).kinds.size())
        return QVariant();
    const KindNode &kind = m_kinds.at(m_tables.at(table).kinds.at(index.row()));
    return QStringLiteral("%1 (%2)").arg(TagFormatter::tagKindName(kind.kind)).arg(kind.leaves.size());
}

QVariant TagTableModel::leafData(const Leaf &leaf, int column, int role) const
{
    const Tag *tag = leaf.tag.data();
    switch (role) {
    case IsTagRole:
        return true;
    case TagIdRole:
        return leaf.id;
    case RegisterTypeRole:
        return int(leaf.type);
    case StaleRole:
        return leaf.stale;
    case ReasonRole:
        return leaf.reason;
    case RefreshedRole:
        return leaf.refreshedAt ? QDateTime::fromMSecsSinceEpoch(leaf.refreshedAt) : QDateTime();
    default:
        break;
    }
    if (!tag)
        return QVariant();

    const bool polled = tag->isUpdate();
    const bool writable = leaf.access.writable
                          && (Tag::stringToTypeAccess(tag->access()) & Tag::Write);
    // Painting asks for every value cell many times a second; most tables
    // have no write under way.
    const Write write = column == ValueColumn && !m_writes.isEmpty() ? m_writes.value(writeKey(leaf.type, leaf.id))
                                                                     : Write();
    if (column == ValueColumn) {
        switch (role) {
        case WriteStateRole:
            return int(write.state);
        case Qt::EditRole:
            return editValue(tag);
        case Qt::ToolTipRole: {
            QStringList lines;
            if (!write.text.isEmpty())
                lines << write.text;
            const QString reason = m_writer ? m_writer->notWritableReason(tag, !leaf.access.writable)
                                            : QString();
            if (!reason.isEmpty() && (tag->registerType() == Tag::HR || tag->registerType() == Tag::CO))
                lines << tr("Cannot be written: %1").arg(reason);
            else if (reason.isEmpty() && m_writer)
                lines << tr("Double-click or F2 to write a new value.");
            // Then what every cell says: when and by which request the value
            // was read, and why it is stale.
            lines << toolTip(leaf, tag, column);
            return lines.join(QLatin1Char('\n'));
        }
        case Qt::BackgroundRole:
            if (write.state == WritePending)
                return QColor(255, 243, 190);
            if (write.state == WriteFailed)
                return QColor(255, 200, 200);
            if (write.state == WriteSucceeded)
                return QColor(205, 240, 205);
            break;
        default:
            break;
        }
    }
    switch (role) {
    case OutOfRangeRole:
        return TagFormatter::isOutOfRange(tag);
    case PolledRole:
        return polled;
    case WritableRole:
        return writable;
    case SortRole:
        switch (column) {
        case AddressColumn:
            return qlonglong(tag->startAddress()) * 64 + qMax(0, TagFormatter::lowestBit(tag->bitfield() ? tag->mask() : 0));
        case ValueColumn: {
            const QVector<double> values = leaf.hasValue ? TagFormatter::numericValues(tag) : QVector<double>();
            if (values.size() == 1 && !tag->bitfield())
                return values.constFirst();
            return leafData(leaf, column, Qt::DisplayRole);
        }
        default:
            return leafData(leaf, column, Qt::DisplayRole);
        }
    case FilterTextRole:
        return QStringList{tag->name(), leaf.id, tag->description(), tag->unit(),
                           TagFormatter::addressText(tag)}
            .join(QLatin1Char('\n'));
    case Qt::DisplayRole:
        switch (column) {
        case NameColumn:
            return tag->name().isEmpty() ? leaf.id : tag->name();
        case ValueColumn:
            // A value not read from the device now connected is not shown.
            return leaf.hasValue ? TagFormatter::valueText(tag) : QString();
        case RawColumn:
            return leaf.hasValue ? TagFormatter::rawText(tag) : QString();
        case AddressColumn:
            return TagFormatter::addressText(tag);
        case DataTypeColumn:
            return TagFormatter::dataTypeText(tag);
        case AccessColumn:
            return TagFormatter::accessText(tag, writable);
        case StateColumn:
            return stateText(leaf, polled);
        case DescriptionColumn:
            return tag->description();
        default:
            return QVariant();
        }
    case Qt::ToolTipRole:
        return toolTip(leaf, tag, column);
    case Qt::ForegroundRole:
        if (column == StateColumn && !leaf.reason.isEmpty() && polled)
            return QColor(160, 0, 0);
        if (!polled || leaf.stale)
            return QColor(Qt::gray);
        if (column == ValueColumn && TagFormatter::isOutOfRange(tag))
            return QColor(160, 0, 0);
        return QVariant();
    case Qt::BackgroundRole:
        if (column == ValueColumn && polled && !leaf.stale && TagFormatter::isOutOfRange(tag))
            return QColor(255, 215, 215);
        return QVariant();
    case Qt::FontRole:
        if (leaf.stale) {
            QFont font;
            font.setItalic(true);
            return font;
        }
        return QVariant();
    case Qt::TextAlignmentRole:
        if (column == ValueColumn || column == AddressColumn)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant();
    default:
        return QVariant();
    }
}

QString TagTableModel::stateText(const Leaf &leaf, bool polled) const
{
    if (!polled)
        return tr("not polled");
    if (!leaf.reason.isEmpty())
        return leaf.reason;
    if (leaf.stale)
        return tr("stale, not refreshed by the last pass");
    if (!leaf.hasValue)
        return tr("waiting for the first answer");
    return tr("ok");
}

QString TagTableModel::toolTip(const Leaf &leaf, const Tag *tag, int column) const
{
    QStringList lines;
    if (!tag->description().isEmpty())
        lines << tag->description();
    if (column == ValueColumn && leaf.hasValue && TagFormatter::isOutOfRange(tag))
        lines << tr("Outside the range %1 to %2.")
                     .arg(Tag::numberText(tag->lowerLimit()), Tag::numberText(tag->upperLimit()));
    if (!tag->isUpdate())
        lines << tr("Not polled at the current access level.");
    if (leaf.refreshedAt) {
        const QString when =
            QDateTime::fromMSecsSinceEpoch(leaf.refreshedAt).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
        if (leaf.requestStart >= 0)
            lines << tr("Updated %1 by the read of %2 %3 to %4.")
                         .arg(when, TagFormatter::registerTypeName(leaf.type))
                         .arg(leaf.requestStart)
                         .arg(leaf.requestStart + leaf.requestCount - 1);
        else
            lines << tr("Updated %1.").arg(when);
    } else if (tag->isUpdate()) {
        lines << tr("Not read from this device yet.");
    }
    if (leaf.stale || !leaf.reason.isEmpty())
        lines << tr("Stale: %1.").arg(leaf.reason.isEmpty() ? tr("not refreshed by the last polling pass")
                                                           : leaf.reason);
    return lines.join(QLatin1Char('\n'));
}

QVariant TagTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case NameColumn:
        return tr("Name");
    case ValueColumn:
        return tr("Value");
    case RawColumn:
        return tr("Raw (hex)");
    case AddressColumn:
        return tr("Address");
    case DataTypeColumn:
        return tr("Data type");
    case AccessColumn:
        return tr("Access");
    case StateColumn:
        return tr("State");
    case DescriptionColumn:
        return tr("Description");
    default:
        return QVariant();
    }
}

Qt::ItemFlags TagTableModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == ValueColumn && leafOf(index) && m_writeHandler
        && notWritableReason(index).isEmpty())
        flags |= Qt::ItemIsEditable;
    return flags;
}

void TagTableModel::setWriter(Pointbook::TagWriter *writer)
{
    if (m_writer)
        disconnect(m_writer, nullptr, this, nullptr);
    m_writer = writer;
    if (m_writer)
        connect(m_writer, &Pointbook::TagWriter::finished, this, &TagTableModel::onWriteFinished);
}

void TagTableModel::setWriteHandler(const std::function<int(Tag *, const QVariant &)> &handler)
{
    m_writeHandler = handler;
}

QString TagTableModel::notWritableReason(const QModelIndex &index) const
{
    const Leaf *leaf = leafOf(index);
    if (!leaf || !leaf->tag)
        return tr("No tag.");
    if (!m_writer)
        return tr("Writing is not available.");
    return m_writer->notWritableReason(leaf->tag, !leaf->access.writable);
}

QString TagTableModel::checkValue(const QModelIndex &index, const QVariant &value) const
{
    const Leaf *leaf = leafOf(index);
    if (!leaf || !leaf->tag)
        return tr("No tag.");
    if (!m_writer || !m_writeHandler)
        return tr("Writing is not available.");
    return m_writer->check(leaf->tag, value, !leaf->access.writable);
}

int TagTableModel::refuse(const QModelIndex &index, const QVariant &value, const QString &reason)
{
    const Leaf *leaf = leafOf(index);
    if (!leaf || !leaf->tag || !m_writer)
        return 0;
    Write write;
    write.state = WritePending;
    write.text = reason;
    write.requestId = m_writer->refuse(leaf->tag, value, reason);
    setWriteState(leaf->type, leaf->id, write);
    return write.requestId;
}

bool TagTableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || index.column() != ValueColumn || !(flags(index) & Qt::ItemIsEditable))
        return false;
    const Leaf *leaf = leafOf(index);
    Write write;
    write.state = WritePending;
    write.text = tr("Writing %1 …").arg(value.toString());
    const Tag::RegisterType type = leaf->type;
    const QString id = leaf->id;
    write.requestId = m_writeHandler(leaf->tag, value);
    setWriteState(type, id, write);
    return true;
}

QString TagTableModel::writeKey(Tag::RegisterType type, const QString &id)
{
    return QString::number(int(type)) + QLatin1Char(':') + id;
}

void TagTableModel::setWriteState(Tag::RegisterType type, const QString &id, const Write &write)
{
    m_writes.insert(writeKey(type, id), write);
    const QModelIndex cell = indexOfTag(type, id, ValueColumn);
    if (cell.isValid())
        emit dataChanged(cell, cell);
}

void TagTableModel::onWriteFinished(const Pointbook::TagWriter::Outcome &outcome)
{
    // The value read back was given to the tag; without a connection to
    // each tag, this is where its row hears of it.
    if (m_engine && !outcome.readBack.isEmpty()) {
        const QModelIndex cell = indexOfTag(outcome.registerType, outcome.tagId);
        const Leaf *leaf = leafOf(cell);
        if (leaf) {
            refresh(int(leaf - m_leaves.constData()), QDateTime::currentMSecsSinceEpoch(), 0, -1, 0);
            if (!m_flushTimer->isActive())
                m_flushTimer->start();
        }
    }
    const QString key = writeKey(outcome.registerType, outcome.tagId);
    const auto it = m_writes.constFind(key);
    // Only the table's own latest write of the tag is shown.
    if (it == m_writes.cend() || it->requestId != outcome.requestId)
        return;
    Write write = it.value();
    if (outcome.result == Pointbook::TagWriter::Ok) {
        write.state = WriteSucceeded;
        write.text = tr("Written %1, read back %2.").arg(outcome.newValue, outcome.readBack);
        // The success mark fades; a failure stays until the next write.
        const int id = outcome.requestId;
        QTimer::singleShot(4000, this, [this, key, id, outcome]() {
            const auto w = m_writes.constFind(key);
            if (w != m_writes.cend() && w->requestId == id && w->state == WriteSucceeded) {
                Write faded = w.value();
                faded.state = NoWrite;
                setWriteState(outcome.registerType, outcome.tagId, faded);
            }
        });
    } else if (outcome.result == Pointbook::TagWriter::Unknown) {
        // Not a failure: the device may well hold the value.
        write.state = WriteFailed;
        write.text = tr("Writing %1: outcome unknown: %2").arg(outcome.newValue, outcome.detail);
    } else {
        write.state = WriteFailed;
        // An attempt refused before a value was typed has none to name.
        write.text = outcome.newValue.isEmpty()
            ? tr("Not written (%1): %2").arg(Pointbook::TagWriter::resultText(outcome.result), outcome.detail)
            : tr("Writing %1 failed (%2): %3")
                  .arg(outcome.newValue, Pointbook::TagWriter::resultText(outcome.result), outcome.detail);
    }
    setWriteState(outcome.registerType, outcome.tagId, write);
}

QVariant TagTableModel::editValue(const Tag *tag)
{
    const QVariant value = tag->value();
    if (tag->registerType() == Tag::CO || tag->registerType() == Tag::DI)
        return tag->valueByteArray().value(0) != 0;
    if (!value.isValid())
        return QVariant();
    if (tag->count() > 1)
        return Pointbook::TagWriter::valueText(tag, value);
    if (tag->bitfield()) {
        const quint64 mask = tag->mask();
        if (mask && (mask & (mask - 1)) == 0)
            return (value.toULongLong() & mask) != 0;
        return value.toULongLong() & mask;
    }
    if (tag->dataType() == Tag::Float)
        return double(value.toFloat());
    return value;
}

} // namespace Workspace
