#pragma once

#include <fieldlink/fieldlink_global.h>

#include <QMap>
#include <QVector>

namespace Fieldlink {
namespace FieldlinkCore {

// Counters of one connection, for display. Response times are in ms; the
// median is taken over the most recent answers (a bounded window), minimum
// and maximum over all answers since the last clear().
class FIELDLINK_EXPORT ModbusStatistics
{
public:
    enum { MedianWindow = 1024 };

    quint64 requests() const { return m_requests; }       // requests put on the wire
    quint64 successes() const { return m_successes; }
    quint64 timeouts() const { return m_timeouts; }
    quint64 exceptions() const;                            // sum over all codes
    QMap<int, quint64> exceptionsByCode() const { return m_exceptions; }
    quint64 connectionLosses() const { return m_connectionLosses; } // lost while on the wire
    quint64 linkDownFailures() const { return m_linkDown; }          // never sent: no link
    quint64 lengthMismatches() const { return m_lengthMismatches; }
    quint64 otherFailures() const { return m_otherFailures; }
    quint64 reconnects() const { return m_reconnects; } // link back after a loss
    quint64 failures() const;

    qint64 minResponseTime() const { return m_minTime; }  // -1 before the first answer
    qint64 maxResponseTime() const { return m_maxTime; }
    qint64 medianResponseTime() const;                    // -1 before the first answer

    void recordRequest() { ++m_requests; }
    void recordSuccess(qint64 responseTimeMs);
    void recordTimeout() { ++m_timeouts; }
    void recordException(int code, qint64 responseTimeMs);
    void recordConnectionLoss() { ++m_connectionLosses; }
    void recordLinkDown() { ++m_linkDown; }
    void recordLengthMismatch(qint64 responseTimeMs);
    void recordOtherFailure() { ++m_otherFailures; }
    void recordReconnect() { ++m_reconnects; }
    void clear() { *this = ModbusStatistics(); }

private:
    void recordTime(qint64 ms);

    quint64 m_requests = 0;
    quint64 m_successes = 0;
    quint64 m_timeouts = 0;
    QMap<int, quint64> m_exceptions;
    quint64 m_connectionLosses = 0;
    quint64 m_linkDown = 0;
    quint64 m_lengthMismatches = 0;
    quint64 m_otherFailures = 0;
    quint64 m_reconnects = 0;
    qint64 m_minTime = -1;
    qint64 m_maxTime = -1;
    QVector<qint64> m_recentTimes; // ring buffer of at most MedianWindow entries
    int m_nextSlot = 0;
};

} // namespace FieldlinkCore
} // namespace Fieldlink
