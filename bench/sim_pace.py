#!/usr/bin/env python3
"""Prints how closely rm516x-sim --pace holds bytes to the wire time of the host's rate.

Usage: bench/sim_pace.py [path/to/rm516x-sim]   (default: build/native/sim/rm516x-sim)

For each rate: a program command (page byte + 256 data bytes in, 1 echo byte out, 258
characters on the wire) and a read-back (1 page byte in, 256 bytes out, 257 characters),
each timed from the host's write to the last byte read, against 10 bits a character.
"""
import os
import select
import subprocess
import sys
import termios
import time
import tty

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SIM = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build/native/sim/rm516x-sim")
RATES = [(4800, termios.B4800), (9600, termios.B9600), (19200, termios.B19200),
         (38400, termios.B38400), (57600, termios.B57600), (115200, termios.B115200)]


def read(fd, count, timeout):
    got = b""
    end = time.monotonic() + timeout
    while len(got) < count and time.monotonic() < end:
        ready, _, _ = select.select([fd], [], [], end - time.monotonic())
        if ready:
            got += os.read(fd, count - len(got))
    return got


def main():
    sim = subprocess.Popen([SIM, "--pace", "--announce-ms", "20"], stdout=subprocess.PIPE)
    fd = os.open(sim.stdout.readline().decode().strip(), os.O_RDWR | os.O_NOCTTY)
    tty.setraw(fd)
    termios.tcflush(fd, termios.TCIFLUSH)
    window = b""
    while not window.endswith(b"zafo"):
        window = (window + read(fd, 1, 1))[-4:]
    os.write(fd, b"zafo")
    assert read(fd, 2, 2) == b"\x17\x22"
    os.write(fd, b"\x00")
    assert read(fd, 1, 2) == b"\x00"
    os.write(fd, b"\xff")
    assert read(fd, 2, 2) == b"&#"

    print(f"{'rate':>7} {'program ms':>11} {'wire ms':>8} {'read-back ms':>13} {'wire ms':>8}")
    results = []
    for rate, constant in RATES:
        attrs = termios.tcgetattr(fd)
        attrs[4] = attrs[5] = constant
        termios.tcsetattr(fd, termios.TCSANOW, attrs)
        start = time.monotonic()
        os.write(fd, b"\x00" + bytes(range(256)))
        assert read(fd, 1, 5) == b"\x00"
        program_ms = (time.monotonic() - start) * 1000
        results.append((rate, program_ms))
    os.write(fd, b"\xff")
    assert read(fd, 2, 2) == b"&$"
    for (rate, program_ms), (_, constant) in zip(results, RATES):
        attrs = termios.tcgetattr(fd)
        attrs[4] = attrs[5] = constant
        termios.tcsetattr(fd, termios.TCSANOW, attrs)
        start = time.monotonic()
        os.write(fd, b"\x00")
        assert len(read(fd, 256, 5)) == 256
        readback_ms = (time.monotonic() - start) * 1000
        print(f"{rate:>7} {program_ms:>11.1f} {258e4 / rate:>8.1f} {readback_ms:>13.1f} {257e4 / rate:>8.1f}")
    sim.terminate()
    sim.wait()


if __name__ == "__main__":
    main()
