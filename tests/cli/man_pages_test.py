"""The manual pages as man formats them: what they show can be typed as shown.

Usage: man_pages_test.py SOURCE_DIR STAGED_DIR INSTALL_PREFIX
"""

import json
import os
import re
import shutil
import subprocess
import sys
import unittest

SOURCE = STAGED = PREFIX = ""


def formatted(page, width=80):
    env = dict(os.environ, MANWIDTH=str(width), LC_ALL="C.UTF-8", MAN_KEEP_FORMATTING="")
    result = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", page],
                            capture_output=True, env=env, check=True)
    # A line the formatter cannot fill is as much a fault as a split word.
    if width >= 80:
        assert result.stderr == b"", result.stderr.decode()
    # Bold and underline by overstriking, if any, to plain text.
    return re.sub(r".\x08", "", result.stdout.decode("utf-8"))


@unittest.skipUnless(shutil.which("man"), "man is not installed")
class ManPages(unittest.TestCase):
    def test_model_file_fields_are_never_split_by_hyphenation(self):
        fields = ["name", "fixedPort", "serialEditable", "maxBaudIndex", "defaultBaudIndex",
                  "defaultDataBitsIndex", "defaultParityIndex", "defaultStopBitsIndex",
                  "defaultFlowIndex", "cpPinsEditable", "defaultCp1Function",
                  "defaultCp2Function", "defaultCp3Function", "clientMode", "modelVariant"]
        for width in (60, 80, 100):
            with self.subTest(width=width):
                page = formatted(os.path.join(STAGED, "tamroctl.1"), width)
                start = page.index("fifteen fields:")
                section = page[start:page.index("means", start)]
                words = re.findall(r"[A-Za-z0-9]+", section.replace(",", " "))
                for field in fields:
                    self.assertIn(field, words)
                self.assertNotRegex(section, r"[A-Za-z][\u2010-]\n")

    def test_the_apply_example_names_demo_devices_that_can_be_written(self):
        with open(os.path.join(SOURCE, "data", "demo_devices.json"), encoding="utf-8") as file:
            devices = {d["mac"]: d for d in json.load(file)["devices"]}
        page = formatted(os.path.join(STAGED, "tamroctl.1"), 200)
        start = page.index("tamroctl apply settings.json")
        # The command goes on over lines ending in a backslash.
        command = page[start:page.index("\n\n", start)]
        self.assertIn("--verify", command)
        named = re.findall(r"02-00-00-00-[0-9a-f]{2}-[0-9a-f]{2}", command)
        self.assertTrue(named, command)
        for mac in named:
            with self.subTest(mac=mac):
                self.assertIn(mac, devices)
                device = devices[mac]
                # Ours answer with X1 or X2; only those on the lab's subnet are read and written.
                self.assertIn(device.get("type_code", "X1"), ("X1", "X2"))
                self.assertTrue(device["address"].startswith("10.77.0."))

    def test_tamro_lab_names_where_its_parts_are_installed(self):
        page = formatted(os.path.join(STAGED, "tamro-lab.1"))
        for path in (f"{PREFIX}/lib/tamro/lab.sh", f"{PREFIX}/lib/tamro/tamro-devsim",
                     f"{PREFIX}/share/tamro-lab/demo_devices.json"):
            self.assertIn(path, page)


if __name__ == "__main__":
    SOURCE, STAGED, PREFIX = sys.argv[1:4]
    del sys.argv[1:4]
    unittest.main(verbosity=2)
