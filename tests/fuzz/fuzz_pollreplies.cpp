// The polling engine's reply handling: tags of any layout (bit fields,
// arrays, overlaps, the top of the address range) polled through a scripted
// connection whose answers come from the input: failures, replies shorter
// or longer than asked with any words or bits, and restarts or stops of
// polling while a request is on the wire.
//
// Input: the number of tags, 7 bytes per tag (register and data type, start
// address, count and offset, flags, mask bit, byte order), then one command
// per request the engine hands over.
#include "../support/scriptedconnection.h"

#include <pointbook/basetag.h>
#include <pointbook/tag.h>
#include <pointbook/tagbase.h>

#include <QCoreApplication>
#include <QtEndian>

#include <cstdint>

using namespace Pointbook;

namespace {

class Input
{
public:
    Input(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}
    bool atEnd() const { return m_pos >= m_size; }
    quint8 byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    quint16 word()
    {
        const quint16 low = byte();
        return quint16(low | (byte() << 8));
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

Tag *makeTag(Input &in, int index)
{
    const quint8 kind = in.byte();
    const auto registerType = Tag::RegisterType(kind % 4 + 1);
    auto tag = new Tag(registerType);
    tag->setId(QStringLiteral("t%1").arg(index));
    tag->setDataType(Tag::DataType((kind >> 2) % 10 + 1));
    quint16 start = in.word();
    // Mostly close together, so that intervals merge and split; now and
    // then at the top of the address range.
    start = (start & 0x8000) ? quint16(0xFFFF - (start & 0xFF)) : quint16(start % 300);
    tag->setStartAddress(start);
    const quint8 shape = in.byte();
    tag->setCount(quint16(shape % 4 + 1));
    tag->setOffset(quint16((shape >> 2) % 3));
    const quint8 flags = in.byte();
    tag->setUpdate(!(flags & 1));
    tag->setBitfield(flags & 2);
    tag->setBitfieldEnd(flags & 4);
    const quint8 bit = in.byte();
    tag->setMask((flags & 2) ? quint64(1) << (bit % 16) : 0);
    const quint8 order = in.byte();
    tag->setByteOrderInput(Tag::ByteOrder(order % 16));
    tag->setByteOrderOutput(Tag::ByteOrder(order / 16));
    return tag;
}

// Runs the event loop until the engine has a request on the wire, within a
// bound (an idle engine schedules nothing more).
bool waitForRequest(ScriptedConnection &connection)
{
    for (int i = 0; i < 64; ++i) {
        if (!connection.onWire().isEmpty())
            return true;
        QCoreApplication::processEvents();
    }
    return !connection.onWire().isEmpty();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Input in(data, size);
    {
        ScriptedConnection connection;
        QModbusSettings settings(1, 1000, 0);
        BaseTag base;
        TagBase engine;
        engine.setModbusConnection(&connection);
        engine.setModbusSettings(&settings);

        const int tags = in.byte() % 16 + 1;
        for (int i = 0; i < tags; ++i) {
            Tag *tag = makeTag(in, i);
            base.addTag(tag->Id(), tag, tag->registerType());
        }
        engine.setTagBase(&base);
        engine.changeConnect(true);
        engine.setUpdateBase(TagBase::CyclicUpdate, true);

        for (int step = 0; step < 256 && !in.atEnd() && waitForRequest(connection); ++step) {
            IModbusTransaction *t = connection.onWire().first();
            const quint8 command = in.byte();
            switch (command % 8) {
            case 0:
                connection.failNext(t);
                break;
            case 1:
                // Restart with the request still on the wire; it is answered later.
                engine.setUpdateBase(TagBase::CyclicUpdate, command & 8);
                break;
            case 2:
                engine.setUpdateBase(TagBase::NoUpdate, false);
                connection.failNext(t);
                engine.setUpdateBase(TagBase::CyclicUpdate, command & 8);
                break;
            default: {
                const int length = in.byte() % (t->count() + 4);
                connection.unanswered.removeAll(t);
                if (t->isBitAccess()) {
                    QVector<quint8> bits;
                    for (int i = 0; i < length; ++i)
                        bits.append(in.byte());
                    t->complete(bits);
                } else {
                    QVector<quint16> words;
                    for (int i = 0; i < length; ++i)
                        words.append(in.word());
                    t->complete(words);
                }
                t->deleteLater();
                break;
            }
            }
        }
        engine.setUpdateBase(TagBase::NoUpdate, false);
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // Transactions end with deleteLater; none may outlive its input.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
