"""tamroctl doctor on a lab host side set up to fail: strict reverse-path
filtering, a firewall rule dropping the devices' replies, the port taken;
then --search against devices that clash.

Usage (scripts/lab.sh runs it in the lab's host namespace, with
doctor_devices.json):
    tamroctl_doctor_lab_test.py TAMROCTL
"""

import os
import shutil
import socket
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lab"))
from tamro_lab import ADAPTER, Program, trace  # noqa: E402

run = Program(text=True)  # tamroctl, named by the first argument
IF = os.environ.get("TAMRO_LAB_ADAPTER_IF", "veth0")


def sh(command):
    subprocess.run(command, shell=True, check=True, capture_output=True, timeout=10)


def findings(output):
    """[(kind, what, why, fix)] from the doctor's report."""
    found = []
    for line in output.splitlines():
        if line.startswith(("[problem] ", "[ok] ", "[info] ", "[skipped] ")):
            kind, what = line[1:].split("] ", 1)
            found.append([kind, what, "", ""])
        elif line.startswith("    why: "):
            found[-1][2] = line[9:]
        elif line.startswith("    fix: "):
            found[-1][3] = line[9:]
    return found


def problems(output, word):
    return [f for f in findings(output) if f[0] == "problem" and word in f[1]]


class HostChecks(unittest.TestCase):
    def doctor(self, adapter=("--adapter", IF)):
        before = len(trace())
        result = run("doctor", *adapter)
        # Without --search the doctor sends nothing at all.
        self.assertEqual([line for line in trace()[before:] if line.get("dir") == "rx"], [])
        self.assertIn(f"checking {ADAPTER}", result.stdout)
        return result

    def test_strict_reverse_path_filtering_is_found_and_its_fix_works(self):
        sh(f"sysctl -qw net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.{IF}.rp_filter=1")
        found = problems(self.doctor().stdout, "strict reverse-path filtering")
        self.assertEqual(len(found), 1)
        self.assertIn("outside the adapter's subnet", found[0][2])
        # The lab's host side has no gateway: the filter goes off, or a route leads back.
        sh(found[0][3].split(", or ")[1])
        self.assertEqual(problems(self.doctor().stdout, "reverse-path"), [])
        with open(f"/proc/sys/net/ipv4/conf/{IF}/rp_filter", encoding="ascii") as level:
            self.assertEqual(level.read().strip(), "0")

    def test_a_firewall_rule_dropping_replies_is_found_and_its_fix_works(self):
        if shutil.which("nft") is None:
            self.skipTest("nftables is not installed")
        sh("nft add table inet tamrolab")
        try:
            sh("nft add chain inet tamrolab input "
               "'{ type filter hook input priority 0; policy accept; }'")
            sh("nft add rule inet tamrolab input udp sport 30718 drop")
            sh("nft add rule inet tamrolab input tcp dport 22 drop")  # not the devices' business
            result = self.doctor()
            self.assertEqual(result.returncode, 1)
            found = problems(result.stdout, "nftables rule")
            self.assertEqual(len(found), 1)
            self.assertRegex(found[0][1],
                             r"^nftables rule in inet tamrolab input \(handle \d+\): udp sport 30718 drop$")
            self.assertRegex(found[0][3], r"^nft delete rule inet tamrolab input handle \d+$")
            sh(found[0][3])
            self.assertEqual(problems(self.doctor().stdout, "nftables"), [])

            # A dropping policy with nothing accepting the port is found too.
            sh("nft add chain inet tamrolab closed "
               "'{ type filter hook input priority 1; policy drop; }'")
            sh("nft add rule inet tamrolab closed ip saddr 10.77.0.0/24 accept")
            found = problems(self.doctor().stdout, "by policy")
            self.assertEqual(len(found), 1)
            self.assertEqual(found[0][3], f'nft insert rule inet tamrolab closed iifname "{IF}" '
                                          "udp sport 30718 accept")
            sh(found[0][3])
            self.assertEqual(problems(self.doctor().stdout, "nftables"), [])
        finally:
            sh("nft delete table inet tamrolab")

    def test_the_port_taken_on_the_adapter_is_found_with_its_holder(self):
        holder = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        try:
            holder.bind((ADAPTER, 30718))
            found = problems(self.doctor().stdout, "UDP port 30718 is taken")
            self.assertEqual(len(found), 1)
            self.assertIn(f"on {ADAPTER} by process {os.getpid()}", found[0][1])
            self.assertEqual(found[0][3], f"end it: kill {os.getpid()}")
        finally:
            holder.close()
        result = self.doctor()
        self.assertEqual(problems(result.stdout, "UDP port"), [])
        self.assertIn(f"[ok] UDP port 30718 is free on {ADAPTER}", result.stdout)

    def test_interfaces_say_why_they_are_or_are_not_adapters(self):
        sh("ip link add tamrodummy type veth peer name tamropeer")
        try:
            # Beside the adapter named, another interface is only information.
            output = self.doctor().stdout
            self.assertIn(f"[ok] interface {IF} is a usable adapter: {ADAPTER}/24", output)
            self.assertEqual(problems(output, "interface tamrodummy"), [])
            self.assertIn("[info] interface tamrodummy is not a usable adapter", output)
            # With none named, every interface counts; loopback never does.
            output = self.doctor(adapter=()).stdout
            self.assertNotIn("interface lo ", output)
            found = problems(output, "interface tamrodummy")
            self.assertEqual(len(found), 1)
            self.assertIn("down", found[0][1])
            self.assertIn("no IPv4 address", found[0][1])
            self.assertEqual(found[0][3], "ip link set tamrodummy up (and check its cable)")
            # Up, with an address on the lab's subnet: usable, and a second
            # adapter on the same subnet.
            sh("ip link set tamropeer up && ip link set tamrodummy up"
               " && ip address add 10.77.0.250/24 dev tamrodummy")
            output = self.doctor().stdout
            self.assertIn("[ok] interface tamrodummy is a usable adapter: 10.77.0.250/24", output)
            found = problems(output, "on the same subnet")
            self.assertEqual(len(found), 1)
            self.assertIn(f"{ADAPTER} ({IF})", found[0][1])
            self.assertIn("10.77.0.250 (tamrodummy)", found[0][1])
        finally:
            sh("ip link del tamrodummy")


class SearchChecks(unittest.TestCase):
    def test_the_devices_clashes_are_named(self):
        sh(f"sysctl -qw net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.{IF}.rp_filter=0")
        result = run("doctor", "--adapter", IF, "--search")
        self.assertEqual(result.returncode, 1, result.stderr)
        found = [f[1] for f in findings(result.stdout) if f[0] == "problem"]
        self.assertIn("02-00-00-00-03-10 / 10.77.0.10 and 02-00-00-00-03-11 / 10.77.0.10 "
                      "answer from the same address", found)
        shared = [f for f in findings(result.stdout) if "answer from the same address" in f[1]]
        # Only an assignment by MAC reaches the one device meant.
        self.assertEqual(shared[0][3],
                         "tamroctl ping FREE_ADDRESS, then tamroctl assign 02-00-00-00-03-11 "
                         "FREE_ADDRESS")
        self.assertIn("02-00-00-00-03-40 / 10.77.0.40 answered the search but its settings "
                      "could not be read; it is not listed", found)
        self.assertIn("02-00-00-00-03-20 / 10.77.0.20 and 02-00-00-00-03-20 / 10.77.0.21 "
                      "carry the same MAC address", found)
        self.assertIn("02-00-00-01-03-30 / 10.77.0.30 and 02-00-00-02-03-30 / 10.77.0.31 "
                      "end in the same two MAC bytes", found)
        off = [f for f in findings(result.stdout) if "outside the adapter's subnet" in f[1]]
        self.assertEqual(len(off), 1)
        self.assertIn("02-00-00-00-56-78 / 172.16.5.9", off[0][1])
        self.assertIn("10.77.0.0/24", off[0][1])
        self.assertIn("--ip FREE_ADDRESS", off[0][3])
        # A cloned MAC is not also reported as sharing its last two bytes.
        self.assertEqual(len([f for f in found if "02-00-00-00-03-20 / 10.77.0.20 and" in f]), 1)


if __name__ == "__main__":
    run.path = sys.argv.pop(1)
    unittest.main()
