"""tamroctl apply as a batch that tells the truth, against the simulator
inside the lab: a device that fails mid-batch does not stop the others (or
does, when asked), an interrupt finishes the device in progress and starts
no other, two writers on one adapter never interleave, and the read-back
says where a device came back.

Usage (scripts/lab.sh runs it in the lab's host namespace, with
batch_devices.json):
    tamroctl_batch_lab_test.py TAMROCTL
"""

import fcntl
import json
import os
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lab"))
from tamro_lab import Program, received, settle, text, trace, wait_until_up  # noqa: E402

# Each run's writer lock lives in a directory of this test's own.
RUNTIME = tempfile.TemporaryDirectory()
ENV = dict(os.environ, XDG_RUNTIME_DIR=RUNTIME.name)
run = Program(timeout=90, env=ENV)  # tamroctl, named by the first argument

FIRST, BROKEN, THIRD, FOURTH = (f"02-00-00-00-03-2{i}" for i in range(1, 5))
SLOW = [f"02-00-00-00-03-3{i}" for i in range(1, 4)]   # 300 ms before each answer
SHARED = ["02-00-00-00-03-41", "02-00-00-00-03-42"]   # written by two runs at once
STAYS = "02-00-00-00-03-51"     # keeps its address through a write
QUICK, LATE = "02-00-00-00-03-61", "02-00-00-00-03-62"  # LATE restarts for 2.5 s
SLEEPY = "02-00-00-00-03-63"      # restarts for 6 s
UNREADABLE = "02-00-00-00-03-71"  # does not answer a read of block 3


def settings_file(directory, name, **settings):
    path = os.path.join(directory, name)
    with open(path, "w", encoding="utf-8") as file:
        json.dump({"format": "tamro-settings/1", "tamro": "1.00", "mac": None, "model": "QZ-100",
                   "settings": settings}, file)
    return path


def blocks_written(mac, lines):
    """The block numbers written to one device, in the order they arrived."""
    return [int(line["what"].split()[1].rstrip(":")) for line in received("write ", lines)
            if line.get("device") == mac]


def rows(result):
    return {row["mac"]: row for row in json.loads(result.stdout)["devices"]}


def start(*args):
    return subprocess.Popen([run.path, *args], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, env=ENV)


def wait_for_write(mac, since, seconds=20):
    """Returns once the simulator has received a block write for `mac`."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if blocks_written(mac, trace()[since:]):
            return
        time.sleep(0.02)
    raise AssertionError(f"no write reached {mac}")


def lock_path():
    inode = "".join(c for c in os.readlink("/proc/self/ns/net") if c.isdigit())
    return os.path.join(RUNTIME.name, f"tamro-writer-10.77.0.1-net{inode}.lock")


class Batch(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.directory = tempfile.TemporaryDirectory()
        cls.baud = settings_file(cls.directory.name, "baud.json", baud=19200, keepAlive=5)

    def test_a_failed_device_does_not_stop_the_others(self):
        before = len(trace())
        result = run("apply", self.baud, FIRST, BROKEN, THIRD, "--yes", "--json")
        self.assertEqual(result.returncode, 1, text(result.stderr))
        found = rows(result)
        self.assertEqual([row["result"] for row in found.values()],
                         ["written", "failed", "written"])
        # The broken device took block 0 and keeps it; the message says so.
        self.assertIn("通信エラー", found[BROKEN]["message"])
        self.assertIn("the device took block 0 and keeps it without restarting",
                      found[BROKEN]["message"])
        self.assertNotIn("disabled", text(result.stderr))
        settle("10.77.0.24")
        lines = trace()[before:]
        self.assertEqual(blocks_written(FIRST, lines), [0, 3, 7])
        self.assertEqual(blocks_written(BROKEN, lines), [0, 3])
        self.assertEqual(blocks_written(THIRD, lines), [0, 3, 7])
        wait_until_up(THIRD)

    def test_stop_on_failure_leaves_the_rest_not_attempted(self):
        settle("10.77.0.24")
        before = len(trace())
        # BROKEN kept block 0 from the run before and so holds the values
        # already: --always makes its write fail again.
        result = run("apply", self.baud, BROKEN, FOURTH, "--yes", "--stop-on-failure",
                     "--always")
        self.assertEqual(result.returncode, 1, text(result.stderr))
        table = text(result.stdout).splitlines()
        self.assertEqual(len(table), 3, table)
        self.assertIn(" failed ", table[1])
        self.assertIn(f"{FOURTH} / 10.77.0.24", table[2])
        self.assertIn(" not attempted ", table[2])
        self.assertIn("stopped after a failure", table[2])
        settle("10.77.0.24")
        self.assertEqual(blocks_written(FOURTH, trace()[before:]), [])


class Interrupt(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.directory = tempfile.TemporaryDirectory()
        cls.baud = settings_file(cls.directory.name, "baud.json", baud=38400)

    def test_an_interrupt_finishes_the_device_in_progress_and_starts_no_other(self):
        before = len(trace())
        process = start("apply", self.baud, *SLOW, "--yes")
        try:
            wait_for_write(SLOW[0], before)
            process.send_signal(signal.SIGINT)
            stdout, stderr = process.communicate(timeout=30)
        finally:
            process.kill()
        self.assertEqual(process.returncode, 130, stderr.decode())
        self.assertIn("interrupted", stderr.decode())
        table = stdout.decode().splitlines()
        self.assertEqual(len(table), 4, table)
        self.assertIn(" written ", table[1])
        for row in table[2:]:
            self.assertIn(" not attempted ", row)
            self.assertIn("interrupted before it", row)
        settle("10.77.0.21")
        lines = trace()[before:]
        self.assertEqual(blocks_written(SLOW[0], lines), [0, 3, 7])
        self.assertEqual(blocks_written(SLOW[1], lines), [])
        self.assertEqual(blocks_written(SLOW[2], lines), [])
        wait_until_up(SLOW[0])

    def test_a_second_interrupt_ends_at_once(self):
        before = len(trace())
        process = start("apply", self.baud, SLOW[1], SLOW[2], "--yes", "--json")
        try:
            wait_for_write(SLOW[1], before)
            process.send_signal(signal.SIGINT)
            time.sleep(0.05)
            sent = time.monotonic()
            process.send_signal(signal.SIGINT)
            stdout, _ = process.communicate(timeout=10)
            ended = time.monotonic() - sent
        finally:
            process.kill()
        self.assertEqual(process.returncode, 130)
        # Well before the slow device's remaining blocks could have been answered.
        self.assertLess(ended, 1.0)
        self.assertEqual(stdout, b"")
        wait_until_up(SLOW[1])

    def test_write_finishes_its_blocks_on_an_interrupt(self):
        before = len(trace())
        process = start("write", SLOW[2], "--baud", "57600", "--yes")
        try:
            wait_for_write(SLOW[2], before)
            process.send_signal(signal.SIGTERM)
            _, stderr = process.communicate(timeout=30)
        finally:
            process.kill()
        self.assertEqual(process.returncode, 130, stderr.decode())
        settle("10.77.0.24")
        self.assertEqual(blocks_written(SLOW[2], trace()[before:]), [0, 3, 7])
        wait_until_up(SLOW[2])


class OneWriter(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.directory = tempfile.TemporaryDirectory()

    def test_a_second_writer_waits_then_names_the_holder(self):
        path = settings_file(self.directory.name, "keep.json", keepAlive=11)
        with open(lock_path(), "a+", encoding="ascii") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            lock.truncate(0)
            lock.write(f"{os.getpid()}\n")
            lock.flush()
            before = len(trace())
            began = time.monotonic()
            result = run("apply", path, SHARED[0], "--yes")
            waited = time.monotonic() - began
            assign = run("assign", SHARED[0], "10.77.0.49")
            fcntl.flock(lock, fcntl.LOCK_UN)
        self.assertEqual(result.returncode, 1, text(result.stderr))
        self.assertGreaterEqual(waited, 5)
        message = (f"another writer is writing through adapter 10.77.0.1: process {os.getpid()} "
                   "(")
        self.assertIn(message, text(result.stderr))
        self.assertIn("; nothing was sent", text(result.stderr))
        self.assertEqual(assign.returncode, 1, text(assign.stderr))
        self.assertIn(message, text(assign.stderr))
        settle("10.77.0.41")
        lines = trace()[before:]
        self.assertEqual(received("write", lines) + received("assignment", lines), [])

    def test_two_runs_at_once_never_interleave_on_one_device(self):
        fast = settings_file(self.directory.name, "a.json", baud=9600, keepAlive=21)
        other = settings_file(self.directory.name, "b.json", baud=4800, keepAlive=22)
        before = len(trace())
        first = start("apply", fast, *SHARED, "--yes", "--json")
        time.sleep(0.3)
        second = start("apply", other, *SHARED, "--yes", "--json")
        outputs = [process.communicate(timeout=60) for process in (first, second)]
        settle("10.77.0.41")
        lines = trace()[before:]
        for mac in SHARED:
            written = blocks_written(mac, lines)
            # Whole writes, one after the other: never a block of the other run between.
            self.assertIn(written, ([0, 3, 7], [0, 3, 7, 0, 3, 7]), mac)
        self.assertEqual(first.returncode, 0, outputs[0][1].decode())
        if second.returncode == 0:
            # It waited its turn and wrote after the first.
            self.assertEqual(blocks_written(SHARED[0], lines), [0, 3, 7, 0, 3, 7])
        else:
            self.assertEqual(second.returncode, 1)
            self.assertIn(f"process {first.pid} (tamroctl)", outputs[1][1].decode())
            self.assertTrue(json.loads(outputs[1][0])["refused"])
        for mac in SHARED:
            wait_until_up(mac)


class Verify(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.directory = tempfile.TemporaryDirectory()

    def test_a_device_back_at_another_address_is_reported_moved(self):
        path = settings_file(self.directory.name, "keep.json", keepAlive=12)
        addresses = os.path.join(self.directory.name, "map.csv")
        with open(addresses, "w", encoding="ascii") as file:
            file.write(f"{STAYS},10.77.0.52\n")
        result = run("apply", path, STAYS, "--addresses", addresses, "--yes", "--verify=3",
                     "--json")
        self.assertEqual(result.returncode, 1, text(result.stderr))
        row = rows(result)[STAYS]
        self.assertEqual((row["result"], row["verify"]), ("written", "moved"))
        self.assertEqual(row["differing"], ["moved: found at 10.77.0.51"])

    def test_an_interrupt_ends_the_waiting_with_what_was_verified_so_far(self):
        path = settings_file(self.directory.name, "keep.json", keepAlive=14)
        before = len(trace())
        process = start("apply", path, QUICK, SLEEPY, "--yes", "--verify=30", "--json")
        try:
            # Once QUICK is being read back after the writes: the waiting, with
            # SLEEPY still restarting.
            deadline = time.monotonic() + 20
            while True:
                lines = trace()[before:]
                written = [i for i, line in enumerate(lines) if line.get("device") == SLEEPY
                           and line.get("what") == "write 7"]
                if written and any(line.get("device") == QUICK
                                   for line in received("read 7", lines[written[0]:])):
                    break
                self.assertLess(time.monotonic(), deadline, "no search after the writes")
                time.sleep(0.02)
            process.send_signal(signal.SIGINT)
            sent = time.monotonic()
            stdout, stderr = process.communicate(timeout=20)
            waited = time.monotonic() - sent
        finally:
            process.kill()
        self.assertEqual(process.returncode, 130, stderr.decode())
        # The search in progress ends; the rest of the 30 s is not waited.
        self.assertLess(waited, 5)
        found = rows(subprocess.CompletedProcess([], 130, stdout, stderr))
        self.assertEqual(found[QUICK]["result"], "written")
        self.assertEqual(found[QUICK]["verify"], "verified")
        self.assertEqual(found[SLEEPY]["result"], "written")
        self.assertIsNone(found[SLEEPY]["verify"])
        self.assertEqual(found[SLEEPY]["differing"], ["not checked: interrupted"])
        wait_until_up(SLEEPY, seconds=10)

    def test_waiting_for_one_device_reads_only_that_one_again(self):
        path = settings_file(self.directory.name, "keep.json", keepAlive=13)
        before = len(trace())
        result = run("apply", path, QUICK, LATE, "--yes", "--verify=15", "--json")
        self.assertEqual(result.returncode, 0, text(result.stderr))
        self.assertEqual({row["verify"] for row in rows(result).values()}, {"verified"})
        settle("10.77.0.24")
        lines = trace()[before:]
        last_write = max(i for i, line in enumerate(lines)
                         if line.get("dir") == "rx" and str(line.get("what")).startswith("write"))
        after = lines[last_write:]
        quick_reads = [line for line in received("read 0", after) if line.get("device") == QUICK]
        late_reads = [line for line in received("read 0", after) if line.get("device") == LATE]
        # QUICK is read by the first search after the writes and never again;
        # LATE, once it is back.
        self.assertEqual(len(quick_reads), 1)
        self.assertGreaterEqual(len(late_reads), 1)
        self.assertGreater(len(received("discovery", after)), 1)


class Dropped(unittest.TestCase):
    def test_a_dropped_device_says_which_block_went_unanswered(self):
        result = run("search", "--json")
        self.assertEqual(result.returncode, 0, text(result.stderr))
        dropped = json.loads(result.stdout)["dropped"]
        self.assertEqual([device["mac"] for device in dropped], [UNREADABLE])
        self.assertEqual(dropped[0]["reason"], "no answer to block 3")
        self.assertIn(f"{UNREADABLE} / 10.77.0.71: no answer to block 3", text(result.stderr))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    run.path = sys.argv.pop(1)
    unittest.main(verbosity=2)
