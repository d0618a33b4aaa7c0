#!/usr/bin/env bash
# Search timings against simulated devices, each case in a lab of its own.
# Needs root; nothing is sent from the machine's namespace.
#   scripts/benchmark.sh [BUILD_DIR] [RUNS] [CASE...]
# A case is DEVICES[/DEAD[/DELAY_MS]]: DEAD devices (spread through the list)
# answer discovery but no block read; DELAY_MS delays every reply.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
runs=${2:-5}
cases=("${@:3}")
((${#cases[@]})) || cases=(1 16 64 255 64/6 255/25 1/0/50 16/0/50 64/0/50 255/0/50 64/6/50 255/25/50)

if [[ ! -x $build/bin/tamro_wire_benchmark ]]; then
  scripts/install-deps.sh
  cmake -G Ninja -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  ninja -C "$build" tamro_wire_benchmark tamro-devsim >&2
fi

devices=$(mktemp -d)
trap 'rm -rf "$devices"' EXIT
status=0
echo "| case (devices/dead/delay) | search (median) | floor: last reply + 1000 ms | ratio (worst run) | listed | block 0 exchange |"
echo "|---|---|---|---|---|---|"
for case in "${cases[@]}"; do
  IFS=/ read -r count dead delay <<<"$case"
  dead=${dead:-0} delay=${delay:-0}
  file="$devices/${case//\//-}.json"
  expected=$(python3 - "$count" "$dead" "$delay" "$file" <<'PY'
import json, sys
count, dead, delay, path = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
# 252 addresses fit on the lab's /24 beside the host and the device side;
# the rest answer from off the subnet, which the search lists but does not read.
devices = [{"address": f"10.77.0.{3 + i}" if i < 252 else f"172.16.5.{i - 251}",
            "mac": f"02-00-00-00-{i // 256:02x}-{i % 256:02x}", "type_code": "X1"}
           for i in range(count)]
on_subnet = min(count, 252)
dead_ones = {round((k + 0.5) * on_subnet / dead) for k in range(dead)} if dead else set()
for i, device in enumerate(devices):
    faults = {}
    if i in dead_ones:
        faults["silent_reads"] = [0, 3, 7]
    if delay:
        faults["discovery_delay_ms"] = delay
        faults["block_delay_ms"] = delay
    if faults:
        device["faults"] = faults
json.dump({"devices": devices}, open(path, "w"))
print(count - len(dead_ones))
PY
)
  bash scripts/lab.sh --devsim "$build/bin/tamro-devsim" --devices "$file" \
    --timeout 300 -- "$build/bin/tamro_wire_benchmark" "$case" "$expected" "$runs" || {
    rc=$?
    ((rc == 77)) && exit 77  # not root: nothing ran
    status=1
  }
done
exit $status
