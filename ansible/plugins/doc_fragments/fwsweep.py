# Options every module of this collection takes: where fwsweep is, the
# simulated machine a host stands for, and the update history file. The
# argument spec of the same options is COMMON_ARGS in module_utils/fwsweep.py.


class ModuleDocFragment:
    DOCUMENTATION = r"""
options:
  fwsweep_path:
    description:
      - Path of the C(fwsweep) program.
      - When not set, C(fwsweep) is looked up on the C(PATH) of the managed host.
      - C(fwsweep) runs the C(hbaset) that lies beside it.
    type: path
  sim_dir:
    description:
      - State folder of a simulated machine (C(HBASIM_DIR)) that this host stands for.
      - When set, C(fwsweep) and the programs it runs work on that simulated machine,
        so one server can rehearse a campaign for a whole inventory of simulated hosts.
      - Leave it unset on real servers.
    type: path
  history_file:
    description:
      - The update history file of C(fwsweep) (its C(/historyfile=) switch).
      - When not set, C(fwsweep) uses C(FWSWEEP_HISTORY) or its own default file.
      - Give every simulated host its own file; their adapters share serial numbers.
    type: path
notes:
  - The modules read only the JSON document of C(fwsweep /json), never its messages.
  - Use C(module_defaults) with the action group C(group/hbasuite.fc.fwsweep) to set
    these options once for both modules.
requirements:
  - fwsweep with its JSON report (C(/json)) on the managed host, run as root.
"""
