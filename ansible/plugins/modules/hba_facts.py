#!/usr/bin/python
# hba_facts: the host's adapters as ansible_facts.hba, from the JSON report of
# a fwsweep query. Read-only: a query changes no adapter.

DOCUMENTATION = r"""
---
module: hba_facts
short_description: Host bus adapter inventory from fwsweep
version_added: 1.0.0
description:
  - Runs C(fwsweep /q /json) on the managed host and returns its converged and Fibre Channel
    adapters as C(ansible_facts.hba).
  - Every physical adapter is listed with its model, serial number, PCI location, firmware and
    boot code versions, and its PCI functions (FC, FCoE, NIC, iSCSI) with their WWPN or MAC.
  - Read-only; it runs the same in check mode.
  - A host on which fwsweep finds no supported adapter gets an empty adapter list and a warning.
author:
  - hbasuite maintainers
extends_documentation_fragment:
  - hbasuite.fc.fwsweep
  - ansible.builtin.action_common_attributes.facts
attributes:
  facts:
    support: full
options: {}
seealso:
  - module: hbasuite.fc.hba_firmware
"""

EXAMPLES = r"""
- name: Read the adapters of the host
  hbasuite.fc.hba_facts:

- name: Show each adapter's firmware
  ansible.builtin.debug:
    msg: "{{ item.serial }} {{ item.model }}: {{ item.firmware }}"
  loop: "{{ ansible_facts.hba.adapters }}"

- name: Read a simulated host's adapters with a fwsweep of a build tree
  hbasuite.fc.hba_facts:
    fwsweep_path: /opt/hbasuite/bin/fwsweep
    sim_dir: /var/tmp/rehearsal/host07
"""

RETURN = r"""
ansible_facts:
  description: Facts added to the host.
  returned: always
  type: dict
  contains:
    hba:
      description: The host's adapters as fwsweep lists them.
      returned: always
      type: dict
      contains:
        adapters:
          description: One entry per physical adapter, in the order fwsweep lists them.
          type: list
          elements: dict
          contains:
            serial:
              description: Serial number.
              type: str
              sample: QS2100003
            model:
              description: Model name.
              type: str
              sample: CV3C102
            matrix_key:
              description: The key of the adapter's line in a firmware matrix file.
              type: str
              sample: CV3C102-FCoE
            pci_address:
              description: PCI domain, bus and device.
              type: str
              sample: "0000:30:00"
            supported:
              description: Whether fwsweep can update this adapter.
              type: bool
            firmware:
              description: Firmware version the adapter reports.
              type: str
              sample: 11.2.154.6
            boot_code:
              description: Boot code version the adapter reports.
              type: str
            boot_code_enabled:
              description: Whether boot code is enabled (FC adapters); null where it does not apply.
              type: bool
            functions:
              description: The adapter's PCI functions.
              type: list
              elements: dict
              contains:
                hbaset:
                  description: The function's adapter number in C(hbaset) commands.
                  type: int
                kind:
                  description: C(FC), C(FCoE), C(NIC) or C(iSCSI).
                  type: str
                wwpn:
                  description: Port WWN of FC and FCoE functions, else null.
                  type: str
                mac:
                  description: MAC address of NIC and iSCSI functions, else null.
                  type: str
                pci_address:
                  description: PCI domain, bus, device and function.
                  type: str
                  sample: "0000:30:00.0"
                vendor_id:
                  description: PCI vendor ID in hex.
                  type: str
                device_id:
                  description: PCI device ID in hex.
                  type: str
                sub_vendor_id:
                  description: PCI subsystem vendor ID in hex.
                  type: str
                sub_device_id:
                  description: PCI subsystem device ID in hex.
                  type: str
                complete:
                  description: False when the function's address, model or firmware could not be read.
                  type: bool
        pending_reboots:
          description: Firmware downloads of earlier runs that still wait for a reboot (from the update history).
          type: int
        fwsweep_version:
          description: Version of the fwsweep that made the report.
          type: str
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.hbasuite.fc.plugins.module_utils.fwsweep import (
    COMMON_ARGS,
    run_fwsweep,
    snake_keys,
)


def argument_spec():
    return dict(COMMON_ARGS)


def query_switches(module):
    """A query needs a matrix file even though it reads none of its lines: an
    empty one in the module's own temporary folder keeps the host's alone."""
    matrix_dir = module.tmpdir
    with open("%s/fwmatrix.txt" % matrix_dir, "w", encoding="ascii"):
        pass
    return ["/q", "/fmd=%s" % matrix_dir]


def adapter_fact(adapter):
    fact = snake_keys({k: v for k, v in adapter.items() if k != "components"})
    firmware = adapter["components"]["firmware"]
    boot = adapter["components"]["bootCode"]
    fact["firmware"] = firmware["installed"]
    fact["boot_code"] = boot["installed"]
    fact["boot_code_enabled"] = boot.get("enabled")
    return fact


def main():
    module = AnsibleModule(argument_spec=argument_spec(), supports_check_mode=True)
    report, run = run_fwsweep(module, query_switches(module))
    error = report.get("error")
    if error and error.get("name") != "no-supported-adapters":
        module.fail_json(msg="fwsweep: %s" % error.get("message"), error=error, **run)
    if error:
        module.warn("fwsweep found no supported adapter: %s" % error.get("message"))
    hba = dict(
        adapters=[adapter_fact(a) for a in report["adapters"]],
        pending_reboots=report["pendingReboots"],
        fwsweep_version=report["tool"]["version"],
    )
    module.exit_json(changed=False, ansible_facts=dict(hba=hba))


if __name__ == "__main__":
    main()
