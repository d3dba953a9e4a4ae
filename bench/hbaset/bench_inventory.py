#!/usr/bin/env python3
"""Times hbaset's inventory listings as whole processes.

For generated machines of 8, 32, 128 and 255 adapter functions (a mix of FC,
Brevin FC, converged FCoE/NIC and iSCSI/NIC adapters), and for the default
machine, runs `hbaset listhba` and `hbaset listattr /c` several times and
prints the median wall time, the cost per function and the peak resident
memory (from /usr/bin/time -v).

Usage: bench/hbaset/bench_inventory.py [BUILD_DIR] [--runs N]
Run it by hand on a quiet machine; it is not part of the test suite.
"""
import argparse
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

# (adapter kind, function kinds) in the order the generator repeats them.
PATTERN = [
    ("fc", ["fc"] * 4),
    ("brevin", ["fc"] * 4),
    ("cv3", ["fcoe"] * 2 + ["nic"] * 4),
    ("tarnel", ["iscsi"] * 4 + ["nic"] * 4),
]
SIZES = [8, 32, 128, 255]
# The "/nonexa" forms show the listings without the converged discovery that
# start-up runs through NEXA.
COMMANDS = [["listhba"], ["listattr", "/c"], ["listhba", "/nonexa"], ["listattr", "/c", "/nonexa"]]


def fleet_text(functions):
    """A fleet with exactly `functions` functions."""
    lines = []
    left = functions
    k = 0
    while left > 0:
        kind, funcs = PATTERN[k % len(PATTERN)]
        take = funcs[:left]
        if kind == "cv3" and "fcoe" not in take:
            take = take[:1]  # keep the adapter valid with what is left
        lines.append("adapter A%d %s" % (k, kind))
        lines.extend("function %s" % f for f in take)
        left -= len(take)
        k += 1
    return "\n".join(lines) + "\n"


def timed_runs(hbaset, args, env, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        r = subprocess.run([hbaset] + args, env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
        if r.returncode != 0:
            sys.exit("hbaset %s exited with %d" % (" ".join(args), r.returncode))
    return statistics.median(times)


def peak_rss_kib(hbaset, args, env):
    r = subprocess.run(["/usr/bin/time", "-v", hbaset] + args, env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    m = re.search(r"Maximum resident set size \(kbytes\): (\d+)", r.stderr)
    return int(m.group(1)) if m else -1


def main():
    p = argparse.ArgumentParser()
    p.add_argument("build", nargs="?", default=os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "..", "build"))
    p.add_argument("--runs", type=int, default=11)
    a = p.parse_args()
    bin_dir = os.path.join(a.build, "bin")
    hbaset = os.path.join(bin_dir, "hbaset")
    hbasim = os.path.join(bin_dir, "hbasim")
    if not os.path.exists("/usr/bin/time"):
        sys.exit("/usr/bin/time is missing (Debian package 'time')")

    print("%-8s %-22s %10s %14s %12s" % ("funcs", "command", "median ms", "ms/function",
                                          "peak RSS KiB"))
    results = {}  # (label, command) -> (median ms, peak RSS KiB)
    for size in [None] + SIZES:
        with tempfile.TemporaryDirectory(prefix="hbabench.") as state:
            env = dict(os.environ, HBASIM_DIR=state)
            init = [hbasim, "init"]
            if size is not None:
                path = os.path.join(state, "..", os.path.basename(state) + ".fleet")
                with open(path, "w") as f:
                    f.write(fleet_text(size))
                init += ["--fleet", path]
            subprocess.run(init, env=env, check=True, stdout=subprocess.DEVNULL)
            if size is not None:
                os.unlink(path)
            label = "default" if size is None else str(size)
            count = 12 if size is None else size
            for args in COMMANDS:
                med = timed_runs(hbaset, args, env, a.runs)
                rss = peak_rss_kib(hbaset, args, env)
                results[(label, " ".join(args))] = (med * 1000, rss)
                print("%-8s %-22s %10.1f %14.3f %12d" % (label, " ".join(args), med * 1000,
                                                         med * 1000 / count, rss))
    print_targets(results)


def print_targets(results):
    """The start-up targets, and the cost each further function adds."""
    def ms(label, cmd="listhba"):
        return results[(label, cmd)][0]
    peak = max(rss for (label, _), (_, rss) in results.items() if label == "255")
    checks = [
        ("listhba, default fleet, under 20 ms", ms("default"), 20.0),
        ("listhba, 128 functions, under 150 ms", ms("128"), 150.0),
        ("peak RSS at 255 functions, under 16 MiB", peak / 1024.0, 16.0),
    ]
    print()
    for what, got, limit in checks:
        print("%-42s %8.1f  %s" % (what, got, "ok" if got < limit else "MISSED"))
    # Roughly constant when the fleet grows: compare the cost of the functions
    # added between consecutive sizes (start-up's fixed cost cancels out).
    for cmd in ("listhba", "listattr /c"):
        steps = []
        for lo, hi in zip(SIZES, SIZES[1:]):
            steps.append("%d-%d: %.3f" % (lo, hi, (ms(str(hi), cmd) - ms(str(lo), cmd)) / (hi - lo)))
        print("%-22s ms per added function  %s" % (cmd, "  ".join(steps)))


if __name__ == "__main__":
    main()
