#include "valueencoder.h"

#include <cstring>

namespace Devicesim {

using Pointbook::Tag;

namespace {

QVector<int> digits(const QString &order)
{
    // Mirrors the text form of a byte order: one significance per character,
    // anything but a digit counting as 0.
    QVector<int> result;
    result.reserve(order.size());
    for (const QChar c : order)
        result.append(c.isDigit() ? c.digitValue() : 0);
    return result;
}

quint64 bitsOf(Tag::DataType type, const QVariant &value)
{
    switch (type) {
    case Tag::UInt32:
        return value.toUInt();
    case Tag::UInt64:
        return value.toULongLong();
    case Tag::Float: {
        const float f = value.toFloat();
        quint32 bits = 0;
        std::memcpy(&bits, &f, sizeof bits);
        return bits;
    }
    case Tag::Double: {
        const double d = value.toDouble();
        quint64 bits = 0;
        std::memcpy(&bits, &d, sizeof bits);
        return bits;
    }
    default:
        return quint64(value.toLongLong());
    }
}

} // namespace

QVariant ValueEncoder::fromBits(Tag::DataType type, quint64 bits)
{
    switch (type) {
    case Tag::UInt8: return int(bits & 0xffu);
    case Tag::Int8: return int(qint8(quint8(bits & 0xffu)));
    case Tag::UInt16: return int(bits & 0xffffu);
    case Tag::Int16: return int(qint16(quint16(bits & 0xffffu)));
    case Tag::UInt32: return uint(bits & 0xffffffffu);
    case Tag::Int32: return int(qint32(quint32(bits & 0xffffffffu)));
    case Tag::UInt64: return qulonglong(bits);
    case Tag::Int64: return qlonglong(bits);
    case Tag::Float: {
        const quint32 pattern = quint32(bits & 0xffffffffu);
        float f = 0.0f;
        std::memcpy(&f, &pattern, sizeof f);
        return f;
    }
    case Tag::Double: {
        double d = 0.0;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    default: return QVariant();
    }
}

QByteArray ValueEncoder::elementBytes(Tag::DataType type, const QVariant &value)
{
    const int width = Tag::elementWidth(type);
    const quint64 bits = bitsOf(type, value);
    QByteArray bytes;
    bytes.reserve(width);
    for (int i = 0; i < width; ++i)
        bytes.append(char((bits >> (8 * i)) & 0xffu));
    return bytes;
}

QVector<quint16> ValueEncoder::encode(const Tag &tag, const QVariant &value)
{
    const int width = Tag::elementWidth(tag.dataType());
    const int count = tag.count();
    if (width == 0 || count == 0)
        return {};

    if (width == 1 && count == 1) // read from the high byte, never reordered
        return {quint16(quint8(elementBytes(tag.dataType(), value).at(0)) << 8)};

    // What the decoder produces after reordering: per element, one byte per
    // digit of the output order.
    const QByteArray converted = count == 1 ? elementBytes(tag.dataType(), value)
                                            : value.toByteArray();
    const QVector<int> in = digits(Tag::byteOrderToString(tag.byteOrderInput()));
    const QVector<int> out = digits(Tag::byteOrderToString(tag.byteOrderOutput()));

    // The decoder takes output byte j of an element from input position
    // in.indexOf(out[j]); put each wanted byte back there.
    QByteArray raw(count * width, '\0');
    for (int element = 0; element < count; ++element) {
        for (int j = 0; j < out.size(); ++j) {
            const int position = in.indexOf(out.at(j));
            const int target = element * width + position;
            const int source = element * out.size() + j;
            if (position < 0 || position >= width || source >= converted.size())
                continue;
            raw[target] = converted.at(source);
        }
    }

    QVector<quint16> words;
    const int wordCount = tag.sizeRegisters();
    words.reserve(wordCount);
    for (int i = 0; i < wordCount && 2 * i + 1 < raw.size(); ++i)
        words.append(quint16((quint8(raw.at(2 * i)) << 8) | quint8(raw.at(2 * i + 1))));
    return words;
}

} // namespace Devicesim
