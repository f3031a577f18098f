#include "recorder.h"

#include <sqlstore/databaseconnection.h>
#include <sqlstore/dbboundbatchdatatable.h>
#include <sqlstore/outbox.h>
#include <workspace/tagformatter.h>

#include <QDateTime>
#include <QTimer>
#include <QtDebug>

#include <cmath>

using Pointbook::Tag;
using Sqlstore::Internal::DataBaseConnection;
using Sqlstore::Internal::DBBoundBatchDataTable;
using Sqlstore::Internal::IDataBaseTransaction;
using Sqlstore::Internal::Outbox;

namespace Trend {

namespace {

using Rows = QVector<QVector<QVariant> >;
using Ended = void (IDataBaseTransaction::*)(bool);
using EndedWithRows = void (IDataBaseTransaction::*)(bool, QVector<QVector<QVariant> >);
const Ended ended = &IDataBaseTransaction::transactionExecutionEnded;
const EndedWithRows endedWithRows = &IDataBaseTransaction::transactionExecutionEnded;

// One value per tag and time stamp: a row for a (tag, time) that is stored
// already (the clock was set back) is left out rather than failing the pass.
const char HistoryInsert[] = "INSERT OR IGNORE INTO history (time_ms, tag, value)  VALUES (?, ?, ?)";
// Used only for the last rows at program end, whose tags' ids have not come
// back yet: the id is looked up by the database itself.
const char HistoryInsertByKey[] =
    "INSERT OR IGNORE INTO history (time_ms, tag, value) SELECT ?, id, ? FROM history_tag "
    "WHERE device_version = ? AND register_type = ? AND tag_id = ?";
// The index that keeps one value per tag and time stamp; it replaces the
// plain index of earlier versions, which serves the same lookups.
const char UniqueIndex[] = "CREATE UNIQUE INDEX IF NOT EXISTS history_tag_time_unique ON history (tag, time_ms)";
const char PlainIndexDrop[] = "DROP INDEX IF EXISTS history_tag_time";
// A database recorded by an earlier version may hold a tag's value twice at
// one time stamp; the later row (the later pass) is kept.
const char DuplicatesDelete[] =
    "DELETE FROM history WHERE EXISTS (SELECT 1 FROM history later WHERE later.tag = history.tag "
    "AND later.time_ms = history.time_ms AND later.rowid > history.rowid)";
const char TagUpsert[] =
    "INSERT INTO history_tag (device_version, register_type, tag_id, name, unit)  VALUES (?, ?, ?, ?, ?) "
    "ON CONFLICT(device_version, register_type, tag_id) DO UPDATE SET name = excluded.name, unit = excluded.unit";
// Oldest rows first: rowids grow with time.
const char PruneByAge[] =
    "DELETE FROM history WHERE rowid IN (SELECT rowid FROM history WHERE time_ms < ? LIMIT ?)";
const char PruneOldest[] =
    "DELETE FROM history WHERE rowid IN (SELECT rowid FROM history ORDER BY rowid LIMIT ?)";
const char MeasureSize[] =
    "SELECT (SELECT page_count FROM pragma_page_count()) - (SELECT freelist_count FROM pragma_freelist_count()), "
    "(SELECT page_size FROM pragma_page_size()), (SELECT count(*) FROM history)";
constexpr int MaxPruneRounds = 8;

// The database's own reason ("database or disk is full"), without the
// driver's words around it.
QString batchError(IDataBaseTransaction *transaction)
{
    auto *batch = qobject_cast<DBBoundBatchDataTable *>(transaction);
    const QSqlError error = batch ? batch->error() : transaction ? transaction->endError() : QSqlError();
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.text().trimmed();
    return text.isEmpty() ? Recorder::tr("the database is not available or did not commit")
                          : text;
}

} // namespace

QStringList Recorder::serverSchema()
{
    return {Outbox::quietSession(),
            QStringLiteral("CREATE TABLE IF NOT EXISTS history_tag (%1, station TEXT NOT NULL, "
                           "device_version TEXT NOT NULL, register_type TEXT NOT NULL, tag_id TEXT NOT NULL, "
                           "name TEXT, unit TEXT, UNIQUE (station, device_version, register_type, tag_id))")
                .arg(Outbox::autoIdColumn(Outbox::Dialect::PostgreSQL)),
            QStringLiteral("CREATE TABLE IF NOT EXISTS history (time_ms BIGINT NOT NULL, "
                           "tag BIGINT NOT NULL REFERENCES history_tag (id), value DOUBLE PRECISION, "
                           "station TEXT NOT NULL, origin TEXT NOT NULL, local_id BIGINT NOT NULL, "
                           "UNIQUE (station, origin, local_id))"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS history_tag_time ON history (tag, time_ms)")};
}

void Recorder::registerServerMirror()
{
    Outbox::Mirror mirror;
    mirror.kind = QStringLiteral("history");
    mirror.serverSchema = serverSchema();
    // The tag is registered under the station's name (rewritten only when
    // its name or unit changed), then the value refers to it.
    mirror.statements.append(
        {QStringLiteral("INSERT INTO history_tag (station, device_version, register_type, tag_id, name, unit) "
                        "VALUES (?, COALESCE(?, ''), COALESCE(?, ''), COALESCE(?, ''), ?, ?) "
                        "ON CONFLICT (station, device_version, register_type, tag_id) DO UPDATE SET "
                        "name = excluded.name, unit = excluded.unit WHERE history_tag.name IS DISTINCT FROM "
                        "excluded.name OR history_tag.unit IS DISTINCT FROM excluded.unit"),
         {QStringLiteral(":station"), QStringLiteral("device_version"), QStringLiteral("register_type"),
          QStringLiteral("tag_id"), QStringLiteral("name"), QStringLiteral("unit")}});
    mirror.statements.append(
        {QStringLiteral("INSERT INTO history (station, origin, local_id, time_ms, tag, value) "
                        "SELECT CAST(? AS TEXT), CAST(? AS TEXT), CAST(? AS BIGINT), CAST(? AS BIGINT), id, "
                        "CAST(? AS DOUBLE PRECISION) FROM history_tag WHERE station = CAST(? AS TEXT) "
                        "AND device_version = COALESCE(CAST(? AS TEXT), '') "
                        "AND register_type = COALESCE(CAST(? AS TEXT), '') "
                        "AND tag_id = COALESCE(CAST(? AS TEXT), '') "
                        "ON CONFLICT (station, origin, local_id) DO NOTHING"),
         {QStringLiteral(":station"), QStringLiteral(":origin"), QStringLiteral(":local_id"),
          QStringLiteral("time_ms"), QStringLiteral("value"), QStringLiteral(":station"),
          QStringLiteral("device_version"), QStringLiteral("register_type"), QStringLiteral("tag_id")}});
    Outbox::registerMirror(mirror);
}

Recorder::Recorder(QObject *parent)
    : QObject(parent)
    , m_pruneTimer(new QTimer(this))
{
    registerServerMirror();
    qRegisterMetaType<Trend::Recorder::State>("Trend::Recorder::State");
    m_pruneTimer->setInterval(PruneIntervalMs);
    connect(m_pruneTimer, &QTimer::timeout, this, &Recorder::prune);
}

Recorder::~Recorder()
{
    disconnectSlots();
}

QString Recorder::tagKey(Tag::RegisterType type, const QString &id)
{
    return Tag::registerTypeToString(type) + QLatin1Char(':') + id;
}

void Recorder::setConnection(DataBaseConnection *connection)
{
    m_connection = connection;
}

int Recorder::keyFor(const Tag *tag)
{
    const QString full = m_version + QLatin1Char('\n') + tagKey(tag->registerType(), tag->Id());
    auto it = m_keyIndex.constFind(full);
    if (it != m_keyIndex.constEnd()) {
        Key &key = m_keys[it.value()];
        if (key.name != tag->name() || key.unit != tag->unit()) {
            key.name = tag->name();
            key.unit = tag->unit();
            key.dbId = -1; // registered again with the new name
        }
        return it.value();
    }
    Key key;
    key.version = m_version;
    key.type = tag->registerType();
    key.id = tag->Id();
    key.name = tag->name();
    key.unit = tag->unit();
    m_keys.append(key);
    m_keyIndex.insert(full, m_keys.size() - 1);
    return m_keys.size() - 1;
}

void Recorder::setTags(const QString &version, const QList<Tag *> &tags)
{
    disconnectSlots();
    m_version = version;
    m_slots.clear();
    m_slots.reserve(tags.size());
    for (Tag *tag : tags) {
        // Arrays are not recorded: one value column per row.
        if (!tag || tag->count() > 1)
            continue;
        Slot slot;
        slot.tag = tag;
        slot.key = keyFor(tag);
        m_slots.append(slot);
    }
    if (m_state != Off) {
        connectSlots();
        registerTags();
    }
}

void Recorder::setDeadband(Tag::RegisterType type, const QString &id, double deadband)
{
    const QString key = tagKey(type, id);
    if (deadband > 0.0 && std::isfinite(deadband))
        m_deadbands.insert(key, deadband);
    else
        m_deadbands.remove(key);
}

double Recorder::deadband(Tag::RegisterType type, const QString &id) const
{
    return m_deadbands.value(tagKey(type, id), 0.0);
}

void Recorder::setRetention(int maxDays, qint64 maxBytes)
{
    m_maxDays = qMax(0, maxDays);
    m_maxBytes = qMax<qint64>(0, maxBytes);
}

void Recorder::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void Recorder::fail(const QString &reason)
{
    m_lastError = reason;
    qWarning().noquote() << "Recording stopped:" << reason;
    disconnectSlots();
    setState(Off);
    m_pruneTimer->stop();
    emit failed(reason);
    // The rows that could not be stored are reported with the reason; they
    // are not kept for a database that refuses them.
    m_pending.clear();
}

bool Recorder::queue(IDataBaseTransaction *transaction)
{
    if (!transaction || !m_connection)
        return false;
    m_connection->addTransactionExec(transaction);
    return true;
}

void Recorder::connectSlots()
{
    for (int i = 0; i < m_slots.size(); ++i) {
        Slot &slot = m_slots[i];
        if (!slot.tag || slot.connection)
            continue;
        slot.refreshed = false;
        slot.hasLast = false;
        slot.connection = connect(slot.tag.data(), &Tag::changedValue, this,
                                  [this, i] { m_slots[i].refreshed = true; });
    }
}

void Recorder::disconnectSlots()
{
    for (Slot &slot : m_slots) {
        if (slot.connection) {
            disconnect(slot.connection);
            slot.connection = QMetaObject::Connection();
        }
    }
}

bool Recorder::start()
{
    if (m_state != Off)
        return true;
    if (!m_connection) {
        m_lastError = tr("The database is not available.");
        emit failed(m_lastError);
        return false;
    }
    m_lastError.clear();
    m_rowsStored = 0;
    // A database file replaced since the last run must get its tags again.
    for (Key &key : m_keys)
        key.dbId = -1;
    setState(Preparing);
    connectSlots();
    registerTags();
    return true;
}

void Recorder::registerTags()
{
    DataBaseConnection *db = m_connection;
    if (!db) {
        fail(tr("The database is not available."));
        return;
    }
    const quint64 generation = ++m_generation;
    QList<IDataBaseTransaction *> steps;
    steps << db->createTable(QStringLiteral("history_tag"),
                             {QStringLiteral("id INTEGER PRIMARY KEY"), QStringLiteral("device_version TEXT"),
                              QStringLiteral("register_type TEXT"), QStringLiteral("tag_id TEXT"),
                              QStringLiteral("name TEXT"), QStringLiteral("unit TEXT"),
                              QStringLiteral("UNIQUE(device_version, register_type, tag_id)")})
          << db->createTable(QStringLiteral("history"),
                             {QStringLiteral("time_ms INTEGER NOT NULL"),
                              QStringLiteral("tag INTEGER NOT NULL REFERENCES history_tag(id)"),
                              QStringLiteral("value REAL")});
    IDataBaseTransaction *index = db->customCommandNotReturnData(QLatin1String(UniqueIndex));
    if (index)
        index->appendSqlQuery(QLatin1String(PlainIndexDrop));
    steps << index;
    // While a server is configured, each stored value is also copied into
    // the outbox, in the transaction that stores it.
    if (IDataBaseTransaction *outbox = db->outboxSetup(Outbox::localSetup(
            QStringLiteral("history"), QStringLiteral("history"),
            QStringLiteral("json_object('time_ms', NEW.time_ms, 'value', NEW.value, "
                           "'device_version', history_tag.device_version, 'register_type', history_tag.register_type, "
                           "'tag_id', history_tag.tag_id, 'name', history_tag.name, 'unit', history_tag.unit) "
                           "FROM outbox_control, history_tag WHERE outbox_control.id = 1 AND history_tag.id = NEW.tag")))) {
        steps << outbox;
    } else {
        steps << nullptr;
    }
    Rows tags;
    for (const Key &key : qAsConst(m_keys)) {
        if (key.dbId < 0)
            tags.append({key.version, Tag::registerTypeToString(key.type), key.id, key.name, key.unit});
    }
    steps << db->boundBatchDataTable(QLatin1String(TagUpsert), tags);
    if (steps.contains(nullptr)) {
        qDeleteAll(steps);
        fail(tr("The database is not available."));
        return;
    }
    for (IDataBaseTransaction *step : qAsConst(steps)) {
        connect(step, ended, this, [this, step, index, generation](bool ok) {
            const QString error = ok ? QString() : batchError(step);
            step->setStatus(IDataBaseTransaction::Completed);
            if (ok || generation != m_generation || m_state == Off)
                return;
            // Answered before the tags' ids, so the rows that wait for them
            // are queued after the repair.
            if (step == index && removeDuplicates(generation))
                return;
            fail(tr("The recording tables could not be prepared: %1").arg(error));
        });
        queue(step);
    }
    IDataBaseTransaction *ids = db->customCommandReturnData(
        QStringLiteral("SELECT id, device_version, register_type, tag_id FROM history_tag"));
    connect(ids, endedWithRows, this, [this, ids, generation](bool ok, const Rows &rows) {
        ids->setStatus(IDataBaseTransaction::Completed);
        if (generation != m_generation || !ok)
            return; // a failed step has said why already
        QHash<QString, qint64> found;
        for (const QVector<QVariant> &row : rows) {
            if (row.size() == 4)
                found.insert(row.at(1).toString() + QLatin1Char('\n') + row.at(2).toString()
                                 + QLatin1Char(':') + row.at(3).toString(),
                             row.at(0).toLongLong());
        }
        for (auto it = m_keyIndex.constBegin(); it != m_keyIndex.constEnd(); ++it)
            m_keys[it.value()].dbId = found.value(it.key(), -1);
        m_tablesReady = true;
        if (m_state == Off) {
            // Stopped before the tags were known: store what was gathered.
            flush();
            return;
        }
        for (const Slot &slot : qAsConst(m_slots)) {
            if (m_keys.at(slot.key).dbId < 0) {
                fail(tr("The tag \"%1\" could not be registered for recording.")
                         .arg(m_keys.at(slot.key).name));
                return;
            }
        }
        m_tablesReady = true;
        setState(Recording);
        if (!m_pruneTimer->isActive()) {
            m_pruneTimer->start();
            prune();
        }
        flush();
    });
    queue(ids);
}

bool Recorder::removeDuplicates(quint64 generation)
{
    DataBaseConnection *db = m_connection;
    IDataBaseTransaction *repair = db ? db->customCommandNotReturnData(QLatin1String(DuplicatesDelete)) : nullptr;
    if (!repair)
        return false;
    repair->appendSqlQuery(QLatin1String(UniqueIndex));
    repair->appendSqlQuery(QLatin1String(PlainIndexDrop));
    connect(repair, ended, this, [this, repair, generation](bool ok) {
        const QString error = ok ? QString() : batchError(repair);
        repair->setStatus(IDataBaseTransaction::Completed);
        if (!ok && generation == m_generation && m_state != Off)
            fail(tr("The recording tables could not be prepared: %1").arg(error));
    });
    return queue(repair);
}

void Recorder::stop(bool final)
{
    disconnectSlots();
    setState(Off);
    m_pruneTimer->stop();
    flush(final);
}

void Recorder::passEnded()
{
    if (m_state == Off)
        return;
    // One value per tag and time stamp: a pass that ends within the
    // millisecond of the one before (a quick pass right after a slow one) is
    // stamped a millisecond after it. A clock set back by a step is followed,
    // and the series starts anew.
    const qint64 clock = QDateTime::currentMSecsSinceEpoch();
    qint64 now = clock;
    if (clock < m_lastClockMs - MaxClockStepBackMs) {
        for (Slot &slot : m_slots)
            slot.hasLast = false;
    } else if (now <= m_lastStampMs) {
        now = m_lastStampMs + 1;
    }
    m_lastClockMs = clock;
    m_lastStampMs = now;
    for (Slot &slot : m_slots) {
        if (!slot.refreshed) {
            // A pass that did not refresh the tag breaks the series: the
            // first value after it is stored even when unchanged.
            slot.hasLast = false;
            continue;
        }
        slot.refreshed = false;
        double value = 0;
        if (!Workspace::TagFormatter::scalarValue(slot.tag, &value))
            continue;
        if (m_changesOnly && slot.hasLast) {
            const Key &key = m_keys.at(slot.key);
            const double band = m_deadbands.value(tagKey(key.type, key.id), 0.0);
            if (std::fabs(value - slot.last) <= band)
                continue;
        }
        slot.last = value;
        slot.hasLast = true;
        m_pending.append(Row{now, slot.key, value});
    }
    if (m_pending.size() > MaxPendingRows) {
        fail(tr("The database cannot keep up with the recording; %1 values are waiting.")
                 .arg(m_pending.size()));
        return;
    }
    flush();
}

void Recorder::flush(bool final)
{
    if (!m_connection || m_pending.isEmpty() || (m_inFlight > 0 && !final))
        return;
    // The values of registered tags go in one block, three to a row: a list
    // per row cost more than the database's own work on a large pass. The
    // block is kept from pass to pass once the batch before has let go of
    // it: allocated anew, its pages were faulted in again every pass.
    if (!m_block.isDetached())
        m_block = QVector<QVariant>();
    m_block.clear();
    m_block.reserve(m_pending.size() * 3);
    QVector<QVariant> &values = m_block;
    Rows byKey;
    QVector<Row> waiting;
    for (const Row &row : qAsConst(m_pending)) {
        const Key &key = m_keys.at(row.key);
        if (key.dbId >= 0) {
            values.append(row.timeMs);
            values.append(key.dbId);
            values.append(row.value);
        } else if (final) {
            byKey.append({row.timeMs, row.value, key.version, Tag::registerTypeToString(key.type), key.id});
        } else {
            waiting.append(row);
        }
    }
    if (waiting.isEmpty())
        m_pending.clear(); // keeps its room for the next pass
    else
        m_pending = waiting;
    const int rows = values.size() / 3;
    if (rows > 0 && !submit(m_connection->boundBatchDataTable(QLatin1String(HistoryInsert), 3, values), rows))
        return;
    if (!byKey.isEmpty())
        submit(m_connection->boundBatchDataTable(QLatin1String(HistoryInsertByKey), byKey), byKey.size());
}

bool Recorder::submit(IDataBaseTransaction *transaction, int rows)
{
    if (!transaction) {
        fail(tr("The database is not available."));
        return false;
    }
    connect(transaction, ended, this, [this, transaction, rows](bool ok) {
        onBatchEnded(transaction, ok, rows);
    });
    ++m_inFlight;
    queue(transaction);
    return true;
}

void Recorder::onBatchEnded(IDataBaseTransaction *transaction, bool ok, int rows)
{
    const QString error = ok ? QString() : batchError(transaction);
    transaction->setStatus(IDataBaseTransaction::Completed);
    --m_inFlight;
    if (!ok) {
        fail(tr("%n recorded values could not be stored: %1", nullptr, rows).arg(error));
        return;
    }
    // Rows left out as duplicates are not counted as stored.
    auto *batch = qobject_cast<DBBoundBatchDataTable *>(transaction);
    const int stored = batch ? int(qBound<qint64>(0, batch->rowsAffected(), rows)) : rows;
    m_rowsStored += quint64(stored);
    emit rowsCommitted(stored);
    flush();
}

void Recorder::prune()
{
    if (!m_connection || !m_tablesReady || m_pruneStep != PruneIdle)
        return;
    m_pruneDeleted = 0;
    m_pruneRounds = 0;
    m_pruneStep = m_maxDays > 0 ? PruneAge : PruneMeasure;
    pruneNext();
}

void Recorder::pruneNext()
{
    DataBaseConnection *db = m_connection;
    if (!db) {
        endPrune();
        return;
    }
    if (m_pruneStep == PruneMeasure) {
        if (m_maxBytes <= 0 || ++m_pruneRounds > MaxPruneRounds) {
            endPrune();
            return;
        }
        IDataBaseTransaction *measure = db->customCommandReturnData(QLatin1String(MeasureSize));
        if (!measure) {
            endPrune();
            return;
        }
        connect(measure, endedWithRows, this, [this, measure](bool ok, const Rows &rows) {
            measure->setStatus(IDataBaseTransaction::Completed);
            if (!ok || rows.isEmpty() || rows.first().size() != 3) {
                endPrune();
                return;
            }
            const qint64 used = rows.first().at(0).toLongLong() * rows.first().at(1).toLongLong();
            const qint64 count = rows.first().at(2).toLongLong();
            if (used <= m_maxBytes || count <= 0 || used <= 0) {
                endPrune();
                return;
            }
            // The share of rows above the limit, and a little more, so that
            // the next pass does not prune again at once.
            const double share = double(used - m_maxBytes) / double(used);
            m_pruneSizeLeft = qBound<qint64>(1, qint64(std::ceil(count * share)) + count / 20, count);
            m_pruneStep = PruneSize;
            pruneNext();
        });
        queue(measure);
        return;
    }

    Rows arguments;
    const char *statement = nullptr;
    if (m_pruneStep == PruneAge) {
        const qint64 cutoff = QDateTime::currentMSecsSinceEpoch() - qint64(m_maxDays) * 86400000;
        arguments.append({cutoff, PruneSlice});
        statement = PruneByAge;
    } else {
        arguments.append(QVector<QVariant>{qMin<qint64>(PruneSlice, m_pruneSizeLeft)});
        statement = PruneOldest;
    }
    IDataBaseTransaction *slice = db->boundBatchDataTable(QLatin1String(statement), arguments);
    if (!slice) {
        endPrune();
        return;
    }
    connect(slice, ended, this, [this, slice](bool ok) {
        auto *batch = qobject_cast<DBBoundBatchDataTable *>(slice);
        const qint64 deleted = batch ? batch->rowsAffected() : 0;
        if (!ok)
            qWarning().noquote() << "Pruning the recording failed:" << batchError(slice);
        slice->setStatus(IDataBaseTransaction::Completed);
        if (!ok) {
            endPrune();
            return;
        }
        m_pruneDeleted += deleted;
        if (m_pruneStep == PruneAge) {
            if (deleted < PruneSlice)
                m_pruneStep = PruneMeasure;
        } else {
            m_pruneSizeLeft -= deleted;
            if (m_pruneSizeLeft <= 0 || deleted == 0)
                m_pruneStep = PruneMeasure; // measure again: index pages free up later
        }
        pruneNext();
    });
    queue(slice);
}

void Recorder::endPrune()
{
    m_pruneStep = PruneIdle;
    emit pruneFinished(m_pruneDeleted);
}

} // namespace Trend
