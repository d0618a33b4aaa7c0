"""tamro.exe under Wine, end to end in the lab: a driver program works its
dialog as an operator (search, choose a device, baud rate one step up, write,
PING to a free address), and the simulator's state shows what was written.

Usage (scripts/lab.sh runs it in the lab's host namespace, with
cli_devices.json; DISPLAY names an X server for Wine):
    tamro_exe_lab_test.py WINE_RUN DRIVER_EXE TAMRO_EXE MODEL_FILE
"""

import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lab"))
from tamro_lab import blocks, read_state, wait_until_up  # noqa: E402

WINE_RUN = DRIVER = TAMRO = MODELS = ""
DEVICE = "10.77.0.10"
DEVICE_MAC = "02-00-00-00-00-10"
PING_DEVICE = "172.16.5.9"  # off the subnet: only the address and PING are on
FREE_ADDRESS = "10.77.0.40"


def devices():
    return read_state(os.environ["TAMRO_LAB_STATE"])


class TamroExeLab(unittest.TestCase):
    def test_search_write_and_ping_through_the_dialog(self):
        before = devices()
        run = subprocess.run([WINE_RUN, "--lab", DRIVER, TAMRO, MODELS, DEVICE, PING_DEVICE,
                              FREE_ADDRESS],
                             capture_output=True, timeout=240, check=False,
                             stdin=subprocess.DEVNULL)
        report = run.stdout.decode("utf-8", "replace")
        print(report)
        self.assertEqual(run.returncode, 0, report + run.stderr.decode("utf-8", "replace"))
        self.assertNotIn("FAIL", report)

        # The device restarts after the write; its blocks are then the new ones.
        wait_until_up(DEVICE_MAC, seconds=10)
        after = devices()
        self.assertNotEqual(blocks(after[DEVICE_MAC]), blocks(before[DEVICE_MAC]))
        for mac, device in before.items():
            if mac != DEVICE_MAC and "block0" in device:
                self.assertEqual(blocks(after[mac]), blocks(device), mac)


if __name__ == "__main__":
    WINE_RUN, DRIVER, TAMRO, MODELS = sys.argv[1:5]
    del sys.argv[1:5]
    unittest.main()
