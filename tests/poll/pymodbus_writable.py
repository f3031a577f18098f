#!/usr/bin/python3
"""Writable Modbus TCP device for the write tests, independent of the C++ code.

Serves 100 holding registers and 100 coils (reads and writes past them are
answered with exception 2). Arguments: port [major-minor revision]. Prints
"listening" once it serves; for every line "dump" on stdin it prints the
first 12 holding registers and the first 4 coils as one line of numbers,
straight from its own data store.
"""
import sys
import threading

import pymodbus_server

TABLE_SIZE = 100
HOLDINGS = [0] * TABLE_SIZE
HOLDINGS[4] = 0x8001  # the register of two bit fields: other bits are set


def dumper(slave):
    for line in sys.stdin:
        if line.strip() == "dump":
            registers = slave.getValues(3, 0, 12)
            coils = [int(bool(c)) for c in slave.getValues(1, 0, 4)]
            print(" ".join(str(v) for v in registers + coils), flush=True)


if __name__ == "__main__":
    slave = pymodbus_server.slave_of([0] * TABLE_SIZE, list(HOLDINGS), [0] * TABLE_SIZE, [0] * TABLE_SIZE)
    pymodbus_server.run(slave, "KT-W", "3.0",
                        lambda: threading.Thread(target=dumper, args=(slave,), daemon=True).start())
