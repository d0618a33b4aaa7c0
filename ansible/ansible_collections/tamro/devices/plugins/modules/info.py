# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: info
short_description: Lists the device servers on the managed host's segment
description:
  - Runs C(tamroctl search --json) on the managed host and returns its device list. Sends the
    search's broadcast and nothing else; never changes a device.
version_added: "1.0.0"
author: Tamro developers
options:
  adapter:
    description:
      - The adapter to search on (address, interface name or list position); default the first usable one.
      - C(all) searches every adapter, where tamroctl supports it.
    type: str
  models:
    description: The model file (tamroctl's C(--models)); kept for symmetry with the other modules.
    type: str
  tamroctl:
    description: The tamroctl program; default C(tamroctl) from C(PATH).
    type: str
    default: tamroctl
notes:
  - Supports check mode; it runs the same search then.
seealso:
  - module: tamro.devices.settings
"""

EXAMPLES = r"""
- name: What answers on this site
  tamro.devices.info:
  register: site

- name: Their addresses
  ansible.builtin.debug:
    msg: "{{ site.devices | map(attribute='ip') | list }}"
"""

RETURN = r"""
adapter:
  description:
    - The adapter searched, as tamroctl gives it (C(name), C(address), C(mask)).
    - None with C(adapter=all); see C(adapters), and each device's C(adapter).
  returned: always
  type: raw
  sample: {name: eth1, address: 10.77.0.1, mask: 255.255.255.0}
adapters:
  description: Every adapter searched (one, or each usable one with C(adapter=all)).
  returned: always
  type: list
  elements: dict
  sample: [{name: eth1, address: 10.77.0.1, mask: 255.255.255.0}]
devices:
  description:
    - The devices found, as C(tamroctl search --json) lists them (C(mac), C(ip), C(typeCode),
      C(configured), C(conflict), C(settings) for a device that was read).
  returned: always
  type: list
  elements: dict
dropped:
  description: Devices that answered but whose read failed (C(mac), C(ip)).
  returned: always
  type: list
  elements: dict
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.tamro.devices.plugins.module_utils.tamroctl import Tamroctl, TamroctlError


def main():
    module = AnsibleModule(
        argument_spec=dict(
            adapter=dict(type="str"),
            models=dict(type="str"),
            tamroctl=dict(type="str", default="tamroctl"),
        ),
        supports_check_mode=True,
    )
    tamroctl = Tamroctl(module, module.params["tamroctl"])
    try:
        tamroctl.resolve()
        found = tamroctl.search(module.params["adapter"], module.params["models"])
    except TamroctlError as error:
        module.fail_json(msg=str(error), reason=error.reason)
    one = found.get("adapter")
    adapters = found.get("adapters", [one] if one else [])
    module.exit_json(changed=False, adapter=one, adapters=adapters, devices=found.get("devices", []),
                     dropped=found.get("dropped", []))


if __name__ == "__main__":
    main()
