// Tag decoding: a tag of any type, byte orders, count, mask and damping
// given raw words of any length, twice (damping carries the first value
// into the second), and the byte order conversion on its own.
//
// Input: type, order in, order out, count, flags (bit 0 bit field, bit 1
// damping), damping points, mask (8 bytes, little-endian), then the words
// (2 bytes each, little-endian, at most 64).
#include <pointbook/tag.h>

#include <QtEndian>

#include <cstdint>

using namespace Pointbook;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const size_t header = 14;
    if (size < header)
        return 0;
    const auto type = Tag::DataType(data[0] % 11);
    const auto orderIn = Tag::ByteOrder(data[1] % 16);
    const auto orderOut = Tag::ByteOrder(data[2] % 16);
    QVector<quint16> words;
    for (size_t i = header; i + 1 < size && words.size() < 64; i += 2)
        words.append(qFromLittleEndian<quint16>(data + i));

    Tag tag(Tag::HR);
    tag.setDataType(type);
    tag.setByteOrderInput(orderIn);
    tag.setByteOrderOutput(orderOut);
    tag.setCount(quint16(data[3] % 5));
    tag.setBitfield(data[4] & 1);
    tag.setEnableDamping(data[4] & 2);
    tag.setDampingPoints(data[5] % 20);
    tag.setMask(qFromLittleEndian<quint64>(data + 6));
    tag.setPrecision(data[5] % 8);
    for (int round = 0; round < 2; ++round) {
        tag.setRawData(words);
        tag.value();
        tag.valueByteArray();
    }
    tag.size();
    tag.sizeRegisters();

    QByteArray bytes;
    for (const quint16 w : qAsConst(words)) {
        bytes.append(char(w >> 8));
        bytes.append(char(w & 0xFF));
    }
    tag.byteOrderConversion(bytes, Tag::byteOrderToString(orderIn), Tag::byteOrderToString(orderOut));
    return 0;
}
