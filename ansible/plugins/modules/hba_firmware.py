#!/usr/bin/python
# hba_firmware: one fwsweep run that brings the host's converged adapters to
# a matrix or a firmware folder; changed, failed and reboot_required come from
# the components of its JSON report.

DOCUMENTATION = r"""
---
module: hba_firmware
short_description: Bring a host's adapter firmware to a matrix or a firmware folder
version_added: 1.0.0
description:
  - Runs C(fwsweep) with C(/json) once on the managed host. fwsweep compares every adapter's
    firmware with the image a firmware matrix file names for it (or, with I(auto), with the best
    image of a firmware folder) and downloads the image where I(mode) asks for it.
  - Check mode runs C(fwsweep)'s preview (C(/p)). Nothing is downloaded, and the module reports
    C(changed) with the adapters that would be flashed.
  - The result comes from the report's per-adapter components, never from message text.
    C(changed) when anything was flashed, C(ok) when nothing was needed, C(failed) when a required
    download failed, with every adapter's result in I(adapters).
  - New firmware of converged adapters becomes active at the next reboot; I(reboot_required) says
    so. The module never reboots; the role M(hbasuite.fc.firmware_campaign) does where allowed.
author:
  - hbasuite maintainers
extends_documentation_fragment:
  - hbasuite.fc.fwsweep
options:
  mode:
    description:
      - C(update) downloads where the image is newer than the installed firmware.
      - C(rewrite) downloads where the image is newer or the same version (a re-flash of the same level).
      - C(downgrade) downloads where the image is older.
      - C(force) downloads the image whatever the versions (firmware only, C(/ff)).
    type: str
    choices: [update, rewrite, downgrade, force]
    default: update
  auto:
    description:
      - Choose each adapter's image from the firmware folder instead of the matrix file (C(/auto)).
      - I(matrix_dir) is not read then.
    type: bool
    default: false
  matrix_dir:
    description:
      - Folder of the C(fwmatrix.txt) file that names each adapter model's image (C(/fmd=)).
      - When not set, fwsweep reads the matrix file of its own folder.
    type: path
  firmware_dir:
    description:
      - Base folder of the images (C(/id=)); the firmware images lie in its C(firmware/) folder.
      - When not set, fwsweep uses its own folder.
    type: path
  require_digests:
    description:
      - Require a C(SHA256SUMS) file in the firmware or matrix folder (C(/verify)); without one no
        image is flashed.
      - fwsweep checks every image against a C(SHA256SUMS) file that is there in any case; an image
        whose digest is missing or differs fails its adapter.
    type: bool
    default: false
seealso:
  - module: hbasuite.fc.hba_facts
"""

EXAMPLES = r"""
- name: Update every adapter to the levels of the site's matrix
  hbasuite.fc.hba_firmware:
    matrix_dir: /srv/firmware
    firmware_dir: /srv/firmware
  register: hba_update

- name: Say whether a reboot activates the new firmware
  ansible.builtin.debug:
    msg: "{{ hba_update.updates | map(attribute='serial') | list }} wait for a reboot"
  when: hba_update.reboot_required

- name: Re-flash the same level from the newest images of a folder, digests required
  hbasuite.fc.hba_firmware:
    mode: rewrite
    auto: true
    firmware_dir: /srv/firmware
    require_digests: true

- name: Dry run, reports what would be flashed
  hbasuite.fc.hba_firmware:
    matrix_dir: /srv/firmware
    firmware_dir: /srv/firmware
  check_mode: true
"""

RETURN = r"""
reboot_required:
  description: Firmware flashed by this run becomes active only after a reboot of the host.
  returned: always
  type: bool
pending_reboots:
  description: Downloads of earlier runs (from the update history) that still wait for a reboot.
  returned: always
  type: int
updates:
  description:
    - The components this run flashed, tried to flash, or in check mode would flash.
  returned: always
  type: list
  elements: dict
  contains:
    serial:
      description: Adapter serial number.
      type: str
    model:
      description: Adapter model.
      type: str
    pci_address:
      description: PCI domain, bus and device of the adapter.
      type: str
    component:
      description: C(firmware) or C(boot_code).
      type: str
    action:
      description: C(flash), or C(preview) in check mode.
      type: str
    installed:
      description: Version before the run.
      type: str
    target:
      description: Version of the image.
      type: str
    result:
      description: C(ok), C(pending-reboot) or C(failed) (C(ok) for a preview).
      type: str
adapters:
  description: Every adapter of the report with the decision and result for its components.
  returned: always
  type: list
  elements: dict
  contains:
    serial:
      description: Serial number.
      type: str
    model:
      description: Model name.
      type: str
    pci_address:
      description: PCI domain, bus and device.
      type: str
    matrix_key:
      description: The key of the adapter's line in the matrix file.
      type: str
    supported:
      description: Whether fwsweep can update this adapter.
      type: bool
    firmware:
      description:
        - The firmware component as the report gives it.
        - C(action) is C(flash), C(preview), C(keep) (already at the level), C(skip) or C(none);
          C(result) is C(ok), C(pending-reboot), C(failed) or C(skipped); C(status) and
          C(message) are fwsweep's download status; C(exit_code) is that of the C(hbaset)
          download.
      type: dict
      sample:
        installed: 11.2.154.6
        target: 11.6.100.1
        image: {file: cv3-11.6.100.1.ufi, path: /srv/firmware/firmware/cv3-11.6.100.1.ufi, sha256: null}
        action: flash
        result: pending-reboot
        status: 1
        message: Download succeeded. A reboot is required to activate new firmware.
        exit_code: 80
        duration_ms: 41
    boot_code:
      description: The boot code component, in the same form.
      type: dict
summary:
  description: Counts of the report (adapters, functions, updated, already_current, previewed, skipped, failed, unsupported, incomplete).
  returned: always
  type: dict
return_code:
  description: fwsweep's return code.
  returned: always
  type: int
return_code_name:
  description: fwsweep's name of its return code, for example C(succeeded) or C(nothing-required).
  returned: always
  type: str
run_id:
  description: The run's identifier, as the update history records it.
  returned: always
  type: str
cmd:
  description: The fwsweep command line.
  returned: always
  type: list
  elements: str
"""

import os

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.hbasuite.fc.plugins.module_utils.fwsweep import (
    COMMON_ARGS,
    adapter_label,
    run_fwsweep,
    snake_keys,
)

MODE_SWITCHES = dict(update="/update", rewrite="/rewrite", downgrade="/downgrade", force="/ff")

# fwsweep's return codes for runs in which required downloads failed.
FAILED_RETURN_CODES = (2, 3, 13, 14)
# Runs with nothing to flash because no image or no matrix line fits any adapter.
NOTHING_FITS_RETURN_CODES = (5, 7, 15, 16)

COMPONENTS = (("firmware", "firmware"), ("bootCode", "boot_code"))


def argument_spec():
    spec = dict(COMMON_ARGS)
    spec.update(
        mode=dict(type="str", choices=list(MODE_SWITCHES), default="update"),
        auto=dict(type="bool", default=False),
        matrix_dir=dict(type="path"),
        firmware_dir=dict(type="path"),
        require_digests=dict(type="bool", default=False),
    )
    return spec


def sweep_switches(module):
    p = module.params
    for name in ("matrix_dir", "firmware_dir"):
        # A folder that is not there would only show as "no compatible firmware".
        if p[name] and not os.path.isdir(p[name]):
            module.fail_json(msg="%s %s is not a folder" % (name, p[name]))
    switches = [MODE_SWITCHES[p["mode"]]]
    if p["auto"]:
        switches.append("/auto")
    if p["firmware_dir"]:
        switches.append("/id=%s" % p["firmware_dir"])
    if p["matrix_dir"] and not p["auto"]:
        switches.append("/fmd=%s" % p["matrix_dir"])
    if p["require_digests"]:
        switches.append("/verify")
    if module.check_mode:
        switches.append("/p")
    return switches


def components_of(adapters):
    """(adapter, component name, component) for each adapter's firmware and boot code."""
    for a in adapters:
        for key, name in COMPONENTS:
            yield a, name, a["components"][key]


def updates_of(adapters):
    """The components whose download ran, was tried, or was previewed."""
    return [
        dict(
            serial=a["serial"],
            model=a["model"],
            pci_address=a["pciAddress"],
            component=name,
            action=c["action"],
            installed=c["installed"],
            target=c["target"],
            result=c["result"],
        )
        for a, name, c in components_of(adapters)
        if c["action"] in ("flash", "preview")
    ]


def failures_of(adapters):
    """One line per failed component: the adapter and fwsweep's status message."""
    return [
        "%s %s: %s" % (adapter_label(a), name.replace("_", " "), c["message"])
        for a, name, c in components_of(adapters)
        if c["result"] == "failed"
    ]


def adapter_result(a):
    result = snake_keys({k: v for k, v in a.items() if k not in ("components", "functions")})
    for key, name in COMPONENTS:
        result[name] = snake_keys(a["components"][key])
    return result


def outcome_message(report, updates, check_mode):
    if not updates:
        return "No adapter needs a download (%s)" % report["message"]
    verb = "would be flashed" if check_mode else "flashed"
    return "%d adapter component(s) %s" % (len(updates), verb)


def main():
    module = AnsibleModule(argument_spec=argument_spec(), supports_check_mode=True)
    report, run = run_fwsweep(module, sweep_switches(module))
    error = report.get("error")
    if error:
        module.fail_json(
            msg="fwsweep: %s" % error.get("message"), error=error, changed=False, **run
        )

    adapters = report["adapters"]
    updates = updates_of(adapters)
    applied = [u for u in updates if u["result"] in ("ok", "pending-reboot")]
    result = dict(
        changed=bool(applied) or report["rebootRequired"],
        reboot_required=report["rebootRequired"],
        pending_reboots=report["pendingReboots"],
        updates=updates,
        adapters=[adapter_result(a) for a in adapters],
        summary=snake_keys(report["summary"]),
        return_code=report["returnCode"],
        return_code_name=report["returnCodeName"],
        run_id=report["runId"],
        **run
    )

    failures = failures_of(adapters)
    if failures or report["returnCode"] in FAILED_RETURN_CODES:
        detail = "; ".join(failures) or report["message"]
        module.fail_json(msg="Firmware download failed: %s" % detail, **result)
    if report["returnCode"] in NOTHING_FITS_RETURN_CODES:
        module.warn("fwsweep: %s" % report["message"])
    module.exit_json(msg=outcome_message(report, updates, module.check_mode), **result)


if __name__ == "__main__":
    main()
