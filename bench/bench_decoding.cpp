// Nanoseconds per Tag::setRawData for every data type, damping on and off,
// with a receiver connected to changedValue(), against a hand-written
// decoder of the same words and byte orders.

#include "benchreport.h"

#include <pointbook/tag.h>

#include <QCoreApplication>
#include <QtEndian>

#include <cmath>
#include <cstring>

using Pointbook::Tag;

namespace {

struct Case
{
    const char *name;
    Tag::DataType type;
    Tag::ByteOrder in;
    Tag::ByteOrder out;
    int registers;
};

const Case cases[] = {
    {"uint8", Tag::UInt8, Tag::Order0, Tag::Order0, 1},
    {"int8", Tag::Int8, Tag::Order0, Tag::Order0, 1},
    {"uint16", Tag::UInt16, Tag::Order10, Tag::Order01, 1},
    {"int16", Tag::Int16, Tag::Order10, Tag::Order01, 1},
    {"uint32", Tag::UInt32, Tag::Order1032, Tag::Order0123, 2},
    {"int32", Tag::Int32, Tag::Order3210, Tag::Order0123, 2},
    {"uint64", Tag::UInt64, Tag::Order76543210, Tag::Order01234567, 4},
    {"int64", Tag::Int64, Tag::Order67452301, Tag::Order01234567, 4},
    {"float", Tag::Float, Tag::Order3210, Tag::Order0123, 2},
    {"double", Tag::Double, Tag::Order76543210, Tag::Order01234567, 4},
};

// Counts announcements, as a view would on every new value.
class Receiver : public QObject
{
public:
    void onChanged() { ++count; }
    quint64 count = 0;
};

// The decoder one would write by hand for a fixed tag: the byte order is
// turned into an index table once, each call only moves bytes, reads the
// number, damps it and stores it.
class HandDecoder
{
public:
    HandDecoder(const Case &c, bool damping, int points)
        : m_type(c.type), m_damping(damping), m_points(points)
    {
        const QString in = Tag::byteOrderToString(c.in);
        const QString out = Tag::byteOrderToString(c.out);
        m_width = out.size();
        for (int o = 0; o < out.size() && o < 8; ++o)
            m_index[o] = in.indexOf(out.at(o));
    }

    void decode(const quint16 *words, int count)
    {
        uchar bytes[8] = {};
        const int n = std::min(count * 2, 8);
        uchar raw[8] = {};
        for (int i = 0; i < n / 2; ++i) {
            raw[2 * i] = uchar(words[i] >> 8);
            raw[2 * i + 1] = uchar(words[i]);
        }
        double x = 0;
        switch (m_type) {
        case Tag::UInt8: x = raw[0]; break;
        case Tag::Int8: x = qint8(raw[0]); break;
        default:
            for (int o = 0; o < m_width; ++o)
                bytes[o] = m_index[o] >= 0 && m_index[o] < n ? raw[m_index[o]] : 0;
            switch (m_type) {
            case Tag::UInt16: x = qFromLittleEndian<quint16>(bytes); break;
            case Tag::Int16: x = qFromLittleEndian<qint16>(bytes); break;
            case Tag::UInt32: x = qFromLittleEndian<quint32>(bytes); break;
            case Tag::Int32: x = qFromLittleEndian<qint32>(bytes); break;
            case Tag::UInt64: x = double(qFromLittleEndian<quint64>(bytes)); break;
            case Tag::Int64: x = double(qFromLittleEndian<qint64>(bytes)); break;
            case Tag::Float: {
                const quint32 bits = qFromLittleEndian<quint32>(bytes);
                float f;
                std::memcpy(&f, &bits, sizeof f);
                x = f;
                break;
            }
            case Tag::Double: {
                const quint64 bits = qFromLittleEndian<quint64>(bytes);
                std::memcpy(&x, &bits, sizeof x);
                break;
            }
            default: break;
            }
        }
        if (m_damping && m_previous != 0.0)
            x = std::trunc((x - m_previous) / m_points + m_previous);
        m_previous = x;
        ++m_announced;
    }

    double previous() const { return m_previous; }

private:
    Tag::DataType m_type;
    bool m_damping;
    int m_points;
    int m_width = 0;
    int m_index[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    double m_previous = 0;
    quint64 m_announced = 0;
};

volatile double sink;

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const Bench::Options options = Bench::parseOptions(app.arguments());
    Bench::Report report(QStringLiteral("decoding"), options);

    const int calls = options.quick ? 20000 : 200000;
    const int rounds = options.quick ? 3 : 5;
    const int variants = 256;

    std::printf("setRawData, %d calls a round, median of %d alternating rounds, thread CPU time\n", calls, rounds);
    for (const Case &c : cases) {
        // Different words every call, so nothing is decoded from a cache.
        QVector<QVector<quint16>> words;
        words.reserve(variants);
        for (int v = 0; v < variants; ++v) {
            QVector<quint16> w(c.registers);
            for (int r = 0; r < c.registers; ++r)
                w[r] = quint16(0x1357 * (v + 1) + 0x0F0F * r + 1);
            if (c.type == Tag::Float)
                w[0] = quint16(0x4100 + v); // finite floats around 8..16
            if (c.type == Tag::Double)
                w[0] = quint16(0x4020 + v);
            words.append(w);
        }

        for (const bool damping : {false, true}) {
            Tag tag(Tag::HR, c.type, c.in, c.out, 0, QStringLiteral("t"), QString(), QString());
            tag.setCount(1);
            tag.setDampingPoints(damping ? 4 : 0);
            Receiver receiver;
            QObject::connect(&tag, &Tag::changedValue, &receiver, &Receiver::onChanged);
            HandDecoder hand(c, damping, 4);

            const auto measured = [&] {
                const qint64 t0 = Bench::threadCpuNs();
                for (int i = 0; i < calls; ++i)
                    tag.setRawData(words.at(i & (variants - 1)));
                const qint64 t1 = Bench::threadCpuNs();
                sink = tag.dampedValue();
                return double(t1 - t0) / calls;
            };
            const auto baseline = [&] {
                const qint64 t0 = Bench::threadCpuNs();
                for (int i = 0; i < calls; ++i) {
                    const QVector<quint16> &w = words.at(i & (variants - 1));
                    hand.decode(w.constData(), w.size());
                }
                const qint64 t1 = Bench::threadCpuNs();
                sink = hand.previous();
                return double(t1 - t0) / calls;
            };
            const Bench::Pair p = Bench::alternate(rounds, measured, baseline);

            Bench::Figure f;
            f.name = QStringLiteral("setRawData %1 damping %2").arg(QLatin1String(c.name),
                                                                     damping ? QStringLiteral("on") : QStringLiteral("off"));
            f.value = p.value;
            f.unit = QStringLiteral("ns/call");
            f.baseline = p.baseline;
            f.baselineName = QStringLiteral("hand-written loop");
            if (damping && c.registers == 1) {
                f.targetKind = Bench::Figure::ValueAtMost;
                f.target = 100;
            }
            if (receiver.count == 0)
                f.note = QStringLiteral("receiver saw no signal");
            report.add(f);
        }
    }
    return report.write() ? 0 : 1;
}
