#include "tagbase.h"

#include "basetag.h"

#include <fieldlink/imodbustransaction.h>
#include <fieldlink/modbusconnection.h>
#include <fieldlink/qmodbussettings.h>

#include <QDateTime>
#include <QMap>
#include <QMetaMethod>
#include <QMutexLocker>
#include <QTimer>

#include <algorithm>

namespace Pointbook {

using Fieldlink::FieldlinkCore::IModbusTransaction;
using Fieldlink::FieldlinkCore::ModbusConnection;
using Fieldlink::FieldlinkCore::QModbusSettings;

namespace {

const int TypeCount = 4;
const int PollPriority = 3;
const int FinishedStatus = 5;
// Used for the watchdog's limit until settings are given.
const int FallbackStallMs = 2000;

Tag::RegisterType registerTypeOf(int type)
{
    return Tag::RegisterType(type + 1);
}

} // namespace

TagBase::TagBase(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<QDateTime>("QDateTime");
    qRegisterMetaType<QList<Tag *>>("QList<Tag*>");
    qRegisterMetaType<QVector<double>>("QVector<double>");
    qRegisterMetaType<QMap<QString, double>>("QMap<QString,double>");
    qRegisterMetaType<Pointbook::TagBase::TypeUpdate>("Pointbook::TagBase::TypeUpdate");
    qRegisterMetaType<QVector<quint16>>("QVector<quint16>");
    qRegisterMetaType<QVector<quint8>>("QVector<quint8>");
    m_watchdog = new QTimer(this);
    m_watchdog->setInterval(WatchdogIntervalMs);
    connect(m_watchdog, &QTimer::timeout, this, &TagBase::onDog);
    m_sinceProgress.start();
    m_passClock.start();
}

TagBase::~TagBase()
{
    if (m_watchdog)
        disconnect(m_watchdog, &QTimer::timeout, this, &TagBase::onDog);
    // Requests built but never sent would otherwise live as long as the
    // connection that made them.
    dropQueues();
    // Requests on the wire end later; they must not tell this engine.
    if (m_inFlight)
        m_inFlight->setCompletion(nullptr);
    for (const QPointer<IModbusTransaction> &transaction : qAsConst(m_abandoned)) {
        if (transaction)
            transaction->setCompletion(nullptr);
    }
}

void TagBase::setModbusConnection(ModbusConnection *connection)
{
    if (connection && connection != m_connection)
        m_connection = connection;
}

void TagBase::setModbusSettings(QModbusSettings *settings)
{
    if (settings && settings != m_settings)
        m_settings = settings;
}

ModbusConnection *TagBase::modbusConnection() const
{
    return m_connection;
}

void TagBase::setTagBase(BaseTag *base)
{
    m_base = base;
    for (int type = 0; type < TypeCount; ++type) {
        QList<Tag *> tags;
        if (base)
            tags = base->tagHash(registerTypeOf(type)).values();
        std::sort(tags.begin(), tags.end(), &Tag::lessThan);
        m_sorted[type].clear();
        m_starts[type].clear();
        m_starts[type].reserve(tags.size());
        m_spans[type].clear();
        m_spans[type].reserve(tags.size());
        m_longestSpan[type] = 0;
        for (Tag *tag : qAsConst(tags)) {
            m_sorted[type].append(tag);
            m_starts[type].append(tag->startAddress());
            m_spans[type].append(tag->pollRegisters());
            m_longestSpan[type] = std::max<int>(m_longestSpan[type], m_spans[type].last());
        }
        if (!std::is_sorted(m_starts[type].cbegin(), m_starts[type].cend()))
            m_longestSpan[type] = -1;
    }
}

QPair<int, int> TagBase::candidates(int type, int from, int to) const
{
    const QVector<int> &starts = m_starts[type];
    if (m_longestSpan[type] < 0)
        return qMakePair(0, starts.size());
    const auto low = std::lower_bound(starts.cbegin(), starts.cend(), from);
    const auto high = std::lower_bound(low, starts.cend(), to);
    return qMakePair(int(low - starts.cbegin()), int(high - starts.cbegin()));
}

BaseTag *TagBase::tagBase() const
{
    return m_base;
}

QList<Tag *> TagBase::sortedTags(Tag::RegisterType type) const
{
    QList<Tag *> tags;
    if (type < Tag::IR || type > Tag::CO)
        return tags;
    for (const QPointer<Tag> &tag : m_sorted[type - 1])
        tags.append(tag.data());
    return tags;
}

void TagBase::setInterval(int type, const QVector<QPoint> &interval)
{
    if (m_intervals[type] != interval)
        m_intervals[type] = interval;
}

void TagBase::setIrInterval(const QVector<QPoint> &interval) { setInterval(0, interval); }
void TagBase::setHrInterval(const QVector<QPoint> &interval) { setInterval(1, interval); }
void TagBase::setDiInterval(const QVector<QPoint> &interval) { setInterval(2, interval); }
void TagBase::setCoInterval(const QVector<QPoint> &interval) { setInterval(3, interval); }

void TagBase::analysisIntervals(QList<Tag *> tags, QVector<QPoint> *intervals, bool all)
{
    if (!intervals || tags.isEmpty())
        return;
    QPoint current(0, 0);
    const Tag *previous = nullptr;
    for (const Tag *tag : qAsConst(tags)) {
        if (!tag || (!all && !tag->isUpdate()))
            continue;
        // A lone 8-bit tag is read with the register it lies in.
        const int span = tag->pollRegisters();
        const int start = tag->startAddress();
        const int end = current.x() + current.y();
        if (previous && start <= end && tag->offset() == 0) {
            if (start + span > end)
                current.setY(start + span - current.x());
            previous = tag;
            continue;
        }
        if (previous)
            intervals->append(current);
        current = QPoint(start, span);
        previous = tag;
    }
    intervals->append(current);
}

void TagBase::updateTagInterval()
{
    // The driver ends every request it is holding; the pass under way (if
    // any) cannot go on with requests built from the old intervals.
    const bool running = m_typeUpdate != NoUpdate && m_state != Idle;
    const bool resting = m_typeUpdate != NoUpdate && m_state == Idle;
    abandonPass();
    rebuildIntervals();
    if (running && m_typeUpdate != NoUpdate)
        schedule();
    else if (resting)
        m_state = Idle; // between single passes: nothing would move a Read state on
}

void TagBase::abandonPass()
{
    ++m_generation;
    // A request still on the wire belongs to the pass just abandoned: its
    // answer must not drive the new pass as well (two requests in flight).
    m_abandoned.removeAll(nullptr);
    if (m_inFlight) {
        m_abandoned.append(m_inFlight);
        m_inFlight = nullptr;
    }
    for (int type = 0; type < TypeCount; ++type) {
        m_buffers[type].clear();
        m_carryStarts[type] = -1;
    }
}

void TagBase::rebuildIntervals()
{
    const TypeUpdate remembered = m_typeUpdate;
    m_typeUpdate = NoUpdate;
    // clearTransactions() frees every request not yet sent, so the queues
    // must not keep pointing at them.
    dropQueues();
    if (m_connection)
        m_connection->clearTransactions();
    for (int type = 0; type < TypeCount; ++type) {
        m_intervals[type].clear();
        if (!m_sorted[type].isEmpty())
            analysisIntervals(sortedTags(registerTypeOf(type)), &m_intervals[type], false);
    }
    m_state = ReadIR;
    for (int type = 0; type < TypeCount; ++type) {
        if (!m_intervals[type].isEmpty()) {
            m_state = ReadIR + type;
            break;
        }
    }
    m_typeUpdate = remembered;
}

void TagBase::setUpdateBase(TypeUpdate type, bool updateInterval)
{
    m_typeUpdate = type;
    abandonPass();
    dropQueues();
    if (type != NoUpdate && updateInterval)
        rebuildIntervals();
    m_state = StartCycle;
    noteProgress();
    if (type == NoUpdate)
        m_watchdog->stop();
    else if (!m_watchdog->isActive())
        m_watchdog->start();
    processUpdate();
}

int TagBase::stallLimitMs() const
{
    const int perRequest = m_settings
        ? m_settings->responseTimeout() * (m_settings->numberOfRetries() + 1)
        : FallbackStallMs;
    return perRequest + StallMarginMs;
}

TagBase::TypeUpdate TagBase::typeUpdate()
{
    return m_typeUpdate;
}

void TagBase::changeConnect(bool status)
{
    m_connected = status;
}

void TagBase::schedule(int delayMs)
{
    const quint64 generation = m_generation;
    QTimer::singleShot(delayMs, this, [this, generation]() {
        if (generation == m_generation)
            processUpdate();
    });
}

void TagBase::processUpdate()
{
    if (m_typeUpdate == NoUpdate) {
        m_state = Idle;
        return;
    }
    switch (m_state) {
    case Idle:
        return;
    case StartCycle:
        startCycle();
        return;
    case SelectType:
        selectType();
        return;
    case ReadIR:
    case ReadHR:
    case ReadDI:
    case ReadCO:
        readStep(m_state - ReadIR);
        return;
    default:
        return;
    }
}

IModbusTransaction *TagBase::createRead(int type, int start, int count)
{
    if (!m_connection)
        return nullptr;
    const auto priority = IModbusTransaction::Priority(PollPriority);
    switch (type) {
    case 0: return m_connection->readInputs(start, count, m_settings, priority);
    case 1: return m_connection->readHoldings(start, count, m_settings, priority);
    case 2: return m_connection->readDiscretes(start, count, m_settings, priority);
    case 3: return m_connection->readCoils(start, count, m_settings, priority);
    default: return nullptr;
    }
}

void TagBase::startCycle()
{
    dropQueues();
    // Words of a tag left over from a pass whose next reply never came
    // would otherwise be completed with words of another address.
    for (int type = 0; type < TypeCount; ++type) {
        m_buffers[type].clear();
        m_carryStarts[type] = -1;
    }
    m_sentThisPass = false;
    m_passClock.start();
    noteProgress();

    int total = 0;
    for (int type = 0; type < TypeCount; ++type) {
        for (const QPoint &interval : qAsConst(m_intervals[type])) {
            if (interval.y() <= 0)
                continue;
            for (int done = 0; done < interval.y(); done += MaxRequestLength) {
                const int count = std::min<int>(interval.y() - done, MaxRequestLength);
                IModbusTransaction *transaction = createRead(type, interval.x() + done, count);
                if (!transaction)
                    continue;
                // Told directly rather than through a connection made for
                // every request; the transaction is alive while it tells.
                if (type < 2) {
                    transaction->setCompletion(
                        [this, type, transaction](bool isOk, const QVector<quint16> &values,
                                                  const QVector<quint8> &) {
                            finishReply(type, isOk, &values, transaction);
                        });
                } else {
                    transaction->setCompletion(
                        [this, type, transaction](bool isOk, const QVector<quint16> &,
                                                  const QVector<quint8> &bits) {
                            if (isOk)
                                deliverBits(type, transaction, bits);
                            finishReply(type, isOk, nullptr, transaction);
                        });
                }
                m_ids[type].insert(transaction->transactionID());
                m_queues[type].append(transaction);
            }
        }
        total += m_queues[type].size();
    }

    const quint64 generation = m_generation;
    emit updateStepClear();
    emit updateStepCount(total);
    if (generation != m_generation)
        return;
    m_state = SelectType;
    schedule();
}

void TagBase::selectType()
{
    for (int type = 0; type < TypeCount; ++type) {
        const int queued = m_queues[type].size();
        if (queued != 0 && queued == m_ids[type].size()) {
            // On to the next table within this turn of the event loop: a
            // turn of its own would cost a posted event and a wake-up for
            // nothing, and the signals come in the same order.
            m_state = ReadIR + type;
            processUpdate();
            return;
        }
    }

    // The pass is over.
    const quint64 generation = m_generation;
    const TypeUpdate type = m_typeUpdate;
    emit updateAllBase();
    if (generation != m_generation)
        return;
    if (type == CyclicUpdate) {
        m_state = StartCycle;
        // A pass that sent nothing (no polled tag, every read refused)
        // would otherwise follow the previous one at once, for ever; one of
        // a local device would keep a core busy for a few tags.
        int pause = 0;
        if (!m_sentThisPass)
            pause = IdlePassPauseMs;
        else if (m_passClock.nsecsElapsed() < 1000000)
            pause = FastPassPauseMs;
        schedule(pause);
        return;
    }
    m_state = Idle;
    m_watchdog->stop();
    schedule();
}

void TagBase::emitTypeDone(int type)
{
    switch (type) {
    case 0: emit updateIR(); break;
    case 1: emit updateHR(); break;
    case 2: emit updateDI(); break;
    case 3: emit updateCO(); break;
    default: break;
    }
}

void TagBase::readStep(int type)
{
    const quint64 generation = m_generation;
    if (m_queues[type].isEmpty()) {
        emitTypeDone(type);
        if (generation != m_generation)
            return;
        m_state = SelectType;
        processUpdate();
        return;
    }
    emit updateStepIncrement();
    // A receiver may have restarted the pass or rebuilt the intervals.
    if (generation != m_generation || m_queues[type].isEmpty())
        return;
    QPointer<IModbusTransaction> transaction = m_queues[type].takeFirst();
    if (transaction && m_connection) {
        m_inFlight = transaction;
        m_sentThisPass = true;
        noteProgress();
        m_connection->addTransactionExec(transaction);
        return;
    }
    // A vanished request (or no driver to run it) is passed over.
    schedule();
}

void TagBase::dropQueues()
{
    QSet<IModbusTransaction *> unsent;
    for (auto &queue : m_queues) {
        for (const QPointer<IModbusTransaction> &transaction : qAsConst(queue)) {
            if (transaction)
                unsent.insert(transaction);
        }
        queue.clear();
    }
    for (QSet<int> &ids : m_ids)
        ids.clear();
    // Never handed to the driver, so nobody else frees them before the
    // connection goes; deleteLater() tolerates a driver that drops them too.
    for (IModbusTransaction *transaction : qAsConst(unsent)) {
        if (transaction->status() == IModbusTransaction::Created)
            transaction->deleteLater();
    }
}

// The slots serve a transaction connected to them from outside; the engine's
// own requests are connected with the transaction at hand.
void TagBase::onReadTransactionIR(bool isOk, QVector<quint16> values, int)
{
    finishReply(0, isOk, &values, qobject_cast<IModbusTransaction *>(sender()));
}

void TagBase::onReadTransactionHR(bool isOk, QVector<quint16> values, int)
{
    finishReply(1, isOk, &values, qobject_cast<IModbusTransaction *>(sender()));
}

void TagBase::onReadTransactionDI(bool isOk, QVector<quint8> bits, int)
{
    IModbusTransaction *transaction = qobject_cast<IModbusTransaction *>(sender());
    if (isOk)
        deliverBits(2, transaction, bits);
    finishReply(2, isOk, nullptr, transaction);
}

void TagBase::onReadTransactionCO(bool isOk, QVector<quint8> bits, int)
{
    IModbusTransaction *transaction = qobject_cast<IModbusTransaction *>(sender());
    if (isOk)
        deliverBits(3, transaction, bits);
    finishReply(3, isOk, nullptr, transaction);
}

void TagBase::finishReply(int type, bool isOk, const QVector<quint16> *registers,
                          IModbusTransaction *sent)
{
    QPointer<IModbusTransaction> transaction = sent;
    const quint64 generation = m_generation;

    if (transaction && m_abandoned.contains(transaction)) {
        // The answer to a request of a pass that was stopped or restarted:
        // its words are still good for its tags, but it must neither touch
        // the assembly of the current pass nor drive it.
        m_abandoned.removeAll(transaction);
        if (isOk && registers) {
            QVector<quint16> scratch;
            int noCarry = -1;
            cutReply(type, transaction, *registers, &scratch, &noCarry);
            announceDelivered(type, transaction);
        }
        if (transaction)
            transaction->setStatus(IModbusTransaction::Status(FinishedStatus));
        if (m_typeUpdate != NoUpdate || generation != m_generation)
            return;
        // Stopped: let the step that follows find NoUpdate and stay Idle.
        m_state = m_queues[type].isEmpty() ? int(SelectType) : ReadIR + type;
        schedule();
        return;
    }
    if (transaction && transaction == m_inFlight)
        m_inFlight = nullptr;
    noteProgress();

    if (transaction && !isOk) {
        emit requestFailed(type + 1, transaction->startAddress(), transaction->count(),
                           transaction->failureText());
    }
    if (registers) {
        if (isOk) {
            if (transaction)
                emit requestAnswered(type + 1, transaction->startAddress(), transaction->count());
            cutReply(type, transaction, *registers, &m_buffers[type], &m_carryStarts[type]);
            announceDelivered(type, transaction);
        } else {
            // The words of a tag begun in an earlier reply cannot be completed.
            m_buffers[type].clear();
            m_carryStarts[type] = -1;
        }
    }

    if (transaction)
        transaction->setStatus(IModbusTransaction::Status(FinishedStatus));
    if (generation != m_generation)
        return;
    if (m_queues[type].isEmpty()) {
        m_state = SelectType;
        emitTypeDone(type);
        // The next table (or the pass's end) follows in this turn too.
        if (generation == m_generation)
            processUpdate();
        return;
    }
    // The next request of the same table follows in this turn of the event
    // loop: the driver never ends a request from inside addTransactionExec,
    // so this cannot recurse, and the signals come in the same order.
    m_state = ReadIR + type;
    if (m_typeUpdate != NoUpdate)
        readStep(type);
    else
        schedule();
}

void TagBase::cutReply(int type, IModbusTransaction *transaction, const QVector<quint16> &reply,
                       QVector<quint16> *buffer, int *carryStart)
{
    QMutexLocker locker(&m_mutex);
    m_delivered.resize(0);
    const bool collect = collectsDelivered();
    // Whatever happens below, words held for the next reply are only good
    // for a reply that follows on directly.
    const int heldFrom = *carryStart;
    *carryStart = -1;
    if (!transaction)
        return;
    const QModbusRequest *request = transaction->requestPackage();
    if (!request)
        return;
    const QByteArray data = request->data();
    if (data.size() < 4)
        return;
    const int start = (quint8(data.at(0)) << 8) | quint8(data.at(1));
    const int asked = (quint8(data.at(2)) << 8) | quint8(data.at(3));
    const int length = std::min<int>(reply.size(), asked);
    const int end = start + length;
    // Words held from the previous reply: [heldFrom, start).
    const bool held = heldFrom >= 0 && heldFrom + buffer->size() == start;
    // A full reply hands the words of tags running past its end on to the
    // next request; a short one leaves them without value.
    const bool full = reply.size() >= asked;

    // A copy: a tag's changedValue() receiver may hand over a new collection.
    const QList<QPointer<Tag>> tags = m_sorted[type];
    const int reach = std::max(m_longestSpan[type], 1);
    const QPair<int, int> range = candidates(type, start - reach + 1, end);
    // Addresses and spans as they were when the collection was taken.
    const QVector<int> starts = m_starts[type];
    const QVector<int> spans = m_spans[type];
    const quint16 *words = reply.constData();
    int keepFrom = end;
    for (int i = range.first; i < range.second; ++i) {
        const int first = starts.at(i);
        const int span = spans.at(i);
        const int last = first + span;
        if (span == 0 || last <= start || first >= end)
            continue;
        Tag *tag = tags.at(i);
        if (!tag)
            continue;
        if (last > end) {
            // Runs on into the next request.
            if (full && (first >= start || (held && first >= heldFrom)))
                keepFrom = std::min(keepFrom, first);
            continue;
        }
        if (first >= start) {
            tag->setRawData(words + (first - start), span);
        } else if (held && first >= heldFrom) {
            // Begun in the previous reply.
            QVector<quint16> joined(span);
            std::copy(buffer->constBegin() + (first - heldFrom), buffer->constEnd(), joined.begin());
            std::copy(words, words + (last - start), joined.begin() + (start - first));
            tag->setRawData(joined);
        } else {
            continue;
        }
        if (collect)
            m_delivered.append(tag);
    }

    if (keepFrom >= end) {
        buffer->clear();
        return;
    }
    const int from = std::max(keepFrom, start);
    if (keepFrom < start) {
        QVector<quint16> kept = buffer->mid(keepFrom - heldFrom);
        kept.reserve(kept.size() + (end - from));
        for (const quint16 *w = words + (from - start); w < words + length; ++w)
            kept.append(*w);
        *buffer = kept;
    } else {
        *buffer = QVector<quint16>(words + (from - start), words + length);
    }
    *carryStart = keepFrom;
}

void TagBase::deliverBits(int type, IModbusTransaction *transaction, const QVector<quint8> &bits)
{
    if (!transaction)
        return;
    if (!m_abandoned.contains(transaction))
        emit requestAnswered(type + 1, transaction->startAddress(), transaction->count());
    {
        QMutexLocker locker(&m_mutex);
        m_delivered.resize(0);
        cutBits(type, transaction, bits);
    }
    announceDelivered(type, transaction);
}

void TagBase::cutBits(int type, IModbusTransaction *transaction, const QVector<quint8> &bits)
{
    const QModbusRequest *request = transaction->requestPackage();
    if (!request || request->data().size() < 2)
        return;
    const bool collect = collectsDelivered();
    const QByteArray data = request->data();
    const int start = (quint8(data.at(0)) << 8) | quint8(data.at(1));
    const int end = start + bits.size();

    // Each bit becomes one word of 0 or 1, so that a tag of the bit tables
    // decodes its value the way every other tag does. Only tags that lie
    // wholly within the reply are given words.
    const QList<QPointer<Tag>> tags = m_sorted[type];
    // Only tags that begin within the reply can lie wholly within it.
    const QPair<int, int> range = candidates(type, start, end);
    for (int i = range.first; i < range.second; ++i) {
        Tag *tag = tags.at(i);
        if (!tag)
            continue;
        const int first = tag->startAddress();
        const int span = tag->sizeRegisters();
        if (span == 0 || first < start || first + span > end)
            continue;
        QVector<quint16> words(span);
        for (int k = 0; k < span; ++k)
            words[k] = bits.at(first - start + k) ? 1 : 0;
        tag->setRawData(words);
        if (collect)
            m_delivered.append(tag);
    }
}

bool TagBase::collectsDelivered() const
{
    static const QMetaMethod signal = QMetaMethod::fromSignal(&TagBase::valuesDelivered);
    return isSignalConnected(signal);
}

void TagBase::announceDelivered(int type, IModbusTransaction *transaction)
{
    if (m_delivered.isEmpty() || !transaction)
        return;
    // Taken out while the receivers run; its room is kept for the next reply.
    QVector<Tag *> tags;
    tags.swap(m_delivered);
    emit valuesDelivered(type + 1, transaction->startAddress(), transaction->count(), tags);
    if (m_delivered.isEmpty()) {
        tags.resize(0);
        m_delivered.swap(tags);
    }
}

void TagBase::resetWatchdog()
{
    if (!m_watchdog)
        return;
    m_watchdog->stop();
    m_watchdog->setInterval(WatchdogIntervalMs);
    m_watchdog->start();
}

void TagBase::onDog()
{
    if (m_typeUpdate == NoUpdate || m_state == Idle) {
        if (m_watchdog)
            m_watchdog->stop();
        return;
    }
    const qint64 quiet = m_sinceProgress.elapsed();
    if (quiet <= stallLimitMs())
        return;
    // The answer to the request under way never came, and the driver did
    // not end it either: start the pass afresh rather than wait for ever.
    qWarning("Polling made no progress for %lld ms; the pass is started again.",
             static_cast<long long>(quiet));
    abandonPass();
    dropQueues();
    m_state = StartCycle;
    noteProgress();
    schedule();
}

} // namespace Pointbook
