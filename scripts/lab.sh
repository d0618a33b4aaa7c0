#!/usr/bin/env bash
# shellcheck disable=SC2317  # the clean-up functions are reached through traps
# Runs a command on the host side of a two-namespace lab whose device side is
# played by tamro-devsim, then tears the lab down whatever happened.
#
#   host namespace                          device namespace
#   veth0 10.77.0.1/24  <---- veth ---->    veth1 10.77.0.2/24 + one /32 per device
#   (COMMAND runs here)                     (tamro-devsim runs here)
#
# Nothing is created in, or sent from, the machine's own namespace.
set -euo pipefail

usage() {
  cat >&2 <<'EOF'
usage: lab.sh --devsim PATH --devices FILE [--trace FILE] [--state FILE]
              [--restart-ms N] [--timeout SECONDS] [--devsim-arg ARG]... -- COMMAND [ARGS...]

Runs COMMAND in the host namespace with these variables set:
  TAMRO_LAB_HOST_NS, TAMRO_LAB_DEVICE_NS   namespace names
  TAMRO_LAB_ADAPTER, TAMRO_LAB_MASK        10.77.0.1, 255.255.255.0
  TAMRO_LAB_ADAPTER_IF, TAMRO_LAB_DEVICE_IF  veth0 (host side), veth1 (device side)
  TAMRO_LAB_DEVICE_SIDE                    10.77.0.2
  TAMRO_LAB_DEVICES, TAMRO_LAB_TRACE, TAMRO_LAB_STATE  the files
  TAMRO_LAB_DEVSIM_PID                     the simulator's process id
Exits with COMMAND's status (124 when --timeout ran out, 77 when not root).
EOF
  exit 2
}

devsim="" devices="" trace="" state="" restart_ms="" timeout_s=600
devsim_args=()
while (($#)); do
  case $1 in
    --devsim) devsim=${2:?}; shift 2 ;;
    --devices) devices=${2:?}; shift 2 ;;
    --trace) trace=${2:?}; shift 2 ;;
    --state) state=${2:?}; shift 2 ;;
    --restart-ms) restart_ms=${2:?}; shift 2 ;;
    --timeout) timeout_s=${2:?}; shift 2 ;;
    --devsim-arg) devsim_args+=("${2:?}"); shift 2 ;;
    --) shift; break ;;
    -h|--help) usage ;;
    *) echo "lab.sh: unknown argument: $1" >&2; usage ;;
  esac
done
(($#)) || { echo "lab.sh: no command given" >&2; usage; }
[[ -n $devsim && -n $devices ]] || usage
[[ $timeout_s =~ ^[1-9][0-9]*$ ]] || { echo "lab.sh: --timeout takes whole seconds" >&2; exit 2; }

if [[ $(id -u) -ne 0 ]]; then
  echo "lab.sh: needs root (it creates network namespaces)" >&2
  exit 77
fi
command -v ip >/dev/null || { echo "lab.sh: needs the ip command (iproute2)" >&2; exit 2; }
[[ -x $devsim ]] || { echo "lab.sh: not executable: $devsim" >&2; exit 2; }
[[ -r $devices ]] || { echo "lab.sh: cannot read: $devices" >&2; exit 2; }

devsim=$(realpath "$devsim")
devices=$(realpath "$devices")
workdir=$(mktemp -d "${TMPDIR:-/tmp}/tamro-lab.XXXXXX")
trace=$(realpath -m "${trace:-$workdir/trace.jsonl}")
state=$(realpath -m "${state:-$workdir/state.json}")
ready=$workdir/ready

# Unique per run, so that labs running side by side never meet.
suffix="$$-$(od -An -N4 -tx4 /dev/urandom | tr -d ' ')"
host_ns="tamro-h-$suffix"
device_ns="tamro-d-$suffix"
devsim_pid="" command_pid=""

# A zombie still answers kill -0, so look at the process state itself.
is_running() {
  local stat
  { stat=$(<"/proc/$1/stat"); } 2>/dev/null || return 1
  stat=${stat##*) }
  [[ ${stat%% *} != Z ]]
}

# Ends a process: TERM, then KILL after 3 s. Leaves a child's exit status in
# stopped_status.
stop_pid() {
  local pid=$1 i
  if kill -TERM "$pid" 2>/dev/null; then
    for ((i = 0; i < 60; i++)); do
      is_running "$pid" || break
      sleep 0.05
    done
    is_running "$pid" && kill -KILL "$pid" 2>/dev/null
  fi
  wait "$pid" 2>/dev/null
  stopped_status=$?
}

cleanup() {
  local status=$?
  trap - EXIT INT TERM
  set +e
  [[ -n $command_pid ]] && stop_pid "$command_pid"
  if [[ -n $devsim_pid ]]; then
    stop_pid "$devsim_pid"
    # A simulator that crashed, or was found faulty on its way out, spoils the run.
    if ((stopped_status != 0)); then
      echo "lab.sh: tamro-devsim ended with status $stopped_status" >&2
      ((status != 0)) || status=1
    fi
  fi
  # Whatever the command left running inside the lab goes with it.
  for ns in "$host_ns" "$device_ns"; do
    for pid in $(ip netns pids "$ns" 2>/dev/null); do stop_pid "$pid"; done
    ip netns del "$ns" 2>/dev/null
  done
  rm -rf "$workdir"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

in_host() { ip netns exec "$host_ns" "$@"; }
in_device() { ip netns exec "$device_ns" "$@"; }

ip netns add "$host_ns"
ip netns add "$device_ns"
# Both ends are born inside the lab namespaces, never in the machine's own.
ip -n "$host_ns" link add veth0 type veth peer name veth1 netns "$device_ns"
ip -n "$host_ns" addr add 10.77.0.1/24 dev veth0
ip -n "$device_ns" addr add 10.77.0.2/24 dev veth1
for ns in "$host_ns" "$device_ns"; do ip -n "$ns" link set lo up; done
ip -n "$host_ns" link set veth0 up
ip -n "$device_ns" link set veth1 up
# Off-subnet devices answer from addresses the host has no route back to;
# strict reverse-path filtering would drop those replies without a word.
in_host sysctl -qw net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.default.rp_filter=0 \
  net.ipv4.conf.veth0.rp_filter=0 "net.ipv4.ping_group_range=0 2147483647"
in_device sysctl -qw net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.veth1.rp_filter=0
# A device that comes back at a new address is found by the next ARP probe;
# probing every 100 ms instead of every second keeps the tests short.
in_host sysctl -qw net.ipv4.neigh.veth0.retrans_time_ms=100
in_device sysctl -qw net.ipv4.neigh.veth1.retrans_time_ms=100

devsim_cmd=("$devsim" --devices "$devices" --interface veth1 --trace "$trace" --state "$state"
  --ready-file "$ready" --max-seconds "$((timeout_s + 60))")
[[ -n $restart_ms ]] && devsim_cmd+=(--restart-ms "$restart_ms")
devsim_cmd+=("${devsim_args[@]}")
# ip netns exec replaces itself with the program, so $! is the simulator.
ip netns exec "$device_ns" "${devsim_cmd[@]}" &
devsim_pid=$!

for ((i = 0; i < 200; i++)); do
  [[ -s $ready ]] && break
  if ! is_running "$devsim_pid"; then
    wait "$devsim_pid" || true
    devsim_pid=""
    echo "lab.sh: tamro-devsim ended before it was ready" >&2
    exit 1
  fi
  sleep 0.05
done
[[ -s $ready ]] || { echo "lab.sh: tamro-devsim not ready after 10 s" >&2; exit 1; }

# A program that lists its adapters before the link reports itself up would
# find none: wait for it (bounded), as a technician waits for the link light.
for ((i = 0; i < 100; i++)); do
  [[ $(in_host cat /sys/class/net/veth0/operstate 2>/dev/null) == up ]] && break
  sleep 0.05
done

export TAMRO_LAB_HOST_NS=$host_ns TAMRO_LAB_DEVICE_NS=$device_ns
export TAMRO_LAB_ADAPTER=10.77.0.1 TAMRO_LAB_MASK=255.255.255.0
export TAMRO_LAB_ADAPTER_IF=veth0 TAMRO_LAB_DEVICE_IF=veth1 TAMRO_LAB_DEVICE_SIDE=10.77.0.2
export TAMRO_LAB_DEVICES=$devices TAMRO_LAB_TRACE=$trace TAMRO_LAB_STATE=$state
export TAMRO_LAB_DEVSIM_PID=$devsim_pid

# In the background, so that a signal to this script is acted on at once.
ip netns exec "$host_ns" timeout -k 5 "$timeout_s" "$@" 0<&0 &
command_pid=$!
set +e
wait "$command_pid"
status=$?
set -e
command_pid=""
exit "$status"
