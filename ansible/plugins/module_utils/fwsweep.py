# Running fwsweep for the modules of this collection: where the program is,
# the environment of a simulated host, and the one JSON document it prints
# with /json. The modules decide from that document alone: its messages are
# for people and may change, its fields are a contract (schemaVersion 1).

import json
import os
import re

# Argument spec of the options every module takes (documented in
# doc_fragments/fwsweep.py).
COMMON_ARGS = dict(
    fwsweep_path=dict(type="path"),
    sim_dir=dict(type="path"),
    history_file=dict(type="path"),
)

SCHEMA_VERSION = 1


def fwsweep_program(module):
    """The fwsweep to run: the given path, or the one on the PATH."""
    path = module.params["fwsweep_path"]
    if not path:
        return module.get_bin_path("fwsweep", required=True)
    if not os.path.isfile(path) or not os.access(path, os.X_OK):
        module.fail_json(msg="fwsweep_path %s is not an executable file" % path)
    return path


def snake_keys(value):
    """The document with its camelCase keys in the snake_case of Ansible returns."""
    if isinstance(value, dict):
        return {
            re.sub(r"(?<=[a-z0-9])([A-Z])", r"_\1", k).lower(): snake_keys(v)
            for k, v in value.items()
        }
    if isinstance(value, list):
        return [snake_keys(v) for v in value]
    return value


def run_fwsweep(module, switches):
    """Runs fwsweep with the switches and /json; returns (report, run).

    run holds the command and its standard error for the module's return (no
    "rc": Ansible fails every result whose rc is not 0, and fwsweep ends with
    1 when nothing needed a download). A run that printed no report of the
    known schema fails the module.
    """
    argv = [fwsweep_program(module)] + list(switches) + ["/json"]
    if module.params["history_file"]:
        argv.append("/historyfile=%s" % module.params["history_file"])
    env = {}
    sim_dir = module.params["sim_dir"]
    if sim_dir:
        # The simulator seeds a default machine into a folder without state,
        # so a mistyped folder would rehearse on a machine nobody described.
        if not os.path.isdir(sim_dir):
            module.fail_json(msg="sim_dir %s is not a folder" % sim_dir)
        env["HBASIM_DIR"] = sim_dir
    rc, out, err = module.run_command(argv, environ_update=env, check_rc=False)
    run = dict(cmd=argv, stderr=err)
    try:
        report = json.loads(out)
    except ValueError:
        module.fail_json(
            msg="fwsweep printed no JSON report (exit code %d)" % rc,
            exit_code=rc,
            stdout=out,
            **run
        )
    if not isinstance(report, dict) or report.get("schemaVersion") != SCHEMA_VERSION:
        module.fail_json(
            msg="fwsweep report of an unknown schema version (%r); this collection reads version %d"
            % (report.get("schemaVersion") if isinstance(report, dict) else None, SCHEMA_VERSION),
            exit_code=rc,
            stdout=out,
            **run
        )
    return report, run


def adapter_label(adapter):
    """How a failure message names an adapter: serial, model and PCI location."""
    return "%s (%s, %s)" % (adapter.get("serial"), adapter.get("model"), adapter.get("pciAddress"))
