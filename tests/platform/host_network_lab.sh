#!/usr/bin/env bash
# Runs a test program on the host side of a throw-away namespace lab and
# removes the lab afterwards, whatever happened. Nothing is ever sent from
# the machine's own namespace: every link below is created inside the lab.
#
#   host (the program runs here)            peer        responder
#   lo      127.0.0.1, 127.0.0.2 (up)
#   v0 (index 50) 10.77.0.1/24, 10.77.0.11  --  v1 10.77.0.2/24
#   w0      10.78.0.1/24                     ---------------- w1 10.78.0.2-9/24
#   d0      10.79.0.1/24 (peer kept down)    ---------------- d1 (down)
#
# The peer answers echoes itself. The responder's own answering is off; the
# program answers there with crafted replies (it enters that namespace by the
# path in TAMRO_LAB_RESPONDER_NETNS).
#
# Usage: host_network_lab.sh PROGRAM [ARGUMENTS...]; exits 77 (skipped) when
# it cannot build the lab (not root, no iproute2).
set -euo pipefail

if [[ $# -lt 1 ]]; then
  echo "usage: $0 PROGRAM [ARGUMENTS...]" >&2
  exit 2
fi
if [[ $(id -u) -ne 0 ]] || ! command -v ip >/dev/null; then
  echo "host network lab needs root and iproute2; skipped" >&2
  exit 77
fi

run_id="$$-${RANDOM}"
host="tamro-hn-host-${run_id}"
peer="tamro-hn-peer-${run_id}"
responder="tamro-hn-resp-${run_id}"

cleanup() {
  for ns in "$host" "$peer" "$responder"; do
    ip netns del "$ns" 2>/dev/null || true
  done
}
trap cleanup EXIT
trap 'exit 130' INT TERM

for ns in "$host" "$peer" "$responder"; do
  ip netns add "$ns"
  ip -n "$ns" link set lo up
done

# An index far above the number of interfaces: such an adapter must still be listed.
ip -n "$host" link add v0 index 50 type veth peer name v1 netns "$peer"
ip -n "$host" link add w0 type veth peer name w1 netns "$responder"
ip -n "$host" link add d0 type veth peer name d1 netns "$responder"

ip -n "$host" addr add 127.0.0.2/8 dev lo
ip -n "$host" addr add 10.77.0.1/24 dev v0
ip -n "$host" addr add 10.77.0.11/24 dev v0 label v0:second
ip -n "$host" addr add 10.78.0.1/24 dev w0
ip -n "$host" addr add 10.79.0.1/24 dev d0
ip -n "$peer" addr add 10.77.0.2/24 dev v1
for last in 2 3 4 5 6 7 8 9; do
  ip -n "$responder" addr add "10.78.0.${last}/24" dev w1
done

ip netns exec "$host" sysctl -qw net.ipv4.ping_group_range="0 2147483647"
ip netns exec "$responder" sysctl -qw net.ipv4.icmp_echo_ignore_all=1

ip -n "$host" link set v0 up
ip -n "$host" link set w0 up
ip -n "$host" link set d0 up
ip -n "$peer" link set v1 up
ip -n "$responder" link set w1 up

# Links come up asynchronously; wait (bounded) until both ends report up.
for _ in $(seq 50); do
  if [[ $(ip netns exec "$host" cat /sys/class/net/v0/operstate) == up &&
        $(ip netns exec "$host" cat /sys/class/net/w0/operstate) == up ]]; then
    break
  fi
  sleep 0.1
done

# The program checks that it is not in the machine's own namespace before it sends anything.
machine_netns=$(readlink /proc/self/ns/net)
status=0
ip netns exec "$host" env TAMRO_LAB_MACHINE_NETNS="$machine_netns" \
  TAMRO_LAB_RESPONDER_NETNS="/var/run/netns/${responder}" "$@" || status=$?
exit "$status"
