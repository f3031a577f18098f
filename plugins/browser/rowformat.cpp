#include "rowformat.h"

#include <QCoreApplication>

namespace Browser {

using Pointbook::Tag;

namespace {

} // namespace

RowFormat::RowFormat(Format format, Tag::ByteOrder order)
    : m_format(format)
{
    const QList<Tag::ByteOrder> orders = byteOrders(registersOf(format));
    // A wide value needs an order of its own width; a 16-bit one has none.
    m_order = orders.contains(order) ? order : (orders.isEmpty() ? Tag::Order10 : orders.first());
    if (!isWide())
        m_order = Tag::Order10;
}

int RowFormat::registersOf(Format format)
{
    switch (format) {
    case Int32:
    case UInt32:
    case Float32:
        return 2;
    case Int64:
    case UInt64:
    case Double:
        return 4;
    default:
        return 1;
    }
}

Tag::DataType RowFormat::dataType() const
{
    switch (m_format) {
    case Signed16:
        return Tag::Int16;
    case Int32:
        return Tag::Int32;
    case UInt32:
        return Tag::UInt32;
    case Float32:
        return Tag::Float;
    case Int64:
        return Tag::Int64;
    case UInt64:
        return Tag::UInt64;
    case Double:
        return Tag::Double;
    default:
        return Tag::UInt16;
    }
}

RowFormat::Format RowFormat::formatOf(Tag::DataType type)
{
    switch (type) {
    case Tag::Int16:
        return Signed16;
    case Tag::Int32:
        return Int32;
    case Tag::UInt32:
        return UInt32;
    case Tag::Float:
        return Float32;
    case Tag::Int64:
        return Int64;
    case Tag::UInt64:
        return UInt64;
    case Tag::Double:
        return Double;
    default:
        return Unsigned16;
    }
}

Tag::ByteOrder RowFormat::hostOrder(int registers)
{
    switch (registers) {
    case 2:
        return Tag::Order0123;
    case 4:
        return Tag::Order01234567;
    default:
        return Tag::Order01;
    }
}

QList<Tag::ByteOrder> RowFormat::byteOrders(int registers)
{
    switch (registers) {
    case 2:
        return {Tag::Order3210, Tag::Order1032, Tag::Order2301, Tag::Order0123};
    case 4:
        return {Tag::Order76543210, Tag::Order10325476, Tag::Order32107654, Tag::Order23016745,
                Tag::Order45670123, Tag::Order54761032, Tag::Order67452301, Tag::Order01234567};
    default:
        return {};
    }
}

QString RowFormat::byteOrderName(Tag::ByteOrder order)
{
    const QString digits = Tag::byteOrderToString(order);
    const int width = digits.size();
    if (width < 2 || order == Tag::UnknownOrder)
        return digits;
    // The digit at position k is the significance of the k-th byte to
    // arrive; letters name significance from the top (A most significant).
    QString layout;
    for (int k = 0; k < width; ++k) {
        if (k > 0 && k % 2 == 0)
            layout += QLatin1Char(' ');
        const int significance = digits.at(k).unicode() - '0';
        layout += QChar(QLatin1Char('A').unicode() + (width - 1 - significance));
    }
    return QStringLiteral("%1 (%2)").arg(digits, layout);
}

QString RowFormat::formatName(Format format)
{
    switch (format) {
    case Unsigned16:
        return QCoreApplication::translate("Browser::RowFormat", "Unsigned 16-bit");
    case Signed16:
        return QCoreApplication::translate("Browser::RowFormat", "Signed 16-bit");
    case Hex:
        return QCoreApplication::translate("Browser::RowFormat", "Hex");
    case Binary:
        return QCoreApplication::translate("Browser::RowFormat", "Binary");
    case Ascii:
        return QCoreApplication::translate("Browser::RowFormat", "ASCII pair");
    case Int32:
        return QCoreApplication::translate("Browser::RowFormat", "int32");
    case UInt32:
        return QCoreApplication::translate("Browser::RowFormat", "uint32");
    case Float32:
        return QCoreApplication::translate("Browser::RowFormat", "float32");
    case Int64:
        return QCoreApplication::translate("Browser::RowFormat", "int64");
    case UInt64:
        return QCoreApplication::translate("Browser::RowFormat", "uint64");
    case Double:
        return QCoreApplication::translate("Browser::RowFormat", "double");
    case FormatCount:
        break;
    }
    return QString();
}

QVariant RowFormat::decode(const QVector<quint16> &words) const
{
    const int n = registers();
    if (words.size() < n)
        return QVariant();
    Tag tag(Tag::UnknownRegister, dataType(), isWide() ? m_order : Tag::Order10, hostOrder(n), 0,
            QString(), QString(), QString());
    tag.setCount(1);
    tag.setRawData(words.mid(0, n));
    return tag.value();
}

QString RowFormat::text(const QVector<quint16> &words) const
{
    if (words.size() < registers())
        return QString();
    const quint16 word = words.at(0);
    switch (m_format) {
    case Hex:
        return QStringLiteral("0x") + QString::number(word, 16).toUpper().rightJustified(4, QLatin1Char('0'));
    case Binary: {
        const QString bits = QStringLiteral("%1").arg(word, 16, 2, QLatin1Char('0'));
        return bits.mid(0, 4) + QLatin1Char(' ') + bits.mid(4, 4) + QLatin1Char(' ')
               + bits.mid(8, 4) + QLatin1Char(' ') + bits.mid(12, 4);
    }
    case Ascii: {
        // High byte first, as the bytes travel; what is not printable shows
        // as a dot.
        QString pair;
        for (const int byte : {word >> 8, word & 0xff})
            pair += (byte >= 0x20 && byte < 0x7f) ? QChar(byte) : QChar(QLatin1Char('.'));
        return QLatin1Char('"') + pair + QLatin1Char('"');
    }
    default:
        break;
    }
    const QVariant value = decode(words);
    if (!value.isValid())
        return QString();
    switch (m_format) {
    case Float32:
        return QString::number(double(value.toFloat()), 'g', 7);
    case Double:
        return QString::number(value.toDouble(), 'g', 15);
    case UInt64:
        return QString::number(value.toULongLong());
    case Int64:
        return QString::number(value.toLongLong());
    case UInt32:
        return QString::number(value.toUInt());
    default:
        return QString::number(value.toLongLong());
    }
}

} // namespace Browser
