#!/usr/bin/python3
"""Writable Modbus TCP device for the write tests, independent of the C++ code.

Serves 100 holding registers and 100 coils (reads and writes past them are
answered with exception 2). Arguments: port [major-minor revision]. Prints
"listening" once it serves; for every line "dump" on stdin it prints the
first 12 holding registers and the first 4 coils as one line of numbers,
straight from its own data store.
"""
import asyncio
import sys
import threading

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.device import ModbusDeviceIdentification
from pymodbus.server.async_io import ModbusTcpServer

TABLE_SIZE = 100
HOLDINGS = [0] * TABLE_SIZE
HOLDINGS[4] = 0x8001  # the register of two bit fields: other bits are set


def dumper(slave):
    for line in sys.stdin:
        if line.strip() == "dump":
            registers = slave.getValues(3, 0, 12)
            coils = [int(bool(c)) for c in slave.getValues(1, 0, 4)]
            print(" ".join(str(v) for v in registers + coils), flush=True)


async def main(port, revision):
    slave = ModbusSlaveContext(
        ir=ModbusSequentialDataBlock(0, [0] * TABLE_SIZE),
        hr=ModbusSequentialDataBlock(0, list(HOLDINGS)),
        di=ModbusSequentialDataBlock(0, [0] * TABLE_SIZE),
        co=ModbusSequentialDataBlock(0, [0] * TABLE_SIZE),
        zero_mode=True)
    identity = ModbusDeviceIdentification(info_name={
        "VendorName": "Korvane Test",
        "ProductCode": "KT-W",
        "MajorMinorRevision": revision,
    })
    server = ModbusTcpServer(ModbusServerContext(slaves=slave, single=True),
                             identity=identity, address=("127.0.0.1", port),
                             allow_reuse_address=True)
    task = asyncio.create_task(server.serve_forever())
    await server.serving
    threading.Thread(target=dumper, args=(slave,), daemon=True).start()
    print("listening", flush=True)
    await task


if __name__ == "__main__":
    asyncio.run(main(int(sys.argv[1]), sys.argv[2] if len(sys.argv) > 2 else "3.0"))
