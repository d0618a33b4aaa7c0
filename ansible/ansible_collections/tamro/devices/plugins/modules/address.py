# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: address
short_description: Gives a device server an address by the address assignment
description:
  - For a device outside the adapter's subnet, or one sharing its address with another,
    C(tamroctl assign) broadcasts the assignment, after tamroctl's own checks (an address no
    device should have, another listed device ending in the same two MAC bytes, an address
    another device answers from).
  - Idempotent, as nothing is sent when the device already answers at I(address).
  - Fails, sending nothing, when the device does not answer the search.
version_added: "1.0.0"
author: Tamro developers
options:
  mac:
    description: MAC address of the device.
    type: str
    required: true
  address:
    description: The address to give it, dotted.
    type: str
    required: true
  adapter:
    description: The adapter to search and assign on; default the first usable one.
    type: str
  force:
    description: Assign even an address another listed device answers from.
    type: bool
    default: false
  tamroctl:
    description: The tamroctl program; default C(tamroctl) from C(PATH).
    type: str
    default: tamroctl
notes:
  - Supports check mode (one search, nothing sent) and diff mode (the address before and after).
  - The assignment reaches every device whose MAC ends in the same two bytes; tamroctl refuses
    it when another listed device does.
seealso:
  - module: tamro.devices.settings
"""

EXAMPLES = r"""
- name: The fresh unit at its factory address joins the segment
  tamro.devices.address:
    mac: 02-00-00-00-56-78
    address: 10.77.0.40
"""

RETURN = r"""
before:
  description: The address the device answered from before.
  returned: always
  type: str
after:
  description: The address it was given (or, in check mode, would be).
  returned: always
  type: str
message:
  description: What tamroctl printed for the assignment.
  returned: when assigned
  type: str
reason:
  description: tamroctl's own message for a failure.
  returned: failure
  type: str
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.tamro.devices.plugins.module_utils.tamroctl import (
    Tamroctl, TamroctlError, canonical_mac, last_line, search_rows)


def decide(search, mac, address):
    """(before, needed): where the device answers now and whether it must be assigned."""
    row = search_rows(search).get(mac)
    if row is None:
        return None, True
    return row.get("ip"), row.get("ip") != address


def main():
    module = AnsibleModule(
        argument_spec=dict(
            mac=dict(type="str", required=True),
            address=dict(type="str", required=True),
            adapter=dict(type="str"),
            force=dict(type="bool", default=False),
            tamroctl=dict(type="str", default="tamroctl"),
        ),
        supports_check_mode=True,
    )
    params = module.params
    mac = canonical_mac(params["mac"])
    tamroctl = Tamroctl(module, params["tamroctl"])
    try:
        tamroctl.resolve()
        before, needed = decide(tamroctl.search(params["adapter"]), mac, params["address"])
    except TamroctlError as error:
        module.fail_json(msg=str(error), reason=error.reason)
    if before is None:
        # Check mode too: a plan for a device that does not answer is no plan.
        module.fail_json(msg="%s: no such device answered the search; nothing was sent" % mac,
                         reason="not found")
    result = dict(changed=needed, before=before, after=params["address"])
    if module._diff:
        result["diff"] = {"before": {"ip": before}, "after": {"ip": params["address"]},
                          "before_header": mac, "after_header": mac}
    if needed and not module.check_mode:
        args = ["assign", mac, params["address"]] + tamroctl.adapter_args("assign", params["adapter"])
        if params["force"]:
            args.append("--force")
        rc, out, err = tamroctl.run(args)
        result["message"] = out.strip()
        if rc != 0:
            reason = last_line(err) or last_line(out) or "rc=%d" % rc
            if reason.startswith("tamroctl: "):
                reason = reason[len("tamroctl: "):]
            result["changed"] = False
            module.fail_json(msg="%s: the assignment of %s failed: %s" % (mac, params["address"], reason),
                             reason=reason, rc=rc, **result)
    module.exit_json(**result)


if __name__ == "__main__":
    main()
