"""tamro --help and --version answer on stdout and end without a window;
they hold no ".dat", so they can never name a model file. tamroctl --version
gives the same version.

Usage: tamro_options_test.py TAMRO VERSION_TEXT TAMROCTL
"""

import os
import subprocess
import sys
import unittest

TAMRO = ""
TAMROCTL = ""
VERSION_TEXT = ""  # as the window shows it, "Version 1.00"


def run(*args):
    # Offscreen: should the window open after all, it cannot reach a display;
    # the timeout then fails the test.
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    return subprocess.run([TAMRO, *args], capture_output=True, timeout=20, check=False,
                          stdin=subprocess.DEVNULL, env=env)


class Options(unittest.TestCase):
    def test_version_is_the_windows_version_text(self):
        result = run("--version")
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.stdout.decode(), f"tamro {VERSION_TEXT}\n")
        self.assertEqual(result.stderr, b"")

        from_cli = subprocess.run([TAMROCTL, "--version"], capture_output=True, timeout=20,
                                  check=False)
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
    TAMRO, VERSION_TEXT, TAMROCTL = sys.argv.pop(1), sys.argv.pop(1), sys.argv.pop(1)
    unittest.main(verbosity=2)
