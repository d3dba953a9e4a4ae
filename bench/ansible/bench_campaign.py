#!/usr/bin/python3
# A firmware campaign over many simulated hosts (64 in batches of 8 by
# default) against the same campaign on one host: the wall time of the whole
# rolling play beside (hosts / serial) x one host's time, the figure a fleet
# would take if every batch cost what one host costs.
#
#   bench/ansible/bench_campaign.py BUILD_DIR [--hosts 64] [--serial 8] [--forks N] [--runs 3]
#
# Every host needs both of its adapters flashed and rebooted. The collection
# is built and installed into a temporary folder first; Ansible runs on
# /usr/bin/python3. Run by hand on a quiet machine (bench/README.md).

import argparse
import glob
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "ansible", "tests"))
from simhosts import CV3_OLD, TRN_OLD, SimHosts  # noqa: E402


def install_collection(work):
    subprocess.run(
        [
            "ansible-galaxy",
            "collection",
            "build",
            os.path.join(ROOT, "ansible"),
            "--output-path",
            work,
        ],
        check=True,
        capture_output=True,
    )
    collections = os.path.join(work, "collections")
    tarball = glob.glob(os.path.join(work, "hbasuite-fc-*.tar.gz"))[0]
    subprocess.run(
        ["ansible-galaxy", "collection", "install", tarball, "-p", collections],
        check=True,
        capture_output=True,
        env=dict(os.environ, ANSIBLE_COLLECTIONS_PATH=collections),
    )
    return collections


def children_cpu():
    t = os.times()
    return t.children_user + t.children_system


def campaign_seconds(sim, hosts, serial, forks, runs):
    """Median wall time and CPU time (Ansible, modules, fwsweep and hbaset
    together) of the campaign over freshly made hosts."""
    walls, cpus = [], []
    for _ in range(runs):
        sim.build([(CV3_OLD, TRN_OLD)] * hosts)
        cpu = children_cpu()
        rc, records, text, seconds = sim.run_playbook(
            "-e", "campaign_serial=%d" % serial, forks=forks
        )
        cpus.append(children_cpu() - cpu)
        changed = {r["host"] for r in records if r["status"] == "changed"}
        if rc != 0 or len(changed) != hosts:
            sys.exit("campaign over %d hosts failed (exit %d):\n%s" % (hosts, rc, text[-3000:]))
        walls.append(seconds)
    return statistics.median(walls), statistics.median(cpus)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", help="build folder with bin/fwsweep, bin/hbaset and bin/hbasim")
    parser.add_argument("--hosts", type=int, default=64)
    parser.add_argument("--serial", type=int, default=8)
    parser.add_argument("--forks", type=int, help="Ansible forks (default: the serial)")
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    forks = args.forks or args.serial
    bindir = os.path.join(os.path.abspath(args.build), "bin")

    work = tempfile.mkdtemp(prefix="bench-campaign-")
    try:
        collections = install_collection(work)
        one, one_cpu = campaign_seconds(
            SimHosts(os.path.join(work, "one"), bindir, collections), 1, 1, 1, args.runs
        )
        fleet_sim = SimHosts(os.path.join(work, "fleet"), bindir, collections)
        fleet, fleet_cpu = campaign_seconds(fleet_sim, args.hosts, args.serial, forks, args.runs)
    finally:
        shutil.rmtree(work, ignore_errors=True)

    batches = -(-args.hosts // args.serial)
    ideal = batches * one
    cores = os.cpu_count() or 1
    print(
        "one host, one batch            : %6.1f s wall, %5.1f s CPU (median of %d)"
        % (one, one_cpu, args.runs)
    )
    print(
        "%d hosts, serial %d, forks %d   : %6.1f s wall, %5.1f s CPU (median of %d)"
        % (args.hosts, args.serial, forks, fleet, fleet_cpu, args.runs)
    )
    print("(hosts / serial) x one host    : %6.1f s (%d batches)" % (ideal, batches))
    print("campaign / that                : %6.2f" % (fleet / ideal))
    print(
        "CPU floor on %d cores           : %6.1f s (the campaign's CPU time / cores)"
        % (cores, fleet_cpu / cores)
    )
    print(
        "per host                       : %6.2f s wall, %5.2f s CPU"
        % (fleet / args.hosts, fleet_cpu / args.hosts)
    )


if __name__ == "__main__":
    main()
