"""tamroctl apply --check and unchanged devices against the simulator inside
the lab: the plan sends nothing but the search, a device that already holds
the file's values is neither written nor restarted, --always writes it
anyway, and write says beforehand when nothing would change.

Usage (scripts/lab.sh runs it in the lab's host namespace, with
plan_devices.json):
    tamroctl_plan_lab_test.py TAMROCTL
"""

import json
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lab"))
from tamro_lab import (  # noqa: E402
    Program, blocks, device_state, received, settle, text, trace, wait_until_up, writes_to)

run = Program(timeout=90)  # tamroctl, named by the first argument

SAME = "02-00-00-00-06-21"     # 10.77.0.21 holds 115200 already
OTHER = "02-00-00-00-06-22"    # 10.77.0.22 at 9600
ODD = "02-00-00-00-06-23"      # 10.77.0.23: a flow code no list shows
AWAY = "02-00-00-00-06-41"     # 172.16.5.41, off the subnet
KEPT = "02-00-00-00-06-31"     # 10.77.0.31 holds 115200: apply leaves it alone
MOVED = "02-00-00-00-06-32"    # 10.77.0.32 at 9600: apply writes it
FORCED = "02-00-00-00-06-33"   # 10.77.0.33 holds 115200: --always writes it
NOTED = "02-00-00-00-06-34"    # 10.77.0.34 holds 115200: write notes it, then writes

SETTINGS = {"format": "tamro-settings/1", "tamro": "1.00", "mac": None, "model": None,
            "settings": {"baud": 115200}}


def sent_changes(lines):
    """The block writes and assignments among trace lines."""
    return received("write", lines) + received("assignment", lines)


class Plan(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.directory = tempfile.TemporaryDirectory()
        cls.file = os.path.join(cls.directory.name, "baud.json")
        with open(cls.file, "w", encoding="utf-8") as out:
            json.dump(SETTINGS, out)
        cls.addresses = os.path.join(cls.directory.name, "addresses.csv")
        with open(cls.addresses, "w", encoding="utf-8") as out:
            out.write(f"mac,ip\n{AWAY},10.77.0.41\n")

    @classmethod
    def tearDownClass(cls):
        cls.directory.cleanup()

    def traced(self, *args):
        """Runs tamroctl; returns the result and what the simulator received meanwhile."""
        settle("10.77.0.21")
        before = len(trace())
        result = run(*args)
        settle("10.77.0.21")
        return result, trace()[before:]

    def test_check_plans_each_device_and_sends_nothing_but_the_search(self):
        states = {mac: blocks(device_state(mac)) for mac in (SAME, OTHER, ODD, AWAY)}
        result, lines = self.traced("apply", self.file, SAME, OTHER, ODD, AWAY,
                                    "--addresses", self.addresses, "--check", "--json")
        self.assertEqual(result.returncode, 0, text(result.stderr))
        self.assertEqual(sent_changes(lines), [])
        self.assertTrue(received("discovery", lines))
        for mac, state in states.items():
            self.assertEqual(blocks(device_state(mac)), state, mac)

        plan = json.loads(result.stdout)
        self.assertEqual(plan["adapter"].split()[0], "10.77.0.1")
        rows = {row["mac"]: row for row in plan["devices"]}
        self.assertEqual(list(rows), [SAME, OTHER, ODD, AWAY])
        self.assertEqual((rows[SAME]["changed"], rows[SAME]["changes"], rows[SAME]["problems"]),
                         (False, {}, []))
        self.assertEqual(rows[OTHER]["changed"], True)
        self.assertEqual(rows[OTHER]["changes"], {"baud": {"before": 9600, "after": 115200}})
        self.assertEqual(rows[OTHER]["ip"], "10.77.0.22")
        # A code the dialog cannot show is never taken for "the same".
        self.assertEqual(rows[ODD]["changed"], True)
        self.assertEqual(list(rows[ODD]["changes"]), ["flow"])
        self.assertIsNone(rows[ODD]["changes"]["flow"]["before"])
        # Off the subnet the assignment always moves it.
        self.assertEqual(rows[AWAY]["changed"], True)
        self.assertEqual(rows[AWAY]["changes"],
                         {"ip": {"before": "172.16.5.41", "after": "10.77.0.41"}})
        self.assertEqual(rows[AWAY]["newIp"], "10.77.0.41")

    def test_a_model_that_writes_its_variant_byte_is_never_taken_for_unchanged(self):
        result, lines = self.traced("apply", self.file, SAME, "--model", "QZ-120L", "--check",
                                    "--json")
        self.assertEqual(result.returncode, 0, text(result.stderr))
        self.assertEqual(sent_changes(lines), [])
        row = json.loads(result.stdout)["devices"][0]
        self.assertTrue(row["changed"])
        self.assertEqual(row["changes"]["model"], {"before": None, "after": "QZ-120L"})

        plain, _ = self.traced("apply", self.file, SAME, "--model", "QZ-100", "--check",
                               "--json")
        self.assertEqual(plain.returncode, 0, text(plain.stderr))
        self.assertFalse(json.loads(plain.stdout)["devices"][0]["changed"])

    def test_check_as_a_table_names_each_plan(self):
        result, lines = self.traced("apply", self.file, SAME, OTHER, "--check")
        self.assertEqual(result.returncode, 0, text(result.stderr))
        self.assertEqual(sent_changes(lines), [])
        table = text(result.stdout).splitlines()
        self.assertEqual(table[0].split()[:4], ["DEVICE", "NEW", "ADDRESS", "PLAN"])
        self.assertEqual(len(table), 3)
        self.assertIn(SAME, table[1])
        self.assertEqual(table[1].split()[-2:], ["unchanged", "-"])
        self.assertIn(OTHER, table[2])
        self.assertEqual(table[2].split()[-5:], ["write", "baud:", "9600", "->", "115200"])

    def test_check_of_a_refused_batch_exits_2_with_the_reasons(self):
        # Off the subnet with no address to give: refused as apply refuses it.
        result, lines = self.traced("apply", self.file, SAME, AWAY, "--check", "--json")
        self.assertEqual(result.returncode, 2, text(result.stderr))
        self.assertEqual(sent_changes(lines), [])
        plan = json.loads(result.stdout)
        self.assertTrue(plan["refused"])
        self.assertTrue(any("outside the adapter's subnet" in p for p in plan["problems"]),
                        plan["problems"])

    def test_apply_leaves_an_unchanged_device_alone_and_a_second_run_writes_nothing(self):
        result, lines = self.traced("apply", self.file, KEPT, MOVED, "--yes", "--json",
                                    "--verify=10")
        self.assertEqual(result.returncode, 0, text(result.stderr))
        rows = {row["mac"]: row for row in json.loads(result.stdout)["devices"]}
        self.assertEqual((rows[KEPT]["result"], rows[KEPT]["changed"], rows[KEPT]["verify"]),
                         ("unchanged", False, None))
        self.assertEqual((rows[MOVED]["result"], rows[MOVED]["changed"], rows[MOVED]["verify"]),
                         ("written", True, "verified"))
        self.assertEqual(rows[MOVED]["changes"], {"baud": {"before": 9600, "after": 115200}})
        self.assertEqual(writes_to(KEPT, lines=lines), [])
        self.assertEqual(len(writes_to(MOVED, lines=lines)), 3)
        wait_until_up(MOVED)

        again, lines = self.traced("apply", self.file, KEPT, MOVED, "--yes", "--json")
        self.assertEqual(again.returncode, 0, text(again.stderr))
        self.assertEqual(sent_changes(lines), [])
        self.assertEqual([row["result"] for row in json.loads(again.stdout)["devices"]],
                         ["unchanged", "unchanged"])

        # Without --yes and with nothing to write, nothing is asked.
        table, lines = self.traced("apply", self.file, KEPT, MOVED)
        self.assertEqual(table.returncode, 0, text(table.stderr))
        self.assertEqual(sent_changes(lines), [])
        self.assertIn("(unchanged: not written)", text(table.stderr))

    def test_always_writes_an_unchanged_device(self):
        exported = json.loads(run("export", FORCED).stdout)["settings"]
        result, lines = self.traced("apply", self.file, FORCED, "--yes", "--always", "--json")
        self.assertEqual(result.returncode, 0, text(result.stderr))
        row = json.loads(result.stdout)["devices"][0]
        self.assertEqual((row["result"], row["changed"]), ("written", True))
        self.assertEqual(len(writes_to(FORCED, lines=lines)), 3)
        wait_until_up(FORCED)
        # The same values went back.
        self.assertEqual(json.loads(run("export", FORCED).stdout)["settings"], exported)

    def test_write_says_when_nothing_would_change_and_writes_anyway(self):
        result, lines = self.traced("write", NOTED, "--baud", "115200", "--yes")
        self.assertEqual(result.returncode, 0, text(result.stderr))
        self.assertIn("nothing would change", text(result.stderr))
        self.assertEqual(len(writes_to(NOTED, lines=lines)), 3)
        wait_until_up(NOTED)

        changing, lines = self.traced("write", NOTED, "--baud", "9600", "--yes")
        self.assertEqual(changing.returncode, 0, text(changing.stderr))
        self.assertNotIn("nothing would change", text(changing.stderr))
        self.assertEqual(len(writes_to(NOTED, lines=lines)), 3)
        wait_until_up(NOTED)


if __name__ == "__main__":
    run.path = sys.argv.pop(1)
    unittest.main()
