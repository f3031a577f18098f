#pragma once

#include "workspace_global.h"
#include "tagrights.h"

#include <pointbook/tag.h>
#include <pointbook/tagwriter.h>

#include <QHash>
#include <functional>

#include <QAbstractItemModel>
#include <QMetaObject>
#include <QPointer>
#include <QSet>
#include <QVector>

QT_BEGIN_NAMESPACE
class QTimer;
QT_END_NAMESPACE

namespace Pointbook {
class BaseTag;
class TagBase;
}

namespace Workspace {

// The live tag table: register table → tag kind → one row per tag shown at
// the current access level.
//
// With the polling engine given, a reply's tags are taken from its one
// valuesDelivered() notice (and a write's read-back from the writer);
// without it every row follows its tag's changedValue().
//
// Values are not repainted per changedValue(): a changed tag only joins a
// dirty set, which is flushed as at most two dataChanged() ranges per kind
// group (rows whose state changed, all columns; rows with only a new value,
// the value and raw columns) when the flush timer fires or a polling pass
// ends, so the number of view updates is bounded by the groups, not by the
// tags.
//
// Tags are held through guarded pointers and the rows are rebuilt (once,
// from the event loop) whenever the collection reports a change, so a
// reload that deletes the tags never leaves a row pointing at one.
class WORKSPACE_EXPORT TagTableModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum Column {
        NameColumn = 0,
        ValueColumn,
        RawColumn,
        AddressColumn,
        DataTypeColumn,
        AccessColumn,
        StateColumn,
        DescriptionColumn,
        ColumnCount
    };

    enum Role {
        TagIdRole = Qt::UserRole + 1,
        RegisterTypeRole,
        IsTagRole,
        StaleRole,
        OutOfRangeRole,
        PolledRole,
        WritableRole,
        FilterTextRole,
        WriteStateRole, // a WriteState
        RefreshedRole, // QDateTime of the last refresh; invalid before the first
        ReasonRole,    // why the value is missing or old; empty when fresh
        SortRole,      // the column's value for sorting (numbers as numbers)
        GroupNameRole  // a group row's name without its count
    };

    // Where the last write of a tag stands, shown in its value cell.
    enum WriteState { NoWrite = 0, WritePending, WriteSucceeded, WriteFailed };

    enum { DefaultFlushIntervalMs = 250 };
    // How often values are checked against the maximum age.
    enum { AgeCheckIntervalMs = 250 };

    explicit TagTableModel(QObject *parent = nullptr);
    ~TagTableModel() override;

    void setBaseTag(Pointbook::BaseTag *base);
    Pointbook::BaseTag *baseTag() const;

    // The engine that polls the collection: its notices per reply replace
    // a connection to every tag. Null: every tag is followed on its own.
    void setEngine(Pointbook::TagBase *engine);
    Pointbook::TagBase *engine() const;

    // Rows hidden by the rights disappear; the others show their access.
    void setRights(const TagRights &rights);
    TagRights rights() const { return m_rights; }

    // Values of writable tags become editable; setData() hands an edited
    // value to the handler, which returns the writer's request id.
    void setWriter(Pointbook::TagWriter *writer);
    void setWriteHandler(const std::function<int(Pointbook::Tag *, const QVariant &)> &handler);
    // Why the tag behind the row cannot be written; empty when it can.
    QString notWritableReason(const QModelIndex &index) const;
    // Why the value cannot be written to the row's tag (the writer's checks
    // with the row's rights); empty when it can.
    QString checkValue(const QModelIndex &index, const QVariant &value) const;
    // Records an attempt on the row's tag refused for `reason`: the cell
    // shows it and the writer reports it like any other refusal. Returns
    // the writer's request id, 0 without a tag or writer.
    int refuse(const QModelIndex &index, const QVariant &value, const QString &reason);

    void setFlushInterval(int milliseconds);
    int flushInterval() const;

    // A value older than this is stale even without a failed request
    // (0: no age limit). The caller sets twice the polling period.
    void setMaxAge(int milliseconds);
    int maxAge() const { return m_maxAgeMs; }
    // False while the values cannot be current (disconnected, link lost,
    // connecting elsewhere): every row is stale at once with the reason,
    // and answers that still arrive do not make a row fresh.
    void setLive(bool live, const QString &reason = QString());
    bool isLive() const { return m_live; }

    // Rows currently shown (tags, not groups).
    int tagRowCount() const { return m_leaves.size(); }
    int pendingUpdates() const { return m_dirty.size(); }
    bool isRebuildPending() const;

    // The tag behind a row; null for group rows and for tags already gone.
    Pointbook::Tag *tagAt(const QModelIndex &index) const;
    QModelIndex indexOfTag(Pointbook::Tag::RegisterType type, const QString &id,
                           int column = NameColumn) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

public slots:
    // End of a polling pass: rows of polled tags that the pass did not
    // refresh become stale, refreshed ones fresh; then everything pending
    // is flushed.
    void passEnded();
    // Emits the pending value changes now.
    void flush();
    // Re-reads the rows from the collection at once.
    void rebuild();
    // Forgets every value shown (another device or map): rows show no value
    // until a request of the new device refreshes them.
    void clearValues();
    // The request that refreshes the tags whose changes follow.
    void requestAnswered(int registerType, int start, int count);
    // The tags a reply gave values to (the engine's valuesDelivered()).
    void valuesDelivered(int registerType, int start, int count, const QVector<Pointbook::Tag *> &tags);
    // The rows of the tags a failed request covers become stale with the
    // reason.
    void requestFailed(int registerType, int start, int count, const QString &reason);

private:
    struct Leaf
    {
        QPointer<Pointbook::Tag> tag;
        QString id;
        Pointbook::Tag::RegisterType type = Pointbook::Tag::UnknownRegister;
        int kindNode = 0;
        int row = 0;
        QMetaObject::Connection connection;
        quint64 refreshedPass = 0;
        qint64 refreshedAt = 0; // ms since the epoch; 0 before the first refresh
        int requestStart = -1;  // the request that refreshed it, -1 unknown
        int requestCount = 0;
        QString reason;
        bool hasValue = false;
        bool stale = false;
        TagRights::Access access;
    };
    struct KindNode
    {
        int table = 0;
        Pointbook::Tag::TypeTag kind = Pointbook::Tag::UnknownTag;
        QVector<int> leaves;
    };
    struct TableNode
    {
        Pointbook::Tag::RegisterType type = Pointbook::Tag::UnknownRegister;
        QVector<int> kinds;
    };

    void scheduleRebuild();
    void markChanged(int leaf);
    // The leaf's tag was given a value at `now` by the read of `count`
    // registers from `start` (start -1: not by a known request).
    void refresh(int leaf, qint64 now, int registerType, int start, int count);
    // What of a row needs repainting; a row is flushed once, as the most.
    enum Dirt : quint8 { Clean = 0, ValueCells, WholeRow };
    void markDirty(int leaf, Dirt dirt = WholeRow);
    void setStale(int leaf, const QString &reason);
    void checkAge();
    QString stateText(const Leaf &leaf, bool polled) const;
    QString toolTip(const Leaf &leaf, const Pointbook::Tag *tag, int column) const;
    void disconnectLeaves();
    const Leaf *leafOf(const QModelIndex &index) const;
    QVariant leafData(const Leaf &leaf, int column, int role) const;
    QVariant groupData(const QModelIndex &index, int role) const;

    QPointer<Pointbook::BaseTag> m_base;
    QPointer<Pointbook::TagBase> m_engine;
    QMetaObject::Connection m_engineConnection;
    // Leaf of each tag shown, while the engine's notices are followed.
    QHash<const Pointbook::Tag *, int> m_leafOfTag;
    // The tags of each request's last notice and their leaves (-1: not
    // shown), by register type, start and count.
    struct Delivery
    {
        QVector<Pointbook::Tag *> tags;
        QVector<int> leaves;
    };
    QHash<quint64, Delivery> m_deliveries;
    QMetaObject::Connection m_baseConnection;
    QMetaObject::Connection m_baseDestroyed;
    TagRights m_rights;
    QVector<TableNode> m_tables;
    QVector<KindNode> m_kinds;
    QVector<Leaf> m_leaves;
    // Rows changed since the last flush, each once.
    QVector<int> m_dirty;
    QVector<quint8> m_isDirty; // a Dirt per leaf
    QTimer *m_flushTimer = nullptr;
    QTimer *m_rebuildTimer = nullptr;
    QTimer *m_ageTimer = nullptr;
    quint64 m_pass = 1;

    struct Write
    {
        int requestId = 0;
        WriteState state = NoWrite;
        QString text;
    };
    void onWriteFinished(const Pointbook::TagWriter::Outcome &outcome);
    void setWriteState(Pointbook::Tag::RegisterType type, const QString &id, const Write &write);
    // The value an editor starts from: a number, on/off, or an array's text.
    static QVariant editValue(const Pointbook::Tag *tag);
    static QString writeKey(Pointbook::Tag::RegisterType type, const QString &id);
    QPointer<Pointbook::TagWriter> m_writer;
    std::function<int(Pointbook::Tag *, const QVariant &)> m_writeHandler;
    QHash<QString, Write> m_writes;
    int m_maxAgeMs = 0;
    bool m_live = true;
    QString m_liveReason;
    // The request whose answer is being handed to the tags.
    int m_answerType = 0;
    int m_answerStart = -1;
    int m_answerCount = 0;
};

} // namespace Workspace
