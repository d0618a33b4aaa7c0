"""Naming a device in tamroctl when the list is not clear-cut: two devices
with one MAC, a device dropped because its read failed, values refused
before any search. Against the simulator inside the lab.

Usage (scripts/lab.sh runs it in the lab's host namespace, with
choice_devices.json):
    tamroctl_choice_lab_test.py TAMROCTL
"""

import json
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lab"))
from tamro_lab import Program, lab_devices, received, settle, text, writes_to  # noqa: E402

run = Program()  # tamroctl, named by the first argument
CLONED = "02-00-00-00-00-30"   # carried by 10.77.0.30 and 10.77.0.31
UNREAD = "02-00-00-00-00-32"   # 10.77.0.32 answers discovery, never block 3

WRITE_COMPLETE = "設定完了しました。\nデバイスを再起動します。"


def wait_until_restarted(address):
    deadline = time.monotonic() + 5
    while time.monotonic() < deadline:
        if any(device["address"] == address and device["state"] == "up" and device["restarts"]
               for device in lab_devices()):
            return
        time.sleep(0.05)
    raise AssertionError(f"{address} did not restart and come back")


class SameMac(unittest.TestCase):
    def test_search_lists_both_devices_of_one_mac(self):
        result = run("search", "--json")
        self.assertEqual(result.returncode, 0, text(result.stderr))
        listed = sorted((device["mac"], device["ip"])
                        for device in json.loads(result.stdout)["devices"])
        self.assertEqual(listed, [(CLONED, "10.77.0.30"), (CLONED, "10.77.0.31")])

    def test_a_shared_mac_is_refused_and_nothing_is_written(self):
        for mac in [CLONED, CLONED.replace("-", ":").lower()]:
            with self.subTest(mac=mac):
                result = run("write", mac, "--keep-alive", "9", "--yes")
                self.assertEqual(result.returncode, 1)
                self.assertEqual(result.stdout, b"")
                message = text(result.stderr)
                self.assertIn(f"2 listed devices match {mac}; nothing was sent", message)
                self.assertIn(f'"{CLONED} / 10.77.0.30"', message)
                self.assertIn(f'"{CLONED} / 10.77.0.31"', message)
                self.assertIn("#", message)
                self.assertNotIn("selected", message)
        for command in [["show", CLONED], ["ping", "10.77.0.60", "--device", CLONED]]:
            with self.subTest(command=command):
                result = run(*command)
                self.assertEqual(result.returncode, 1)
                self.assertEqual(result.stdout, b"")
                self.assertIn("2 listed devices match", text(result.stderr))
        settle("10.77.0.30")
        settle("10.77.0.31")
        self.assertEqual(writes_to(address="10.77.0.30"), [])
        self.assertEqual(writes_to(address="10.77.0.31"), [])

    def test_mac_and_address_together_pick_one(self):
        for device in [f"{CLONED} / 10.77.0.31", f"{CLONED}/10.77.0.31",
                       f" {CLONED.replace('-', ':')}/ 10.77.0.31 "]:
            with self.subTest(device=device):
                result = run("show", device, "--json")
                self.assertEqual(result.returncode, 0, text(result.stderr))
                shown = json.loads(result.stdout)["device"]
                self.assertEqual((shown["mac"], shown["ip"]), (CLONED, "10.77.0.31"))
                self.assertEqual(shown["settings"]["keepAlive"], 4)
        # Both parts must match.
        result = run("show", f"{CLONED}/10.77.0.32")
        self.assertEqual(result.returncode, 1)
        self.assertIn("no device", text(result.stderr))

    def test_a_list_position_picks_one(self):
        seen = set()
        for position in ["#0", "#1"]:
            result = run("show", position, "--json")
            self.assertEqual(result.returncode, 0, text(result.stderr))
            seen.add(json.loads(result.stdout)["device"]["ip"])
        self.assertEqual(seen, {"10.77.0.30", "10.77.0.31"})
        result = run("show", "#2")
        self.assertEqual(result.returncode, 1)
        self.assertIn("no device #2", text(result.stderr))

    def test_zz_write_by_mac_and_address_reaches_that_device_only(self):
        result = run("write", f"{CLONED}/10.77.0.30", "--keep-alive", "9", "--yes")
        self.assertEqual(result.returncode, 0, text(result.stderr))
        self.assertEqual(text(result.stdout), WRITE_COMPLETE + "\n")
        wait_until_restarted("10.77.0.30")
        self.assertEqual(len(writes_to(address="10.77.0.30")), 3)
        settle("10.77.0.31")
        self.assertEqual(writes_to(address="10.77.0.31"), [])
        found = {device["ip"]: device for device in json.loads(run("search", "--json").stdout)
                 ["devices"]}
        self.assertEqual(found["10.77.0.30"]["settings"]["keepAlive"], 9)
        self.assertEqual(found["10.77.0.31"]["settings"]["keepAlive"], 4)


class Dropped(unittest.TestCase):
    def test_search_names_the_devices_it_dropped(self):
        result = run("search", "--json")
        self.assertEqual(result.returncode, 0, text(result.stderr))
        output = json.loads(result.stdout)
        self.assertEqual(output["dropped"],
                         [{"mac": UNREAD, "ip": "10.77.0.32", "reason": "no answer to block 3"}])
        self.assertNotIn(UNREAD, [device["mac"] for device in output["devices"]])
        message = text(result.stderr)
        self.assertIn("3 devices answered; 1 was dropped", message)
        self.assertIn(f"{UNREAD} / 10.77.0.32: no answer to block 3", message)

        table = run("search")
        self.assertIn(f"{UNREAD} / 10.77.0.32", text(table.stderr))
        self.assertNotIn(UNREAD, text(table.stdout))

    def test_show_says_what_was_dropped(self):
        result = run("show", "10.77.0.32")
        self.assertEqual(result.returncode, 1)
        message = text(result.stderr)
        self.assertIn("1 was dropped", message)
        self.assertIn(f"{UNREAD} / 10.77.0.32", message)
        self.assertIn("no device 10.77.0.32", message)


class RefusedBeforeSearch(unittest.TestCase):
    """A value no control could take is refused in the words typed, and the
    segment never hears a discovery query."""

    def test_values_that_cannot_be_right(self):
        cases = [
            (["write", f"{CLONED}/10.77.0.30", "--ip", "10.77.0.256"],
             "--ip: 10.77.0.256: each field is 0 to 255"),
            (["write", "10.77.0.31", "--remote-ip", "10.77.0.300", "--mask", "255.255.255.0"],
             "--remote-ip: 10.77.0.300: each field is 0 to 255"),
            (["write", "10.77.0.31", "--gateway", "10.77.0"], "--gateway: 10.77.0: give four"),
            (["write", "10.77.0.31", "--keep-alive", "1O"], "--keep-alive: 1O: give a number"),
            (["write", "10.77.0.256", "--yes"], '"10.77.0.256" names no device'),
            (["ping", "10.77.0.256", "--device", "10.77.0.31"],
             "ADDRESS 10.77.0.256: each field is 0 to 255"),
        ]
        before = len(received("discovery"))
        for args, message in cases:
            with self.subTest(args=args):
                result = run(*args)
                self.assertEqual(result.returncode, 2)
                self.assertIn(message, text(result.stderr))
                self.assertNotIn("searching", text(result.stderr))
                self.assertNotIn("10.77.0.255", text(result.stderr))
        settle("10.77.0.30")
        self.assertEqual(len(received("discovery")), before)


if __name__ == "__main__":
    run.path = sys.argv.pop(1)
    unittest.main()
