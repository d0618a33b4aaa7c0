"""tamroctl show, write and ping --device: the setup dialog driven from the
command line, against the simulator inside the lab.

Usage (scripts/lab.sh runs it in the lab's host namespace, with
dialog_devices.json):
    tamroctl_dialog_lab_test.py TAMROCTL LIMITED_MODEL_FILE
"""

import json
import os
import socket
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lab"))
from tamro_lab import (  # noqa: E402
    Program, blocks, device_state, received, settle, text, wait_until_up, writes_to)

run = Program()  # tamroctl, named by the first argument
LIMITED_MODELS = ""  # one model: top rate 115200, no default rate

FIXED = "02-00-00-00-00-20"     # TCP, serial reception, 921600 bit/s; never written
WRITTEN = "02-00-00-00-00-21"   # UDP, 921600 bit/s; written once
OFF_SUBNET = "02-00-00-00-99-01"

WRITE_COMPLETE = "設定完了しました。\nデバイスを再起動します。"

KINDS = {
    "combo": ["modelCombo", "adapterCombo", "protocolCombo", "baudCombo", "dataBitsCombo",
              "parityCombo", "stopBitsCombo", "flowCombo", "connectCombo", "packCombo",
              "cp1Combo", "cp2Combo", "cp3Combo"],
    "list": ["deviceList"],
    "edit": ["portEdit", "remotePortEdit", "keepAliveEdit"],
    "address": ["ipAddressCtrl", "netmaskCtrl", "gatewayCtrl", "remoteIpCtrl"],
    "checkBox": ["dhcpCheck"],
    "pushButton": ["searchButton", "pingButton", "writeButton"],
    "text": ["versionText", "protocolCurrent", "portCurrent", "baudCurrent", "dataBitsCurrent",
             "parityCurrent", "stopBitsCurrent", "flowCurrent", "connectCurrent",
             "remoteIpCurrent", "remotePortCurrent", "keepAliveCurrent", "packCurrent",
             "cpGroupLabel", "cp1Label", "cp2Label", "cp3Label", "cp1Current", "cp2Current",
             "cp3Current"],
}
COMMON_KEYS = {"enabled", "visible", "text"}
KEYS = {
    "combo": COMMON_KEYS | {"selection", "items"},
    "list": COMMON_KEYS | {"selection", "items"},
    "address": COMMON_KEYS | {"fields"},
    "checkBox": COMMON_KEYS | {"checked"},
}


def found(mac):
    result = run("search", "--json")
    devices = {device["mac"]: device for device in json.loads(result.stdout)["devices"]}
    return devices.get(mac)


# --- the device's encodings, as the protocol defines them -----------------------

BAUD_CODES = {38400: 0, 19200: 1, 9600: 2, 4800: 3, 2400: 4, 1200: 5, 600: 6, 300: 7,
              115200: 8, 57600: 9, 230400: 10, 460800: 11, 921600: 12}


def serial_format(data_bits, parity, stop_bits):
    return ({7: 0x08, 8: 0x0C}[data_bits] | {"none": 0x00, "odd": 0x10, "even": 0x30}[parity]
            | {1: 0x40, 2: 0xC0}[stop_bits])


def host_bits(mask):
    value = int.from_bytes(socket.inet_aton(mask), "big")
    ones = bin(value).count("1")
    assert value == (0xFFFFFFFF << (32 - ones)) & 0xFFFFFFFF, "not contiguous"
    return 32 - ones


class Show(unittest.TestCase):
    def test_json_has_every_control_with_the_keys_of_its_kind(self):
        result = run("show", FIXED, "--json")
        self.assertEqual(result.returncode, 0, text(result.stderr))
        output = json.loads(result.stdout)
        self.assertEqual(output["device"]["mac"], FIXED)
        self.assertEqual(output["device"]["settings"]["baudRate"], 921600)

        form = output["form"]
        self.assertEqual(len(form), 45)
        for kind, names in KINDS.items():
            for name in names:
                self.assertEqual(set(form[name]), KEYS.get(kind, COMMON_KEYS), name)

        # The first model (QZ-100) leaves the device's own values in place.
        self.assertEqual(form["modelCombo"]["text"], "QZ-100")
        self.assertEqual((form["baudCurrent"]["text"], form["baudCombo"]["text"]),
                         ("921600", "921600"))
        self.assertEqual(form["portEdit"]["text"], "10000")
        self.assertEqual(form["connectCombo"]["selection"], 1)
        self.assertEqual(form["remoteIpCtrl"]["fields"], [10, 77, 0, 200])
        self.assertEqual(form["deviceList"]["items"][form["deviceList"]["selection"]],
                         f"{FIXED} / 10.77.0.20")
        self.assertFalse(form["cp1Combo"]["visible"])
        self.assertFalse(form["dhcpCheck"]["checked"])
        self.assertTrue(form["writeButton"]["enabled"])

    def test_a_limited_model_clamps_the_baud_rate(self):
        result = run("show", "10.77.0.20", "--models", LIMITED_MODELS, "--model", "LIMIT-115200")
        self.assertEqual(result.returncode, 0, text(result.stderr))
        self.assertIn("ボーレート: 921600 -> 115200\n", text(result.stdout))

    def test_an_unknown_device_is_not_found(self):
        result = run("show", "02:00:00:00:00:77")
        self.assertEqual(result.returncode, 1)
        self.assertIn("no device 02:00:00:00:00:77", text(result.stderr))
        self.assertEqual(result.stdout, b"")


class WriteRefusals(unittest.TestCase):
    """Every case stops before the write button has anything sent."""

    def tearDown(self):
        settle("10.77.0.20")
        self.assertEqual(writes_to(FIXED), [])

    def test_the_dialogs_checks_refuse_with_its_messages(self):
        cases = [
            (["--port", "1023"], "ポート番号設定エラー"),
            (["--remote-ip", ""], "通信先IPアドレス設定エラー"),
            (["--remote-port", "80"], "通信先ポート番号エラー"),
            (["--keep-alive", "66"], "キープアライブ設定は0-65の範囲です。"),
            (["--model", "QZ-120L", "--baud", "230400"],
             "このモデルの場合、ボーレート値は最大115200です。"),
        ]
        for flags, message in cases:
            with self.subTest(flags=flags):
                result = run("write", FIXED, "--yes", *flags)
                self.assertEqual(result.returncode, 1)
                self.assertIn(message, text(result.stderr))
                self.assertEqual(result.stdout, b"")

    def test_values_the_fields_do_not_take_are_refused(self):
        for flags, shown in [(["--port", "123456"], '"12345"'),
                             (["--remote-ip", "10.77.0.300"], "10.77.0.300: each field")]:
            with self.subTest(flags=flags):
                result = run("write", FIXED, "--yes", *flags)
                self.assertEqual(result.returncode, 2)
                self.assertIn(shown, text(result.stderr))

    def test_flags_on_disabled_controls_are_refused(self):
        cases = [
            (["--dhcp", "on", "--ip", "10.77.0.60"], '"設定するIPアドレス" (--ip)',
             "automatic address"),
            (["--model", "QZ-200F", "--port", "10005"], '"ポート番号" (--port)',
             "fixes the port at 10001"),
            (["--protocol", "udp", "--connect", "serial"], '"接続条件" (--connect)', "UDP"),
            (["--connect", "none", "--remote-port", "5000"], '"通信先ポート番号" (--remote-port)',
             "no destination"),
        ]
        for flags, control, reason in cases:
            with self.subTest(flags=flags):
                result = run("write", FIXED, "--yes", *flags)
                self.assertEqual(result.returncode, 2)
                self.assertIn(control, text(result.stderr))
                self.assertIn(reason, text(result.stderr))
                # The operator reads the window's labels, not the code's names.
                self.assertNotRegex(text(result.stderr), r"[a-z]+(Ctrl|Edit|Combo|Check)\b")

    def test_without_yes_the_confirmation_is_cancelled(self):
        result = run("write", FIXED, "--keep-alive", "9")
        self.assertEqual(result.returncode, 1)
        self.assertIn("QZ-100に設定を書き込みます。", text(result.stderr))


class Write(unittest.TestCase):
    def test_write_changes_exactly_the_expected_bytes(self):
        before = blocks(device_state(WRITTEN))
        result = run("write", "10.77.0.21", "--model", "QZ-120L", "--yes",
                     "--protocol", "tcp", "--connect", "power-on",
                     "--ip", "10.77.0.41", "--mask", "255.255.0.0", "--gateway", "10.77.0.254",
                     "--remote-ip", "10.77.0.201", "--port", "10100", "--remote-port", "4100",
                     "--keep-alive", "30", "--baud", "57600", "--data-bits", "7",
                     "--parity", "even", "--stop-bits", "2", "--flow", "cts-rts",
                     "--pack", "250")
        self.assertEqual(result.returncode, 0, text(result.stderr))
        self.assertEqual(text(result.stdout), WRITE_COMPLETE + "\n")

        block0, block3, block7 = (bytearray(block) for block in before)
        block0[0:4] = bytes.fromhex("000100c0")
        block0[4:8] = socket.inet_aton("10.77.0.41")
        block0[10] = host_bits("255.255.0.0")
        block0[11] = 30
        block0[16:20] = socket.inet_aton("10.77.0.254")
        block0[20] = serial_format(7, "even", 2)
        block0[21] = BAUD_CODES[57600]
        block0[22] = 2  # CTS/RTS
        block0[24:26] = (10100).to_bytes(2, "little")
        block0[26:28] = (4100).to_bytes(2, "little")
        block0[28:32] = socket.inet_aton("10.77.0.201")
        block0[32] = (block0[32] & 0xF0) | 0x05  # TCP, at power-on
        block0[33] = 0
        block0[38] |= 0x80  # pack control on, idle gap code 2 (250 ms)
        block0[39] = (block0[39] & 0xFC) | 2
        block3[0:4] = bytes.fromhex("000100c3")
        block3[120] &= 0x5F  # 57600 is no high-speed rate
        block7[0:4] = bytes.fromhex("000000c7")
        block7[4:7] = bytes([0, 2, 1])  # QZ-120L's pin functions
        block7[129] = 0  # QZ-120L is variant 1
        expected = [bytes(block0), bytes(block3), bytes(block7)]

        wait_until_up(WRITTEN, "10.77.0.41")
        self.assertEqual(blocks(device_state(WRITTEN)), expected)
        self.assertEqual(writes_to(WRITTEN), expected)

        again = found(WRITTEN)
        self.assertEqual(again["ip"], "10.77.0.41")
        settings = again["settings"]
        self.assertEqual((settings["netmask"], settings["gateway"], settings["localPort"]),
                         ("255.255.0.0", "10.77.0.254", 10100))
        self.assertEqual((settings["baudRate"], settings["dataBits"], settings["parity"],
                          settings["stopBits"], settings["flowControl"]), (57600, 7, 2, 2, 2))
        self.assertEqual((settings["protocol"], settings["connectMode"] & 0x0F,
                          settings["remoteIp"], settings["remotePort"]),
                         (0, 5, "10.77.0.201", 4100))
        self.assertEqual((settings["keepAlive"], settings["packControl"]), (30, 3))

    def test_a_device_off_the_subnet_only_gets_an_address(self):
        refused = run("write", OFF_SUBNET, "--yes", "--baud", "9600")
        self.assertEqual(refused.returncode, 2)
        self.assertIn("outside the adapter's subnet", text(refused.stderr))

        shown = json.loads(run("show", "172.16.5.20", "--json").stdout)["form"]
        self.assertEqual(shown["ipAddressCtrl"]["fields"], [172, 16, 5, 20])
        self.assertEqual(shown["netmaskCtrl"]["fields"], [None] * 4)
        self.assertFalse(shown["portEdit"]["enabled"])

        result = run("write", OFF_SUBNET, "--ip", "10.77.0.42", "--yes")
        self.assertEqual(result.returncode, 0, text(result.stderr))
        self.assertEqual(text(result.stdout), WRITE_COMPLETE + "\n")
        self.assertIn("設定を書き込みます。", text(result.stderr))
        wait_until_up(OFF_SUBNET, "10.77.0.42")
        # A broadcast that no single device took: the device is not named.
        packets = [bytes.fromhex(line["hex"]) for line in received("assignment")]
        self.assertEqual(packets, [bytes.fromhex("000000fc") + b"IP-SETUP"
                                   + bytes.fromhex("00009901") + socket.inet_aton("10.77.0.42")])

        again = found(OFF_SUBNET)
        self.assertTrue(again["configured"])
        self.assertEqual(again["settings"]["ipAddress"], "10.77.0.42")


class Ping(unittest.TestCase):
    def test_the_dialogs_probe_tells_own_address_conflict_and_free(self):
        # A taken address exits 1, so that a script can gate an assignment on it.
        cases = [
            ("10.77.0.20", "PINGに返答がありました。\n", 0),
            ("10.77.0.2", "PINGに返答がありました。\nこの設定はアドレス衝突の恐れがあります。\n", 1),
            ("10.77.0.250", "PINGに返答がありません。\nこのアドレスは設定可能と思われます。\n", 0),
        ]
        for address, message, status in cases:
            with self.subTest(address=address):
                result = run("ping", address, "--device", FIXED)
                self.assertEqual(result.returncode, status, text(result.stderr))
                self.assertEqual(text(result.stdout), message)


if __name__ == "__main__":
    run.path = sys.argv.pop(1)
    LIMITED_MODELS = sys.argv.pop(1)
    unittest.main()
