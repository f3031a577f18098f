#pragma once

#include <fieldlink/fieldlink_global.h>

#include <QString>
#include <QVector>

#include <array>

QT_BEGIN_NAMESPACE
class QModbusPdu;
QT_END_NAMESPACE

namespace Fieldlink {
namespace FieldlinkCore {

class IModbusTransaction;

// What a connection writes about each ended request when a recorder is
// attached: the last Capacity requests and replies (time, function, range,
// result, round trip, both PDUs), and the round-trip times (of at most the
// last WindowSamples answers) and the request rate of the last minute.
// Round trips are in microseconds: on a local link most take well under a
// millisecond.
//
// All storage is reserved at construction: recording a request copies into
// fixed slots of ring buffers and never allocates, so that it costs the
// polling path next to nothing. The slots are filled in as the rings first
// grow, so that a program which records little never touches most of the
// 0.6 MB (start-up does not pay for clearing it). Reading (entries(),
// window()) is for a display refreshed a few times a second and may
// allocate. One thread only.
class FIELDLINK_EXPORT TrafficRecorder
{
public:
    enum {
        Capacity = 1000,      // entries of the traffic log
        MaxPdu = 254,         // a Modbus PDU is at most 253 bytes
        WindowMs = 60000,     // round-trip statistics cover the last minute
        WindowSamples = 8192, // at most this many round trips in the window
        WindowSeconds = 60
    };

    struct Entry
    {
        qint64 time = 0;         // ms since the epoch, when the request ended
        qint32 roundTrip = -1;   // µs, -1 when nothing came back
        quint16 address = 0;
        quint16 count = 0;
        quint8 function = 0;     // Modbus function code of the request
        quint8 outcome = 0;      // IModbusTransaction::Outcome
        quint8 exceptionCode = 0;
        quint8 requestSize = 0;
        quint8 replySize = 0;
        std::array<quint8, MaxPdu> request;
        std::array<quint8, MaxPdu> reply;

        QString requestHex() const;
        QString replyHex() const;
    };

    struct Window
    {
        quint64 requests = 0;     // ended requests within the window
        double perSecond = 0;
        quint64 answers = 0;      // those with a round trip
        qint64 minimum = -1;      // µs; -1 without answers
        double mean = -1;
        qint64 maximum = -1;
        qint64 percentile95 = -1;
    };

    TrafficRecorder();
    ~TrafficRecorder();
    TrafficRecorder(const TrafficRecorder &) = delete;
    TrafficRecorder &operator=(const TrafficRecorder &) = delete;

    // Called by the connection once per ended request (outcome an
    // IModbusTransaction::Outcome); reply is the answer PDU when one came.
    // nowMs: ms since the epoch.
    void record(const IModbusTransaction &transaction, int outcome, int exceptionCode,
                const QModbusPdu *reply, qint64 nowMs);

    // A paused log keeps its entries and takes no new ones; the round-trip
    // statistics go on.
    void setPaused(bool paused) { m_paused = paused; }
    bool isPaused() const { return m_paused; }
    void clearLog();
    void clear();

    int size() const { return m_size; }
    // Entry i of the log, 0 the oldest.
    const Entry &entry(int i) const;
    // Requests logged since construction or clear; changes whenever the log does.
    quint64 serial() const { return m_serial; }

    Window window(qint64 nowMs) const;

private:
    struct Sample
    {
        qint64 time = 0;
        qint32 roundTrip = -1;
    };
    struct Second
    {
        qint64 second = -1;
        quint32 requests = 0;
    };

    QVector<Entry> m_entries;  // ring of Capacity, grown to it as entries come
    int m_next = 0;
    int m_size = 0;
    quint64 m_serial = 0;
    bool m_paused = false;

    QVector<Sample> m_samples; // ring of WindowSamples, round trips only, grown likewise
    int m_nextSample = 0;
    int m_samplesUsed = 0;
    std::array<Second, WindowSeconds> m_seconds;
    qint64 m_firstTime = 0;
};

} // namespace FieldlinkCore
} // namespace Fieldlink
