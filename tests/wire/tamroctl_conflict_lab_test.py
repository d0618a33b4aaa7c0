"""Two devices answering from one address: the search lists both unread,
show, write and export refuse them with the assignment that separates them,
ping --device calls the address taken, and an assignment by MAC ends it.
Against the simulator inside the lab.

Usage (scripts/lab.sh runs it in the lab's host namespace, with
conflict_devices.json):
    tamroctl_conflict_lab_test.py TAMROCTL
"""

import csv
import io
import json
import os
import shutil
import socket
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lab"))
from tamro_lab import (ADAPTER, PORT, Program, received, settle, text,  # noqa: E402
                       wait_until_up, writes_to)

run = Program()  # tamroctl, named by the first argument
FIRST = "02-00-00-00-00-11"   # 10.77.0.11 from the start
SECOND = "02-00-00-00-56-78"  # 172.16.5.9, moved onto 10.77.0.11 by the test
ALONE = "02-00-00-00-00-20"   # 10.77.0.20 throughout
SHARED = "10.77.0.11"
FREE = "10.77.0.51"
CONFLICT_MESSAGE = "PINGに返答がありました。\nこの設定はアドレス衝突の恐れがあります。\n"


def assign_by_broadcast(mac, address):
    """The assignment packet a factory tool would send, from the test itself."""
    packet = (bytes.fromhex("000000fc") + b"IP-SETUP" + bytes(2)
              + bytes.fromhex(mac.replace("-", ""))[4:] + socket.inet_aton(address))
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
        sock.bind((ADAPTER, 0))
        sock.sendto(packet, ("255.255.255.255", PORT))
    wait_until_up(mac, address)


def search_json():
    result = run("search", "--json")
    if result.returncode != 0:
        raise AssertionError(text(result.stderr))
    return {device["mac"]: device for device in json.loads(result.stdout)["devices"]}, result


class SharedAddress(unittest.TestCase):
    """In order: the clash is made, seen, refused, then ended."""

    @classmethod
    def setUpClass(cls):
        assign_by_broadcast(SECOND, SHARED)

    def test_1_search_lists_both_unread_naming_each_other(self):
        devices, result = search_json()
        self.assertEqual(devices[FIRST]["conflict"], [SECOND])
        self.assertEqual(devices[SECOND]["conflict"], [FIRST])
        for mac in (FIRST, SECOND):
            self.assertEqual(devices[mac]["ip"], SHARED)
            self.assertFalse(devices[mac]["configured"])
            self.assertNotIn("settings", devices[mac])  # nothing read by a shared address
        self.assertEqual(devices[ALONE]["conflict"], [])
        self.assertEqual(devices[ALONE]["settings"]["localPort"], 4020)
        message = text(result.stderr)
        self.assertIn(f"2 devices answer from {SHARED} ({FIRST}, {SECOND})", message)
        self.assertIn(f"tamroctl assign {SECOND} FREE_ADDRESS", message)

        rows = list(csv.reader(io.StringIO(text(run("search", "--csv").stdout))))
        by_mac = {row[0]: dict(zip(rows[0], row)) for row in rows[1:]}
        self.assertEqual((by_mac[SECOND]["READ"], by_mac[SECOND]["CONFLICT"]),
                         ("no: shared address", FIRST))
        self.assertEqual((by_mac[ALONE]["READ"], by_mac[ALONE]["CONFLICT"]), ("yes", "-"))
        table = text(run("search", "--table").stdout).splitlines()
        self.assertIn("CONFLICT", table[0])
        self.assertTrue(any(line.startswith(FIRST) and line.rstrip().endswith(SECOND)
                            for line in table), table)

    def test_2_show_write_and_export_refuse_with_the_assignment(self):
        before = len(received("write "))
        shown = run("show", f"{SECOND} / {SHARED}")
        self.assertEqual(shown.returncode, 0, text(shown.stderr))
        self.assertIn("address assignment only", text(shown.stdout))
        self.assertIn(f"tamroctl assign {SECOND} FREE_ADDRESS", text(shown.stdout))
        self.assertNotIn("4011", text(shown.stdout))  # the other device's port never shows

        as_json = json.loads(run("show", SECOND, "--json").stdout)
        self.assertEqual(as_json["device"]["conflict"], [FIRST])
        self.assertFalse(as_json["form"]["portEdit"]["enabled"])
        self.assertTrue(as_json["form"]["ipAddressCtrl"]["enabled"])

        written = run("write", f"{SECOND} / {SHARED}", "--port", "5000", "--yes")
        self.assertEqual(written.returncode, 2, text(written.stderr))
        self.assertIn(f"{SHARED} is also the address of {FIRST}", text(written.stderr))
        self.assertIn(f"tamroctl assign {SECOND} FREE_ADDRESS", text(written.stderr))

        exported = run("export", FIRST)
        self.assertEqual(exported.returncode, 1)
        self.assertEqual(exported.stdout, b"")
        self.assertIn(f"tamroctl assign {FIRST} FREE_ADDRESS", text(exported.stderr))

        settle("10.77.0.20")
        self.assertEqual(len(received("write ")), before)  # nothing was written to anyone

    def test_3_ping_of_the_shared_address_is_a_conflict_even_without_echo(self):
        result = run("ping", SHARED, "--device", ALONE)
        self.assertEqual(result.returncode, 1, text(result.stderr))
        self.assertEqual(text(result.stdout), CONFLICT_MESSAGE)
        if shutil.which("nft") is None:
            return
        # A host that drops echo replies makes a used address look free.
        subprocess.run("nft add table inet tamroconflict && nft add chain inet tamroconflict "
                       "input '{ type filter hook input priority 0; policy accept; }' && "
                       "nft add rule inet tamroconflict input icmp type echo-reply drop",
                       shell=True, check=True)
        try:
            silent = run("ping", SHARED)
            self.assertEqual(silent.returncode, 1)  # no echo came back
            result = run("ping", SHARED, "--device", ALONE)
            self.assertEqual(result.returncode, 1, text(result.stderr))
            self.assertEqual(text(result.stdout), CONFLICT_MESSAGE)
            self.assertIn("another device listed by the search", text(result.stderr))
        finally:
            subprocess.run("nft delete table inet tamroconflict", shell=True, check=True)

    def test_4_an_assignment_by_mac_ends_the_clash(self):
        result = run("assign", SECOND, FREE)
        self.assertEqual(result.returncode, 0, text(result.stderr))
        wait_until_up(SECOND, FREE)
        self.assertEqual(writes_to(FIRST), [])
        devices, result = search_json()
        self.assertNotIn("answer from", text(result.stderr))
        self.assertEqual(devices[FIRST]["conflict"], [])
        self.assertEqual(devices[SECOND]["conflict"], [])
        self.assertEqual(devices[SECOND]["ip"], FREE)
        self.assertEqual(devices[FIRST]["settings"]["localPort"], 4011)
        self.assertEqual(devices[SECOND]["settings"]["localPort"], 4078)
        self.assertEqual(run("ping", FREE, "--device", SECOND).returncode, 0)


if __name__ == "__main__":
    run.path = sys.argv.pop(1)
    unittest.main()
