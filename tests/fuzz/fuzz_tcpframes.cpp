// The Modbus TCP frame cutter: any bytes a peer may send, cut frame after
// frame the way the link cuts its receive buffer. No frame may reach past
// the bytes, and a frame that is all there must be found.
#include <fieldlink/modbustcplink.h>

#include <cstdint>
#include <cstdlib>

using Fieldlink::FieldlinkCore::ModbusTcpLink;
using Frame = ModbusTcpLink::Frame;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const int total = int(size < 65536 ? size : 65536);
    int pos = 0;
    unsigned sum = 0;
    while (pos < total) {
        const int left = total - pos;
        const Frame frame = ModbusTcpLink::cutFrame(data + pos, left);
        if (frame.kind == Frame::Incomplete) {
            if (left >= ModbusTcpLink::HeaderSize && left >= 6 + frame.lengthField)
                std::abort(); // the whole frame was there
            break;
        }
        if (frame.kind == Frame::BadLength)
            break;
        if (frame.size != 6 + frame.lengthField || frame.size > left || frame.pdu != data + pos + 7
            || frame.pduSize != frame.size - 7 || frame.pduSize < 1
            || frame.pduSize > ModbusTcpLink::MaxPduSize)
            std::abort();
        for (int i = 0; i < frame.pduSize; ++i)
            sum += frame.pdu[i];
        pos += frame.size;
    }
    volatile unsigned sink = sum;
    (void)sink;
    return 0;
}
