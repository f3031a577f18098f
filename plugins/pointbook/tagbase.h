#pragma once

#include "pointbook_global.h"
#include "tag.h"

#include <QElapsedTimer>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QPair>
#include <QPoint>
#include <QPointer>
#include <QSet>
#include <QVector>

#include <array>

QT_BEGIN_NAMESPACE
class QTimer;
QT_END_NAMESPACE

namespace Fieldlink {
namespace FieldlinkCore {
class IModbusTransaction;
class ModbusConnection;
class QModbusSettings;
} // namespace FieldlinkCore
} // namespace Fieldlink

namespace Pointbook {

class BaseTag;

// The polling engine: groups the polled tags of each register table into
// address intervals, reads them through the Modbus driver one request at a
// time and cuts each register reply into the raw words of its tags.
//
// Every step of a pass runs from the event loop (a pass starts on a single
// shot, each request follows from the answer before it, the next table
// from the end of the previous one), so nothing here ever blocks the
// window. Requests of one pass are built at
// its start; input registers are read first, then holding registers,
// discrete inputs and coils.
//
// A tag is given exactly the words of its own registers, once per pass, or
// nothing when a reply that should have carried them failed or fell short.
// A watchdog restarts a pass that has made no progress for longer than the
// driver can take to give up on a request.
class POINTBOOK_EXPORT TagBase : public QObject
{
    Q_OBJECT

public:
    enum TypeUpdate {
        NoUpdate = 0,
        CyclicUpdate = 1,
        SingleUpdate = 2
    };
    Q_ENUM(TypeUpdate)

    // Values of state().
    enum PassState {
        Idle = 0,
        StartCycle = 1,
        SelectType = 2,
        ReadIR = 3,
        ReadHR = 4,
        ReadDI = 5,
        ReadCO = 6
    };

    // Longest request the engine builds, in registers or bits.
    enum { MaxRequestLength = 124 };
    // Pause before the next cyclic pass when a pass sent nothing at all.
    enum { IdlePassPauseMs = 100 };
    // Pause before the next cyclic pass when a pass took less than 1 ms
    // (a local device): lets the thread sleep instead of spinning.
    enum { FastPassPauseMs = 1 };
    // Added to the longest time the driver may take on one request before
    // the watchdog counts a pass as stuck; and how often it looks.
    enum { StallMarginMs = 3000, WatchdogIntervalMs = 500 };

    explicit TagBase(QObject *parent = nullptr);
    ~TagBase() override;

    // A null pointer never clears the stored one.
    void setModbusConnection(Fieldlink::FieldlinkCore::ModbusConnection *connection);
    void setModbusSettings(Fieldlink::FieldlinkCore::QModbusSettings *settings);
    Fieldlink::FieldlinkCore::ModbusConnection *modbusConnection() const;
    Fieldlink::FieldlinkCore::QModbusSettings *modbusSettings() const { return m_settings; }

    // Takes the tags of the collection and sorts them per table; the
    // intervals change only with updateTagInterval().
    void setTagBase(BaseTag *base);
    BaseTag *tagBase() const;
    QList<Tag *> sortedTags(Tag::RegisterType type) const;

    void setIrInterval(const QVector<QPoint> &interval);
    void setHrInterval(const QVector<QPoint> &interval);
    void setDiInterval(const QVector<QPoint> &interval);
    void setCoInterval(const QVector<QPoint> &interval);
    QVector<QPoint> irInterval() const { return m_intervals[0]; }
    QVector<QPoint> hrInterval() const { return m_intervals[1]; }
    QVector<QPoint> diInterval() const { return m_intervals[2]; }
    QVector<QPoint> coInterval() const { return m_intervals[3]; }

    // Appends the intervals (x = first address, y = length) of the tags,
    // which must be sorted by Tag::lessThan; only polled tags unless all.
    void analysisIntervals(QList<Tag *> tags, QVector<QPoint> *intervals, bool all);

    // How long a pass may go without progress before the watchdog restarts it.
    int stallLimitMs() const;

    int state() const { return m_state; }
    bool isConnected() const { return m_connected; }

signals:
    void updateIR();
    void updateHR();
    void updateDI();
    void updateCO();
    void updateAllBase();
    void updateStepIncrement();
    void updateStepClear();
    void updateStepCount(int value);
    // One request of a pass answered, just before its values reach the tags
    // (registerType as Tag::RegisterType), or failed, with the reason in
    // words; so that a view can tell which request refreshed a tag and why
    // the tags of a failed one are missing.
    void requestAnswered(int registerType, int start, int count);
    void requestFailed(int registerType, int start, int count, const QString &reason);
    // After the values of an answered request reached its tags: the tags
    // given a value (each has emitted changedValue()), in address order.
    // One notice per reply lets a view of thousands of tags follow them
    // without a connection to every tag.
    void valuesDelivered(int registerType, int start, int count, const QVector<Pointbook::Tag *> &tags);

public slots:
    void updateTagInterval();
    void setUpdateBase(Pointbook::TagBase::TypeUpdate type, bool updateInterval);
    Pointbook::TagBase::TypeUpdate typeUpdate();
    void changeConnect(bool status);
    void processUpdate();
    void onReadTransactionIR(bool isOk, QVector<quint16> values, int transactionId);
    void onReadTransactionHR(bool isOk, QVector<quint16> values, int transactionId);
    void onReadTransactionDI(bool isOk, QVector<quint8> values, int transactionId);
    void onReadTransactionCO(bool isOk, QVector<quint8> values, int transactionId);
    void resetWatchdog();
    void onDog();

private:
    using Transaction = Fieldlink::FieldlinkCore::IModbusTransaction;

    void schedule(int delayMs = 0);
    void rebuildIntervals();
    // Leaves the request on the wire to its late answer and voids every
    // step scheduled so far.
    void abandonPass();
    void noteProgress() { m_sinceProgress.start(); }
    void startCycle();
    void selectType();
    void readStep(int type);
    // transaction: the request that ended (null when unknown).
    void finishReply(int type, bool isOk, const QVector<quint16> *registers,
                     Transaction *transaction);
    void deliverBits(int type, Transaction *transaction, const QVector<quint8> &bits);
    // Gives each tag wholly within the reply its bits, one word each.
    void cutBits(int type, Transaction *transaction, const QVector<quint8> &bits);
    // buffer/carryStart: words of tags that run on into the next request,
    // from address *carryStart on (-1: none).
    void cutReply(int type, Transaction *transaction, const QVector<quint16> &reply,
                  QVector<quint16> *buffer, int *carryStart);
    void dropQueues();
    // Indexes [first, second) of the sorted list whose tags begin at an
    // address in [from, to), or the whole list when it is not ordered so.
    QPair<int, int> candidates(int type, int from, int to) const;
    void emitTypeDone(int type);
    bool collectsDelivered() const;
    // Emits valuesDelivered() for the tags collected by the last cut.
    void announceDelivered(int type, Transaction *transaction);
    Transaction *createRead(int type, int start, int count);
    void setInterval(int type, const QVector<QPoint> &interval);

    QPointer<Fieldlink::FieldlinkCore::ModbusConnection> m_connection;
    Fieldlink::FieldlinkCore::QModbusSettings *m_settings = nullptr;
    QPointer<BaseTag> m_base;
    QTimer *m_watchdog = nullptr;
    // Indexed IR, HR, DI, CO.
    // Guarded: a reload of the register map deletes the tags before the new
    // collection arrives; a deleted tag then reads as a null entry.
    std::array<QList<QPointer<Tag>>, 4> m_sorted;
    // Start address of every entry of the sorted lists (kept for deleted
    // tags too, so indexes still match) and the longest register span of
    // each table: the tags a reply begins in are found by binary search.
    // -1 when a table is not ordered by address (a tag of another register
    // type among them); such a table is scanned whole.
    std::array<QVector<int>, 4> m_starts;
    std::array<QVector<int>, 4> m_spans; // Tag::pollRegisters() of each entry
    std::array<int, 4> m_longestSpan = {};
    std::array<QVector<QPoint>, 4> m_intervals;
    std::array<QVector<quint16>, 4> m_buffers;
    std::array<int, 4> m_carryStarts = {{-1, -1, -1, -1}};
    // The tags given a value by the reply being cut, for valuesDelivered();
    // collected only while somebody listens.
    QVector<Tag *> m_delivered;
    // Guarded: a transaction freed by its driver becomes a null entry
    // instead of a dangling pointer.
    std::array<QList<QPointer<Transaction>>, 4> m_queues;
    std::array<QSet<int>, 4> m_ids;
    QMutex m_mutex;
    int m_state = Idle;
    TypeUpdate m_typeUpdate = NoUpdate;
    bool m_connected = false;

    // Bumped by every start, restart or stop: steps scheduled before it are
    // void, so one chain of steps (and one request) is ever under way.
    quint64 m_generation = 0;
    // The request handed to the driver and not yet answered.
    QPointer<Transaction> m_inFlight;
    // Requests still on the wire when polling was (re)started or stopped.
    QList<QPointer<Transaction>> m_abandoned;
    bool m_sentThisPass = false;
    QElapsedTimer m_passClock;
    QElapsedTimer m_sinceProgress;
};

} // namespace Pointbook

Q_DECLARE_METATYPE(Pointbook::TagBase::TypeUpdate)
