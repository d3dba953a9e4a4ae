# What every module of this collection shares: the options (where fwsweep is,
# the simulated machine a host stands for, the update history file) and the
# attributes (check mode, the action group). The argument spec of the same
# options is COMMON_ARGS in module_utils/fwsweep.py.


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
attributes:
  check_mode:
    description: Can run in check mode and report what would change without changing the adapters.
    support: full
  diff_mode:
    description: Reports differences in diff mode.
    support: none
  platform:
    description: Target systems.
    support: full
    platforms: posix
  action_group:
    description: Part of an action group, for setting its options once with C(module_defaults).
    support: full
    membership:
      - hbasuite.fc.fwsweep
notes:
  - The modules read only the JSON document of C(fwsweep /json), never its messages.
  - Use C(module_defaults) with the action group C(group/hbasuite.fc.fwsweep) to set
    these options once for both modules.
requirements:
  - fwsweep with its JSON report (C(/json)) on the managed host, run as root.
"""
