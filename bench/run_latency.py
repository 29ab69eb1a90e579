#!/usr/bin/env python3
"""Prints how long a byte takes to reach rm516x-isp monitor's standard output.

Usage: bench/run_latency.py [build dir]   (default: build/native)

Times 100 bytes each way, one at a time, at a random moment:
- from the write of the simulated UART's end of a pseudo-terminal to the byte on the
  monitor's standard output (what the monitor itself adds);
- from the monitor's standard input through examples/echo.hex running in rm516x-sim --run and
  back to its standard output (the whole loop a user types into);
- through s51 alone (its FIFOs, no relay), to show what of the loop is s51's.
"""
import os
import random
import select
import statistics
import subprocess
import sys
import tempfile
import time

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
        time.sleep(random.uniform(0, 0.02))  # at any point of the reader's wait
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


def start_monitor(port):
    return subprocess.Popen([ISP, "monitor", "--port", port, "--baud", "9600", "--seconds", "600"],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                            bufsize=0)


def stop(process):
    process.terminate()
    process.wait(10)


def uart_to_stdout():
    master, slave = os.openpty()
    port = os.ttyname(slave)
    os.close(slave)
    monitor = start_monitor(port)
    try:
        time.sleep(0.5)  # the monitor opens the port
        show("UART (pseudo-terminal) -> monitor stdout",
             round_trips(lambda byte: os.write(master, byte), monitor.stdout.fileno()))
    finally:
        stop(monitor)
        os.close(master)


def through_sim():
    sim = subprocess.Popen([SIM, "--run"], stdout=subprocess.PIPE)
    try:
        port = sim.stdout.readline().decode().strip()
        burn = subprocess.run([ISP, "burn", "--chip", "RM5164", "--fill", "0xFF", "--port", port,
                               "--baud", "9600", "--wait", "30", ECHO],
                              stdout=subprocess.DEVNULL, timeout=60, check=False)
        if burn.returncode != 0:
            sys.exit("run_latency: the burn failed")
        monitor = start_monitor(port)
        try:
            show("monitor stdin -> rm516x-sim --run -> monitor stdout",
                 round_trips(monitor.stdin.write, monitor.stdout.fileno()))
        finally:
            stop(monitor)
    finally:
        stop(sim)


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
    uart_to_stdout()
    through_sim()
    s51_alone()
