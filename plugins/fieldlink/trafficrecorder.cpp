#include "trafficrecorder.h"
#include "imodbustransaction.h"

#include <QModbusPdu>

#include <algorithm>
#include <cstring>

namespace Fieldlink {
namespace FieldlinkCore {

namespace {

QString hexOf(const std::array<quint8, TrafficRecorder::MaxPdu> &bytes, int size)
{
    static const char digits[] = "0123456789ABCDEF";
    QString text;
    text.reserve(size * 3);
    for (int i = 0; i < size; ++i) {
        if (i)
            text += QLatin1Char(' ');
        text += QLatin1Char(digits[bytes[size_t(i)] >> 4]);
        text += QLatin1Char(digits[bytes[size_t(i)] & 0xf]);
    }
    return text;
}

// Function code and data of a PDU into a fixed slot; the size is cut at
// the slot's end.
// `exceptionFunction` is the function byte of an exception answer: its code
// cannot be read through QModbusPdu, whose inline accessors load the code
// with the exception bit set as an out-of-range enum value.
quint8 copyPdu(const QModbusPdu &pdu, std::array<quint8, TrafficRecorder::MaxPdu> *slot,
               quint8 exceptionFunction = 0)
{
    const QByteArray data = pdu.data(); // shared, not copied
    (*slot)[0] = exceptionFunction ? exceptionFunction : quint8(pdu.functionCode());
    const int n = std::min<int>(data.size(), TrafficRecorder::MaxPdu - 1);
    if (n > 0)
        std::memcpy(slot->data() + 1, data.constData(), size_t(n));
    return quint8(n + 1);
}

} // namespace

QString TrafficRecorder::Entry::requestHex() const
{
    return hexOf(request, requestSize);
}

QString TrafficRecorder::Entry::replyHex() const
{
    return hexOf(reply, replySize);
}

TrafficRecorder::TrafficRecorder()
{
    // Reserved, not built: the blocks stay untouched until used.
    m_entries.reserve(Capacity);
    m_samples.reserve(WindowSamples);
}

TrafficRecorder::~TrafficRecorder() = default;

void TrafficRecorder::record(const IModbusTransaction &t, int outcome, int exceptionCode,
                             const QModbusPdu *reply, qint64 nowMs)
{
    if (m_firstTime == 0)
        m_firstTime = nowMs;
    const qint64 roundTrip = reply ? t.usSinceSent() : -1;

    Second &second = m_seconds[size_t((nowMs / 1000) % WindowSeconds)];
    if (second.second != nowMs / 1000) {
        second.second = nowMs / 1000;
        second.requests = 0;
    }
    ++second.requests;
    if (roundTrip >= 0) {
        if (m_nextSample == m_samples.size())
            m_samples.append(Sample()); // within the reserve
        Sample &s = m_samples[m_nextSample];
        s.time = nowMs;
        s.roundTrip = qint32(std::min<qint64>(roundTrip, 0x7fffffff));
        m_nextSample = (m_nextSample + 1) % WindowSamples;
        m_samplesUsed = std::min(m_samplesUsed + 1, int(WindowSamples));
    }

    if (m_paused)
        return;
    if (m_next == m_entries.size())
        m_entries.append(Entry()); // within the reserve
    Entry &e = m_entries[m_next];
    m_next = (m_next + 1) % Capacity;
    m_size = std::min(m_size + 1, int(Capacity));
    ++m_serial;
    e.time = nowMs;
    e.roundTrip = roundTrip >= 0 ? qint32(std::min<qint64>(roundTrip, 0x7fffffff)) : -1;
    e.address = quint16(t.startAddress());
    e.count = quint16(t.count());
    e.outcome = quint8(outcome);
    e.exceptionCode = quint8(exceptionCode);
    e.requestSize = copyPdu(*t.requestPackage(), &e.request);
    e.function = e.requestSize ? e.request[0] : 0;
    const quint8 exceptionFunction =
        outcome == IModbusTransaction::ExceptionReply ? quint8(e.function | 0x80) : 0;
    e.replySize = reply ? copyPdu(*reply, &e.reply, exceptionFunction) : 0;
}

void TrafficRecorder::clearLog()
{
    m_next = 0;
    m_size = 0;
    ++m_serial;
}

void TrafficRecorder::clear()
{
    clearLog();
    m_nextSample = 0;
    m_samplesUsed = 0;
    m_seconds.fill(Second());
    m_firstTime = 0;
}

const TrafficRecorder::Entry &TrafficRecorder::entry(int i) const
{
    if (m_entries.isEmpty()) {
        static const Entry none = Entry();
        return none;
    }
    const int oldest = m_size < Capacity ? 0 : m_next;
    return m_entries.at((oldest + std::max(0, std::min(i, m_size - 1))) % Capacity);
}

TrafficRecorder::Window TrafficRecorder::window(qint64 nowMs) const
{
    Window w;
    const qint64 since = nowMs - WindowMs;
    const qint64 nowSecond = nowMs / 1000;
    for (const Second &s : m_seconds) {
        if (s.second >= 0 && s.second > nowSecond - WindowSeconds && s.second <= nowSecond)
            w.requests += s.requests;
    }
    // Over the time recorded so far when that is less than a minute.
    const qint64 span = m_firstTime ? std::min<qint64>(WindowMs, std::max<qint64>(1000, nowMs - m_firstTime))
                                    : qint64(WindowMs);
    w.perSecond = double(w.requests) * 1000.0 / double(span);

    QVector<qint32> times;
    times.reserve(m_samplesUsed);
    double sum = 0;
    for (int i = 0; i < m_samplesUsed; ++i) {
        const Sample &s = m_samples.at(i);
        if (s.time <= since || s.time > nowMs)
            continue;
        times.append(s.roundTrip);
        sum += s.roundTrip;
    }
    if (times.isEmpty())
        return w;
    w.answers = quint64(times.size());
    const auto range = std::minmax_element(times.cbegin(), times.cend());
    w.minimum = *range.first;
    w.maximum = *range.second;
    w.mean = sum / times.size();
    // Nearest rank: the smallest time that at least 95 % do not exceed.
    const int rank = std::max(0, int((times.size() * 95 + 99) / 100) - 1);
    std::nth_element(times.begin(), times.begin() + rank, times.end());
    w.percentile95 = times.at(rank);
    return w;
}

} // namespace FieldlinkCore
} // namespace Fieldlink
