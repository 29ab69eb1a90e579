#!/usr/bin/env python3
"""Burn benchmarks: rm516x-isp burn against rm516x-sim on a pseudo-terminal.

  burn_bench.py paced      full RM5168 image, verify, 115200 bit/s, simulator --pace:
                           wall time over the wire-time bound, host CPU over wall
  burn_bench.py unpaced    the same burn without pacing: total time, host time per page
  burn_bench.py idle [S]   a handshake that never comes, --wait S (default 10): host CPU over wall

Usage: burn_bench.py MODE NATIVE_BUILD_DIR
"""
import json
import os
import resource
import subprocess
import sys
import tempfile
import time

RATE = 115200
PAGES = 128 + 126           # the RM5168's limits: 64 KiB in bank 0, 63 KiB in bank 1
PAGE_BYTES = 512


def start_sim(build, work, extra, name="sim"):
    """Starts an RM5168 simulator; returns (process, its device). Its files are NAME.out, NAME.log."""
    out = open(os.path.join(work, name + ".out"), "w+")
    sim = subprocess.Popen([os.path.join(build, "sim", "rm516x-sim"), "--chip", "RM5168",
                            "--log", os.path.join(work, name + ".log"), "--marker-ms", "0",
                            "--idle-ms", "5000"] + extra, stdout=out, stderr=subprocess.STDOUT)
    for _ in range(100):
        out.seek(0)
        line = out.readline()
        if line.endswith("\n"):
            return sim, line.strip()
        time.sleep(0.05)
    sim.kill()
    sys.exit("the simulator did not start")


def run_burn(build, work, device, image, extra):
    """Runs the burn; returns (events with arrival times, CPU seconds, wall seconds)."""
    env = dict(os.environ, XDG_CONFIG_HOME=work)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    proc = subprocess.Popen([os.path.join(build, "cli", "rm516x-isp"), "burn", "--chip", "RM5168",
                             "--port", device, "--baud", str(RATE), "--json"] + extra + [image],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env, text=True)
    events = []
    for line in proc.stdout:
        events.append((time.monotonic(), json.loads(line)))
    proc.wait()
    wall = time.monotonic() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return proc.returncode, events, cpu, wall, proc.stderr.read()


def wire_bytes_after_handshake(log_path):
    """Bytes both ways from the host's echo of the word to the end, as the simulator logged them."""
    total, counting = 0, False
    with open(log_path) as log:
        for line in log:
            parts = line.split()
            if len(parts) < 3 or parts[0] not in ("TX", "RX"):
                continue
            if parts[0] == "RX" and parts[1] == "handshake":
                counting = True
            if counting:
                total += len(parts) - 2
    return total


def full_burn(build, paced):
    with tempfile.TemporaryDirectory() as work:
        image = os.path.join(work, "full.bin")
        with open(image, "wb") as f:
            f.write(bytes((i * 131 + (i >> 9)) & 0xFF for i in range(PAGES * PAGE_BYTES)))
        sim, device = start_sim(build, work, ["--pace"] if paced else [])
        rc, events, cpu, wall, err = run_burn(build, work, device, image, ["--verify"])
        sim.wait(timeout=30)
        if rc != 0:
            sys.exit("burn failed: " + err)
        t_version = next(t for t, e in events if e["event"] == "version")
        t_end = next(t for t, e in events if e["event"] == "end")
        wire = wire_bytes_after_handshake(os.path.join(work, "sim.log"))
        return wall, cpu, t_end - t_version, wire


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    mode, build = sys.argv[1], sys.argv[2]
    if mode == "paced":
        wall, cpu, burn, wire = full_burn(build, True)
        bound = wire * 10 / RATE
        print(f"paced burn, RM5168 {PAGES} pages, verify, {RATE} bit/s")
        print(f"  wire bytes after the handshake: {wire}; wire-time bound {bound:.3f} s")
        print(f"  burn time (version byte to end): {burn:.3f} s")
        print(f"  wall / wire bound: {burn / bound:.4f}   (target <= 1.03)")
        print(f"  host CPU {cpu:.3f} s over process wall {wall:.3f} s: {100 * cpu / wall:.2f} %   (target <= 5 %)")
    elif mode == "unpaced":
        wall, cpu, burn, _ = full_burn(build, False)
        print(f"unpaced burn, RM5168 {PAGES} pages, verify")
        print(f"  burn time (version byte to end): {burn:.3f} s   (target < 0.5 s)")
        print(f"  process wall {wall:.3f} s, host CPU {cpu:.3f} s: {1000 * cpu / PAGES:.3f} ms per page")
    elif mode == "idle":
        seconds = sys.argv[3] if len(sys.argv) > 3 else "10"
        with tempfile.TemporaryDirectory() as work:
            image = os.path.join(work, "small.bin")
            with open(image, "wb") as f:
                f.write(bytes(range(256)) * 4)
            sim, device = start_sim(build, work, ["--fault", "silent=handshake"])
            rc, _, cpu, wall, _ = run_burn(build, work, device, image, ["--wait", seconds])
            sim.terminate()
            sim.wait()
            print(f"handshake that never comes, --wait {seconds}: exit {rc}")
            print(f"  host CPU {cpu:.3f} s over wall {wall:.3f} s: {100 * cpu / wall:.3f} %   (target <= 1 %)")
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
