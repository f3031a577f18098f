#include "modbusstatistics.h"

#include <algorithm>

namespace Fieldlink {
namespace FieldlinkCore {

quint64 ModbusStatistics::exceptions() const
{
    quint64 sum = 0;
    for (quint64 n : m_exceptions)
        sum += n;
    return sum;
}

quint64 ModbusStatistics::failures() const
{
    return m_timeouts + exceptions() + m_connectionLosses + m_linkDown + m_lengthMismatches
        + m_otherFailures;
}

qint64 ModbusStatistics::medianResponseTime() const
{
    if (m_recentTimes.isEmpty())
        return -1;
    QVector<qint64> sorted = m_recentTimes;
    const int middle = sorted.size() / 2;
    std::nth_element(sorted.begin(), sorted.begin() + middle, sorted.end());
    return sorted.at(middle);
}

void ModbusStatistics::recordSuccess(qint64 responseTimeMs)
{
    ++m_successes;
    recordTime(responseTimeMs);
}

void ModbusStatistics::recordException(int code, qint64 responseTimeMs)
{
    ++m_exceptions[code];
    recordTime(responseTimeMs);
}

void ModbusStatistics::recordLengthMismatch(qint64 responseTimeMs)
{
    ++m_lengthMismatches;
    recordTime(responseTimeMs);
}

void ModbusStatistics::recordTime(qint64 ms)
{
    if (ms < 0)
        return;
    m_minTime = m_minTime < 0 ? ms : std::min(m_minTime, ms);
    m_maxTime = std::max(m_maxTime, ms);
    if (m_recentTimes.size() < MedianWindow) {
        m_recentTimes.append(ms);
    } else {
        m_recentTimes[m_nextSlot] = ms;
        m_nextSlot = (m_nextSlot + 1) % MedianWindow;
    }
}

} // namespace FieldlinkCore
} // namespace Fieldlink
