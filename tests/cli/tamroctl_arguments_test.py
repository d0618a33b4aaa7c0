"""tamroctl's usage errors name what was typed. Every case here is refused
before anything could be sent, so it runs outside the lab.

Usage: tamroctl_arguments_test.py TAMROCTL
"""

import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lab"))
from tamro_lab import Program  # noqa: E402

run = Program(timeout=30)  # tamroctl, named by the first argument


class UsageErrors(unittest.TestCase):
    def assertRefused(self, args, *messages):
        result = run(*args)
        self.assertEqual(result.returncode, 2, args)
        self.assertEqual(result.stdout, b"", args)
        stderr = result.stderr.decode("utf-8")
        for message in messages:
            self.assertIn(message, stderr, args)
        return stderr

    def test_a_mistyped_command_gets_the_nearest_one(self):
        for typed, nearest in [("serch", "search"), ("asign", "assign"), ("modles", "models"),
                               ("wirte", "write"), ("Show", "show")]:
            with self.subTest(typed=typed):
                self.assertRefused([typed, "x"], f'unknown command "{typed}"',
                                   f'did you mean "{nearest}"?')
        stderr = self.assertRefused(["frobnicate"], 'unknown command "frobnicate"')
        self.assertNotIn("did you mean", stderr)

    def test_unexpected_arguments_are_named_in_the_order_typed(self):
        self.assertRefused(["models", "a.dat", "b.dat", "c.dat"],
                           "unexpected arguments: b.dat c.dat\n")
        # A broken MAC as well: nothing could be sent even if the command ran.
        self.assertRefused(["assign", "02-00-00-00-56", "300.1.1.1", "x", "y"],
                           "unexpected arguments: x y\n")
        self.assertRefused(["models", "--frob", "--zz"], "unexpected arguments: --frob --zz\n")

    def test_assign_says_which_argument_is_wrong(self):
        stderr = self.assertRefused(["assign", "02-00-00-00-56-78", "300.1.1.1"],
                                    "ADDRESS 300.1.1.1: each field is 0 to 255")
        self.assertNotIn("MAC", stderr)
        stderr = self.assertRefused(["assign", "02-00-00-00-56", "10.77.0.30"],
                                    "MAC 02-00-00-00-56:")
        self.assertNotIn("ADDRESS", stderr)
        self.assertRefused(["assign", "02-00-00-00-56", "10.77.0"], "MAC 02-00-00-00-56:",
                           "ADDRESS 10.77.0: give four numbers")

    def test_ping_names_the_address_typed(self):
        self.assertRefused(["ping", "10.77.0.256"], "10.77.0.256: each field is 0 to 255")
        self.assertRefused(["ping", "10.77.0."], "10.77.0.: give four numbers")


    def test_a_number_after_a_bare_verify_is_named_as_the_cause(self):
        # The flag takes its seconds only as --verify=SECONDS; "5" became a device.
        for args in (["apply", "f.json", "--all", "--verify", "5"],
                     ["apply", "f.json", "10.77.0.10", "--verify", "45"]):
            with self.subTest(args=args):
                stderr = self.assertRefused(args, "a bare --verify takes no value",
                                            f'"{args[-1]}" was read as a device',
                                            f"give --verify={args[-1]}")
                self.assertNotIn("name the devices", stderr)
        # Without --verify a number is only a device that names nothing.
        stderr = self.assertRefused(["apply", "f.json", "--all", "5"], "give --all")
        self.assertNotIn("--verify", stderr)

    def test_the_parsers_own_refusals_carry_the_program_name(self):
        cases = [
            (["search", "--table", "--csv"], "tamroctl: --table excludes --csv\n"),
            (["search", "--csv", "--json"], "tamroctl: --json excludes --csv\n"),
            (["write", "10.77.0.20", "--baud", "14400"], "tamroctl: --baud: 14400 not in"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                stderr = self.assertRefused(args, message,
                                            "\nRun with --help for more information.\n")
                self.assertTrue(stderr.startswith("tamroctl: "), stderr)


if __name__ == "__main__":
    run.path = sys.argv.pop(1)
    unittest.main(verbosity=2)
