#!/usr/bin/env python3
"""Times `hbaset download` as a whole process against the simulated machine.

Cases: a 16 MiB .GRP onto a Brevin FC function (object writes of 1 KiB), a
2 MiB PRG through MBX_DOWN_LOAD (about 19,400 mailboxes of 108 bytes) and a
2 MiB .ALL through MBX_LOAD_AREA, each the median of repeated runs, beside
`cp` of the same file. The PRG and .ALL cases also run at a quarter of the
size: the cost per mailbox request must not grow with the image size.

Usage: bench/hbaset/bench_download.py [BUILD_DIR] [--runs N]
Run it by hand on a quiet machine from a Release build; it is not part of the
test suite.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

FLEET = """adapter C1 fc
    model = TGF1100
function fc device_id = 0xF100 hw_type = 4100
adapter B1 brevin
function fc
"""
MIB = 1024 * 1024
TARGET_S = 1.0


def timed(cmd, env, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        r = subprocess.run(cmd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
        if r.returncode != 0:
            sys.exit("%s exited with %d" % (" ".join(cmd), r.returncode))
    return statistics.median(times)


def make(hbasim, env, args, path):
    subprocess.run([hbasim, "image"] + args + ["-o", path], env=env, check=True,
                   stdout=subprocess.DEVNULL)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("build", nargs="?", default=os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "..", "build"))
    p.add_argument("--runs", type=int, default=7)
    a = p.parse_args()
    bin_dir = os.path.join(a.build, "bin")
    hbaset = os.path.join(bin_dir, "hbaset")
    hbasim = os.path.join(bin_dir, "hbasim")
    work = tempfile.mkdtemp(prefix="bench-download-")
    try:
        env = dict(os.environ, HBASIM_DIR=os.path.join(work, "state"), PLAT_SLEEP_SCALE="0")
        fleet = os.path.join(work, "fleet.txt")
        with open(fleet, "w") as f:
            f.write(FLEET)
        subprocess.run([hbasim, "init", "--fleet", fleet], env=env, check=True,
                       stdout=subprocess.DEVNULL)
        cases = []
        for size in (16 * MIB,):
            path = os.path.join(work, "fw%d.grp" % size)
            make(hbasim, env, ["grp", "--size", str(size)], path)
            cases.append((".GRP, object writes", "n=2", path, size, 1024))
        for size in (MIB // 2, 2 * MIB):
            path = os.path.join(work, "fw%d.prg" % size)
            make(hbasim, env, ["prg", "--size", str(size)], path)
            cases.append(("PRG, MBX_DOWN_LOAD", "n=1", path, size, 108))
        for size in (MIB // 2, 2 * MIB):
            path = os.path.join(work, "fw%d.ALL" % size)
            make(hbasim, env, ["aif", "--kind", "bwc", "--idword", "0x03790101",
                               "--base", "0x100000", "--body", str(size - 136), "--all"], path)
            cases.append((".ALL, MBX_LOAD_AREA", "n=1", path, size, 108))

        print("%-22s %8s %10s %10s %12s %8s" % ("case", "MiB", "median s", "cp s",
                                               "us/request", "target"))
        per_request = {}
        for name, target, path, size, chunk in cases:
            dl = timed([hbaset, "download", target, "i=" + path], env, a.runs)
            cp = timed(["cp", path, os.path.join(work, "copy")], env, a.runs)
            requests = (size + chunk - 1) // chunk
            us = dl * 1e6 / requests
            per_request.setdefault(name, []).append(us)
            ok = "ok" if dl < TARGET_S else "SLOW"
            print("%-22s %8.2f %10.3f %10.4f %12.1f %8s" % (name, size / MIB, dl, cp, us, ok))
        print()
        for name, values in per_request.items():
            if len(values) > 1:
                print("%s: us per request %s (should stay about the same as the image grows)"
                      % (name, " -> ".join("%.1f" % v for v in values)))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
