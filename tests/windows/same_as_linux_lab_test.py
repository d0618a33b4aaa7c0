"""The Windows tamroctl against the Linux one, in one lab with the simulator:
the same adapters, devices and settings, the same form, the same bytes on the
wire for the same writes and assignments, the same ping answers.

Usage (scripts/lab.sh runs it in the lab's host namespace, with
TAMRO_PROGRAM_RUNNER naming Wine's runner):
    same_as_linux_lab_test.py LINUX_TAMROCTL WINDOWS_TAMROCTL
"""

import json
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lab"))
from tamro_lab import Program, received, trace, wait_until_up  # noqa: E402

linux = Program(timeout=90, runner=[])  # the Linux tamroctl, named by the first argument
windows = Program(timeout=90)  # the Windows one, under the runner, by the second


def both(*args):
    return linux(*args), windows(*args)


def received_since(what, count_before):
    return received(what, trace()[count_before:])


def settled_trace_length(count_before, what, expected):
    """The trace's length once `expected` lines of `what` arrived after count_before."""
    deadline = time.monotonic() + 3
    while len(received_since(what, count_before)) < expected and time.monotonic() < deadline:
        time.sleep(0.05)
    return len(trace())


class SameAsLinux(unittest.TestCase):
    def assertSameRun(self, linux, windows):
        self.assertEqual(windows.returncode, linux.returncode, windows.stderr.decode())
        self.assertEqual(windows.stdout, linux.stdout)

    def test_adapters_search_and_show_give_the_same_output(self):
        self.assertSameRun(*both("adapters", "--json"))
        linux, windows = both("search", "--json")
        self.assertSameRun(linux, windows)
        self.assertEqual(len(json.loads(windows.stdout)["devices"]), 3)
        self.assertSameRun(*both("show", "10.77.0.10", "--model", "QZ-120L", "--json"))
        self.assertSameRun(*both("show", "02-00-00-00-00-11"))

    def test_ping_answers_the_same(self):
        linux, windows = both("ping", "10.77.0.2")
        self.assertEqual(windows.returncode, 0, windows.stdout)
        self.assertSameRun(linux, windows)
        linux, windows = both("ping", "10.77.0.250", "--adapter", "10.77.0.1")
        self.assertEqual(windows.returncode, 1, windows.stdout)
        self.assertSameRun(linux, windows)

    def test_write_sends_the_same_blocks(self):
        flags = ["write", "10.77.0.10", "--model", "QZ-120L", "--protocol", "tcp",
                 "--connect", "serial", "--baud", "115200", "--parity", "even",
                 "--keep-alive", "30", "--yes"]
        sent = {}
        for name, program in (("linux", linux), ("windows", windows)):
            start = len(trace())
            result = program(*flags)
            self.assertEqual(result.returncode, 0, result.stderr.decode())
            wait_until_up("02-00-00-00-00-10", "10.77.0.10")
            settled_trace_length(start, "write", 3)
            sent[name] = [(line["what"], line["hex"]) for line in received_since("write", start)]
            sent[name + " output"] = result.stdout
        self.assertEqual([what for what, _ in sent["linux"]], ["write 0", "write 3", "write 7"])
        # The second write finds what the first left and patches it the same way.
        self.assertEqual(sent["windows"], sent["linux"])
        self.assertEqual(sent["windows output"], sent["linux output"])

    def test_zz_assignment_leaves_through_the_adapter_with_the_same_bytes(self):
        sent = {}
        for name, program in (("linux", linux), ("windows", windows)):
            start = len(trace())
            result = program("assign", "02:00:00:00:56:78", "10.77.0.31", "--adapter", "0")
            self.assertEqual(result.returncode, 0, result.stderr.decode())
            wait_until_up("02-00-00-00-56-78", "10.77.0.31")
            settled_trace_length(start, "assignment", 1)
            lines = received_since("assignment", start)
            self.assertTrue(lines, name)
            self.assertTrue(all(line["from"].startswith("10.77.0.1:") for line in lines), lines)
            sent[name] = sorted({line["hex"] for line in lines})
        self.assertEqual(sent["windows"], sent["linux"])


if __name__ == "__main__":
    windows.path = sys.argv.pop(2)
    linux.path = sys.argv.pop(1)
    unittest.main()
