#!/usr/bin/env python3
"""Times `hbaset download` of a .UFI file through NEXA as a whole process.

A 16 MiB generation-3 image onto the first NIC function of a CV3 adapter
(hbaset verifies the headers and the size, the simulated NEXA checks them
again and writes the flash version), and a 4 MiB one to show that the time
does not grow with the image: neither side reads the image body. Each figure
is the median of repeated runs, beside `cp` of the same file.

Usage: bench/hbaset/bench_download_ufi.py [BUILD_DIR] [--runs N]
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

FLEET = """adapter CNA1 cv3
function fcoe
function nic
"""
MIB = 1024 * 1024
TARGET_S = 1.0


def timed(cmd, env, runs, ok_codes):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        r = subprocess.run(cmd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
        if r.returncode not in ok_codes:
            sys.exit("%s exited with %d" % (" ".join(cmd), r.returncode))
    return statistics.median(times)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("build", nargs="?", default=os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "..", "build"))
    p.add_argument("--runs", type=int, default=11)
    a = p.parse_args()
    bin_dir = os.path.join(a.build, "bin")
    hbaset = os.path.join(bin_dir, "hbaset")
    hbasim = os.path.join(bin_dir, "hbasim")
    work = tempfile.mkdtemp(prefix="bench-ufi-")
    try:
        env = dict(os.environ, HBASIM_DIR=os.path.join(work, "state"), PLAT_SLEEP_SCALE="0")
        fleet = os.path.join(work, "fleet.txt")
        with open(fleet, "w") as f:
            f.write(FLEET)
        subprocess.run([hbasim, "init", "--fleet", fleet], env=env, check=True,
                       stdout=subprocess.DEVNULL)
        # Table: the FCoE function is n=1, the NIC function n=2.
        print("%-26s %8s %10s %10s %8s" % ("case", "MiB", "median s", "cp s", "target"))
        for size in (4 * MIB, 16 * MIB):
            path = os.path.join(work, "fw%d.ufi" % size)
            subprocess.run([hbasim, "image", "ufi", "--gen", "3", "--size", str(size),
                            "-o", path], env=env, check=True, stdout=subprocess.DEVNULL)
            dl = timed([hbaset, "download", "n=2", "i=" + path], env, a.runs, (0, 80))
            cp = timed(["cp", path, os.path.join(work, "copy")], env, a.runs, (0,))
            ok = "ok" if dl < TARGET_S else "SLOW"
            print("%-26s %8.2f %10.4f %10.4f %8s" % (".UFI through NEXA", size / MIB, dl, cp, ok))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
