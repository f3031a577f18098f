#pragma once

#include "browser_global.h"

#include <pointbook/tag.h>

#include <QList>
#include <QString>
#include <QVariant>
#include <QVector>

namespace Browser {

// How the register browser shows one row: a 16-bit view of the row's own
// word, or a 32/64-bit value that starts at the row and spans the rows after
// it. Numbers are decoded by the tag model (a Tag of the matching type and
// byte order), so the browser shows exactly what a tag of the register map
// would.
class BROWSER_EXPORT RowFormat
{
public:
    enum Format {
        Unsigned16 = 0,
        Signed16,
        Hex,
        Binary,
        Ascii,
        Int32,
        UInt32,
        Float32,
        Int64,
        UInt64,
        Double,
        FormatCount
    };

    RowFormat() = default;
    RowFormat(Format format, Pointbook::Tag::ByteOrder order = Pointbook::Tag::UnknownOrder);

    Format format() const { return m_format; }
    // The input byte order of the value; the 16-bit formats always use the
    // word's own order ("10").
    Pointbook::Tag::ByteOrder byteOrder() const { return m_order; }

    // Registers the value spans: 1, 2 or 4.
    int registers() const { return registersOf(m_format); }
    bool isWide() const { return registers() > 1; }

    // The tag data type that decodes the value.
    Pointbook::Tag::DataType dataType() const;

    // Decodes the words (registers() of them) through the tag model; an
    // invalid variant when words are missing.
    QVariant decode(const QVector<quint16> &words) const;
    // The value as shown in the table.
    QString text(const QVector<quint16> &words) const;

    bool operator==(const RowFormat &other) const
    {
        return m_format == other.m_format && m_order == other.m_order;
    }
    bool operator!=(const RowFormat &other) const { return !(*this == other); }

    static int registersOf(Format format);
    static QString formatName(Format format);
    // Byte orders a value of that many registers may have in a register
    // map, the usual one (high word first) first.
    static QList<Pointbook::Tag::ByteOrder> byteOrders(int registers);
    // The order's text form with the byte layout it means, e.g.
    // "1032 (CD AB)": A is the most significant byte, as it arrives.
    static QString byteOrderName(Pointbook::Tag::ByteOrder order);
    // Output order that reads the converted bytes as a plain number.
    static Pointbook::Tag::ByteOrder hostOrder(int registers);
    // The format a tag of this data type is shown with (uint16 and any
    // unknown type as Unsigned16).
    static Format formatOf(Pointbook::Tag::DataType type);

private:
    Format m_format = Unsigned16;
    Pointbook::Tag::ByteOrder m_order = Pointbook::Tag::UnknownOrder;
};

} // namespace Browser

Q_DECLARE_METATYPE(Browser::RowFormat)
