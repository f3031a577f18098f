"""The Modbus TCP server both pymodbus test devices run: pymodbus's own
server on 127.0.0.1, one slave in zero mode, identifying itself with the
given product code and revision. Prints "listening" once it serves."""

import asyncio

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.device import ModbusDeviceIdentification
from pymodbus.server.async_io import ModbusTcpServer


def slave_of(ir, hr, di, co):
    return ModbusSlaveContext(
        ir=ModbusSequentialDataBlock(0, ir),
        hr=ModbusSequentialDataBlock(0, hr),
        di=ModbusSequentialDataBlock(0, di),
        co=ModbusSequentialDataBlock(0, co),
        zero_mode=True)


async def serve(port, revision, product, slave, on_serving=None):
    identity = ModbusDeviceIdentification(info_name={
        "VendorName": "Korvane Test",
        "ProductCode": product,
        "MajorMinorRevision": revision,
    })
    server = ModbusTcpServer(ModbusServerContext(slaves=slave, single=True),
                             identity=identity, address=("127.0.0.1", port),
                             allow_reuse_address=True)
    task = asyncio.create_task(server.serve_forever())
    await server.serving
    if on_serving:
        on_serving()
    print("listening", flush=True)
    await task


def run(slave, product, default_revision, on_serving=None):
    """Serves on the port of argv[1] with the revision of argv[2]."""
    import sys
    revision = sys.argv[2] if len(sys.argv) > 2 else default_revision
    asyncio.run(serve(int(sys.argv[1]), revision, product, slave, on_serving))
