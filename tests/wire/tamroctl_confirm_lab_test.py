"""What write and apply show before they send: the confirmation lists each
change as show prints it, and turning DHCP off with a mask other than the
adapter's is warned of.

Usage (scripts/lab.sh runs it in the lab's host namespace, with
confirm_devices.json):
    tamroctl_confirm_lab_test.py TAMROCTL
"""

import json
import os
import select
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lab"))
from tamro_lab import RUNNER, Program, received, settle, trace, wait_until_up  # noqa: E402

run = Program(text=True)  # tamroctl, named by the first argument
STATIC = "02-00-00-00-08-10"      # 10.77.0.10, baud 9600
DHCP = "02-00-00-00-08-11"        # 10.77.0.11, DHCP on with the class mask
DHCP_BATCH = "02-00-00-00-08-12"  # 10.77.0.12, the same for apply
MASK_WARNING = ("DHCP goes off and the device keeps the mask 255.0.0.0, not the adapter's "
                "255.255.255.0")


def answered_on_terminal(*args, answer=b"n\n", seconds=30):
    """Runs tamroctl with stdin and stderr on a pseudo-terminal and types
    `answer` at its question; returns (status, stdout, what the terminal showed)."""
    import pty
    controller, terminal = pty.openpty()
    with subprocess.Popen([run.path, *args], stdin=terminal, stdout=subprocess.PIPE,
                          stderr=terminal) as process:
        os.close(terminal)
        seen = b""
        asked = False
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            readable, _, _ = select.select([controller], [], [], deadline - time.monotonic())
            if not readable:
                break
            try:
                chunk = os.read(controller, 4096)
            except OSError:  # the terminal closed with the program
                break
            if not chunk:
                break
            seen += chunk
            if not asked and b"[y/N] " in seen:
                os.write(controller, answer)
                asked = True
        stdout = process.stdout.read()
        status = process.wait(timeout=10)
    os.close(controller)
    return status, stdout.decode(), seen.decode(errors="replace").replace("\r\n", "\n")


def sent_writes(since):
    settle("10.77.0.10")
    return received("write", trace()[since:]) + received("assignment", trace()[since:])


@unittest.skipIf(RUNNER, "a pseudo-terminal is no Windows console")
class Confirmation(unittest.TestCase):
    def test_write_lists_each_change_before_it_asks_and_no_sends_nothing(self):
        before = len(trace())
        status, _, shown = answered_on_terminal("write", STATIC, "--baud", "115200",
                                                "--protocol", "udp", "--remote-ip", "10.77.0.200",
                                                "--remote-port", "4001")
        self.assertEqual(status, 1, shown)
        asked = shown.index("Write? [y/N] ")
        listed = shown[:asked].splitlines()
        self.assertIn("  ボーレート: 9600 -> 115200", listed)
        self.assertIn("  プロトコル: TCP -> UDP", listed)
        self.assertIn("  通信先ポート番号: - -> 4001", listed)
        # What stays as it was is not listed.
        self.assertFalse([line for line in listed if line.startswith("  データビット:")], shown)
        self.assertIn("nothing was written", shown[asked:])
        self.assertEqual(sent_writes(before), [])

    def test_apply_lists_each_devices_changes_under_it(self):
        with tempfile.TemporaryDirectory() as directory:
            path = os.path.join(directory, "baud.json")
            with open(path, "w", encoding="utf-8") as file:
                json.dump({"format": "tamro-settings/1", "tamro": "1.00", "mac": None,
                           "model": "QZ-100", "settings": {"baud": 57600}}, file)
            before = len(trace())
            status, _, shown = answered_on_terminal("apply", path, STATIC, DHCP_BATCH)
        self.assertEqual(status, 1, shown)
        listed = shown[:shown.index("Write? [y/N] ")].splitlines()
        first = listed.index(f"  {STATIC} / 10.77.0.10 -> 10.77.0.10")
        self.assertEqual(listed[first + 1], "    ボーレート: 9600 -> 57600")
        second = listed.index(f"  {DHCP_BATCH} / 10.77.0.12")
        self.assertEqual(listed[second + 1], "    ボーレート: 9600 -> 57600")
        self.assertEqual(sent_writes(before), [])


class MaskWarning(unittest.TestCase):
    def test_write_dhcp_off_warns_of_the_kept_class_mask_and_writes_all_the_same(self):
        result = run("write", DHCP, "--dhcp", "off", "--baud", "9600")
        self.assertIn(f"tamroctl: warning: {MASK_WARNING} (set it with --mask 255.255.255.0)",
                      result.stderr)
        # The confirmation shows the mask that stays; without a terminal nothing is sent.
        self.assertIn("  IPアドレスの自動取得: on -> off", result.stderr)
        self.assertIn("not confirmed", result.stderr)
        given = run("write", DHCP, "--dhcp", "off", "--mask", "255.255.255.0")
        self.assertNotIn("warning", given.stderr)
        self.assertIn("  サブネットマスク: 255.0.0.0 -> 255.255.255.0", given.stderr)

        before = len(trace())
        written = run("write", DHCP, "--dhcp", "off", "--yes")
        self.assertEqual(written.returncode, 0, written.stderr)
        self.assertIn(MASK_WARNING, written.stderr)
        self.assertNotIn("Write?", written.stderr)
        self.assertNotEqual(sent_writes(before), [], "a warning, not a refusal")
        wait_until_up(DHCP)

    def test_apply_turning_dhcp_off_warns_on_stderr_and_in_the_json(self):
        with tempfile.TemporaryDirectory() as directory:
            path = os.path.join(directory, "static.json")
            with open(path, "w", encoding="utf-8") as file:
                json.dump({"format": "tamro-settings/1", "tamro": "1.00", "mac": None,
                           "model": "QZ-100", "settings": {"dhcp": False}}, file)
            result = run("apply", path, DHCP_BATCH, "--yes", "--json")
        self.assertEqual(result.returncode, 0, result.stderr)
        document = json.loads(result.stdout)
        self.assertEqual(len(document["warnings"]), 1)
        warning = document["warnings"][0]
        self.assertTrue(warning.startswith(f"{DHCP_BATCH} / 10.77.0.12: {MASK_WARNING}"), warning)
        self.assertIn('"mask": "255.255.255.0"', warning)
        self.assertIn(f"tamroctl: warning: {warning}", result.stderr)
        self.assertEqual(document["devices"][0]["result"], "written")
        wait_until_up(DHCP_BATCH)


if __name__ == "__main__":
    run.path = sys.argv.pop(1)
    unittest.main()
