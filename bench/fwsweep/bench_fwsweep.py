#!/usr/bin/env python3
"""fwsweep's own cost beside the hbaset runs it makes.

For fleets of 8, 32 and 64 converged adapters (an FCoE and a NIC function
each) it times `fwsweep /q` and `fwsweep /update` as whole processes, and the
hbaset child processes they ran, each measured the same way (wall time around
the process). Each case runs twice on a fresh machine:
once from a private folder whose `hbaset` is a small timing wrapper around
the real one (giving the children's times), once beside the real `hbaset`
(giving fwsweep's total, free of the wrapper's cost).

    bench/fwsweep/bench_fwsweep.py build            # 3 runs per case
    bench/fwsweep/bench_fwsweep.py build --runs 5

Target: fwsweep's own overhead (total minus the children) under 10% of the
total.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

# Runs the real hbaset and logs its wall time, its CPU time (from wait4) and
# the wrapper's own CPU time, which the figures then leave out of fwsweep's.
WRAPPER = """#!/usr/bin/env -S python3 -S
import os, resource, sys, time
start = time.perf_counter()
real = os.environ["FWBENCH_REAL"]
pid = os.posix_spawn(real, [real] + sys.argv[1:], os.environ)
_, status, ru = os.wait4(pid, 0)
end = time.perf_counter()
me = resource.getrusage(resource.RUSAGE_SELF)
with open(os.environ["FWBENCH_LOG"], "a") as f:
    f.write(f"{end - start} {ru.ru_utime + ru.ru_stime} {me.ru_utime + me.ru_stime}\\n")
sys.exit(os.waitstatus_to_exitcode(status))
"""


def fleet(adapters):
    lines = []
    for i in range(adapters):
        lines.append(f"adapter A{i} cv3 serial = S{i:03d} fw_active = 4.2.324.0")
        lines.append("function fcoe revision = 0x02")
        lines.append("function nic revision = 0x02")
    return "\n".join(lines) + "\n"


def run(cmd, env, cwd):
    """Wall time, CPU time (with every descendant it waited for) and exit code."""
    t0 = time.perf_counter()
    p = subprocess.Popen(cmd, env=env, cwd=cwd, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
    _, status, ru = os.wait4(p.pid, 0)
    wall = time.perf_counter() - t0
    p.returncode = os.waitstatus_to_exitcode(status)
    return wall, ru.ru_utime + ru.ru_stime, p.returncode


def children_seconds(log):
    """Wall and CPU seconds of the hbaset runs, the CPU of the wrappers, the run count."""
    wall = cpu = wrapper = 0.0
    n = 0
    with open(log) as f:
        for line in f:
            w, c, own = (float(x) for x in line.split())
            wall, cpu, wrapper, n = wall + w, cpu + c, wrapper + own, n + 1
    return wall, cpu, wrapper, n


def prepare(bindir, tmp, adapters, wrapped):
    """A fresh machine and a folder with fwsweep, its image and matrix."""
    env = dict(os.environ, HBASIM_DIR=os.path.join(tmp, "state"), PLAT_SLEEP_SCALE="0")
    fleet_file = os.path.join(tmp, "fleet.txt")
    with open(fleet_file, "w") as f:
        f.write(fleet(adapters))
    subprocess.run([os.path.join(bindir, "hbasim"), "init", "--fleet", fleet_file],
                   env=env, check=True, stdout=subprocess.DEVNULL)
    work = os.path.join(tmp, "bin")
    os.makedirs(os.path.join(work, "firmware"))
    shutil.copy(os.path.join(bindir, "fwsweep"), work)
    os.symlink(os.path.join(bindir, "libhbaplatform.so"), os.path.join(work, "libhbaplatform.so"))
    if wrapped:
        with open(os.path.join(work, "hbaset"), "w") as f:
            f.write(WRAPPER)
        os.chmod(os.path.join(work, "hbaset"), 0o755)
    else:
        # A link: hbaset still finds its libraries beside its real path.
        os.symlink(os.path.join(bindir, "hbaset"), os.path.join(work, "hbaset"))
    subprocess.run([os.path.join(bindir, "hbasim"), "image", "ufi", "--gen", "3",
                    "--version", "4.6.281.8", "--asic", "0", "-o",
                    os.path.join(work, "firmware", "cv3new.ufi")], env=env, check=True)
    with open(os.path.join(work, "fwmatrix.txt"), "w") as f:
        f.write("CV3C100-FCoE cv3new.ufi\n")
    env["FWBENCH_REAL"] = os.path.join(bindir, "hbaset")
    env["FWBENCH_LOG"] = os.path.join(tmp, "children.log")
    return env, work


def one_case(bindir, adapters, switch, runs):
    walls, cwalls, cpus, ccpus, counts = [], [], [], [], []
    for _ in range(runs):
        with tempfile.TemporaryDirectory() as tmp:
            env, work = prepare(bindir, tmp, adapters, True)
            _, _, rc = run([os.path.join(work, "fwsweep"), switch], env, tmp)
            if rc not in (0, 1):
                sys.exit(f"fwsweep {switch} ended with {rc}")
            cwall, ccpu, _, n = children_seconds(env["FWBENCH_LOG"])
        with tempfile.TemporaryDirectory() as tmp:
            env, work = prepare(bindir, tmp, adapters, False)
            wall, cpu, rc = run([os.path.join(work, "fwsweep"), switch], env, tmp)
            if rc not in (0, 1):
                sys.exit(f"fwsweep {switch} ended with {rc}")
        walls.append(wall)
        cpus.append(cpu)
        cwalls.append(cwall)
        ccpus.append(ccpu)
        counts.append(n)
    med = statistics.median
    return med(walls), med(cwalls), med(cpus), med(ccpus), counts[0]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build", nargs="?", default="build")
    ap.add_argument("--runs", type=int, default=3)
    args = ap.parse_args()
    bindir = os.path.join(os.path.abspath(args.build), "bin")
    print("CPU time (user + system) decides; wall time is shown for a quiet machine.")
    print(f"{'case':<22}{'runs':>5}{'cpu ms':>9}{'hbaset':>9}{'own':>7}{'own %':>7}"
          f"{'wall ms':>10}{'hbaset':>9}{'own %':>7}")
    worst = 0.0
    for adapters in (8, 32, 64):
        for switch in ("/q", "/update"):
            wall, cwall, cpu, ccpu, n = one_case(bindir, adapters, switch, args.runs)
            pct = 100.0 * (cpu - ccpu) / cpu
            wpct = 100.0 * (wall - cwall) / wall
            worst = max(worst, pct)
            print(f"{adapters:>3} adapters {switch:<9}{n:>5}{cpu * 1000:>9.1f}{ccpu * 1000:>9.1f}"
                  f"{(cpu - ccpu) * 1000:>7.1f}{pct:>6.1f}%{wall * 1000:>10.1f}"
                  f"{cwall * 1000:>9.1f}{wpct:>6.1f}%")
    print(f"target: fwsweep's own CPU under 10% of the total: "
          f"{'met' if worst < 10 else 'NOT met'} (worst {worst:.1f}%)")


if __name__ == "__main__":
    main()
