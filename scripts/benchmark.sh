#!/usr/bin/env bash
# Discovery and search timings for 1, 16 and 256 simulated devices, each in a
# lab of its own. Needs root; nothing is sent from the machine's namespace.
#   scripts/benchmark.sh [BUILD_DIR] [RUNS] [DEVICE_COUNT...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
runs=${2:-5}
counts=("${@:3}")
((${#counts[@]})) || counts=(1 16 256)

if [[ ! -x $build/bin/tamro_wire_benchmark ]]; then
  scripts/install-deps.sh
  cmake -G Ninja -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  ninja -C "$build" tamro_wire_benchmark tamro-devsim >&2
fi

devices=$(mktemp -d)
trap 'rm -rf "$devices"' EXIT
status=0
for count in "${counts[@]}"; do
  python3 - "$count" >"$devices/$count.json" <<'PY'
import json, sys
count = int(sys.argv[1])
# 252 addresses fit on the lab's /24 beside the host and the device side;
# the rest answer from off the subnet, which the search lists but does not read.
devices = [{"address": f"10.77.0.{3 + i}" if i < 252 else f"172.16.5.{i - 251}",
            "mac": f"02-00-00-00-{i // 256:02x}-{i % 256:02x}", "type_code": "X1"}
           for i in range(count)]
print(json.dumps({"devices": devices}))
PY
  bash scripts/lab.sh --devsim "$build/bin/tamro-devsim" --devices "$devices/$count.json" \
    --timeout 120 -- "$build/bin/tamro_wire_benchmark" "$count" "$runs" || {
    rc=$?
    ((rc == 77)) && exit 77  # not root: nothing ran
    status=1
  }
done
exit $status
