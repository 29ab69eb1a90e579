#!/usr/bin/env python3
"""Prints how long a byte takes through a program running in rm516x-sim --run.

Usage: bench/run_latency.py [build dir]   (default: build/native)

Burns examples/echo.hex into rm516x-sim --run, then sends one byte at a time 100 times and
times it from the write to the echoed byte on the reader's standard output: through
rm516x-isp monitor (its standard input and output) when the tool has that command, through a
raw read of the port otherwise. The time includes the way in, so it bounds the time from the
byte the simulated UART sends to the reader's output from above; the way through s51 alone
(its FIFOs, no relay) is timed too, to show what of it is s51's.
"""
import os
import select
import statistics
import subprocess
import sys
import tempfile
import termios
import time
import tty

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build/native")
ISP = os.path.join(BUILD, "cli/rm516x-isp")
SIM = os.path.join(BUILD, "sim/rm516x-sim")
ECHO = os.path.join(ROOT, "examples/echo.hex")
COUNT = 100


def round_trips(write, fd):
    """Milliseconds from write(b) to b read from fd, COUNT times."""
    times = []
    for i in range(COUNT):
        byte = bytes([ord("a") + i % 26])
        start = time.perf_counter()
        write(byte)
        got = b""
        while byte not in got:
            ready, _, _ = select.select([fd], [], [], 5)
            if not ready:
                sys.exit(f"run_latency: no echo of byte {i} within 5 s")
            got += os.read(fd, 64)
        times.append((time.perf_counter() - start) * 1000)
    return times


def show(label, times):
    times.sort()
    print(f"{label}: median {statistics.median(times):.2f} ms, "
          f"90% {times[int(len(times) * 0.9)]:.2f} ms, max {times[-1]:.2f} ms ({len(times)} bytes)")


def through_sim():
    sim = subprocess.Popen([SIM, "--run"], stdout=subprocess.PIPE)
    try:
        port = sim.stdout.readline().decode().strip()
        burn = subprocess.run([ISP, "burn", "--chip", "RM5164", "--fill", "0xFF", "--port", port,
                               "--baud", "9600", "--wait", "30", ECHO],
                              stdout=subprocess.DEVNULL, timeout=60, check=False)
        if burn.returncode != 0:
            sys.exit("run_latency: the burn failed")
        help_text = subprocess.run([ISP, "--help"], capture_output=True, text=True, check=False).stdout
        if "\n  monitor " in help_text:
            monitor = subprocess.Popen([ISP, "monitor", "--port", port, "--baud", "9600", "--seconds", "600"],
                                       stdin=subprocess.PIPE, stdout=subprocess.PIPE, bufsize=0)
            try:
                def send(byte):
                    monitor.stdin.write(byte)
                show("monitor stdin -> rm516x-sim --run -> monitor stdout",
                     round_trips(send, monitor.stdout.fileno()))
            finally:
                monitor.terminate()
                monitor.wait(10)
        else:
            print("(rm516x-isp has no monitor command: a raw reader of the port stands in)")
            fd = os.open(port, os.O_RDWR | os.O_NOCTTY)
            tty.setraw(fd)
            attrs = termios.tcgetattr(fd)
            attrs[4] = attrs[5] = termios.B9600
            termios.tcsetattr(fd, termios.TCSANOW, attrs)
            show("port write -> rm516x-sim --run -> port read",
                 round_trips(lambda byte: os.write(fd, byte), fd))
            os.close(fd)
    finally:
        sim.terminate()
        sim.wait(10)


def s51_alone():
    with tempfile.TemporaryDirectory() as work:
        fifo_in, fifo_out = os.path.join(work, "in"), os.path.join(work, "out")
        os.mkfifo(fifo_in)
        os.mkfifo(fifo_out)
        to_s51 = os.open(fifo_in, os.O_RDWR)
        from_s51 = os.open(fifo_out, os.O_RDWR)
        s51 = subprocess.Popen(["s51", "-X", "11059200", "-e", "expr uart0_check_often=1",
                                "-S", f"in={fifo_in},out={fifo_out}", "-g", ECHO],
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
        try:
            show("s51 alone (its FIFOs, no relay)", round_trips(lambda b: os.write(to_s51, b), from_s51))
        finally:
            s51.kill()
            s51.wait(10)


if __name__ == "__main__":
    print(f"{os.cpu_count()} CPUs, load {os.getloadavg()[0]:.2f}")
    through_sim()
    s51_alone()
