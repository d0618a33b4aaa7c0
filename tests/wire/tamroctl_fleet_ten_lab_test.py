"""The walk-through of docs/fleet.md: one device's settings cloned onto ten new
ones, each given its own address by a map, verified after the restart.

Usage (scripts/lab.sh runs it in the lab's host namespace, with
fleet_ten_devices.json):
    tamroctl_fleet_ten_lab_test.py TAMROCTL
"""

import json
import os
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lab"))
from tamro_lab import Program  # noqa: E402

run = Program(timeout=120, text=True)  # tamroctl, named by the first argument
NEW = [f"02-00-00-00-05-{0x20 + i:02X}" for i in range(10)]


class CloneOntoTen(unittest.TestCase):
    def test_export_then_apply_with_a_map_and_verify(self):
        with tempfile.TemporaryDirectory() as directory:
            settings = os.path.join(directory, "settings.json")
            self.assertEqual(run("export", "10.77.0.10", "-o", settings).returncode, 0)
            addresses = os.path.join(directory, "addresses.csv")
            with open(addresses, "w", encoding="utf-8") as file:
                file.write("mac,ip\n")
                file.writelines(f"{mac},10.77.0.{21 + i}\n" for i, mac in enumerate(NEW))
            devices = [line.split()[0] for line in
                       run("search", "--csv").stdout.splitlines()[1:]]
            self.assertEqual(len(devices), 11)
            started = time.monotonic()
            result = run("apply", settings, *NEW, "--addresses", addresses, "--yes",
                         "--verify=30", "--json")
            seconds = time.monotonic() - started
            self.assertEqual(result.returncode, 0, result.stderr)
            rows = json.loads(result.stdout)["devices"]
            self.assertEqual([(row["mac"], row["newIp"], row["result"], row["verify"])
                              for row in rows],
                             [(mac, f"10.77.0.{21 + i}", "written", "verified")
                              for i, mac in enumerate(NEW)])
            print(f"\nten devices written and verified in {seconds:.1f} s")

            listed = json.loads(run("search", "--json").stdout)["devices"]
            source = next(d for d in listed if d["ip"] == "10.77.0.10")["settings"]
            for device in listed:
                if device["mac"] in NEW:
                    settings_read = dict(device["settings"])
                    for key in ("ipAddress",):
                        settings_read.pop(key)
                    expected = {k: v for k, v in source.items() if k != "ipAddress"}
                    # The pins are not among the settings a file carries.
                    for key in ("cp1Function", "cp2Function", "cp3Function", "connectMode"):
                        settings_read.pop(key)
                        expected.pop(key)
                    self.assertEqual(settings_read, expected, device["mac"])


if __name__ == "__main__":
    run.path = sys.argv.pop(1)
    unittest.main()
