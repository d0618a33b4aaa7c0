"""tamroctl adapters, search, assign and ping against the simulator, inside the lab.

Usage (scripts/lab.sh runs it in the lab's host namespace):
    tamroctl_lab_test.py TAMROCTL
"""

import json
import os
import socket
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lab"))
from tamro_lab import RUNNER, Program, wait_until_up  # noqa: E402

run = Program()  # tamroctl, named by the first argument
COMMUNICATION_ERROR = "通信エラー"
WRITE_COMPLETE = "設定完了しました。\nデバイスを再起動します。"


def devices_by_mac(result):
    return {device["mac"]: device for device in json.loads(result.stdout)["devices"]}


def run_on_terminal(*args):
    """Runs tamroctl with stderr on a pseudo-terminal; returns (status, stdout, stderr)."""
    import pty
    controller, terminal = pty.openpty()
    with subprocess.Popen([run.path, *args], stdout=subprocess.PIPE, stderr=terminal) as process:
        os.close(terminal)
        seen = b""
        while True:
            try:
                chunk = os.read(controller, 4096)
            except OSError:  # the terminal closed with the program
                break
            if not chunk:
                break
            seen += chunk
        stdout = process.stdout.read()
        status = process.wait(timeout=30)
    os.close(controller)
    return status, stdout, seen.decode(errors="replace")


class NetworkCommands(unittest.TestCase):
    @unittest.skipIf(RUNNER, "a pseudo-terminal is no Windows console")
    def test_search_shows_progress_on_a_terminal_only(self):
        status, stdout, stderr = run_on_terminal("search", "--adapter", "veth0", "--json")
        self.assertEqual(status, 0, stderr)
        # Three devices of ours answer (X3 is not), two of them are on the subnet and read.
        self.assertIn("\rsearch: 3 replies, read 2 of 2\x1b[K", stderr)
        self.assertIn("\r\x1b[K", stderr, "the line is wiped when the search ends")
        self.assertEqual(len(json.loads(stdout)["devices"]), 3, "stdout carries only the JSON")

        piped = run("search", "--adapter", "veth0")
        self.assertEqual(piped.returncode, 0)
        self.assertNotIn(b"search: ", piped.stderr, "no progress line when stderr is no terminal")

    def test_adapters_lists_the_lab_adapter(self):
        result = run("adapters", "--json")
        self.assertEqual(result.returncode, 0)
        adapters = json.loads(result.stdout)["adapters"]
        self.assertEqual(adapters, [{"name": "veth0", "address": "10.77.0.1",
                                     "mask": "255.255.255.0"}])

    def test_search_reports_devices_with_their_settings(self):
        result = run("search", "--adapter", "veth0", "--json")
        self.assertEqual(result.returncode, 0, result.stderr.decode())
        output = json.loads(result.stdout)
        self.assertEqual(output["adapter"]["address"], "10.77.0.1")
        devices = devices_by_mac(result)
        self.assertNotIn("02-00-00-00-00-12", devices, "type code X3 is not ours")

        first = devices["02-00-00-00-00-10"]
        self.assertEqual(first["ip"], "10.77.0.10")
        self.assertEqual(first["typeCode"], "X1")
        self.assertTrue(first["configured"])
        settings = first["settings"]
        self.assertEqual(settings["dhcp"], False)
        self.assertEqual(settings["ipAddress"], "10.77.0.10")
        self.assertEqual(settings["netmask"], "255.255.255.0")
        self.assertEqual((settings["baudRate"], settings["dataBits"], settings["parity"],
                          settings["stopBits"]), (38400, 7, 1, 2))
        self.assertEqual(settings["flowControl"], 1)
        self.assertEqual(settings["protocol"], 1)
        self.assertEqual(settings["connectMode"] & 0x0C, 0x0C)
        self.assertEqual((settings["remoteIp"], settings["remotePort"]), ("10.77.0.200", 4001))
        self.assertEqual((settings["localPort"], settings["keepAlive"], settings["packControl"]),
                         (10000, 20, 2))
        self.assertEqual(settings["cp1Function"], 10)

        automatic = devices["02-00-00-00-00-11"]["settings"]
        self.assertTrue(automatic["dhcp"])
        self.assertEqual(automatic["gateway"], "0.0.0.0")

        off_subnet = devices["02-00-00-00-56-78"]
        self.assertFalse(off_subnet["configured"])
        self.assertNotIn("settings", off_subnet)

    @unittest.skipIf(RUNNER, "the lab's second adapter is made with Linux's ip")
    def test_an_empty_search_names_the_adapter_and_the_doctor(self):
        def sh(command):
            subprocess.run(command, shell=True, check=True)
        # A second adapter whose segment holds no device.
        sh("ip link add tamroempty type veth peer name tamroemptypeer"
           " && ip link set tamroemptypeer up && ip link set tamroempty up"
           " && ip address add 10.88.0.1/24 dev tamroempty")
        try:
            result = run("search", "--adapter", "tamroempty")
            self.assertEqual(result.returncode, 0, result.stderr.decode())
            self.assertEqual(result.stdout, b"No devices found on 10.88.0.1 (tamroempty).\n")
            self.assertIn(b"run: tamroctl doctor --adapter 10.88.0.1\n", result.stderr)
            # Every output form, and a device named on an empty segment, give the hint too.
            for args in (["search", "--json"], ["search", "--table"], ["show", "10.88.0.5"]):
                with self.subTest(args=args):
                    result = run(*args, "--adapter", "tamroempty")
                    self.assertIn(b"run: tamroctl doctor --adapter 10.88.0.1\n", result.stderr)
            self.assertEqual(json.loads(run("search", "--json", "--adapter", "tamroempty").stdout)
                             ["devices"], [])
        finally:
            sh("ip link del tamroempty")

    def test_search_table_shows_the_list_entries(self):
        result = run("search")
        self.assertEqual(result.returncode, 0)
        text = result.stdout.decode()
        self.assertIn("02-00-00-00-00-10 / 10.77.0.10", text)
        self.assertIn("02-00-00-00-56-78 / 172.16.5.9", text)

    def test_search_fails_with_the_dialogs_message_when_the_port_is_taken(self):
        holder = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        try:
            holder.bind(("10.77.0.1", 30718))
            result = run("search", "--json")
            table = run("search")
            shown = run("show", "10.77.0.10")
        finally:
            holder.close()
        self.assertEqual(result.returncode, 1)
        self.assertIn(COMMUNICATION_ERROR, result.stderr.decode())
        # Who holds the port: this very test. Under Wine the holder is a Linux
        # process, which the Windows table lists without an owner.
        holder_line = f"UDP port 30718 is taken on 10.77.0.1 by process {os.getpid()}"
        if RUNNER:
            holder_line = "UDP port 30718 is taken on 10.77.0.1 by another program"
        for failed in [result, table, shown]:
            self.assertEqual(failed.returncode, 1)
            self.assertIn(holder_line, failed.stderr.decode())
        # A script reading stdout still gets one JSON object.
        output = json.loads(result.stdout)
        self.assertEqual(output["error"], COMMUNICATION_ERROR)
        self.assertIn(holder_line, output["detail"])
        self.assertEqual(output["adapter"]["address"], "10.77.0.1")
        self.assertEqual((table.returncode, table.stdout), (1, b""))

    def test_search_json_names_an_unknown_adapter_on_stdout_too(self):
        result = run("search", "--adapter", "eth9", "--json")
        self.assertEqual(result.returncode, 1)
        self.assertIn("eth9", json.loads(result.stdout)["error"])

    def test_search_json_lists_no_dropped_devices_when_every_read_worked(self):
        result = run("search", "--json")
        self.assertEqual(json.loads(result.stdout)["dropped"], [])
        self.assertNotIn("dropped", result.stderr.decode())

    def test_unknown_adapter_is_refused(self):
        result = run("search", "--adapter", "eth9")
        self.assertEqual(result.returncode, 1)
        self.assertIn("eth9", result.stderr.decode())

    def test_ping_tells_answered_from_silent(self):
        answered = run("ping", "10.77.0.2")
        self.assertEqual(answered.returncode, 0, answered.stdout)
        silent = run("ping", "10.77.0.250", "--adapter", "10.77.0.1")
        self.assertEqual(silent.returncode, 1)
        self.assertIn("did not answer", silent.stdout.decode())

    def test_usage_errors(self):
        self.assertEqual(run("assign", "02-00-00-00-56", "10.77.0.30").returncode, 2)
        self.assertEqual(run("ping", "10.77.0").returncode, 2)

    def test_zz_assign_moves_an_off_subnet_device_onto_the_subnet(self):
        result = run("assign", "02:00:00:00:56:78", "10.77.0.31", "--adapter", "0")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.decode().strip(), WRITE_COMPLETE)
        wait_until_up("02-00-00-00-56-78", "10.77.0.31")
        found = devices_by_mac(run("search", "--json"))["02-00-00-00-56-78"]
        self.assertEqual(found["ip"], "10.77.0.31")
        self.assertTrue(found["configured"])


if __name__ == "__main__":
    run.path = sys.argv.pop(1)
    unittest.main()
