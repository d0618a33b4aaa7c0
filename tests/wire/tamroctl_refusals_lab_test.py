"""tamroctl write, assign and apply against the simulator inside the lab:
addresses no device should get are refused before anything is sent, an
assignment that would restart a second device is refused, an address
another device answers from goes out only with --force, and assign
--no-search reaches a device that does not answer a search.

Usage (scripts/lab.sh runs it in the lab's host namespace, with
refusal_devices.json):
    tamroctl_refusals_lab_test.py TAMROCTL
"""

import json
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lab"))
from tamro_lab import (  # noqa: E402
    Program, device_state, received, settle, text, trace, wait_until_up)

run = Program(timeout=60)  # tamroctl, named by the first argument

TARGET = "02-00-00-00-03-20"     # 10.77.0.20, on the subnet
NEIGHBOUR = "02-00-00-00-03-30"  # 10.77.0.30, whose address is taken
FAR = "02-00-00-00-05-60"        # 172.16.5.60, outside the subnet
CLASH = "02-00-00-00-05-70"      # 172.16.5.70; 02-00-00-01-05-70 ends alike
SLOW = "02-00-00-00-05-90"       # 172.16.5.90 answers discovery after the search
AUTOMATIC = "02-00-00-00-03-60"  # 10.77.0.60, DHCP on: its stored address reads 0.0.0.0
FORCED_WRITE = "02-00-00-00-03-41"   # 10.77.0.41, given 10.77.0.51 with --force
FORCED_APPLY = "02-00-00-00-03-43"   # 10.77.0.43, given 10.77.0.53 with --force
FORCED_ASSIGN = "02-00-00-00-05-62"  # 172.16.5.62, given 10.77.0.52 with --force

# Every kind of address no device should get, with the words naming it.
FORBIDDEN = [
    ("0.0.0.0", "in 0.0.0.0/8, which no host may use"),
    ("0.77.0.50", "in 0.0.0.0/8, which no host may use"),
    ("127.0.0.1", "a loopback address (127.0.0.0/8)"),
    ("224.0.0.1", "a multicast address (224.0.0.0/4)"),
    ("240.0.0.1", "a reserved address (240.0.0.0/4)"),
    ("255.255.255.255", "the broadcast address 255.255.255.255"),
    ("10.77.0.0", "the network address of its subnet"),
    ("10.77.0.255", "the broadcast address of its subnet"),
    ("10.77.0.1", "the adapter's own address"),
]


def sent_changes(lines):
    """The writes and assignments among trace lines, whoever took them."""
    return [line for line in lines if line.get("dir") == "rx" and (
        str(line.get("what", "")).startswith("write") or "assignment" in str(line.get("what")))]


def assignments(lines):
    """Each assignment packet as (the MAC's last two bytes, the address), as
    "05-90", "10.77.0.90": the broadcast names no single device."""
    packets = [bytes.fromhex(line["hex"]) for line in received("assignment", lines)]
    return [(f"{p[-6]:02x}-{p[-5]:02x}", ".".join(str(b) for b in p[-4:])) for p in packets]


def discoveries(lines):
    return received("discovery", lines)


class Files:
    def __init__(self):
        self.directory = tempfile.TemporaryDirectory()

    def write(self, name, content):
        path = os.path.join(self.directory.name, name)
        with open(path, "w", encoding="utf-8") as file:
            file.write(content if isinstance(content, str) else json.dumps(content))
        return path


def settings_file(**settings):
    return {"format": "tamro-settings/1", "tamro": "1.00", "mac": None, "model": None,
            "settings": settings}


class Refusals(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.files = Files()

    def refused(self, *args, status=2, searched=True):
        """Runs tamroctl; it must exit with `status` having sent no write or
        assignment, and search only when `searched`. Its stderr."""
        settle("10.77.0.30")
        before = len(trace())
        result = run(*args)
        settle("10.77.0.30")
        after = trace()[before:]
        self.assertEqual(result.returncode, status, text(result.stderr))
        self.assertEqual(sent_changes(after), [])
        self.assertEqual(bool(discoveries(after)), searched)
        return text(result.stderr)

    def test_forbidden_addresses_are_refused_by_every_command(self):
        blocks_before = {mac: device_state(mac) for mac in (TARGET, FAR)}
        for address, words in FORBIDDEN:
            reason = f"{address} is {words}: no device should have it"
            with self.subTest("write", address=address):
                stderr = self.refused("write", TARGET, "--ip", address, "--yes", "--force")
                self.assertIn(f"tamroctl: --ip {reason}; nothing was sent", stderr)
            with self.subTest("assign", address=address):
                # Judged before the search: nothing at all goes out.
                stderr = self.refused("assign", FAR, address, "--force", searched=False)
                self.assertIn(f"tamroctl: ADDRESS {reason}; nothing was sent", stderr)
            with self.subTest("apply settings", address=address):
                path = self.files.write("ip.json", settings_file(ip=address))
                stderr = self.refused("apply", path, TARGET, "--yes", "--force")
                self.assertIn(f"{TARGET} / 10.77.0.20: {reason}", stderr)
            with self.subTest("apply --addresses", address=address):
                good = self.files.write("good.json", settings_file(baud=9600))
                mapped = self.files.write("map.csv", f"{FAR},{address}\n")
                stderr = self.refused("apply", good, FAR, "--addresses", mapped, "--yes",
                                      "--force")
                self.assertIn(f"{FAR} / 172.16.5.60: {reason}", stderr)
        # Nothing about either device changed.
        for mac, state in blocks_before.items():
            self.assertEqual(device_state(mac), state, mac)

    def test_a_fixed_address_judged_with_the_mask_it_will_have(self):
        # On a /16 10.77.0.255 is an ordinary host; 10.77.255.255 is not.
        stderr = self.refused("write", TARGET, "--mask", "255.255.0.0", "--ip",
                              "10.77.255.255", "--yes")
        self.assertIn("10.77.255.255 is the broadcast address of its subnet", stderr)

    def test_the_automatic_address_is_not_judged(self):
        # With DHCP on the stored address (0.0.0.0 here) is not used: the
        # write goes out.
        settle("10.77.0.30")
        before = len(trace())
        result = run("write", "10.77.0.60", "--baud", "19200", "--yes")
        self.assertEqual(result.returncode, 0, text(result.stderr))
        wait_until_up(AUTOMATIC, "10.77.0.60")
        settle("10.77.0.30")
        self.assertEqual(sorted(line["what"] for line in sent_changes(trace()[before:])),
                         ["write 0", "write 3", "write 7"])

    def test_an_address_another_device_answers_from_needs_force(self):
        taken = f"10.77.0.30 is where {NEIGHBOUR} answers (--force gives it anyway)"
        stderr = self.refused("write", TARGET, "--ip", "10.77.0.30", "--yes")
        self.assertIn(taken, stderr)
        stderr = self.refused("assign", FAR, "10.77.0.30")
        self.assertIn(taken, stderr)
        path = self.files.write("taken.json", settings_file(ip="10.77.0.30"))
        stderr = self.refused("apply", path, TARGET, "--yes")
        self.assertIn(f"would get 10.77.0.30, where {NEIGHBOUR} / 10.77.0.30 answers", stderr)

    def test_an_assignment_two_devices_would_take_is_refused_even_with_force(self):
        for extra in ([], ["--force"]):
            with self.subTest(extra=extra):
                stderr = self.refused("assign", CLASH, "10.77.0.80", *extra)
                self.assertIn("02-00-00-01-05-70 / 172.16.5.71 ends in the same two MAC bytes",
                              stderr)

    def test_a_device_the_search_does_not_find_needs_no_search(self):
        stderr = self.refused("assign", SLOW, "10.77.0.90", status=1)
        self.assertIn(f"no device {SLOW} was found on 10.77.0.1", stderr)
        self.assertIn("--no-search", stderr)
        settle("10.77.0.30")
        before = len(trace())
        result = run("assign", SLOW, "10.77.0.90", "--no-search")
        self.assertEqual(result.returncode, 0, text(result.stderr))
        wait_until_up(SLOW, "10.77.0.90")
        settle("10.77.0.30")
        after = trace()[before:]
        self.assertEqual(discoveries(after), [])
        self.assertEqual(assignments(after), [("05-90", "10.77.0.90")])

    def test_force_lets_a_taken_address_through_with_every_command(self):
        # The decoys keep answering at 10.77.0.51-53; each forced device joins one.
        settle("10.77.0.30")
        before = len(trace())
        result = run("write", "10.77.0.41", "--ip", "10.77.0.51", "--yes", "--force")
        self.assertEqual(result.returncode, 0, text(result.stderr))
        wait_until_up(FORCED_WRITE, "10.77.0.51")
        result = run("assign", FORCED_ASSIGN, "10.77.0.52", "--force")
        self.assertEqual(result.returncode, 0, text(result.stderr))
        wait_until_up(FORCED_ASSIGN, "10.77.0.52")
        path = self.files.write("forced.json", settings_file(ip="10.77.0.53"))
        result = run("apply", path, "10.77.0.43", "--yes", "--force")
        self.assertEqual(result.returncode, 0, text(result.stderr))
        wait_until_up(FORCED_APPLY, "10.77.0.53")
        settle("10.77.0.30")
        after = trace()[before:]
        self.assertEqual({line["device"] for line in received("write", after)},
                         {FORCED_WRITE, FORCED_APPLY})
        self.assertEqual(assignments(after), [("05-62", "10.77.0.52")])


class SettingsFileBounds(unittest.TestCase):
    """Refused as a file error, before the search."""

    @classmethod
    def setUpClass(cls):
        cls.files = Files()

    def test_broken_files_are_refused_before_the_search(self):
        good = self.files.write("good.json", settings_file(baud=9600))
        deep = "[" * 80000 + "]" * 80000
        cases = [
            ("a blank address field", self.files.write("blank.json", '{"format": '
             '"tamro-settings/1", "settings": {"ip": "10.77..50"}}'), [],
             "settings.ip: 10.77..50: a field is blank"),
            ("an empty number", self.files.write("empty.json", settings_file(keepAlive="")), [],
             'settings.keepAlive: "": give a number'),
            ("nested 80,000 deep", self.files.write("deep.json", '{"format": '
             '"tamro-settings/1", "settings": {"port": ' + deep + '}}'), [],
             "nested deeper than 8 levels"),
            ("text after a NUL", self.files.write("nul.json", json.dumps(settings_file(baud=9600))
                                                  + "\0{}"), [], "a NUL byte at offset"),
            ("over a mebibyte", self.files.write("big.json", json.dumps(settings_file(baud=9600))
                                                 + " " * (1 << 20)), [], "larger than"),
            ("a map address with a blank field", good,
             ["--addresses", self.files.write("blank.csv", f"{TARGET},10.77..50\n")],
             'ip "10.77..50" is not a dotted address'),
        ]
        for name, path, extra, message in cases:
            with self.subTest(name):
                settle("10.77.0.30")
                before = len(trace())
                result = run("apply", path, TARGET, *extra, "--yes")
                settle("10.77.0.30")
                after = trace()[before:]
                self.assertEqual(result.returncode, 2, text(result.stderr))
                self.assertIn(message, text(result.stderr))
                self.assertIn("nothing was sent", text(result.stderr))
                self.assertEqual(sent_changes(after), [])
                self.assertEqual(discoveries(after), [])


if __name__ == "__main__":
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    run.path = sys.argv.pop(1)
    unittest.main(verbosity=2)
