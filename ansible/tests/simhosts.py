# A fleet of simulated hosts for rehearsing campaigns on one machine: each
# host is an Ansible host with a local connection, its own simulated machine
# (HBASIM_DIR) made from its own fleet file, and its own update history. The
# hosts share one firmware folder (images, fwmatrix.txt, SHA256SUMS).
#
# Used by test_campaign.py and by bench/ansible/bench_campaign.py.

import hashlib
import json
import os
import re
import subprocess
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PLAYBOOK = os.path.join(HERE, "playbooks", "campaign.yml")

# The images of the firmware folder: (file, hbasim image generation, version).
CV3_TARGET = "11.6.100.1"
TRN_TARGET = "12.2.0.1"
IMAGES = (("cv3-%s.ufi" % CV3_TARGET, 3, CV3_TARGET), ("trn-%s.ufi" % TRN_TARGET, 4, TRN_TARGET))
# The model keys hbaset listattr /c gives the fleet's adapters.
MATRIX = "CV3C100-FCoE   cv3-%s.ufi\nTRN4100-iSCSI  trn-%s.ufi\n" % (CV3_TARGET, TRN_TARGET)

# Versions below the images (the simulator's defaults for these kinds).
CV3_OLD = "11.4.204.20"
TRN_OLD = "12.0.261.8"


def fleet_text(index, versions):
    """One host's machine: a CV3 (FCoE, NIC) and a Tarnel (iSCSI, NIC) adapter
    with serials of that host alone, at the (cv3, tarnel) versions; a machine
    without adapters for None."""
    if versions is None:
        return "# no adapters\n"
    cv3_version, trn_version = versions
    return (
        "adapter CNA1 cv3 serial = QS%02d0001 fw_active = %s\n"
        "function fcoe\nfunction nic\n"
        "adapter CNA2 tarnel serial = QS%02d0002 fw_active = %s\n"
        "function iscsi\nfunction nic\n"
    ) % (index, cv3_version, index, trn_version)


class SimHosts:
    """Hosts named sim01, sim02, ... under workdir, each with the (cv3, tarnel)
    firmware versions, or no adapters (None), from the list given to build()."""

    def __init__(self, workdir, bindir, collections):
        self.workdir = workdir
        self.bindir = bindir
        self.collections = collections
        self.firmware = os.path.join(workdir, "firmware-share")
        self.inventory = os.path.join(workdir, "inventory.json")
        self.hosts = []

    def tool(self, name):
        return os.path.join(self.bindir, name)

    def host_dir(self, host):
        return os.path.join(self.workdir, "hosts", host)

    def state_dir(self, host):
        return os.path.join(self.host_dir(host), "state")

    def history_file(self, host):
        return os.path.join(self.host_dir(host), "fwsweep-history.jsonl")

    def hbasim(self, host, *args):
        env = dict(os.environ, HBASIM_DIR=self.state_dir(host))
        return subprocess.run(
            [self.tool("hbasim")] + list(args), env=env, check=True, capture_output=True, text=True
        ).stdout

    def make_firmware_share(self):
        images = os.path.join(self.firmware, "firmware")
        os.makedirs(images, exist_ok=True)
        sums = []
        for name, gen, version in IMAGES:
            path = os.path.join(images, name)
            subprocess.run(
                [
                    self.tool("hbasim"),
                    "image",
                    "ufi",
                    "--gen",
                    str(gen),
                    "--version",
                    version,
                    "-o",
                    path,
                ],
                check=True,
                capture_output=True,
            )
            with open(path, "rb") as f:
                sums.append("%s  %s\n" % (hashlib.sha256(f.read()).hexdigest(), name))
        with open(os.path.join(images, "SHA256SUMS"), "w", encoding="ascii") as f:
            f.writelines(sums)
        with open(os.path.join(self.firmware, "fwmatrix.txt"), "w", encoding="ascii") as f:
            f.write(MATRIX)

    def build(self, versions):
        """(Re)creates one simulated machine per entry of versions and the inventory."""
        if not os.path.isdir(self.firmware):
            self.make_firmware_share()
        self.hosts = ["sim%02d" % (i + 1) for i in range(len(versions))]
        for i, (host, host_versions) in enumerate(zip(self.hosts, versions)):
            os.makedirs(self.host_dir(host), exist_ok=True)
            fleet = os.path.join(self.host_dir(host), "fleet.txt")
            with open(fleet, "w", encoding="ascii") as f:
                f.write(fleet_text(i + 1, host_versions))
            self.hbasim(host, "init", "--fleet", fleet)
            if os.path.exists(self.history_file(host)):
                os.unlink(self.history_file(host))
        self.write_inventory()

    def write_inventory(self):
        group_vars = dict(
            ansible_connection="local",
            ansible_python_interpreter="/usr/bin/python3",
            hba_fwsweep_path=self.tool("fwsweep"),
            hba_hbasim_path=self.tool("hbasim"),
            hba_matrix_dir=self.firmware,
            hba_firmware_dir=self.firmware,
            hba_require_digests=True,
            hba_allow_reboot=True,
        )
        hosts = {
            h: dict(hba_sim_dir=self.state_dir(h), hba_history_file=self.history_file(h))
            for h in self.hosts
        }
        with open(self.inventory, "w", encoding="utf-8") as f:
            json.dump(
                dict(all=dict(children=dict(simulated=dict(vars=group_vars, hosts=hosts)))),
                f,
                indent=1,
            )

    def run_playbook(self, *args, forks=None):
        """Runs the campaign playbook; returns (exit code, records, console text, seconds)."""
        records = os.path.join(self.workdir, "records.jsonl")
        if os.path.exists(records):
            os.unlink(records)
        env = dict(
            os.environ,
            ANSIBLE_COLLECTIONS_PATH=self.collections,
            ANSIBLE_CALLBACK_PLUGINS=os.path.join(HERE, "callback_plugins"),
            ANSIBLE_CALLBACKS_ENABLED="record_results",
            ANSIBLE_NOCOLOR="1",
            ANSIBLE_RETRY_FILES_ENABLED="0",
            ANSIBLE_HOST_KEY_CHECKING="0",
            HBA_RECORD_FILE=records,
        )
        argv = ["ansible-playbook", "-i", self.inventory, PLAYBOOK] + list(args)
        if forks:
            argv += ["--forks", str(forks)]
        start = time.monotonic()
        p = subprocess.run(argv, env=env, capture_output=True, text=True, stdin=subprocess.DEVNULL)
        seconds = time.monotonic() - start
        lines = []
        if os.path.exists(records):
            with open(records, encoding="utf-8") as f:
                lines = [json.loads(line) for line in f]
        return p.returncode, lines, p.stdout + p.stderr, seconds

    def versions(self, host):
        """{adapter name: (active, on flash)} of a host's simulated machine."""
        found = re.findall(
            r"^Adapter \d+\s+(\S+).*\n\s+firmware active (\S+), on flash (\S+)$",
            self.hbasim(host, "show"),
            re.M,
        )
        return {name: (active, flash) for name, active, flash in found}

    def journal(self, host):
        return self.hbasim(host, "log")

    def history(self, host):
        """The host's update history entries, as fwsweep /history /json lists them."""
        env = dict(os.environ, HBASIM_DIR=self.state_dir(host))
        p = subprocess.run(
            [
                self.tool("fwsweep"),
                "/history",
                "/json",
                "/historyfile=%s" % self.history_file(host),
            ],
            env=env,
            capture_output=True,
            text=True,
        )
        return json.loads(p.stdout)["history"]["entries"]
