#!/usr/bin/env python3
"""Production benchmarks: rm516x-isp against paced rm516x-sim instances at 115200 bit/s.

  production_bench.py gang [PORTS]   a full RM5168 burn with verify on PORTS ports at once
                                     (default 4) against the single-port burn of the same
                                     image: both walls, their ratio, host CPU per port
  production_bench.py read           read of a full RM5168: wall against the wire-time bound

Usage: production_bench.py MODE NATIVE_BUILD_DIR [PORTS]
"""
import os
import resource
import subprocess
import sys
import tempfile
import time

from burn_bench import start_sim

RATE = 115200
PAGES = 128 + 126           # the RM5168's user pages: 64 KiB in bank 0, 63 KiB in bank 1
PAGE_BYTES = 512


version_at = []  # when each "version" event arrived (with --json)


def run_isp(build, work, args):
    """rm516x-isp with args; returns (exit status, wall s, CPU s of it and its children).

    The simulators are still running when the usage is taken, so only rm516x-isp (and the
    children it reaped) count."""
    env = dict(os.environ, XDG_CONFIG_HOME=work)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    proc = subprocess.Popen([os.path.join(build, "cli", "rm516x-isp")] + args, env=env,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    for line in proc.stdout:
        if '"event":"version"' in line:
            version_at.append(time.monotonic())
    proc.wait()
    wall = time.monotonic() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    if proc.returncode != 0:
        sys.exit(f"rm516x-isp {' '.join(args)} failed: {proc.stderr.read()}")
    return wall, cpu


def burn(build, work, image, ports):
    sims = [start_sim(build, work, ["--pace"], f"sim{i}") for i in range(ports)]
    args = ["burn", "--chip", "RM5168", "--baud", str(RATE), "--verify", image]
    for _, device in sims:
        args += ["--port", device]
    wall, cpu = run_isp(build, work, args)
    for sim, _ in sims:
        sim.wait(timeout=30)
    return wall, cpu


def gang(build, ports):
    with tempfile.TemporaryDirectory() as work:
        image = os.path.join(work, "full.bin")
        with open(image, "wb") as f:
            f.write(bytes((i * 131 + (i >> 9)) & 0xFF for i in range(PAGES * PAGE_BYTES)))
        single, single_cpu = burn(build, work, image, 1)
        many, many_cpu = burn(build, work, image, ports)
    print(f"full RM5168 burn ({PAGES} pages) with verify, {RATE} bit/s, paced")
    print(f"  1 port:  {single:.3f} s wall, host CPU {100 * single_cpu / single:.2f} % of one core")
    print(f"  {ports} ports: {many:.3f} s wall, host CPU {many_cpu:.3f} s")
    print(f"  wall {ports} ports / 1 port: {many / single:.4f}   (target <= 1.05)")
    print(f"  host CPU per port: {100 * many_cpu / many / ports:.2f} % of one core   (target <= 5 %)")


def read(build):
    # What crosses the wire, from the protocol's frames: the host's echo of the 4-byte word
    # and the version byte; then four phases, each a marker, the host's 0xFF and the '&'
    # (read erases and programs nothing); in the verify phase one page byte out and the
    # page's 512 bytes back per page.
    wire = 4 + 1 + 4 * 3 + PAGES * (1 + PAGE_BYTES)
    bound = wire * 10 / RATE
    with tempfile.TemporaryDirectory() as work:
        sim, device = start_sim(build, work, ["--pace"])
        wall, cpu = run_isp(build, work, ["read", "--chip", "RM5168", "--port", device,
                                          "--baud", str(RATE), "--json",
                                          "-o", os.path.join(work, "chip.bin")])
        end = time.monotonic()
        sim.wait(timeout=30)
    read_time = wall - (version_at[-1] - (end - wall)) if version_at else wall
    print(f"read of a full RM5168 ({PAGES} pages), {RATE} bit/s, paced")
    print(f"  wire bytes: 4 + 1 + 4 x 3 + {PAGES} x (1 + {PAGE_BYTES}) = {wire}; "
          f"x 10 bits / {RATE} = {bound:.3f} s")
    print(f"  wall (process start to exit): {wall:.3f} s, host CPU {100 * cpu / wall:.2f} %")
    print(f"  version byte to exit: {read_time:.3f} s")
    print(f"  wall / wire bound: {wall / bound:.4f}; version byte to exit / wire bound: "
          f"{read_time / bound:.4f}   (target <= 1.03)")


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    mode, build = sys.argv[1], sys.argv[2]
    if mode == "gang":
        gang(build, int(sys.argv[3]) if len(sys.argv) > 3 else 4)
    elif mode == "read":
        read(build)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
