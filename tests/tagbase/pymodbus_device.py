#!/usr/bin/python3
"""Independent Modbus TCP device for the polling engine tests.

Serves the tags of data/peer_map.xml with values packed by struct, listens
on 127.0.0.1 at a port the system picks, and prints one JSON line: the port
and, per "table:id", the value the tag must decode to (numbers as text,
byte arrays as hex).
"""
import asyncio
import json
import struct

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.server.async_io import ModbusTcpServer


def swap_pairs(raw):
    return bytes(raw[i ^ 1] for i in range(len(raw)))


def words(raw):
    return list(struct.unpack(">%dH" % (len(raw) // 2), raw))


# (table, id, address, bytes as sent, expected text)
def entry(table, ident, address, raw, expected):
    return (table, ident, address, raw, expected)


def f32(value):
    return struct.unpack("<f", struct.pack("<f", value))[0]


BLOCK = [(i * 37) % 65536 for i in range(122)]

TAGS = [
    entry("ir", "u16", 0, struct.pack(">H", 54321), "54321"),
    entry("ir", "i16", 1, struct.pack(">h", -1234), "-1234"),
    entry("ir", "u32_3210", 2, struct.pack(">I", 3000000000), "3000000000"),
    entry("ir", "u32_0123", 4, struct.pack("<I", 123456789), "123456789"),
    entry("ir", "i32_1032", 6, swap_pairs(struct.pack("<i", -7654321)), "-7654321"),
    entry("ir", "f_2301", 8, swap_pairs(struct.pack(">f", 12.5)), repr(f32(12.5))),
    entry("ir", "f_3210", 10, struct.pack(">f", -0.15625), repr(f32(-0.15625))),
    entry("ir", "u64_76543210", 12, struct.pack(">Q", 1234567890123456789),
          "1234567890123456789"),
    entry("ir", "i64_10325476", 16, swap_pairs(struct.pack("<q", -98765432109876)),
          "-98765432109876"),
    entry("ir", "d_76543210", 20, struct.pack(">d", 3.141592653589793), repr(3.141592653589793)),
    entry("ir", "d_01234567", 24, struct.pack("<d", -2.5e-7), repr(-2.5e-7)),
    entry("hr", "block", 0, struct.pack(">122H", *BLOCK),
          struct.pack("<122H", *BLOCK).hex()),
    entry("hr", "straddle", 122, struct.pack(">Q", 0x0102030405060708), str(0x0102030405060708)),
    entry("hr", "after", 126, struct.pack(">f", 1.75), repr(f32(1.75))),
]


def table_values(table):
    values = [0] * 200
    for tab, _, address, raw, _ in TAGS:
        if tab == table:
            w = words(raw)
            values[address:address + len(w)] = w
    return values


async def main():
    slave = ModbusSlaveContext(
        ir=ModbusSequentialDataBlock(0, table_values("ir")),
        hr=ModbusSequentialDataBlock(0, table_values("hr")),
        di=ModbusSequentialDataBlock(0, [0] * 10),
        co=ModbusSequentialDataBlock(0, [0] * 10),
        zero_mode=True)
    server = ModbusTcpServer(ModbusServerContext(slaves=slave, single=True),
                             address=("127.0.0.1", 0), allow_reuse_address=True)
    task = asyncio.create_task(server.serve_forever())
    await server.serving
    port = server.server.sockets[0].getsockname()[1]
    print(json.dumps({
        "port": port,
        "values": {"%s:%s" % (t, i): e for t, i, _, _, e in TAGS},
    }), flush=True)
    await task


if __name__ == "__main__":
    asyncio.run(main())
