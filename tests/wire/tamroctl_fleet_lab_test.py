"""tamroctl export and apply against the simulator inside the lab: one
device's settings onto others through the setup dialog, each with its own
address, the batch refused as a whole before anything is sent, and the
read-back after the restart.

Usage (scripts/lab.sh runs it in the lab's host namespace, with
fleet_devices.json):
    tamroctl_fleet_lab_test.py TAMROCTL
"""

import csv
import io
import json
import os
import socket
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lab"))
from tamro_lab import (  # noqa: E402
    Program, blocks, device_state, received, settle, text, trace, wait_until_up, writes_to)

run = Program(timeout=90)  # tamroctl, named by the first argument

SOURCE = "02-00-00-00-01-10"     # 10.77.0.10, every setting off its default
TARGETS = ["02-00-00-00-01-21", "02-00-00-00-01-22", "02-00-00-00-01-23"]
TWIN = "02-00-00-00-02-21"       # 10.77.0.121: the same filler bytes as TARGETS[0]
STUBBORN = "02-00-00-00-01-31"   # 10.77.0.31 keeps its baud code through a write
CLONED = "02-00-00-00-01-40"     # carried by 10.77.0.40 and 10.77.0.41
OFF_SUBNET = "02-00-00-00-99-41"  # 172.16.5.41
SHARED_END = "02-00-00-00-77-01"  # 172.16.5.50; SPARE ends alike
SPARE = "02-00-00-01-77-01"       # 10.77.0.50, never written

SOURCE_SETTINGS = {
    "dhcp": False, "protocol": "tcp", "connect": "serial", "ip": "10.77.0.10",
    "mask": "255.255.255.0", "gateway": "10.77.0.254", "remoteIp": "10.77.0.200",
    "port": 10100, "remotePort": 4001, "keepAlive": 20, "baud": 115200, "dataBits": 7,
    "parity": "even", "stopBits": 2, "flow": "cts-rts", "pack": 250,
}

# Block bytes a write may change: the headers and the fields the dialog
# writes (block 7's pins and variant come from the model).
NAMED = [
    set(range(0, 8)) | {10, 11} | set(range(16, 23)) | set(range(24, 34)) | {38, 39},
    set(range(0, 4)) | {120},
    set(range(0, 7)) | {129},
]


def sent_changes(lines):
    """The writes and assignments among trace lines."""
    return received("write", lines) + received("assignment", lines)


class Files:
    """Settings files and address maps in a directory of their own."""

    def __init__(self):
        self.directory = tempfile.TemporaryDirectory()

    def write(self, name, content):
        path = os.path.join(self.directory.name, name)
        with open(path, "w", encoding="utf-8") as file:
            file.write(content if isinstance(content, str) else json.dumps(content))
        return path


def settings_file(**settings):
    return {"format": "tamro-settings/1", "tamro": "1.00", "mac": None, "model": "QZ-100",
            "settings": settings}


class Refusals(unittest.TestCase):
    """Every case is refused as a whole: no device gets a write or an assignment."""

    @classmethod
    def setUpClass(cls):
        cls.files = Files()
        cls.good = cls.files.write("good.json", settings_file(baud=9600))

    def refused(self, *args, status=2, searched=True):
        settle("10.77.0.50")
        before = len(trace())
        result = run("apply", *args)
        settle("10.77.0.50")
        after = trace()[before:]
        self.assertEqual(result.returncode, status, text(result.stderr))
        self.assertEqual(sent_changes(after), [])
        # A broken file is refused before the search.
        discoveries = [line for line in after if line.get("what") == "discovery"]
        self.assertEqual(bool(discoveries), searched)
        self.assertEqual(result.stdout, b"")
        return text(result.stderr)

    def test_broken_settings_files_name_the_file_and_the_key(self):
        fmt = '"format": "tamro-settings/1"'
        cases = [
            ("not JSON", "{" + fmt + ", ", "not a JSON document"),
            ("a list", "[1, 2]", "not a JSON object"),
            ("no format", '{"settings": {}}', 'no "format"'),
            ("a later format", '{"format": "tamro-settings/2"}', "is not one this Tamro reads"),
            ("an unknown key", "{" + fmt + ', "colour": 1}', "colour: unknown key"),
            ("an unknown setting", "{" + fmt + ', "settings": {"speed": 9600}}',
             "settings.speed: unknown setting"),
            ("a port out of range", "{" + fmt + ', "settings": {"port": 70000}}',
             "settings.port: 70000: out of range"),
            ("a keep-alive out of range", "{" + fmt + ', "settings": {"keepAlive": 66}}',
             "settings.keepAlive: 66: out of range"),
            ("a rate no list holds", "{" + fmt + ', "settings": {"baud": 12345}}',
             "settings.baud: 12345: give one of"),
            ("a negative number", "{" + fmt + ', "settings": {"remotePort": -1}}',
             "settings.remotePort: -1 is not a value it takes"),
            ("an address field above 255", "{" + fmt + ', "settings": {"ip": "10.77.0.256"}}',
             "settings.ip: 10.77.0.256"),
            ("a MAC written wrong", "{" + fmt + ', "mac": "02-00-00-01"}', "mac: \"02-00-00-01\""),
            ("a key given twice", "{" + fmt + ', "settings": {"baud": 9600, "baud": 115200}}',
             "baud: given twice"),
        ]
        for name, content, message in cases:
            with self.subTest(name):
                path = self.files.write("broken.json", content)
                stderr = self.refused(path, SPARE, "--yes", searched=False)
                self.assertIn(path + ": ", stderr)
                self.assertIn(message, stderr)
                self.assertIn("nothing was sent", stderr)

    def test_broken_address_maps_name_the_line(self):
        cases = [
            ("a MAC written wrong", "mac,ip\n02-00-00-00-01,10.77.0.61\n",
             ':2: "02-00-00-00-01" is not a MAC address'),
            ("a duplicate row", "02-00-00-00-01-21,10.77.0.61\n\n02-00-00-00-01-21,10.77.0.62\n",
             ":3: 02-00-00-00-01-21 is given on line 1 already"),
            ("one address twice", "02-00-00-00-01-21,10.77.0.61\n02-00-00-00-01-22,10.77.0.61\n",
             ":2: 10.77.0.61 is given to line 1's device already"),
            ("no address", "02-00-00-00-01-21\n", ":1: give mac,ip[,mask[,gateway]] (1 fields)"),
            ("a bad mask", "02-00-00-00-01-21,10.77.0.61,255.255.0\n", ":1: mask \"255.255.0\""),
            ("a header late", "02-00-00-00-01-21,10.77.0.61\nmac,ip\n", ':2: "mac" is not a MAC'),
            ("semicolons", "mac;ip\n02-00-00-00-01-21;10.77.0.61\n",
             ':1: fields are separated by ";": give them separated by commas, as mac,ip'),
            ("semicolons after a comma header", "mac,ip\n02-00-00-00-01-21;10.77.0.61\n",
             ':2: fields are separated by ";"'),
        ]
        for name, content, message in cases:
            with self.subTest(name):
                path = self.files.write("map.csv", content)
                stderr = self.refused(self.good, SPARE, "--addresses", path, "--yes",
                                      searched=False)
                self.assertIn(path + message, stderr)

    def test_the_batch_checks_refuse_before_anything_is_sent(self):
        with_ip = self.files.write("ip.json", settings_file(ip="10.77.0.70", baud=9600))
        cloned_map = self.files.write("cloned.csv", f"{CLONED},10.77.0.71\n")
        off_map = self.files.write("off.csv", f"{SHARED_END},10.77.0.72\n")
        cases = [
            ("a device not listed", [self.good, "02-00-00-00-0a-0a"],
             "02-00-00-00-0a-0a is not listed"),
            ("a device named twice", [self.good, "10.77.0.50", SPARE],
             f"{SPARE} names {SPARE} / 10.77.0.50 a second time"),
            ("a MAC two devices carry", [self.good, CLONED], "matches 2 listed devices"),
            ("two devices at one address", [with_ip, "10.77.0.50", "10.77.0.40"],
             "would both get 10.77.0.70"),
            ("an address another device answers from",
             [self.files.write("taken.json", settings_file(ip="10.77.0.10")), SPARE],
             f"would get 10.77.0.10, where {SOURCE} / 10.77.0.10 answers"),
            ("a map row used twice", [self.good, "10.77.0.40", "10.77.0.41", "--addresses",
                                      cloned_map],
             "cloned.csv:1: its MAC is carried by more than one device named"),
            ("off the subnet without a map row", [self.good, SHARED_END],
             "outside the adapter's subnet: give its new address in --addresses"),
            ("an assignment two devices would take", [self.good, SHARED_END, "--addresses",
                                                      off_map],
             "end in the same two MAC bytes"),
            ("--all with a device off the subnet and a cloned MAC", [self.good, "--all",
                                                                     "--addresses", off_map],
             "end in the same two MAC bytes"),
        ]
        for name, args, message in cases:
            with self.subTest(name):
                stderr = self.refused(*args, "--yes")
                self.assertIn("nothing was sent", stderr)
                self.assertIn(message, stderr)

    def test_json_carries_the_reasons_of_a_refused_batch(self):
        connect = self.files.write("connect.json", settings_file(protocol="tcp", connect="serial"))
        cases = [
            ("a batch check", [self.good, "10.77.0.50", SPARE],
             [f"{SPARE} names {SPARE} / 10.77.0.50 a second time"]),
            ("the dialog's check", [connect, "10.77.0.10", "10.77.0.50"],
             [f"{SPARE} / 10.77.0.50: 通信先IPアドレス設定エラー"]),
        ]
        for name, args, expected in cases:
            with self.subTest(name):
                settle("10.77.0.50")
                before = len(trace())
                result = run("apply", *args, "--yes", "--json")
                settle("10.77.0.50")
                self.assertEqual(result.returncode, 2, text(result.stderr))
                self.assertEqual(sent_changes(trace()[before:]), [])
                document = json.loads(result.stdout)
                self.assertEqual(list(document), ["adapter", "refused", "problems"])
                self.assertEqual(document["adapter"], "10.77.0.1 (veth0)")
                self.assertIs(document["refused"], True)
                self.assertEqual(len(document["problems"]), len(expected), document)
                for problem, message in zip(document["problems"], expected):
                    self.assertIn(message, problem)
                # The same reasons as the text on stderr.
                for problem in document["problems"]:
                    self.assertIn("  " + problem + "\n", text(result.stderr))

    def test_the_dialogs_own_refusals_stop_the_whole_batch(self):
        # 10.77.0.10 has a destination, 10.77.0.50 none: only the second
        # fails the write's check, and the first is not written either.
        connect = self.files.write("connect.json", settings_file(protocol="tcp", connect="serial"))
        cases = [
            ("a check fails on one device", [connect, "10.77.0.10", "10.77.0.50"],
             f"{SPARE} / 10.77.0.50: 通信先IPアドレス設定エラー"),
            ("a port below 1024",
             [self.files.write("port.json", settings_file(port=1023)), SPARE],
             "ポート番号設定エラー"),
            ("a model fixes the port", [self.files.write("fixed.json", settings_file(port=10005)),
                                        SPARE, "--model", "QZ-200F"],
             'port: "ポート番号" (--port) is disabled: model QZ-200F fixes the port at 10001'),
            ("the automatic address switches the address off",
             [self.files.write("dhcp.json", settings_file(dhcp=True, ip="10.77.0.75")), SPARE],
             'ip: "設定するIPアドレス" (--ip) is disabled'),
            ("UDP has no connect condition",
             [self.files.write("udp.json", settings_file(protocol="udp", connect="serial")),
              SPARE],
             "UDP has no connect condition"),
            ("an unknown model", [self.good, SPARE, "--model", "QZ-999"],
             "the model could not be chosen"),
        ]
        for name, args, message in cases:
            with self.subTest(name):
                stderr = self.refused(*args, "--yes")
                self.assertIn(message, stderr)
                self.assertNotIn("設定を書き込みます", stderr)

    def test_a_model_file_that_cannot_be_opened_is_named_with_the_reason(self):
        missing = os.path.join(self.files.directory.name, "missing.dat")
        folder = os.path.join(self.files.directory.name, "folder.dat")
        os.makedirs(folder, exist_ok=True)
        commands = [
            ["show", SPARE],
            ["write", SPARE, "--baud", "9600", "--yes"],
            ["export", SPARE],
            ["apply", self.good, SPARE, "--yes"],
        ]
        for args in commands:
            for path, reason in ((missing, "No such file or directory"),
                                 (folder, "Is a directory")):
                with self.subTest(args[0], path=path):
                    result = run(*args, "--models", path)
                    self.assertEqual(result.returncode, 1, text(result.stderr))
                    self.assertIn(f"tamroctl: --models {path}: cannot open: {reason}\n",
                                  text(result.stderr))
                    self.assertEqual(result.stdout, b"")

    def test_without_yes_and_no_terminal_nothing_is_written(self):
        stderr = self.refused(self.good, SOURCE, SPARE, status=1)
        self.assertIn("apply " + self.good + " to 2 devices as model QZ-100:", stderr)
        self.assertIn("not confirmed", stderr)


class ExportApply(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.files = Files()

    def export_source(self):
        path = os.path.join(self.files.directory.name, "source.json")
        result = run("export", "10.77.0.10", "-o", path)
        self.assertEqual(result.returncode, 0, text(result.stderr))
        with open(path, encoding="utf-8") as file:
            return path, json.load(file)

    def test_export_holds_the_form_after_the_selection(self):
        path, document = self.export_source()
        self.assertEqual(list(document), ["format", "tamro", "mac", "model", "settings"])
        self.assertEqual(document["format"], "tamro-settings/1")
        self.assertEqual((document["mac"], document["model"]), (SOURCE, "QZ-100"))
        self.assertRegex(document["tamro"], r"^\d+\.\d+$")
        self.assertEqual(document["settings"], SOURCE_SETTINGS)

        # Stdout carries the same document; a model's rules shape what it holds.
        plain = run("export", SOURCE)
        self.assertEqual(json.loads(plain.stdout), document)
        limited = json.loads(run("export", SOURCE, "--model", "QZ-200F").stdout)
        self.assertEqual(limited["model"], "QZ-200F")
        # QZ-200F locks the serial lists and has no client mode: those are
        # not editable and so not exported.
        for key in ("port", "baud", "flow", "protocol", "connect", "remoteIp"):
            self.assertNotIn(key, limited["settings"])
        self.assertEqual(limited["settings"]["keepAlive"], 20)

    def test_apply_to_three_writes_what_write_by_flags_writes(self):
        path, _ = self.export_source()
        before = {mac: blocks(device_state(mac)) for mac in TARGETS}
        addresses = self.files.write(
            "map.csv", "mac,ip,mask\n"
            + "".join(f"{mac},10.77.0.{61 + i}\n" for i, mac in enumerate(TARGETS))
            + f"{STUBBORN},10.77.0.99\n")
        start = len(trace())
        result = run("apply", path, *TARGETS, "--addresses", addresses, "--yes", "--json")
        self.assertEqual(result.returncode, 0, text(result.stderr))
        self.assertIn(f"{STUBBORN} is not among the devices named; not used", text(result.stderr))
        rows = json.loads(result.stdout)["devices"]
        self.assertEqual([(row["mac"], row["newIp"], row["result"]) for row in rows],
                         [(mac, f"10.77.0.{61 + i}", "written") for i, mac in enumerate(TARGETS)])

        # The same values by flags on a twin (same filler bytes) write the
        # same blocks, but for the address.
        flags = ["--dhcp", "off", "--protocol", "tcp", "--connect", "serial", "--ip", "10.77.0.69",
                 "--mask", "255.255.255.0", "--gateway", "10.77.0.254",
                 "--remote-ip", "10.77.0.200", "--port", "10100", "--remote-port", "4001",
                 "--keep-alive", "20", "--baud", "115200", "--data-bits", "7",
                 "--parity", "even", "--stop-bits", "2", "--flow", "cts-rts", "--pack", "250"]
        written = run("write", "10.77.0.121", "--model", "QZ-100", "--yes", *flags)
        self.assertEqual(written.returncode, 0, text(written.stderr))
        # The simulator traces the last block once its answer is out.
        settle("10.77.0.50")
        applied = writes_to(TARGETS[0], lines=trace()[start:])
        by_flags = writes_to(TWIN, lines=trace()[start:])
        self.assertEqual(len(applied), 3)
        self.assertEqual(len(by_flags), 3)
        self.assertEqual(applied[0][4:8], socket.inet_aton("10.77.0.61"))
        self.assertEqual(by_flags[0][4:8], socket.inet_aton("10.77.0.69"))
        self.assertEqual(applied[0][8:], by_flags[0][8:])
        self.assertEqual(applied[0][:4], by_flags[0][:4])
        self.assertEqual(applied[1:], by_flags[1:])

        # On every target, each byte outside the written fields is the one fetched.
        for i, mac in enumerate(TARGETS):
            wait_until_up(mac, f"10.77.0.{61 + i}")
            for block, (old, new) in enumerate(zip(before[mac], blocks(device_state(mac)))):
                changed = {k for k in range(len(old)) if old[k] != new[k]}
                self.assertLessEqual(changed, NAMED[block], f"{mac} block {block}")

        # The next search reads the file's settings back from each.
        again = run("search", "--json")
        listed = {device["mac"]: device for device in json.loads(again.stdout)["devices"]}
        for i, mac in enumerate(TARGETS):
            settings = listed[mac]["settings"]
            self.assertEqual(listed[mac]["ip"], f"10.77.0.{61 + i}")
            self.assertEqual((settings["baudRate"], settings["dataBits"], settings["parity"],
                              settings["stopBits"], settings["flowControl"]),
                             (115200, 7, 2, 2, 2))
            self.assertEqual((settings["localPort"], settings["remoteIp"], settings["remotePort"],
                              settings["keepAlive"], settings["gateway"]),
                             (10100, "10.77.0.200", 4001, 20, "10.77.0.254"))

    def test_verify_finds_the_device_that_came_back_different(self):
        path = self.files.write("baud.json", settings_file(baud=115200, keepAlive=7))
        addresses = self.files.write("stubborn.csv", f"{STUBBORN},10.77.0.81\n")
        result = run("apply", path, STUBBORN, "--addresses", addresses, "--yes", "--verify=10")
        self.assertEqual(result.returncode, 1, text(result.stderr))
        table = text(result.stdout).splitlines()
        self.assertEqual(table[0].split(), ["DEVICE", "NEW", "ADDRESS", "RESULT", "CHECK", "DETAIL"])
        self.assertEqual(len(table), 2)
        row = table[1]
        self.assertIn(f"{STUBBORN} / 10.77.0.31", row)
        self.assertIn(" written ", row)
        self.assertIn(" differing ", row)
        self.assertIn("baud: applied 115200, reads 9600", row)
        # What the device did take is not reported as differing.
        self.assertNotIn("keepAlive", row)
        self.assertNotIn("ip:", row)

    def test_a_device_off_the_subnet_gets_only_its_address_and_is_verified(self):
        path = self.files.write("serial.json", settings_file(baud=57600, keepAlive=9))
        addresses = self.files.write("off.csv", f"{OFF_SUBNET},10.77.0.91\n")
        start = len(trace())
        # A bare --verify takes no value: the device after it stays a device.
        result = run("apply", path, "--verify", OFF_SUBNET, "--addresses", addresses, "--yes",
                     "--json")
        self.assertEqual(result.returncode, 0, text(result.stderr))
        row = json.loads(result.stdout)["devices"][0]
        self.assertEqual((row["mac"], row["ip"], row["newIp"], row["result"], row["verify"]),
                         (OFF_SUBNET, "172.16.5.41", "10.77.0.91", "written", "verified"))
        lines = trace()[start:]
        self.assertEqual(writes_to(OFF_SUBNET, lines=lines), [])
        packets = [bytes.fromhex(line["hex"]) for line in received("assignment", lines)]
        self.assertEqual(packets, [bytes.fromhex("000000fc") + b"IP-SETUP"
                                   + bytes.fromhex("00009941") + socket.inet_aton("10.77.0.91")])


class SearchTable(unittest.TestCase):
    def test_csv_and_table_list_every_device_in_the_lists_order_in_words(self):
        listed = json.loads(run("search", "--json").stdout)["devices"]
        result = run("search", "--csv")
        self.assertEqual(result.returncode, 0, text(result.stderr))
        rows = list(csv.reader(io.StringIO(text(result.stdout))))
        self.assertEqual(rows[0][:4], ["MAC", "ADDRESS", "TYPE", "READ"])
        self.assertEqual([(row[0], row[1]) for row in rows[1:]],
                         [(device["mac"], device["ip"]) for device in listed])
        by_mac = {row[0]: dict(zip(rows[0], row)) for row in rows[1:]}
        source = by_mac[SOURCE]
        self.assertEqual((source["READ"], source["PROTOCOL"], source["SERIAL"], source["FLOW"],
                          source["CONNECT"], source["PACK"], source["REMOTE"]),
                         ("yes", "TCP", "115200 7E2", "CTS/RTS", "シリアル受信時",
                          "ｱｲﾄﾞﾙｷﾞｬｯﾌﾟ250msec", "10.77.0.200:4001"))
        self.assertEqual(by_mac[SHARED_END]["READ"], "no: off the subnet")

        table = text(run("search", "--table").stdout).splitlines()
        self.assertEqual(len(table), len(rows))
        # Every row starts its ADDRESS column where the header does.
        column = table[0].index("ADDRESS")
        for line, row in zip(table[1:], rows[1:]):
            self.assertEqual(line[column:].split()[0], row[1])

        plain = text(run("search").stdout)
        self.assertIn("flow CTS/RTS, connect シリアル受信時, remote 10.77.0.200:4001, "
                      "keep-alive 20 s, pack ｱｲﾄﾞﾙｷﾞｬｯﾌﾟ250msec", plain)
        self.assertNotIn("0x", plain)

    def test_table_and_json_are_one_or_the_other(self):
        result = run("search", "--csv", "--json")
        self.assertEqual(result.returncode, 2)
        self.assertIn("excludes", text(result.stderr))


if __name__ == "__main__":
    run.path = sys.argv.pop(1)
    unittest.main()
