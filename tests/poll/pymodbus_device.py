#!/usr/bin/python3
"""Modbus TCP device for the poller tests, independent of the C++ code.

Every value is packed here with struct and laid out byte by byte in the
order the register map names (the digit at position k of an order is the
significance of the k-th byte on the wire). Tables hold TABLE_SIZE entries;
reads past them are answered with exception 2 (illegal data address).

Arguments: port [major-minor revision]. Prints "listening" once it serves.
"""
import struct

import pymodbus_server

TABLE_SIZE = 100


def ordered(fmt, value, order):
    """Words of value (struct format fmt) sent in the given byte order."""
    little = struct.pack("<" + fmt, value)
    wire = bytes(little[int(digit)] for digit in order)
    return [int.from_bytes(wire[i:i + 2], "big") for i in range(0, len(wire), 2)]


INPUTS = {
    0: ordered("f", 12.5, "3210"),
    2: ordered("f", -0.75, "1032"),
    4: ordered("I", 4000000000, "3210"),
    6: ordered("i", -123456, "1032"),
    8: ordered("I", 0x11223344, "2301"),
    10: ordered("H", 65535, "10"),
    11: ordered("h", -2, "10"),
    12: ordered("H", 0x1234, "01"),
    13: ordered("Q", 12345678901234567890, "76543210"),
    17: ordered("q", -9876543210123, "10325476"),
    21: ordered("d", -2.5e10, "76543210"),
    25: ordered("d", 3.141592653589793, "01234567"),
    29: [0xABCD],                    # two unsigned bytes
    30: [0xFF01],                    # two signed bytes
    31: [0x80F6],                    # the register of three bit fields
    32: ordered("h", -300, "10"),
    33: [0x0102, 0x0304, 0x0506],    # an array of three words
    40: ordered("f", 0.1, "3210"),
    42: ordered("f", 0.1, "3210"),
}
HOLDINGS = {
    0: ordered("f", 21.5, "3210"),
    2: ordered("H", 7, "10"),
    3: ordered("i", -5, "3210"),
}
DISCRETES = [1, 0]
COILS = [1, 0, 1]


def flatten(table):
    values = [0] * TABLE_SIZE
    for start, words in table.items():
        values[start:start + len(words)] = words
    return values


def padded(bits):
    return bits + [0] * (TABLE_SIZE - len(bits))


if __name__ == "__main__":
    pymodbus_server.run(
        pymodbus_server.slave_of(flatten(INPUTS), flatten(HOLDINGS), padded(DISCRETES), padded(COILS)),
        "KT-1", "2.10")
