#!/usr/bin/python3
"""Independent Modbus TCP peer for the driver tests.

Serves known values packed with struct on 127.0.0.1:<port>, answers device
identification, answers late when holding register SLOW_ADDRESS is read, and
raises "illegal data address" past the end of its blocks. Prints one JSON line
with the words and bits it serves once it listens, so the test compares what
the driver read with what this side packed.
"""
import asyncio
import json
import struct
import sys
import time

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.device import ModbusDeviceIdentification
from pymodbus.server.async_io import ModbusTcpServer

BLOCK_SIZE = 1000
SLOW_ADDRESS = 900
SLOW_SECONDS = 1.5


def words(fmt, *values):
    raw = struct.pack(">" + fmt, *values)
    return list(struct.unpack(">%dH" % (len(raw) // 2), raw))


INPUTS = {
    0: words("f", 3.14159),
    2: words("i", -123456),
    4: words("H", 65535),
    5: words("d", -2.5e10),
    9: words("8s", b"KORVANE1"),
}
HOLDINGS = {
    100: words("h", -2),
    101: words("I", 4000000000),
    103: words("f", -0.5),
}
COILS = [1, 0, 1, 1, 0, 0, 0, 1, 1, 1, 0]
DISCRETES = [0, 1, 1, 0, 1]


def flatten(table):
    values = [0] * BLOCK_SIZE
    for start, block in table.items():
        values[start:start + len(block)] = block
    return values


class SlowBlock(ModbusSequentialDataBlock):
    """Holds the reply of any read that touches SLOW_ADDRESS."""

    def getValues(self, address, count=1):
        if address <= SLOW_ADDRESS < address + count:
            time.sleep(SLOW_SECONDS)
        return super().getValues(address, count)


async def main(port):
    bits = lambda b: b + [0] * (BLOCK_SIZE - len(b))
    slave = ModbusSlaveContext(
        ir=ModbusSequentialDataBlock(0, flatten(INPUTS)),
        hr=SlowBlock(0, flatten(HOLDINGS)),
        co=ModbusSequentialDataBlock(0, bits(COILS)),
        di=ModbusSequentialDataBlock(0, bits(DISCRETES)),
        zero_mode=True)
    identity = ModbusDeviceIdentification(info_name={
        "VendorName": "Korvane Peer",
        "ProductCode": "KP-30",
        "MajorMinorRevision": "3.0",
    })
    server = ModbusTcpServer(ModbusServerContext(slaves=slave, single=True),
                             identity=identity, address=("127.0.0.1", port),
                             allow_reuse_address=True)
    task = asyncio.create_task(server.serve_forever())
    await server.serving
    print(json.dumps({
        "ir": {str(k): v for k, v in INPUTS.items()},
        "hr": {str(k): v for k, v in HOLDINGS.items()},
        "co": COILS,
        "di": DISCRETES,
        "slow": SLOW_ADDRESS,
        "size": BLOCK_SIZE,
    }), flush=True)
    await task


if __name__ == "__main__":
    asyncio.run(main(int(sys.argv[1])))
