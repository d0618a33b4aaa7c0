#!/usr/bin/env bash
# Captures the saved rule sets the firewall unit tests read: each set is
# loaded into a throwaway network namespace of its own and listed there, so
# the machine's own firewall is never touched. Needs root.
#   capture.sh [DIRECTORY]   (default: beside this script)
set -euo pipefail
out=${1:-$(dirname "$(realpath "$0")")}
ns="tamro-fwcap-$$"
trap 'ip netns del "$ns" 2>/dev/null || true' EXIT

# capture NAME: runs the commands on stdin inside a fresh namespace, then
# saves nft -j list ruleset as NAME.json and iptables-save as NAME.txt
# (the latter only when the commands used iptables).
capture() {
  ip netns del "$ns" 2>/dev/null || true
  ip netns add "$ns"
  ip netns exec "$ns" bash -euo pipefail -s
  ip netns exec "$ns" nft -j list ruleset | python3 -m json.tool --indent 1 >"$out/$1.json"
  if ip netns exec "$ns" iptables-save | grep -q '^\*'; then
    ip netns exec "$ns" iptables-save | sed -E 's/ on [A-Z][a-z]{2} .*$//' >"$out/$1.txt"
  fi
}

capture nft_sport_range <<'RULES'
nft add table inet filter
nft add chain inet filter input '{ type filter hook input priority 0; policy accept; }'
nft add rule inet filter input tcp dport 22 drop
nft add rule inet filter input iifname "veth0" udp sport 30000-31000 drop
RULES

capture nft_source_subnet <<'RULES'
nft add table ip guard
nft add chain ip guard input '{ type filter hook input priority 0; policy accept; }'
nft add rule ip guard input ip saddr 10.77.0.0/16 meta l4proto udp drop
nft add rule ip guard input ip saddr 10.77.0.128/25 icmp type echo-reply drop
RULES

capture nft_jump_udp <<'RULES'
nft add table inet filter
nft add chain inet filter lan
nft add rule inet filter lan meta l4proto udp drop
nft add chain inet filter input '{ type filter hook input priority 0; policy accept; }'
nft add rule inet filter input iifname "veth*" jump lan
RULES

capture nft_policy_tcp_only <<'RULES'
nft add table inet filter
nft add chain inet filter input '{ type filter hook input priority 0; policy drop; }'
nft add rule inet filter input ct state established,related accept
nft add rule inet filter input ct state invalid drop
nft add rule inet filter input iif lo accept
nft add rule inet filter input tcp dport 30718 accept
RULES

capture nft_comment_handle <<'RULES'
nft add table inet filter
nft add chain inet filter input '{ type filter hook input priority 0; policy accept; }'
nft add rule inet filter input tcp dport 22 accept
nft add rule inet filter input tcp dport 23 drop
nft add rule inet filter input udp sport 30718 drop comment '"old rule # handle 99"'
RULES

capture nft_echo_policy <<'RULES'
nft add table inet filter
nft add chain inet filter input '{ type filter hook input priority 0; policy drop; }'
nft add rule inet filter input udp sport 30718 accept
RULES

capture nft_undecided <<'RULES'
nft add table inet filter
nft add set inet filter lab '{ type ipv4_addr; flags interval; elements = { 10.77.0.0/25 } }'
nft add chain inet filter input '{ type filter hook input priority 0; policy accept; }'
nft add rule inet filter input meta mark 0x1 udp sport 30718 drop
nft add rule inet filter input ip saddr @lab udp dport 30718 drop
nft add rule inet filter input udp dport 40000-40100 drop
nft add chain inet filter other
nft add rule inet filter input iifname vmap '{ "lo" : accept, "veth0" : jump other }'
nft add rule inet filter other limit rate 10/second accept
nft add rule inet filter other drop
RULES

capture iptables_cases <<'RULES'
iptables -N LAN
iptables -A LAN -p udp -j REJECT
iptables -A INPUT -p tcp --dport 22 -j DROP
iptables -A INPUT -p udp -m multiport --sports 30700:30800,9 -j DROP
iptables -A INPUT -s 10.77.0.0/16 -p udp -j DROP
iptables -A INPUT -i veth0 -p udp --sport 30718 -m comment --comment "old # handle 99" -j DROP
iptables -A INPUT -i veth+ -j LAN
RULES

capture iptables_policy <<'RULES'
iptables -P INPUT DROP
iptables -A INPUT -m conntrack --ctstate RELATED,ESTABLISHED -j ACCEPT
iptables -A INPUT -i lo -j ACCEPT
iptables -A INPUT -p tcp --dport 30718 -j ACCEPT
iptables -t raw -A PREROUTING -p udp --dport 9 -j DROP
nft add table inet own
nft add chain inet own input '{ type filter hook input priority 10; policy accept; }'
nft add rule inet own input icmp type echo-reply drop
RULES
