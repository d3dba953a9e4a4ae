#!/usr/bin/python3
# The campaign role and its modules on eight simulated hosts in batches of
# two: the dry run touches no adapter, the apply run flashes and reboots only
# where needed and a second one has nothing to do, and a failed download on a
# host of the second batch stops the campaign after that batch. Also checks
# that each module's documented options are its argument spec.
#
# Run by ansible/tests/run (which builds and installs the collection):
#   test_campaign.py --bin BUILD/bin --collections DIR

import argparse
import ast
import os
import shutil
import sys
import tempfile
import unittest

import yaml

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from simhosts import CV3_OLD, CV3_TARGET, TRN_OLD, TRN_TARGET, SimHosts  # noqa: E402

OLD, NEW = (CV3_OLD, TRN_OLD), (CV3_TARGET, TRN_TARGET)
# (cv3, tarnel) firmware per host, None for a host without adapters; batches
# of two: sim01-02, sim03-04, ...
FLEET = [
    (CV3_OLD, TRN_TARGET),
    (CV3_TARGET, TRN_OLD),
    OLD,
    (CV3_TARGET, TRN_OLD),
    (CV3_OLD, TRN_TARGET),
    NEW,
    OLD,
    None,
]
NEEDING = {"sim%02d" % (i + 1) for i, v in enumerate(FLEET) if v not in (NEW, None)}
UPDATED = {"CNA1": (CV3_TARGET, CV3_TARGET), "CNA2": (TRN_TARGET, TRN_TARGET)}

FIRMWARE_TASK = "Bring the adapters to the target firmware"
SIM_REBOOT = "Reboot the simulated machine to activate the adapter firmware"
FACTS_AFTER = "Read the adapters after the update"

ARGS = None


def by_host(records, task):
    """{host: record} of one task (matched by the end of its name)."""
    return {r["host"]: r for r in records if r["task"].endswith(task)}


class Campaign(unittest.TestCase):
    def setUp(self):
        self.workdir = tempfile.mkdtemp(prefix="hba-campaign-")
        self.addCleanup(shutil.rmtree, self.workdir, True)
        self.sim = SimHosts(self.workdir, ARGS.bin, ARGS.collections)
        self.sim.build(FLEET)

    def play(self, *args):
        rc, records, text, seconds = self.sim.run_playbook(*args)
        print(
            "  ansible-playbook %s: %.1f s" % (" ".join(args) or "(apply)", seconds),
            file=sys.stderr,
        )
        return rc, records, text

    def test_check_mode_reports_changes_and_touches_no_adapter(self):
        before = {h: self.sim.hbasim(h, "show", "-v") for h in self.sim.hosts}
        rc, records, text = self.play("--check")
        self.assertEqual(rc, 0, text)
        firmware = by_host(records, FIRMWARE_TASK)
        self.assertEqual({h for h, r in firmware.items() if r["status"] == "changed"}, NEEDING)
        for host in self.sim.hosts:
            self.assertEqual(self.sim.hbasim(host, "show", "-v"), before[host], host)
            self.assertNotIn("UpgradeFlashROM", self.sim.journal(host), host)
        # What would be flashed, per host: the adapters below the images.
        for host in NEEDING:
            cv3, trn = FLEET[self.sim.hosts.index(host)]
            expected = {"QS%s0001" % host[3:]} if cv3 != CV3_TARGET else set()
            expected |= {"QS%s0002" % host[3:]} if trn != TRN_TARGET else set()
            updates = firmware[host]["result"]["updates"]
            self.assertEqual({u["serial"] for u in updates}, expected, host)
            self.assertEqual({u["action"] for u in updates}, {"preview"}, host)
        # A host without adapters: empty facts, and the firmware task skipped.
        facts = by_host(records, "Read the host's adapters")["sim08"]
        self.assertEqual(facts["result"]["ansible_facts"]["hba"]["adapters"], [])
        self.assertEqual(firmware["sim08"]["status"], "skipped")
        self.assertEqual(
            [r for r in records if r["task"].endswith(SIM_REBOOT) and r["status"] != "skipped"], []
        )

    def test_apply_flashes_and_reboots_then_a_second_run_changes_nothing(self):
        rc, records, text = self.play()
        self.assertEqual(rc, 0, text)
        firmware = by_host(records, FIRMWARE_TASK)
        self.assertEqual({h for h, r in firmware.items() if r["status"] == "changed"}, NEEDING)
        reboots = by_host(records, SIM_REBOOT)
        self.assertEqual({h for h, r in reboots.items() if r["status"] == "changed"}, NEEDING)
        facts = by_host(records, FACTS_AFTER)
        for host, versions in zip(self.sim.hosts, FLEET):
            self.assertEqual(self.sim.versions(host), UPDATED if versions else {}, host)
        for host in NEEDING:
            adapters = facts[host]["result"]["ansible_facts"]["hba"]["adapters"]
            self.assertEqual([a["firmware"] for a in adapters], [CV3_TARGET, TRN_TARGET], host)

        rc, records, text = self.play()
        self.assertEqual(rc, 0, text)
        changed = {(r["host"], r["task"]) for r in records if r["status"] == "changed"}
        self.assertEqual(changed, set(), text)
        self.assertEqual({r["host"] for r in records}, set(self.sim.hosts))

    def test_failed_download_stops_the_campaign_after_its_batch(self):
        # sim04 (second batch) needs a Tarnel update; NEXA refuses the flash.
        self.sim.hbasim("sim04", "fault", "add", "nexa", "do_action:UpgradeFlashROM", "rc=173")
        rc, records, text = self.play()
        self.assertNotEqual(rc, 0, text)
        failed = by_host(records, FIRMWARE_TASK)["sim04"]
        self.assertEqual(failed["status"], "failed")
        self.assertIn("QS040002", failed["result"]["msg"])
        self.assertIn("Download failed.", failed["result"]["msg"])
        tarnel = [a for a in failed["result"]["adapters"] if a["serial"] == "QS040002"][0]
        self.assertEqual(
            (tarnel["firmware"]["result"], tarnel["firmware"]["exit_code"]), ("failed", 7)
        )
        self.assertEqual(self.sim.versions("sim04")["CNA2"], (TRN_OLD, TRN_OLD))

        # The batches after it: not a single request reached their machines.
        for host in ("sim05", "sim06", "sim07", "sim08"):
            self.assertNotIn(host, {r["host"] for r in records})
            self.assertEqual(self.sim.journal(host), "", host)
        # The first batch: updated, rebooted, and in its history as activated.
        for host in ("sim01", "sim02"):
            entries = self.sim.history(host)
            self.assertEqual(len(entries), 1, host)
            self.assertEqual(entries[0]["state"], "activated", entries[0])
            self.assertEqual(self.sim.versions(host), UPDATED, host)


def module_docs(plugins, path):
    """DOCUMENTATION options of a module file and its doc fragments."""
    tree = ast.parse(open(path, encoding="utf-8").read())
    doc = next(
        yaml.safe_load(n.value.value)
        for n in tree.body
        if isinstance(n, ast.Assign) and getattr(n.targets[0], "id", "") == "DOCUMENTATION"
    )
    options = dict(doc.get("options") or {})
    for fragment in doc.get("extends_documentation_fragment", []):
        if fragment.startswith("hbasuite.fc."):
            frag = os.path.join(plugins, "doc_fragments", fragment.split(".")[2] + ".py")
            options.update(module_docs_fragment(frag))
    return options


def module_docs_fragment(path):
    tree = ast.parse(open(path, encoding="utf-8").read())
    for cls in (n for n in tree.body if isinstance(n, ast.ClassDef)):
        for n in cls.body:
            if isinstance(n, ast.Assign) and n.targets[0].id == "DOCUMENTATION":
                return yaml.safe_load(n.value.value)["options"]
    return {}


class Documentation(unittest.TestCase):
    def test_documented_options_are_the_argument_spec(self):
        # The installed collection, imported as Ansible imports it.
        from ansible.utils.collection_loader._collection_finder import _AnsibleCollectionFinder

        _AnsibleCollectionFinder(paths=[ARGS.collections])._install()
        import ansible_collections.hbasuite.fc.plugins.modules.hba_facts as facts
        import ansible_collections.hbasuite.fc.plugins.modules.hba_firmware as firmware

        plugins = os.path.dirname(os.path.dirname(facts.__file__))
        for name, module in (("hba_facts", facts), ("hba_firmware", firmware)):
            spec = module.argument_spec()
            docs = module_docs(plugins, module.__file__)
            self.assertEqual(sorted(docs), sorted(spec), name)
            for option, s in spec.items():
                d = docs[option]
                self.assertEqual(
                    (d.get("type"), d.get("default"), d.get("choices")),
                    (s.get("type"), s.get("default"), s.get("choices")),
                    "%s: %s" % (name, option),
                )


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True, help="folder of fwsweep, hbaset and hbasim")
    parser.add_argument(
        "--collections", required=True, help="collections path with hbasuite.fc installed"
    )
    ARGS, rest = parser.parse_known_args()
    ARGS.bin = os.path.abspath(ARGS.bin)
    ARGS.collections = os.path.abspath(ARGS.collections)
    suite = unittest.defaultTestLoader.loadTestsFromModule(sys.modules[__name__])
    if rest:
        suite = unittest.defaultTestLoader.loadTestsFromNames(rest, sys.modules[__name__])
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    failed = len(result.failures) + len(result.errors)
    print("ansible campaign: %d passed, %d failed" % (result.testsRun - failed, failed))
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
