"""tamro --help and --version answer on stdout and end without a window;
they hold no ".dat", so they can never name a model file. tamroctl --version
gives the same version.

Usage: tamro_options_test.py TAMRO VERSION_TEXT TAMROCTL
"""

import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lab"))
from tamro_lab import Program  # noqa: E402

# Offscreen: should the window open after all, it cannot reach a display;
# the timeout then fails the test.
run = Program(timeout=20, env=dict(os.environ, QT_QPA_PLATFORM="offscreen"), runner=[])  # tamro
tamroctl = Program(timeout=20, runner=[])
VERSION_TEXT = ""  # as the window shows it, "Version 1.00"


class Options(unittest.TestCase):
    def test_version_is_the_windows_version_text(self):
        result = run("--version")
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.stdout.decode(), f"tamro {VERSION_TEXT}\n")
        self.assertEqual(result.stderr, b"")

        from_cli = tamroctl("--version")
        self.assertEqual(from_cli.returncode, 0)
        self.assertEqual(from_cli.stdout.decode(), f"tamroctl {VERSION_TEXT}\n")

    def test_help_describes_the_command_line_text(self):
        for option in ["--help", "-h"]:
            with self.subTest(option=option):
                result = run(option)
                self.assertEqual(result.returncode, 0)
                help_text = result.stdout.decode()
                self.assertTrue(help_text.startswith("Usage: tamro [TEXT]\n"), help_text)
                self.assertIn(".dat", help_text)
                self.assertIn("--version", help_text)


if __name__ == "__main__":
    run.path, VERSION_TEXT, tamroctl.path = sys.argv.pop(1), sys.argv.pop(1), sys.argv.pop(1)
    unittest.main(verbosity=2)
