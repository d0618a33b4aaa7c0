"""tamroctl doctor on a commissioning host with no gateway: reverse-path
filtering drops the replies of a device outside the subnet unless a route
leads back to it. Each fix the doctor prints is run, and the off-subnet
device is then found by a search.

Usage (scripts/lab.sh runs it in the lab's host namespace, with
routes_devices.json):
    tamroctl_routes_lab_test.py TAMROCTL
"""

import json
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lab"))
from tamro_lab import Program  # noqa: E402

run = Program(text=True)  # tamroctl, named by the first argument
IF = os.environ.get("TAMRO_LAB_ADAPTER_IF", "veth0")
OFF_SUBNET = "02-00-00-00-07-20"
DEVICE_RANGE = "172.16.0.0/12"


def sh(command):
    subprocess.run(command, shell=True, check=True, capture_output=True, timeout=10)


def reverse_path(output):
    """[kind, what, fix] of each of the doctor's reverse-path findings."""
    found = []
    for line in output.splitlines():
        if line.startswith("["):
            kind, what = line[1:].split("] ", 1)
            found.append([kind, what, ""])
        elif line.startswith("    fix: "):
            found[-1][2] = line[9:]
    return [f for f in found if "reverse-path filtering" in f[1]]


class ReversePathAndRoutes(unittest.TestCase):
    def setUp(self):
        # No gateway, as on a laptop with a static address; nothing but the subnet's route.
        sh("ip route del default 2>/dev/null || true")

    def tearDown(self):
        sh(f"ip route del {DEVICE_RANGE} dev {IF} 2>/dev/null || true;"
           f" ip route del default dev {IF} 2>/dev/null || true;"
           f" sysctl -qw net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.{IF}.rp_filter=0")

    def doctor(self):
        result = run("doctor", "--adapter", IF)
        found = reverse_path(result.stdout)
        self.assertEqual(len(found), 1, result.stdout)
        return found[0]

    def listed(self):
        result = run("search", "--adapter", IF, "--json")
        self.assertEqual(result.returncode, 0, result.stderr)
        return {device["mac"] for device in json.loads(result.stdout)["devices"]}

    def test_loose_filtering_without_a_route_back_is_a_problem_a_route_fixes(self):
        sh(f"sysctl -qw net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.{IF}.rp_filter=2")
        kind, what, fix = self.doctor()
        self.assertEqual(kind, "problem")
        self.assertEqual(what, f"loose reverse-path filtering on {IF} (rp_filter 2) and no route "
                               "back (no default route)")
        # The finding is true: the device outside the subnet is not found.
        self.assertNotIn(OFF_SUBNET, self.listed())
        route, sysctl = fix.split(", or ")
        self.assertEqual(sysctl, f"sysctl -w net.ipv4.conf.{IF}.rp_filter=0")
        sh(route.replace("DEVICE_RANGE/PREFIX", DEVICE_RANGE))
        kind, what, _ = self.doctor()
        self.assertEqual(kind, "ok")
        self.assertEqual(what, f"reverse-path filtering on {IF} is loose; outside the subnet, "
                               f"replies come back only from {DEVICE_RANGE}")
        self.assertIn(OFF_SUBNET, self.listed())

    def test_strict_host_wide_filtering_is_lifted_on_all_and_the_interface(self):
        sh(f"sysctl -qw net.ipv4.conf.all.rp_filter=1 net.ipv4.conf.{IF}.rp_filter=0")
        kind, what, fix = self.doctor()
        self.assertEqual(kind, "problem")
        self.assertTrue(what.startswith(f"strict reverse-path filtering on {IF} (rp_filter 1)"))
        self.assertNotIn(OFF_SUBNET, self.listed())
        _, sysctl = fix.split(", or ")
        self.assertEqual(sysctl, f"sysctl -w net.ipv4.conf.all.rp_filter=0 "
                                 f"net.ipv4.conf.{IF}.rp_filter=0")
        sh(sysctl)
        self.assertEqual(self.doctor()[:2], ["ok", f"reverse-path filtering on {IF} is off"])
        self.assertIn(OFF_SUBNET, self.listed())

    def test_a_default_route_through_the_adapter_satisfies_strict_filtering(self):
        sh(f"sysctl -qw net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.{IF}.rp_filter=1")
        sh(f"ip route add default dev {IF}")
        self.assertEqual(self.doctor()[:2],
                         ["ok", f"reverse-path filtering on {IF} is strict and the default route "
                                f"leads back through {IF}"])
        self.assertIn(OFF_SUBNET, self.listed())


if __name__ == "__main__":
    run.path = sys.argv.pop(1)
    unittest.main()
