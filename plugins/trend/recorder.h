#pragma once

#include "trend_global.h"

#include <pointbook/tag.h>

#include <QHash>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QVector>

QT_BEGIN_NAMESPACE
class QTimer;
QT_END_NAMESPACE

namespace Sqlstore {
namespace Internal {
class DataBaseConnection;
class IDataBaseTransaction;
} // namespace Internal
} // namespace Sqlstore

namespace Trend {

// Stores the polled values of a set of tags in the program's database, one
// database transaction per polling pass:
//   history_tag(id, device_version, register_type, tag_id, name, unit)
//   history(time_ms, tag, value), one value per (tag, time_ms)
// A value is stored when its tag was refreshed by the pass (a failed or
// stale read is not); values of arrays are left out. Rows are never dropped
// quietly: when the database refuses a pass, recording stops and failed()
// says why. While one pass is being written the next ones gather, so a slow
// disk delays rows but loses none. Retention (age and size) is enforced in
// small slices on the database worker, between the passes.
class TREND_EXPORT Recorder : public QObject
{
    Q_OBJECT

public:
    enum State { Off = 0, Preparing, Recording };
    Q_ENUM(State)

    static constexpr int DefaultMaxDays = 30;
    static constexpr qint64 DefaultMaxBytes = 1024LL * 1024 * 1024;
    // Rows deleted per retention transaction, so recording waits briefly.
    static constexpr int PruneSlice = 20000;
    // Rows that may wait for the database before recording gives up.
    static constexpr int MaxPendingRows = 4000000;
    static constexpr int PruneIntervalMs = 10 * 60 * 1000;
    // A clock set back by more than this is a step of the clock, not jitter.
    static constexpr qint64 MaxClockStepBackMs = 1000;

    explicit Recorder(QObject *parent = nullptr);
    ~Recorder() override;

    void setConnection(Sqlstore::Internal::DataBaseConnection *connection);
    // The tags to record (the visible ones) and the device version they
    // belong to. While recording, the new set is registered before its
    // first pass is stored.
    void setTags(const QString &version, const QList<Pointbook::Tag *> &tags);
    QString version() const { return m_version; }
    int tagCount() const { return m_slots.size(); }

    // Changes only: a value is stored when it differs from the last stored
    // one of its tag by more than the tag's deadband (0: any change).
    void setChangesOnly(bool on) { m_changesOnly = on; }
    bool changesOnly() const { return m_changesOnly; }
    void setDeadband(Pointbook::Tag::RegisterType type, const QString &id, double deadband);
    double deadband(Pointbook::Tag::RegisterType type, const QString &id) const;

    void setRetention(int maxDays, qint64 maxBytes);
    int maxDays() const { return m_maxDays; }
    qint64 maxBytes() const { return m_maxBytes; }

    State state() const { return m_state; }
    bool isRecording() const { return m_state != Off; }
    QString lastError() const { return m_lastError; }
    // Rows the database has committed since recording started.
    quint64 rowsStored() const { return m_rowsStored; }
    int pendingRows() const { return m_pending.size(); }
    bool isPruning() const { return m_pruneStep != PruneIdle; }

    static QString tagKey(Pointbook::Tag::RegisterType type, const QString &id);

    // The tables on a team's server, where every row also names its station;
    // and how the outbox sender stores a recorded value there. Registered by
    // the first recorder.
    static QStringList serverSchema();
    static void registerServerMirror();

public slots:
    // False (with failed()) when there is no database.
    bool start();
    // Stops gathering; what was gathered is still stored. Final: hand
    // everything to the database at once (program end).
    void stop(bool final = false);
    // End of a polling pass: gathers the refreshed values.
    void passEnded();
    // Deletes what is older than the age limit, then the oldest rows while
    // the database is larger than the size limit.
    void prune();

signals:
    void stateChanged(Trend::Recorder::State state);
    void failed(const QString &reason);
    void rowsCommitted(int rows);
    void pruneFinished(qint64 rowsDeleted);

private:
    // One tag as the database knows it; kept for the whole run, so rows
    // gathered for a tag set that has since been replaced still find theirs.
    struct Key
    {
        QString version;
        Pointbook::Tag::RegisterType type = Pointbook::Tag::UnknownRegister;
        QString id;
        QString name;
        QString unit;
        qint64 dbId = -1;
    };
    struct Slot
    {
        QPointer<Pointbook::Tag> tag;
        int key = -1;
        QMetaObject::Connection connection;
        double last = 0.0;
        bool hasLast = false;
        bool refreshed = false;
    };
    struct Row
    {
        qint64 timeMs;
        int key;
        double value;
    };
    enum PruneStep { PruneIdle = 0, PruneAge, PruneMeasure, PruneSize };

    void setState(State state);
    void fail(const QString &reason);
    void connectSlots();
    void disconnectSlots();
    void registerTags();
    // Sends the gathered rows whose tags are registered; all of them, also
    // while a batch is under way, when final.
    void flush(bool final = false);
    void onBatchEnded(Sqlstore::Internal::IDataBaseTransaction *transaction, bool ok, int rows);
    // A database recorded by an earlier version holds duplicates the
    // unique index cannot be built over: removes them and builds it.
    bool removeDuplicates(quint64 generation);
    // Queues one batch of `rows` rows; false (and recording off) without a database.
    bool submit(Sqlstore::Internal::IDataBaseTransaction *transaction, int rows);
    int keyFor(const Pointbook::Tag *tag);
    void pruneNext();
    void endPrune();
    bool queue(Sqlstore::Internal::IDataBaseTransaction *transaction);

    QPointer<Sqlstore::Internal::DataBaseConnection> m_connection;
    QString m_version;
    QVector<Key> m_keys;
    QHash<QString, int> m_keyIndex;
    QVector<Slot> m_slots;
    QHash<QString, double> m_deadbands;
    QVector<Row> m_pending;
    QVector<QVariant> m_block; // the values of the batch being built
    State m_state = Off;
    int m_inFlight = 0;
    bool m_changesOnly = false;
    // Registration of the tag set under way; answers of an older one are
    // ignored.
    quint64 m_generation = 0;
    QString m_lastError;
    quint64 m_rowsStored = 0;
    qint64 m_lastStampMs = 0; // time stamp of the last pass gathered
    qint64 m_lastClockMs = 0; // the clock's reading then
    int m_maxDays = DefaultMaxDays;
    qint64 m_maxBytes = DefaultMaxBytes;
    PruneStep m_pruneStep = PruneIdle;
    qint64 m_pruneDeleted = 0;
    qint64 m_pruneSizeLeft = 0;
    int m_pruneRounds = 0;
    bool m_tablesReady = false;
    QTimer *m_pruneTimer = nullptr;
};

} // namespace Trend
