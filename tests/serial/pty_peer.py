#!/usr/bin/env python3
"""The device end of a pseudo-terminal for the Wine serial test (wine_serial_test.cpp).

Prints the slave's path on the first line of stdout, then answers command bytes on the
master until killed:  'A' -> b"abc";  'B' -> 200 bytes (i*7+1) in four pieces 20 ms
apart;  'E' followed by 16 bytes -> those 16 bytes back.  Anything else is ignored.
"""
import os
import pty
import sys
import time
import tty


def read_exactly(fd, count):
    data = b""
    while len(data) < count:
        chunk = os.read(fd, count - len(data))
        if not chunk:
            raise EOFError
        data += chunk
    return data


def main():
    master, slave = pty.openpty()
    tty.setraw(slave)
    # The slave stays open here so the pair survives between the test's opens.
    print(os.ttyname(slave), flush=True)
    pattern = bytes((i * 7 + 1) & 0xFF for i in range(200))
    while True:
        try:
            command = os.read(master, 1)
        except OSError:
            time.sleep(0.05)  # no reader on the slave side yet
            continue
        if command == b"A":
            os.write(master, b"abc")
        elif command == b"B":
            for piece in range(4):
                os.write(master, pattern[piece * 50:(piece + 1) * 50])
                time.sleep(0.02)
        elif command == b"E":
            os.write(master, read_exactly(master, 16))


if __name__ == "__main__":
    sys.exit(main())
