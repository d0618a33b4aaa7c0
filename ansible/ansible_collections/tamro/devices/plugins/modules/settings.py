# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: settings
short_description: Sets device servers' settings through tamroctl, writing only what differs
description:
  - Compares the wanted settings with what each device holds and writes, with C(tamroctl apply),
    only the devices that differ. A device that already holds every value is not written and
    not restarted, so a second run reports C(changed=false).
  - With I(devices), one task plans, writes and verifies a whole list as one batch (one
    C(tamroctl apply) per group of devices sharing their settings, each device's own address
    in an address map), not one search per device, when tamroctl can plan with C(apply --check).
  - Runs on the managed host, which must be on the devices' segment. Nothing but C(tamroctl) is
    run; the device protocol stays in tamroctl.
version_added: "1.0.0"
author: Tamro developers
options:
  mac:
    description: MAC address of the device (C(02-00-00-00-00-10) or with colons). Needs I(settings).
    type: str
  settings:
    description:
      - The values to hold, by the settings file's keys; any subset. Keys left out keep the device's value.
    type: dict
    suboptions:
      dhcp: {description: Automatic address (C(true)/C(false)), type: bool}
      protocol: {description: C(tcp) or C(udp)., type: str}
      connect: {description: The connect condition (C(none), C(serial), ...)., type: str}
      ip: {description: Fixed address, dotted., type: str}
      mask: {description: Subnet mask, dotted., type: str}
      gateway: {description: Default gateway, dotted., type: str}
      remoteIp: {description: Remote address, dotted., type: str}
      port: {description: Local port (0-65535)., type: int}
      remotePort: {description: Remote port (0-65535)., type: int}
      keepAlive: {description: Keep-alive in seconds (0-65)., type: int}
      baud: {description: Baud rate., type: int}
      dataBits: {description: Data bits., type: int}
      parity: {description: C(none), C(odd) or C(even)., type: str}
      stopBits: {description: Stop bits., type: int}
      flow: {description: Flow control (C(none), C(xon-xoff), C(cts-rts))., type: str}
      pack: {description: Pack control, C(off) or the idle gap in milliseconds., type: str}
  model:
    description: The model to choose in the setup dialog (name or list position); default the device's.
    type: str
  devices:
    description:
      - Instead of I(mac) and I(settings), a list of devices handled as one batch.
    type: list
    elements: dict
    suboptions:
      mac: {description: MAC address of the device., type: str, required: true}
      settings: {description: As I(settings)., type: dict, required: true}
      model: {description: As I(model)., type: str}
  adapter:
    description:
      - The adapter to search on (address, interface name or list position).
      - C(auto) uses the adapter the devices answered on; a tamroctl without it searches its first usable adapter.
    type: str
    default: auto
  models:
    description: The model file (tamroctl's C(--models)).
    type: str
  verify:
    description: Seconds to wait for every written device to be read back with its values; C(0) skips the check.
    type: int
    default: 30
  force:
    description: Give even an address another listed device answers from (tamroctl's C(--force)).
    type: bool
    default: false
  tamroctl:
    description: The tamroctl program; default C(tamroctl) from C(PATH).
    type: str
    default: tamroctl
notes:
  - Supports check mode (the plan only) and diff mode (the keys that change, before and after).
seealso:
  - module: tamro.devices.info
  - module: tamro.devices.address
"""

EXAMPLES = r"""
- name: Serial settings on one device
  tamro.devices.settings:
    mac: 02-00-00-00-00-10
    settings:
      baud: 115200
      flow: cts-rts

- name: Two devices, each at its own address, in one batch
  tamro.devices.settings:
    devices:
      - mac: 02-00-00-00-00-11
        settings: {baud: 115200, ip: 10.77.0.21}
      - mac: 02-00-00-00-00-12
        settings: {baud: 115200, ip: 10.77.0.22}
    verify: 20
"""

RETURN = r"""
changed:
  description: Whether any device was (or, in check mode, would be) written.
  returned: always
  type: bool
devices:
  description: One entry per device, in the order given.
  returned: always
  type: list
  elements: dict
  contains:
    mac: {description: The device's MAC address., type: str}
    changed: {description: Whether this device differs (and was written)., type: bool}
    changes:
      description: The differing keys, each C({before, after}).
      type: dict
      sample: {baud: {before: 9600, after: 115200}}
    result: {description: tamroctl's result for a written device (C(written), C(failed), ...)., type: str, returned: when written}
    verify: {description: The read-back (C(verified), C(differing), C(missing), ...)., type: str, returned: when written with I(verify)}
    device: {description: The device as the search after the write read it (the C(search --json) entry)., type: dict, returned: when written}
diff:
  description: The keys that change, before and after (by MAC with I(devices)).
  returned: in diff mode
  type: dict
problems:
  description: Why tamroctl refused the batch or a write failed.
  returned: failure
  type: list
  elements: str
reason:
  description: tamroctl's own message for the failure.
  returned: failure
  type: str
"""

import json
import os

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.tamro.devices.plugins.module_utils.tamroctl import (
    Tamroctl, TamroctlError, address_map, apply_failures, canonical_mac, clean_settings,
    device_plan, diff_of, group_entries, plan_changes, plan_from_check, search_rows,
    settings_document)

SETTING_OPTIONS = dict(
    dhcp=dict(type="bool"), protocol=dict(type="str"), connect=dict(type="str"),
    ip=dict(type="str"), mask=dict(type="str"), gateway=dict(type="str"),
    remoteIp=dict(type="str"), port=dict(type="int"), remotePort=dict(type="int"),
    keepAlive=dict(type="int"), baud=dict(type="int"), dataBits=dict(type="int"),
    parity=dict(type="str"), stopBits=dict(type="int"), flow=dict(type="str"),
    pack=dict(type="str"),
)


def pack_value(value):
    # The settings file takes the idle gap as a number, "off" as text.
    return int(value) if isinstance(value, str) and value.isdigit() else value


def entries_from(params):
    if params["devices"]:
        raw = params["devices"]
    else:
        raw = [{"mac": params["mac"], "settings": params["settings"], "model": params["model"]}]
    entries = []
    seen = set()
    for item in raw:
        settings = clean_settings(item.get("settings"))
        if "pack" in settings:
            settings["pack"] = pack_value(settings["pack"])
        mac = canonical_mac(item["mac"])
        if mac in seen:
            raise TamroctlError("%s is listed twice" % mac, reason="duplicate")
        seen.add(mac)
        entries.append({"mac": mac, "settings": settings, "model": item.get("model") or params["model"]})
    return entries


class Batch:
    """Settings files and address maps for the groups, in the module's temporary folder."""

    def __init__(self, module, tamroctl):
        self.module = module
        self.tamroctl = tamroctl
        self.count = 0

    def _write(self, name, content):
        self.count += 1
        path = os.path.join(self.module.tmpdir, "%d-%s" % (self.count, name))
        with open(path, "w") as handle:
            handle.write(content)
        return path

    def apply_args(self, model, settings, entries):
        params = self.module.params
        args = ["apply", self._write("settings.json", json.dumps(settings_document(settings, model)))]
        args += [entry["mac"] for entry in entries]
        args += self.tamroctl.adapter_args("apply", params["adapter"])
        if params["models"]:
            args += ["--models", params["models"]]
        if model:
            args += ["--model", model]
        addresses = address_map(entries)
        if addresses:
            args += ["--addresses", self._write("addresses.csv", addresses)]
        if params["force"]:
            args.append("--force")
        return args


def refused(module, message, problems, reason, **extra):
    module.fail_json(msg=message, problems=problems, reason=reason, **extra)


def plan(module, tamroctl, batch, entries):
    params = module.params
    if tamroctl.has_option("apply", "--check"):
        plans = []
        for model, settings, members in group_entries(entries):
            rc, data, err = tamroctl.run_json(batch.apply_args(model, settings, members) + ["--check"])
            problems = apply_failures(data) if isinstance(data, dict) and data.get("refused") else []
            if rc != 0 or not isinstance(data, dict) or problems:
                problems = problems or [err.strip() or "rc=%d" % rc]
                refused(module, "tamroctl refused the batch; nothing was sent", problems, problems[0])
            plans += plan_from_check(members, data)
        order = dict((entry["mac"], index) for index, entry in enumerate(entries))
        return sorted(plans, key=lambda item: order[item["mac"]])
    # An older tamroctl: each device's exported settings, compared here.
    plans = []
    for entry in entries:
        exported = tamroctl.export(entry["mac"], params["adapter"], params["models"], entry["model"])
        plans.append(device_plan(entry, plan_changes(exported["settings"], entry["settings"])))
    return plans


def write(module, tamroctl, batch, entries, plans):
    params = module.params
    changed = set(item["mac"] for item in plans if item["changed"])
    todo = [entry for entry in entries if entry["mac"] in changed]
    rows = {}
    for model, settings, members in group_entries(todo):
        args = batch.apply_args(model, settings, members) + ["--yes"]
        if params["verify"] > 0:
            args.append("--verify=%d" % params["verify"])
        rc, data, err = tamroctl.run_json(args)
        problems = apply_failures(data)
        if rc != 0 and not problems:
            problems = [err.strip() or "rc=%d" % rc]
        for row in (data or {}).get("devices", []) if isinstance(data, dict) else []:
            rows[canonical_mac(row.get("mac"))] = row
        if problems:
            for item in plans:
                item.update(result_fields(rows.get(item["mac"])))
            message = "nothing was sent" if isinstance(data, dict) and data.get("refused") else "a write failed"
            refused(module, "tamroctl: %s" % message, problems, problems[0], devices=plans,
                    changed=bool(rows))
    read = {}
    if todo:
        try:
            read = search_rows(tamroctl.search(params["adapter"], params["models"]))
        except TamroctlError:
            read = {}
    for item in plans:
        if item["mac"] in changed:
            item.update(result_fields(rows.get(item["mac"])))
            if item["mac"] in read:
                item["device"] = read[item["mac"]]


def result_fields(row):
    if not row:
        return {}
    fields = {"result": row.get("result")}
    if "verify" in row:
        fields["verify"] = row["verify"]
    return fields


def main():
    module = AnsibleModule(
        argument_spec=dict(
            mac=dict(type="str"),
            settings=dict(type="dict", options=SETTING_OPTIONS),
            model=dict(type="str"),
            devices=dict(type="list", elements="dict", options=dict(
                mac=dict(type="str", required=True),
                settings=dict(type="dict", required=True, options=SETTING_OPTIONS),
                model=dict(type="str"))),
            adapter=dict(type="str", default="auto"),
            models=dict(type="str"),
            verify=dict(type="int", default=30),
            force=dict(type="bool", default=False),
            tamroctl=dict(type="str", default="tamroctl"),
        ),
        required_together=[("mac", "settings")],
        required_one_of=[("mac", "devices")],
        mutually_exclusive=[("mac", "devices"), ("settings", "devices")],
        supports_check_mode=True,
    )
    if not 0 <= module.params["verify"] <= 600:
        module.fail_json(msg="verify takes 0 to 600 seconds")
    tamroctl = Tamroctl(module, module.params["tamroctl"])
    try:
        tamroctl.resolve()
        entries = entries_from(module.params)
        for entry in entries:
            if not entry["settings"]:
                module.fail_json(msg="%s: no settings given" % entry["mac"])
        batch = Batch(module, tamroctl)
        plans = plan(module, tamroctl, batch, entries)
        if not module.check_mode:
            write(module, tamroctl, batch, entries, plans)
    except TamroctlError as error:
        module.fail_json(msg=str(error), reason=error.reason)

    changed = any(item["changed"] for item in plans)
    result = dict(changed=changed, devices=plans)
    if module._diff:
        if module.params["devices"]:
            result["diff"] = {
                "before": dict((i["mac"], diff_of(i["changes"])["before"]) for i in plans if i["changed"]),
                "after": dict((i["mac"], diff_of(i["changes"])["after"]) for i in plans if i["changed"]),
            }
        else:
            result["diff"] = diff_of(plans[0]["changes"], header=plans[0]["mac"])
    module.exit_json(**result)


if __name__ == "__main__":
    main()
