"""tamro-devsim --check on good and broken devices files: a mistake in a
file must stop the simulator with the place named, never run half-configured.

Usage: devsim_devices_file_test.py DEVSIM
"""

import json
import os
import subprocess
import sys
import tempfile
import unittest

DEVSIM = ""

GOOD_DEVICE = {"address": "10.77.0.10", "mac": "02-00-00-00-00-10"}


def check(content):
    with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False) as out:
        out.write(content if isinstance(content, str) else json.dumps(content))
    try:
        return subprocess.run([DEVSIM, "--check", "--devices", out.name], capture_output=True,
                              text=True, timeout=30, check=False)
    finally:
        os.unlink(out.name)


def with_device(**changes):
    device = dict(GOOD_DEVICE)
    device.update(changes)
    return {"devices": [device]}


class DevicesFile(unittest.TestCase):
    def test_a_file_using_every_feature_is_accepted(self):
        devices = [
            {"address": "10.77.0.10", "mac": "02:00:00:00:00:10", "type_code": "qq",
             "restart_ms": 50,
             "settings": {"dhcp": True, "keep_alive": 5, "data_bits": 7, "parity": "odd",
                          "stop_bits": 2, "baud": 460800, "flow": 5, "local_port": 23,
                          "remote_ip": "10.77.0.1", "remote_port": 1, "protocol": "tcp",
                          "connect": "power-on", "pack_control": 1, "cp1": 0, "cp2": 2,
                          "cp3": 1, "model_variant": 1},
             "faults": {"silent_reads": [0, 7], "silent_writes": [3],
                        "split": {"0": [0, 100], "discovery": [10]}, "split_gap_ms": 600,
                        "oversize": {"3": 1, "discovery": 1}, "discovery_delay_ms": 600,
                        "block_delay_ms": 10, "discovery_twice": True,
                        "discovery_broadcast": True, "reply_from": "10.77.0.99",
                        "discovery_from": "10.77.0.98",
                        "spoof": {"from": "10.77.0.97", "length": 4, "fill": 0,
                                  "blocks": [3]}}},
            {"address": "172.16.5.9", "mac": "02-00-00-00-12-34", "discovery_hex": "00 00 00 f7",
             "block0": "00" * 124, "block7": "ab" * 130, "settings": {"connect_mode": 0x1C},
             "patch": [{"block": 3, "offset": 128, "hex": "0102"}]},
        ]
        result = check({"restart_ms": 100, "devices": devices})
        self.assertEqual((0, "2 devices\n"), (result.returncode, result.stdout), result.stderr)

    def test_mistakes_are_refused_with_their_place(self):
        cases = {
            "not JSON": ("{devices: []}", "not valid JSON"),
            "no devices": ({"devices": []}, "devices: must be a non-empty list"),
            "misspelt key": (with_device(adress="10.77.0.11"), 'devices[0]: unknown key "adress"'),
            "short MAC": (with_device(mac="02-00-00-00-10"), "devices[0].mac"),
            "unusable address": (with_device(address="0.1.2.3"), "devices[0].address"),
            "three-letter type": (with_device(type_code="X12"), "devices[0].type_code"),
            "short block": (with_device(block3="00" * 129), "devices[0].block3"),
            "odd hex": (with_device(block0="0" * 247), "devices[0].block0"),
            "gappy mask": (with_device(settings={"mask": "255.0.255.0"}),
                           "devices[0].settings.mask"),
            "baud without code": (with_device(settings={"baud": 1234}),
                                  "devices[0].settings.baud"),
            "dhcp and ip": (with_device(settings={"dhcp": True, "ip": "10.77.0.10"}),
                            "dhcp excludes"),
            "serial on an invalid block": (with_device(block0="00" * 124,
                                                       settings={"parity": "odd"}),
                                           "valid format byte"),
            "no block 5": (with_device(faults={"split": {"5": [1]}}),
                           "devices[0].faults.split.5"),
            "spoof without length": (with_device(faults={"spoof": {"from": "10.77.0.9"}}),
                                     "devices[0].faults.spoof"),
            "patch past the end": (with_device(patch=[{"block": 7, "offset": 129, "hex": "0102"}]),
                                   "devices[0].patch[0]"),
            "kept bytes in the header": (with_device(faults={"keep_on_write": [{"block": 0, "offset": 2}]}),
                                         "devices[0].faults.keep_on_write[0].offset"),
            "kept bytes past the end": (with_device(faults={"keep_on_write": [
                                            {"block": 3, "offset": 120, "length": 11}]}),
                                        "devices[0].faults.keep_on_write[0].length"),
            "kept bytes without a block": (with_device(faults={"keep_on_write": [{"offset": 21}]}),
                                           "needs block and offset"),
            "same address twice": ({"devices": [GOOD_DEVICE, dict(GOOD_DEVICE, mac="02-00-00-00-00-11")]},
                                   "devices[1].address"),
        }
        for name, (content, message) in cases.items():
            with self.subTest(name):
                result = check(content)
                self.assertEqual(2, result.returncode, result.stdout)
                self.assertIn(message, result.stderr)


if __name__ == "__main__":
    DEVSIM = sys.argv.pop(1)
    unittest.main()
