"""The device simulator as a peer on the wire, checked from the host side of
the namespace lab with plain sockets.

Usage: devsim_lab_test.py LAB_SCRIPT DEVSIM
The checks that need the wire run inside the lab (this file again, with
--inside); what the simulator leaves behind, and the lab script's own
contract, are checked from outside afterwards.
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from tamro_lab import (  # noqa: E402
    ADAPTER, PORT, QUERY, collect, discovery_reply, exchange, filled, ipv4, mac_bytes,
    lab_start_status, netns_names, read_state, read_trace, run_lab, udp_socket, wait_for_trace)

RESTART_MS = 300

A = {"address": "10.77.0.10", "mac": "02-00-00-00-00-10", "settings": {
    "ip": "10.77.0.10", "mask": "255.255.0.0", "gateway": "10.77.0.1", "keep_alive": 30,
    "data_bits": 7, "parity": "even", "stop_bits": 2, "baud": 921600, "flow": 2,
    "local_port": 10000, "remote_ip": "10.77.0.1", "remote_port": 9000, "protocol": "udp",
    "pack_control": 4, "cp1": 10, "cp2": 13, "cp3": 11, "model_variant": 1}}
SPLIT = {"address": "10.77.0.11", "mac": "02-00-00-00-00-11", "faults": {
    "split": {"0": [100, 24], "3": [0, 60]}, "oversize": {"7": 6}}}
WRITTEN = {"address": "10.77.0.12", "mac": "02-00-00-00-00-12"}
HALF_WRITTEN = {"address": "10.77.0.13", "mac": "02-00-00-00-00-13"}
SILENT_3 = {"address": "10.77.0.14", "mac": "02-00-00-00-00-14", "faults": {"silent_reads": [3]}}
SPOOFED = {"address": "10.77.0.15", "mac": "02-00-00-00-00-15", "faults": {
    "spoof": {"from": "10.77.0.98", "length": 124}}}
ELSEWHERE = {"address": "10.77.0.16", "mac": "02-00-00-00-00-16", "faults": {
    "reply_from": "10.77.0.99"}}
DEFAULTS = {"address": "10.77.0.17", "mac": "02-00-00-00-00-17"}
PATCHED = {"address": "10.77.0.18", "mac": "02-00-00-00-00-18", "block3": "33" * 130,
           "patch": [{"block": 0, "offset": 21, "hex": "0d"}]}
TWICE = {"address": "10.77.0.19", "mac": "02-00-00-00-00-19", "type_code": "x1",
         "faults": {"discovery_twice": True}}
LATE = {"address": "10.77.0.21", "mac": "02-00-00-00-00-21", "faults": {"discovery_delay_ms": 600}}
# Its reply is itself a discovery query, and it comes back to the simulator.
LOUD = {"address": "10.77.0.22", "mac": "02-00-00-00-00-22", "discovery_hex": "000000f6",
        "faults": {"discovery_broadcast": True}}
OFF_SUBNET = {"address": "172.16.5.9", "mac": "0A-0B-0C-0D-12-34"}
OTHER_LAST_BYTE = {"address": "172.16.5.10", "mac": "02-00-00-00-12-35"}
OTHER_FIFTH_BYTE = {"address": "172.16.5.11", "mac": "02-00-00-00-13-34"}

DEVICES = [A, SPLIT, WRITTEN, HALF_WRITTEN, SILENT_3, SPOOFED, ELSEWHERE, DEFAULTS, PATCHED,
           TWICE, LATE, LOUD, OFF_SUBNET, OTHER_LAST_BYTE, OTHER_FIFTH_BYTE]

WRITTEN_NEW_ADDRESS = "10.77.0.30"
HALF_WRITTEN_ADDRESS_IN_BLOCK = "10.77.0.31"
ASSIGNED_ADDRESS = "10.77.0.20"


def default_blocks(device):
    """Blocks of a device configured without settings: filler, the read
    header, and the documented defaults (own address, /24, 9600 8N1, port
    10001, TCP without connecting, no pack control, pins 4 6 8, variant 0)."""
    mac = device["mac"]
    block0, block3, block7 = filled(mac, 0, 124), filled(mac, 1, 130), filled(mac, 2, 130)
    block0[0:4], block3[0:4], block7[0:4] = b"\0\0\0\xe0", b"\0\0\0\xe3", b"\0\0\0\xe7"
    block0[4:8] = ipv4(device["address"])
    block0[10] = 8
    block0[11] = 0
    block0[16:20] = bytes(4)
    block0[20] = 0x4C | (block0[20] & 0x03)
    block0[21] = 2
    block0[22] = 0
    block0[24:26] = (10001).to_bytes(2, "little")
    block0[26:28] = bytes(2)
    block0[28:32] = bytes(4)
    block0[32] &= 0xF0
    block0[33] = 0
    block0[38] &= 0x7F
    block0[39] &= 0xFC
    block3[120] &= 0x7F
    block7[4:7] = bytes([4, 6, 8])
    block7[129] = 0
    return {0: bytes(block0), 3: bytes(block3), 7: bytes(block7)}


def settings_blocks_of_a():
    mac = A["mac"]
    block0, block3, block7 = filled(mac, 0, 124), filled(mac, 1, 130), filled(mac, 2, 130)
    block0[0:4], block3[0:4], block7[0:4] = b"\0\0\0\xe0", b"\0\0\0\xe3", b"\0\0\0\xe7"
    block0[4:8] = ipv4("10.77.0.10")
    block0[10] = 16                                   # 255.255.0.0
    block0[11] = 30
    block0[16:20] = ipv4("10.77.0.1")
    block0[20] = 0x08 | 0x30 | 0xC0 | (block0[20] & 0x03)  # 7 bits, even, 2 stop bits
    block0[21] = 12                                   # 921600
    block0[22] = 2
    block0[24:26] = bytes([0x10, 0x27])               # 10000
    block0[26:28] = bytes([0x28, 0x23])               # 9000
    block0[28:32] = ipv4("10.77.0.1")
    block0[32] = (block0[32] & 0xF0) | 0x0C           # UDP
    block0[33] = 1
    block0[38] |= 0x80
    block0[39] = (block0[39] & 0xFC) | 3              # 5000 ms idle gap
    block3[120] |= 0x80                               # high speed
    block7[4:7] = bytes([10, 13, 11])
    block7[129] = 1
    return {0: bytes(block0), 3: bytes(block3), 7: bytes(block7)}


def blocks_to_write(device):
    """What a tool would send back to WRITTEN: its blocks with write headers
    and a new fixed address in block 0."""
    blocks = default_blocks(device)
    block0 = bytearray(blocks[0])
    block0[0:4] = b"\x00\x01\x00\xc0"
    block0[4:8] = ipv4(WRITTEN_NEW_ADDRESS)
    block0[11] = 99
    block3 = bytearray(blocks[3])
    block3[0:4] = b"\x00\x01\x00\xc3"
    block7 = bytearray(blocks[7])
    block7[0:4] = b"\x00\x00\x00\xc7"
    block7[129] = 1
    return {0: bytes(block0), 3: bytes(block3), 7: bytes(block7)}


def read_request(block):
    return bytes([0, 0, 0, 0xE0 + block])


def assignment_packet(mac, address):
    return b"\0\0\0\xfcIP-SETUP\0\0" + mac_bytes(mac)[4:6] + ipv4(address)


def from_device(device):
    return (device["address"], PORT)


class OnTheWire(unittest.TestCase):
    """Runs in the lab's host namespace, in the order given by `inside()`."""

    trace = os.environ.get("TAMRO_LAB_TRACE", "")
    state = os.environ.get("TAMRO_LAB_STATE", "")

    def read_block(self, device, block, address=None):
        return exchange(address or device["address"], read_request(block))

    def test_discovery_is_answered_by_each_device_from_its_own_address(self):
        query = udp_socket((ADAPTER, PORT), broadcast=True, big_buffer=True)
        # Replies sent by broadcast never reach a socket bound to a unicast address.
        broadcasts = udp_socket(("255.255.255.255", PORT))
        try:
            sent_at = time.monotonic()
            query.sendto(QUERY, ("255.255.255.255", PORT))
            # One reply per device, two from TWICE, and our own query looped back;
            # then a little longer for anything that should not come.
            expected = len(DEVICES) + 2
            received = collect([query, broadcasts], 1.5, until=lambda got: len(got) >= expected)
            received += collect([query, broadcasts], 0.1)
        finally:
            query.close()
            broadcasts.close()

        by_sender = {}
        for at, index, sender, data in received:
            if sender == (ADAPTER, PORT):
                self.assertEqual((1, QUERY), (index, data))  # our own query, looped back
                continue
            by_sender.setdefault(sender, []).append((at - sent_at, index, data))

        plain = [A, SPLIT, WRITTEN, HALF_WRITTEN, SILENT_3, SPOOFED, ELSEWHERE, DEFAULTS, PATCHED,
                 OFF_SUBNET, OTHER_LAST_BYTE, OTHER_FIFTH_BYTE]
        for device in plain:
            with self.subTest(device=device["mac"]):
                replies = by_sender.get(from_device(device), [])
                self.assertEqual([(0, discovery_reply(device["mac"]))],
                                 [(index, data) for _, index, data in replies])
                self.assertLess(replies[0][0], 0.2)
        with self.subTest("answers twice, with its own type code"):
            replies = by_sender.get(from_device(TWICE), [])
            self.assertEqual([discovery_reply(TWICE["mac"], "x1")] * 2,
                             [data for _, _, data in replies])
        with self.subTest("answers late"):
            replies = by_sender.get(from_device(LATE), [])
            self.assertEqual([discovery_reply(LATE["mac"])], [data for _, _, data in replies])
            self.assertGreaterEqual(replies[0][0], 0.58)
        with self.subTest("answers by broadcast"):
            self.assertEqual([(1, QUERY)],
                             [(index, data) for _, index, data in by_sender.get(from_device(LOUD), [])])
        known = {from_device(device) for device in DEVICES}
        self.assertEqual(set(), set(by_sender) - known)

    def test_own_broadcast_comes_back_and_is_not_taken_as_a_query(self):
        lines = wait_for_trace(self.trace, lambda line: line.get("what") == "ignored: from own device")
        echoed = [line for line in lines if line["dir"] == "rx" and line["from"] == "10.77.0.22:30718"]
        self.assertEqual(["ignored: from own device"], [line["what"] for line in echoed])
        self.assertEqual("000000f6", echoed[0]["hex"])
        # One query so far, so one reply from every device; more would mean the echo was answered.
        discovery_tx = [line for line in lines
                        if line["dir"] == "tx" and line["what"] == "discovery reply"]
        self.assertEqual(len(DEVICES) + 1, len(discovery_tx))  # TWICE answers twice

    def test_block_reads_return_the_configured_bytes(self):
        expectations = [(A, settings_blocks_of_a()), (DEFAULTS, default_blocks(DEFAULTS))]
        patched = dict(default_blocks(PATCHED))
        patched[0] = patched[0][:21] + b"\x0d" + patched[0][22:]
        patched[3] = bytes([0x33] * 130)
        expectations.append((PATCHED, patched))
        for device, blocks in expectations:
            for block in (0, 3, 7):
                with self.subTest(device=device["mac"], block=block):
                    self.assertEqual([(from_device(device), blocks[block])],
                                     self.read_block(device, block))

    def test_split_and_oversized_replies_arrive_as_configured(self):
        blocks = default_blocks(SPLIT)
        parts = [data for _, data in self.read_block(SPLIT, 0)]
        self.assertEqual([100, 24], [len(part) for part in parts])
        self.assertEqual(blocks[0], b"".join(parts))
        parts = [data for _, data in self.read_block(SPLIT, 3)]
        self.assertEqual([0, 60, 70], [len(part) for part in parts])
        self.assertEqual(blocks[3], b"".join(parts))
        parts = [data for _, data in self.read_block(SPLIT, 7)]
        self.assertEqual([136], [len(part) for part in parts])
        self.assertEqual(blocks[7], parts[0][:130])

    def test_a_silent_block_gets_no_answer_and_the_others_do(self):
        self.assertEqual(1, len(self.read_block(SILENT_3, 0)))
        self.assertEqual([], self.read_block(SILENT_3, 3))
        self.assertEqual(1, len(self.read_block(SILENT_3, 7)))
        lines = read_trace(self.trace)
        self.assertIn("read 3: not answered",
                      [line["what"] for line in lines if line["device"] == SILENT_3["mac"]])

    def test_replies_can_come_from_other_addresses(self):
        replies = self.read_block(SPOOFED, 0)
        self.assertEqual([(("10.77.0.98", PORT), bytes([0xEE] * 124)),
                          (from_device(SPOOFED), default_blocks(SPOOFED)[0])], replies)
        self.assertEqual([(("10.77.0.99", PORT), default_blocks(ELSEWHERE)[3])],
                         self.read_block(ELSEWHERE, 3))

    def test_complete_write_is_kept_then_the_device_restarts_at_its_new_address(self):
        blocks = blocks_to_write(WRITTEN)
        for block in (0, 3):
            answers = exchange(WRITTEN["address"], blocks[block])
            self.assertEqual([(from_device(WRITTEN), blocks[block][:4])], answers)
        # The last answer starts the restart; the silence is checked at once.
        answers = exchange(WRITTEN["address"], blocks[7], count=1)
        restarted_at = time.monotonic()
        self.assertEqual([(from_device(WRITTEN), blocks[7][:4])], answers)
        sock = udp_socket()
        try:
            sock.sendto(read_request(0), (WRITTEN["address"], PORT))
            sock.sendto(read_request(0), (WRITTEN_NEW_ADDRESS, PORT))
            self.assertEqual([], collect([sock], 0.15))
        finally:
            sock.close()

        back = []
        while not back and time.monotonic() - restarted_at < 2.0:
            back = exchange(WRITTEN_NEW_ADDRESS, read_request(0), seconds=0.05, quiet=0.05)
        self.assertGreaterEqual(time.monotonic() - restarted_at, RESTART_MS / 1000 - 0.05)
        self.assertEqual([((WRITTEN_NEW_ADDRESS, PORT), blocks[0])], back)
        self.assertEqual([], exchange(WRITTEN["address"], read_request(0), seconds=0.2))

        state = read_state(self.state)[WRITTEN["mac"]]
        self.assertEqual((WRITTEN_NEW_ADDRESS, "up", 1),
                         (state["address"], state["state"], state["restarts"]))
        self.assertEqual([blocks[n].hex() for n in (0, 3, 7)],
                         [state["block0"], state["block3"], state["block7"]])

    def test_incomplete_or_malformed_writes_do_not_restart_the_device(self):
        blocks = default_blocks(HALF_WRITTEN)
        block0 = bytearray(blocks[0])
        block0[0:4] = b"\x00\x01\x00\xc0"
        block0[4:8] = ipv4(HALF_WRITTEN_ADDRESS_IN_BLOCK)
        block7 = b"\x00\x00\x00\xc7" + blocks[7][4:]
        self.assertEqual([(from_device(HALF_WRITTEN), block0[:4])],
                         exchange(HALF_WRITTEN["address"], bytes(block0)))
        # Wrong length, and the write flag of block 0 on block 3: not writes at all.
        self.assertEqual([], exchange(HALF_WRITTEN["address"], b"\x00\x01\x00\xc3" + blocks[3][4:-1]))
        self.assertEqual([], exchange(HALF_WRITTEN["address"], b"\x00\x00\x00\xc3" + blocks[3][4:]))
        self.assertEqual([(from_device(HALF_WRITTEN), block7[:4])],
                         exchange(HALF_WRITTEN["address"], block7))
        # Block 3 never arrived, so no restart: the device answers at once, with the new bytes.
        self.assertEqual([(from_device(HALF_WRITTEN), bytes(block0))],
                         self.read_block(HALF_WRITTEN, 0))
        self.assertEqual([(from_device(HALF_WRITTEN), blocks[3])], self.read_block(HALF_WRITTEN, 3))
        self.assertEqual(0, read_state(self.state)[HALF_WRITTEN["mac"]]["restarts"])

    def test_assignment_moves_every_device_with_those_last_two_mac_bytes(self):
        sender = udp_socket((ADAPTER, 0), broadcast=True)
        try:
            sender.sendto(assignment_packet(OFF_SUBNET["mac"], ASSIGNED_ADDRESS),
                          ("255.255.255.255", PORT))
        finally:
            sender.close()
        assigned_at = time.monotonic()
        self.assertEqual([], exchange(ASSIGNED_ADDRESS, read_request(0), seconds=0.1))
        back = []
        while not back and time.monotonic() - assigned_at < 2.0:
            back = exchange(ASSIGNED_ADDRESS, read_request(0), seconds=0.05, quiet=0.05)
        self.assertGreaterEqual(time.monotonic() - assigned_at, RESTART_MS / 1000 - 0.05)
        expected = bytearray(default_blocks(OFF_SUBNET)[0])
        expected[4:8] = ipv4(ASSIGNED_ADDRESS)
        self.assertEqual([((ASSIGNED_ADDRESS, PORT), bytes(expected))], back)

        query = udp_socket((ADAPTER, PORT), broadcast=True)
        try:
            query.sendto(QUERY, ("255.255.255.255", PORT))
            senders = {sender for _, _, sender, _ in collect([query], 0.3)}
        finally:
            query.close()
        self.assertIn((ASSIGNED_ADDRESS, PORT), senders)
        self.assertNotIn(from_device(OFF_SUBNET), senders)
        self.assertIn(from_device(OTHER_LAST_BYTE), senders)
        self.assertIn(from_device(OTHER_FIFTH_BYTE), senders)

    def test_trace_holds_the_exact_bytes_both_ways(self):
        sock = udp_socket()
        try:
            replies = exchange(A["address"], read_request(7), sock=sock)
            port = sock.getsockname()[1]
        finally:
            sock.close()
        self.assertEqual(1, len(replies))
        client = f"{ADAPTER}:{port}"
        lines = wait_for_trace(self.trace, lambda line: line.get("to") == client)
        rx = [line for line in lines if line["dir"] == "rx" and line["from"] == client]
        tx = [line for line in lines if line["dir"] == "tx" and line["to"] == client]
        self.assertEqual([{"device": A["mac"], "to": "10.77.0.10:30718", "len": 4,
                           "hex": "000000e7", "what": "read 7"}],
                         [{key: line[key] for key in ("device", "to", "len", "hex", "what")}
                          for line in rx])
        self.assertEqual([("10.77.0.10:30718", 130, replies[0][1].hex())],
                         [(line["from"], line["len"], line["hex"]) for line in tx])
        written = [line["hex"] for line in lines
                   if line["dir"] == "rx" and line["device"] == WRITTEN["mac"]
                   and line["what"].startswith("write")]
        self.assertEqual([block.hex() for block in blocks_to_write(WRITTEN).values()], written)


ORDER = [
    "test_discovery_is_answered_by_each_device_from_its_own_address",
    "test_own_broadcast_comes_back_and_is_not_taken_as_a_query",
    "test_block_reads_return_the_configured_bytes",
    "test_split_and_oversized_replies_arrive_as_configured",
    "test_a_silent_block_gets_no_answer_and_the_others_do",
    "test_replies_can_come_from_other_addresses",
    "test_complete_write_is_kept_then_the_device_restarts_at_its_new_address",
    "test_incomplete_or_malformed_writes_do_not_restart_the_device",
    "test_assignment_moves_every_device_with_those_last_two_mac_bytes",
    "test_trace_holds_the_exact_bytes_both_ways",
]


def inside(report):
    with open(report, "w", encoding="utf-8") as out:
        json.dump({"host_ns": os.environ["TAMRO_LAB_HOST_NS"],
                   "device_ns": os.environ["TAMRO_LAB_DEVICE_NS"]}, out)
    suite = unittest.TestSuite(OnTheWire(name) for name in ORDER)
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    return 0 if result.wasSuccessful() else 1


class AfterTheLab(unittest.TestCase):
    lab = ""
    devsim = ""

    def setUp(self):
        self.directory = tempfile.mkdtemp(prefix="devsim-lab-")
        self.addCleanup(shutil.rmtree, self.directory)

    def path(self, name):
        return os.path.join(self.directory, name)

    def test_wire_checks_pass_and_leave_the_expected_state_behind(self):
        devices = self.path("devices.json")
        with open(devices, "w", encoding="utf-8") as out:
            json.dump({"devices": DEVICES}, out)
        report = self.path("report.json")
        args = run_lab(self.lab, self.devsim, devices,
                       [sys.executable, os.path.abspath(__file__), "--inside", report],
                       trace=self.path("trace.jsonl"), state=self.path("state.json"))
        args[1:1] = ["--restart-ms", str(RESTART_MS)]
        started = time.monotonic()
        result = subprocess.run(args, timeout=90, check=False)
        print(f"lab run took {time.monotonic() - started:.2f} s", file=sys.stderr)
        self.assertEqual(0, result.returncode)

        with open(report, encoding="utf-8") as names:
            namespaces = json.load(names)
        self.assertEqual(set(), {namespaces["host_ns"], namespaces["device_ns"]} & netns_names())

        # The simulator wrote its final state on the way out.
        state = read_state(self.path("state.json"))
        self.assertEqual(WRITTEN_NEW_ADDRESS, state[WRITTEN["mac"]]["address"])
        self.assertEqual(blocks_to_write(WRITTEN)[0].hex(), state[WRITTEN["mac"]]["block0"])
        self.assertEqual((ASSIGNED_ADDRESS, 1), (state[OFF_SUBNET["mac"]]["address"],
                                                 state[OFF_SUBNET["mac"]]["restarts"]))
        for device in (OTHER_LAST_BYTE, OTHER_FIFTH_BYTE):
            self.assertEqual((device["address"], 0),
                             (state[device["mac"]]["address"], state[device["mac"]]["restarts"]))
        last = read_trace(self.path("trace.jsonl"))[-1]
        self.assertEqual(("event", "exit"), (last["dir"], last["event"]))

    def test_lab_passes_on_the_command_status_and_removes_its_namespaces(self):
        devices = self.path("devices.json")
        with open(devices, "w", encoding="utf-8") as out:
            json.dump({"devices": [DEFAULTS]}, out)
        names = self.path("names")
        script = f'echo "$TAMRO_LAB_HOST_NS $TAMRO_LAB_DEVICE_NS" > {names}; exit 7'
        result = subprocess.run(run_lab(self.lab, self.devsim, devices, ["sh", "-c", script]),
                                timeout=60, check=False)
        self.assertEqual(7, result.returncode)
        with open(names, encoding="utf-8") as text:
            created = set(text.read().split())
        self.assertEqual(2, len(created))
        self.assertEqual(set(), created & netns_names())

    def test_lab_refuses_to_run_without_root(self):
        setpriv = shutil.which("setpriv")
        if setpriv is None:
            self.skipTest("setpriv is not available")
        result = subprocess.run(
            [setpriv, "--reuid=65534", "--regid=65534", "--clear-groups", self.lab,
             "--devsim", self.devsim, "--devices", "/dev/null", "--", "true"],
            capture_output=True, text=True, timeout=30, check=False)
        self.assertEqual(77, result.returncode)
        self.assertIn("needs root", result.stderr)


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--inside":
        return inside(sys.argv[2])
    status = lab_start_status(__doc__, 2)
    if status is not None:
        return status
    AfterTheLab.lab, AfterTheLab.devsim = sys.argv[1], sys.argv[2]
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(AfterTheLab)
    return 0 if unittest.TextTestRunner(verbosity=2).run(suite).wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
