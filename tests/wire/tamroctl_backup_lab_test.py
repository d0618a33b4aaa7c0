"""tamroctl on a host with two adapters on two segments: search, export
--all and diff over every adapter at once, and --adapter auto picking the
adapter a named device answered on.

The lab's own segment (veth0, 10.77.0.1/24, backup_devices.json) gets a
second one built here: a namespace of its own with another simulator
(veth2 10.78.0.1/24 <-> veth3, backup_second_devices.json). One MAC
answers on both.

Usage (scripts/lab.sh runs it in the lab's host namespace):
    tamroctl_backup_lab_test.py TAMROCTL TAMRO_DEVSIM SECOND_DEVICES
"""

import atexit
import json
import os
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lab"))
from tamro_lab import Program, lab_start_status, read_trace, received, text  # noqa: E402

run = Program(timeout=60)
DEVSIM = SECOND_DEVICES = ""

FIRST = "10.77.0.1"
SECOND = "10.78.0.1"
A10 = "02-00-00-00-0A-10"   # first segment, settings off their defaults
A11 = "02-00-00-00-0A-11"   # first segment, 38400 baud
B20 = "02-00-00-00-0B-20"   # second segment, 19200 baud
DUAL = "02-00-00-00-0C-30"  # answers on both segments
ABSENT = "02-00-00-00-0F-FF"


class SecondSegment:
    """A namespace with a simulator behind veth3, linked to veth2 here."""

    def __init__(self):
        self.namespace = f"tamro-b-{os.getpid()}-{os.urandom(4).hex()}"
        self.directory = tempfile.TemporaryDirectory()
        self.trace = os.path.join(self.directory.name, "trace.jsonl")
        self.state = os.path.join(self.directory.name, "state.json")
        self.simulator = None

    def start(self):
        ns = self.namespace
        for command in (
                ["ip", "netns", "add", ns],
                # Both ends are made here, in the lab's host namespace.
                ["ip", "link", "add", "veth2", "type", "veth", "peer", "name", "veth3",
                 "netns", ns],
                ["ip", "addr", "add", f"{SECOND}/24", "dev", "veth2"],
                ["ip", "link", "set", "veth2", "up"],
                ["ip", "-n", ns, "addr", "add", "10.78.0.2/24", "dev", "veth3"],
                ["ip", "-n", ns, "link", "set", "lo", "up"],
                ["ip", "-n", ns, "link", "set", "veth3", "up"],
                ["sysctl", "-qw", "net.ipv4.conf.veth2.rp_filter=0"],
                ["ip", "netns", "exec", ns, "sysctl", "-qw", "net.ipv4.conf.all.rp_filter=0",
                 "net.ipv4.conf.veth3.rp_filter=0"]):
            subprocess.run(command, check=True, timeout=10)
        ready = os.path.join(self.directory.name, "ready")
        self.simulator = subprocess.Popen(
            ["ip", "netns", "exec", ns, DEVSIM, "--devices", SECOND_DEVICES,
             "--interface", "veth3", "--trace", self.trace,
             "--state", self.state,
             "--ready-file", ready, "--max-seconds", "300"])
        deadline = time.monotonic() + 10
        while not (os.path.exists(ready) and os.path.getsize(ready) > 0):
            if time.monotonic() > deadline or self.simulator.poll() is not None:
                raise RuntimeError("the second simulator did not start")
            time.sleep(0.05)

    def stop(self):
        if self.simulator is not None and self.simulator.poll() is None:
            self.simulator.terminate()
            try:
                self.simulator.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.simulator.kill()
                self.simulator.wait()
        # Deleting the namespace takes veth3 and with it veth2.
        subprocess.run(["ip", "netns", "del", self.namespace], check=False, timeout=10,
                       stderr=subprocess.DEVNULL)
        self.directory.cleanup()

    def lines(self):
        return read_trace(self.trace)

    def device(self, mac):
        with open(self.state, encoding="utf-8") as state:
            return next(d for d in json.load(state)["devices"] if d["mac"].upper() == mac)

    def wait_until_up(self, mac, restarts, seconds=5):
        """Returns once the device is up after more than `restarts` restarts."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            device = self.device(mac)
            if device["restarts"] > restarts and device["state"] == "up":
                return
            time.sleep(0.05)
        raise AssertionError(f"{mac} did not come back")


SEGMENT = None


def sent_anything(lines):
    """Writes or assignments among the trace lines."""
    return received("write", lines) + received("assignment", lines)


def first_lines():
    return read_trace(os.environ["TAMRO_LAB_TRACE"])


class Listing(unittest.TestCase):
    def test_search_all_lists_each_device_once_per_adapter_it_answered_on(self):
        started = time.monotonic()
        result = run("search", "--adapter", "all", "--json")
        both = time.monotonic() - started
        self.assertEqual(result.returncode, 0, text(result.stderr))
        found = json.loads(result.stdout)
        self.assertEqual(sorted(a["address"] for a in found["adapters"]), [FIRST, SECOND])
        self.assertEqual(found["errors"], [])
        pairs = sorted((d["mac"], d["adapter"]["address"]) for d in found["devices"])
        self.assertEqual(pairs, sorted([(A10, FIRST), (A11, FIRST), (DUAL, FIRST),
                                        (B20, SECOND), (DUAL, SECOND)]))
        by_mac = {(d["mac"], d["adapter"]["name"]): d for d in found["devices"]}
        self.assertEqual(by_mac[(A11, "veth0")]["settings"]["baudRate"], 38400)
        started = time.monotonic()
        self.assertEqual(run("search", "--adapter", "veth0", "--json").returncode, 0)
        one = time.monotonic() - started
        print(f"search: both adapters {both:.2f} s, one adapter {one:.2f} s", file=sys.stderr)

    def test_one_adapter_keeps_the_shape_it_had(self):
        result = run("search", "--adapter", "veth2", "--json")
        self.assertEqual(result.returncode, 0, text(result.stderr))
        found = json.loads(result.stdout)
        self.assertEqual(found["adapter"]["address"], SECOND)
        self.assertEqual(sorted(d["mac"] for d in found["devices"]), [B20, DUAL])
        self.assertTrue(all("adapter" not in d for d in found["devices"]))

    def test_tables_name_the_adapter_in_a_column(self):
        result = run("search", "--adapter", "all", "--csv")
        self.assertEqual(result.returncode, 0, text(result.stderr))
        rows = [line.split(",") for line in text(result.stdout).splitlines()]
        self.assertEqual(rows[0][0], "ADAPTER")
        adapters = {row[0] for row in rows[1:] if any(B20 in field for field in row)}
        self.assertEqual(adapters, {f"{SECOND} (veth2)"})
        self.assertEqual(len(rows), 6)
        table = run("search", "--adapter", "all", "--table")
        self.assertEqual(table.returncode, 0)
        self.assertTrue(text(table.stdout).startswith("ADAPTER"))


class Backups(unittest.TestCase):
    def setUp(self):
        self.directory = tempfile.TemporaryDirectory()
        self.addCleanup(self.directory.cleanup)
        self.first_before = len(first_lines())
        self.second_before = len(SEGMENT.lines())

    def path(self, *names):
        return os.path.join(self.directory.name, *names)

    def assert_nothing_sent(self):
        self.assertEqual(sent_anything(first_lines()[self.first_before:]), [])
        self.assertEqual(sent_anything(SEGMENT.lines()[self.second_before:]), [])

    def export_all(self, *adapter, status=0):
        result = run("export", "--all", "-o", self.path("backup"), *adapter)
        self.assertEqual(result.returncode, status, text(result.stderr))
        return sorted(os.listdir(self.path("backup")))

    def test_export_all_saves_what_export_saves_for_each_device(self):
        # DUAL's second device cannot have the file its MAC names: a failure.
        self.assertEqual(self.export_all("--adapter", "all", status=1),
                         sorted(f"{mac}.json" for mac in (A10, A11, B20, DUAL)))
        for mac, adapter in ((A10, "veth0"), (B20, "veth2")):
            with self.subTest(mac=mac):
                single = run("export", mac, "--adapter", adapter)
                self.assertEqual(single.returncode, 0, text(single.stderr))
                with open(self.path("backup", f"{mac}.json"), "rb") as saved:
                    self.assertEqual(saved.read(), single.stdout)
        with open(self.path("backup", f"{A10}.json"), encoding="utf-8") as saved:
            settings = json.load(saved)
        self.assertEqual((settings["mac"], settings["settings"]["baud"],
                          settings["settings"]["dataBits"]),
                         (A10, 115200, 7))
        self.assert_nothing_sent()

    def test_export_all_on_one_adapter_saves_only_its_devices(self):
        self.assertEqual(self.export_all("--adapter", SECOND),
                         sorted(f"{mac}.json" for mac in (B20, DUAL)))

    def test_a_fresh_backup_is_the_same_on_every_device(self):
        self.export_all("--adapter", "all", status=1)
        dual = self.path("backup", f"{DUAL}.json")
        os.rename(dual, self.path("dual.json"))
        result = run("diff", self.path("backup"), "--adapter", "all", "--json")
        self.assertEqual(result.returncode, 0, text(result.stdout))
        files = json.loads(result.stdout)["files"]
        self.assertEqual([(f["mac"], f["status"]) for f in files],
                         [(A10, "same"), (A11, "same"), (B20, "same")])
        # Both devices carrying DUAL's MAC are compared with its one file.
        result = run("diff", self.path("dual.json"), "--adapter", "all", "--json")
        self.assertEqual(result.returncode, 1)
        devices = json.loads(result.stdout)["files"][0]["devices"]
        self.assertEqual(sorted((d["adapter"]["address"], d["status"]) for d in devices),
                         [(FIRST, "same"), (SECOND, "differs")])
        self.assertEqual(next(d for d in devices if d["status"] == "differs")["differences"],
                         {"ip": {"file": "10.77.0.30", "device": "10.78.0.30"}})
        self.assert_nothing_sent()

    def test_differing_and_missing_devices_are_named_and_fail(self):
        self.export_all("--adapter", "veth0")
        self.export_all("--adapter", "veth2")
        edited = self.path("backup", f"{A10}.json")
        with open(edited, encoding="utf-8") as saved:
            settings = json.load(saved)
        settings["settings"]["baud"] = 9600
        settings["settings"]["parity"] = "none"
        with open(edited, "w", encoding="utf-8") as saved:
            json.dump(settings, saved)
        settings["mac"] = ABSENT
        with open(self.path("absent.json"), "w", encoding="utf-8") as saved:
            json.dump(settings, saved)

        result = run("diff", self.path("backup"), self.path("absent.json"), "--adapter", "all")
        self.assertEqual(result.returncode, 1, text(result.stderr))
        out = text(result.stdout)
        self.assertIn(f"{A10}.json: differs", out)
        self.assertIn("  baud: file 9600, device 115200\n", out)
        self.assertIn("  parity: file none, device even\n", out)
        self.assertIn(f"absent.json: missing ({ABSENT}", out)
        self.assertIn(f"{B20}.json: same", out)

        result = run("diff", self.path("backup"), self.path("absent.json"), "--adapter", "all",
                     "--json")
        self.assertEqual(result.returncode, 1)
        status = {f["mac"]: f for f in json.loads(result.stdout)["files"]}
        self.assertEqual(status[A10]["status"], "differs")
        self.assertEqual(status[A10]["devices"][0]["differences"]["baud"],
                         {"file": "9600", "device": "115200"})
        self.assertEqual(status[ABSENT]["status"], "missing")
        self.assertEqual(status[ABSENT]["devices"], [])
        self.assertEqual(status[A11]["status"], "same")
        self.assert_nothing_sent()

    def test_one_adapter_misses_the_other_segments_devices(self):
        self.export_all("--adapter", "all", status=1)
        result = run("diff", self.path("backup"), "--adapter", "veth0")
        self.assertEqual(result.returncode, 1)
        self.assertIn(f"{B20}.json: missing", text(result.stdout))
        self.assertIn(f"{A11}.json: same", text(result.stdout))

    def test_a_file_naming_no_device_is_refused_before_any_search(self):
        with open(self.path("nameless.json"), "w", encoding="utf-8") as saved:
            json.dump({"format": "tamro-settings/1", "settings": {"baud": 9600}}, saved)
        result = run("diff", self.path("nameless.json"), "--adapter", "all")
        self.assertEqual(result.returncode, 2)
        self.assertIn("no \"mac\"", text(result.stderr))
        self.assertEqual(received("discovery", first_lines()[self.first_before:]), [])
        self.assertEqual(received("discovery", SEGMENT.lines()[self.second_before:]), [])


class Refusals(unittest.TestCase):
    def test_usage_errors_send_nothing(self):
        before = (len(first_lines()), len(SEGMENT.lines()))
        for args in (["export", "--all", "--adapter", "all"],
                     ["export", A10, "--all", "-o", tempfile.gettempdir()],
                     ["export", "--adapter", "all"],
                     ["diff", "--adapter", "all"],
                     ["diff", os.path.join(tempfile.gettempdir(), "no-such-dir", "x.json")]):
            with self.subTest(args=args):
                result = run(*args)
                self.assertEqual(result.returncode, 2, text(result.stderr))
        # Where one adapter is needed the words for several are refused.
        for args in (["show", A10, "--adapter", "all"], ["search", "--adapter", "auto"],
                     ["assign", A10, "10.77.0.99", "--adapter", "all"]):
            with self.subTest(args=args):
                result = run(*args)
                self.assertEqual(result.returncode, 1, text(result.stderr))
                self.assertIn("is not taken here", text(result.stderr))
        self.assertEqual(received("discovery", first_lines()[before[0]:]), [])
        self.assertEqual(received("discovery", SEGMENT.lines()[before[1]:]), [])


class Automatic(unittest.TestCase):
    def test_the_adapter_a_device_answered_on_is_used(self):
        result = run("show", B20, "--adapter", "auto", "--json")
        self.assertEqual(result.returncode, 0, text(result.stderr))
        self.assertIn(f"answered on {SECOND} (veth2)", text(result.stderr))
        self.assertEqual(json.loads(result.stdout)["device"]["mac"], B20)

    def test_a_device_on_two_adapters_is_refused_with_both_named(self):
        before = (len(first_lines()), len(SEGMENT.lines()))
        for command in (["show", DUAL], ["write", DUAL, "--baud", "57600", "--yes"]):
            with self.subTest(command=command[0]):
                result = run(*command, "--adapter", "auto")
                self.assertEqual(result.returncode, 1)
                error = text(result.stderr)
                self.assertIn(f"{FIRST} (veth0)", error)
                self.assertIn(f"{SECOND} (veth2)", error)
        self.assertEqual(sent_anything(first_lines()[before[0]:]), [])
        self.assertEqual(sent_anything(SEGMENT.lines()[before[1]:]), [])

    def test_devices_on_different_adapters_are_refused_together(self):
        result = run("diff", "--adapter", "auto", *self.files(A10, B20))
        self.assertEqual(result.returncode, 1)
        self.assertIn("different adapters", text(result.stderr))

    def test_export_all_needs_a_named_adapter_or_all(self):
        result = run("export", "--all", "-o", tempfile.gettempdir(), "--adapter", "auto")
        self.assertEqual(result.returncode, 2)

    def files(self, *macs):
        directory = tempfile.TemporaryDirectory()
        self.addCleanup(directory.cleanup)
        paths = []
        for mac in macs:
            path = os.path.join(directory.name, f"{mac}.json")
            with open(path, "w", encoding="utf-8") as saved:
                json.dump({"format": "tamro-settings/1", "mac": mac, "settings": {"baud": 9600}},
                          saved)
            paths.append(path)
        return paths

    def test_apply_takes_the_adapter_its_named_devices_answered_on(self):
        directory = tempfile.TemporaryDirectory()
        self.addCleanup(directory.cleanup)
        source = os.path.join(directory.name, "a11.json")
        exported = run("export", A11, "--adapter", "auto", "--without-address", "-o", source)
        self.assertEqual(exported.returncode, 0, text(exported.stderr))
        first_before = len(first_lines())
        second_before = len(SEGMENT.lines())
        restarts = SEGMENT.device(B20)["restarts"]
        result = run("apply", source, B20, "--adapter", "auto", "--yes")
        self.assertEqual(result.returncode, 0, text(result.stderr))
        written = received("write", SEGMENT.lines()[second_before:])
        self.assertTrue(written)
        self.assertTrue(all(line.get("device") == B20 for line in written))
        self.assertEqual(sent_anything(first_lines()[first_before:]), [])
        SEGMENT.wait_until_up(B20, restarts)
        # Devices on two segments are one batch no adapter reaches.
        refused = run("apply", source, A10, B20, "--adapter", "auto", "--yes")
        self.assertEqual(refused.returncode, 1)
        self.assertIn("different adapters", text(refused.stderr))
        self.assertEqual(sent_anything(first_lines()[first_before:]), [])

    def test_writes_go_through_the_adapter_the_device_answered_on(self):
        first_before = len(first_lines())
        second_before = len(SEGMENT.lines())
        restarts = SEGMENT.device(B20)["restarts"]
        result = run("write", B20, "--adapter", "auto", "--baud", "57600", "--yes")
        self.assertEqual(result.returncode, 0, text(result.stderr))
        written = received("write", SEGMENT.lines()[second_before:])
        self.assertTrue(written)
        self.assertTrue(all(line.get("device") == B20 for line in written))
        self.assertEqual(sent_anything(first_lines()[first_before:]), [])
        SEGMENT.wait_until_up(B20, restarts)
        diff = run("diff", "--adapter", "auto", *self.files(B20))
        self.assertEqual(diff.returncode, 1)
        self.assertIn("baud: file 9600, device 57600", text(diff.stdout))


def main():
    global DEVSIM, SECOND_DEVICES, SEGMENT
    status = lab_start_status(__doc__, 3)
    if status is not None:
        return status
    run.path, DEVSIM, SECOND_DEVICES = sys.argv[1], sys.argv[2], sys.argv[3]
    # The lab's timeout ends us with TERM; the second segment goes too.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    SEGMENT = SecondSegment()
    atexit.register(SEGMENT.stop)
    SEGMENT.start()
    program = unittest.main(argv=sys.argv[:1], exit=False, verbosity=2)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
