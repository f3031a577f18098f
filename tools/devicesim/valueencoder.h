#pragma once

#include "devicesim_global.h"

#include <pointbook/tag.h>

#include <QByteArray>
#include <QVariant>
#include <QVector>

namespace Devicesim {

// The inverse of a tag's decoding: the register words a tag must receive so
// that Tag::value() gives back a wanted value. Written independently of the
// decoder so that each checks the other.
class DEVICESIM_EXPORT ValueEncoder
{
public:
    // The variant kind Tag::value() holds for one element of the type, made
    // from the element's bit pattern (least significant byte first).
    static QVariant fromBits(Pointbook::Tag::DataType type, quint64 bits);
    // The little-endian bytes of one element holding value.
    static QByteArray elementBytes(Pointbook::Tag::DataType type, const QVariant &value);

    // value: for count 1 the element (as fromBits() makes it); for a larger
    // count the byte array value() returns. The result has the tag's
    // sizeRegisters() words, except for a single 8-bit element, whose byte
    // sits in the high half of one word.
    static QVector<quint16> encode(const Pointbook::Tag &tag, const QVariant &value);
};

} // namespace Devicesim
