"""tamroctl doctor against firewall rules set inside the lab's host
namespace: each rule set that drops the devices' replies or echo replies is
found with the rule it comes from, its printed fix is run, and the finding is
gone; where cheap, a search or ping shows the packets pass again.

Usage (scripts/lab.sh runs it in the lab's host namespace, with
firewall_devices.json):
    tamroctl_firewall_lab_test.py TAMROCTL
"""

import json
import os
import re
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lab"))
from tamro_lab import Program  # noqa: E402

run = Program(text=True, timeout=20)  # tamroctl, named by the first argument
IF = os.environ.get("TAMRO_LAB_ADAPTER_IF", "veth0")
DEVICE = "10.77.0.10"


def sh(command):
    subprocess.run(command, shell=True, check=True, capture_output=True, timeout=10)


def findings(output):
    """[(kind, what, why, fix)] from the doctor's report."""
    found = []
    for line in output.splitlines():
        match = re.match(r"^\[(problem|ok|info|skipped|unsure)\] (.*)$", line)
        if match:
            found.append([match.group(1), match.group(2), "", ""])
        elif line.startswith("    why: "):
            found[-1][2] = line[9:]
        elif line.startswith("    fix: "):
            found[-1][3] = line[9:]
    return found


def firewall(output, kinds=("problem", "unsure")):
    return [f for f in findings(output)
            if f[0] in kinds and (f[1].startswith("nftables") or f[1].startswith("iptables"))]


def doctor():
    return run("doctor", "--adapter", IF).stdout


def listed():
    result = run("search", "--adapter", IF, "--json")
    return {device["ip"] for device in json.loads(result.stdout)["devices"]} if result.stdout else set()


def nft_table(*rules, policy="accept"):
    """An inet table with an input chain holding `rules`."""
    return ["nft add table inet lab",
            f"nft add chain inet lab input '{{ type filter hook input priority 0; policy {policy}; }}'",
            *[f"nft add rule inet lab input {rule}" for rule in rules]]


class Rules(unittest.TestCase):
    def setUp(self):
        if shutil.which("nft") is None:
            self.skipTest("nftables is not installed")
        sh("nft flush ruleset")

    def tearDown(self):
        sh("nft flush ruleset")

    def fixed(self, setup, named, search=False):
        """Sets the rules, finds the one problem naming `named`, runs its fix.
        With `search`, the devices are missing before the fix and back after."""
        for command in setup:
            sh(command)
        output = doctor()
        found = [f for f in firewall(output, ("problem",)) if named in f[1]]
        self.assertEqual(len(found), 1, output)
        # Never [ok] beside a problem of the same listing.
        self.assertNotIn("[ok] " + found[0][1].split()[0] + ":", output)
        if search:
            self.assertNotIn(DEVICE, listed())
        sh(found[0][3])
        output = doctor()
        self.assertEqual(firewall(output), [], output)
        if search:
            self.assertIn(DEVICE, listed())
        return found[0]

    def test_nftables_port_range_on_the_interface(self):
        found = self.fixed(nft_table('iifname "veth0" udp sport 30000-31000 drop'),
                           'iifname "veth0" udp sport 30000-31000 drop', search=True)
        self.assertRegex(found[3], r"^nft delete rule inet lab input handle \d+$")

    def test_nftables_source_subnet(self):
        found = self.fixed(nft_table("ip saddr 10.77.0.0/16 drop"), "ip saddr 10.77.0.0/16 drop")
        # One rule, both kinds of reply.
        self.assertIn("discovery replies from devices on 10.77.0.0/24", found[2])
        self.assertIn("PING then reports", found[2])

    def test_nftables_jump_to_a_chain_dropping_udp(self):
        found = self.fixed(["nft add table inet lab", "nft add chain inet lab lan",
                            "nft add rule inet lab lan meta l4proto udp drop",
                            *nft_table("iifname \\\"veth*\\\" jump lan")[1:]],
                           "nftables rule in inet lab lan")
        self.assertRegex(found[3], r"^nft delete rule inet lab lan handle \d+$")

    def test_nftables_policy_drop_accepting_only_tcp_on_the_port(self):
        # Established replies pass, discovery replies are new: dropped.
        found = self.fixed(nft_table("ct state established,related accept", "tcp dport 30718 accept",
                                     policy="drop"),
                           "nftables chain inet lab input drops the devices' replies by policy",
                           search=True)
        self.assertEqual(found[3], f'nft insert rule inet lab input iifname "{IF}" udp sport 30718 accept')

    def test_a_comment_naming_another_handle_is_not_the_rules_handle(self):
        setup = nft_table("tcp dport 22 accept")
        sh_first = setup + ["nft add rule inet lab input udp sport 30718 drop comment '\"old # handle 2\"'"]
        found = self.fixed(sh_first, "old # handle 2")
        self.assertNotRegex(found[3], r"handle 2$")
        listing = subprocess.run(["nft", "list", "ruleset"], capture_output=True, text=True,
                                 check=True, timeout=10).stdout
        self.assertIn("tcp dport 22 accept", listing)

    def test_echo_replies_dropped_by_policy(self):
        def answered():
            return run("ping", DEVICE, "--adapter", IF).returncode == 0
        self.assertTrue(answered())
        found = self.fixed(nft_table("udp sport 30718 accept", policy="drop"),
                           "drops echo replies by policy")
        self.assertIn("icmp type echo-reply accept", found[3])
        self.assertTrue(answered())

    def iptables(self, *commands, named, search=False):
        if shutil.which("iptables") is None:
            self.skipTest("iptables is not installed")
        return self.fixed([f"iptables {command}" for command in commands], named, search)

    def test_iptables_multiport_source_ports(self):
        found = self.iptables("-A INPUT -p udp -m multiport --sports 30700:30800,9 -j DROP",
                              named="--sports 30700:30800,9")
        self.assertEqual(found[3], "iptables -D INPUT -p udp -m multiport --sports 30700:30800,9 -j DROP")

    def test_iptables_source_subnet(self):
        self.iptables("-A INPUT -s 10.77.0.0/16 -p udp -j DROP", named="-s 10.77.0.0/16")

    def test_iptables_interface(self):
        self.iptables(f"-A INPUT -i {IF} -p udp --sport 30718 -j DROP", named=f"-i {IF}", search=True)

    def test_iptables_jump_to_a_user_chain(self):
        found = self.iptables("-N LAN", "-A LAN -p udp -j REJECT", "-A INPUT -i veth+ -j LAN",
                              named="-A LAN -p udp")
        self.assertTrue(found[3].startswith("iptables -D LAN -p udp"), found[3])

    def test_iptables_policy_drop(self):
        found = self.iptables("-A INPUT -m conntrack --ctstate RELATED,ESTABLISHED -j ACCEPT",
                              "-P INPUT DROP",
                              named="iptables chain INPUT drops the devices' replies by policy",
                              search=True)
        self.assertEqual(found[3], f"iptables -I INPUT -i {IF} -p udp --sport 30718 -j ACCEPT")


if __name__ == "__main__":
    run.path = sys.argv.pop(1)
    unittest.main()
