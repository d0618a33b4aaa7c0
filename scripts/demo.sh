#!/usr/bin/env bash
# Installs what is needed, builds, shows the models of the sample model file,
# and then brings up the lab: five simulated devices behind a veth pair (three
# on the adapter's subnet with different settings, one outside it, one of a
# type the tool does not take). With a display ($DISPLAY) the setup window
# opens on the lab's host side; without one, tamroctl runs the same search and
# prints the devices. The lab is torn down at the end either way.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -G Ninja -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DTAMRO_BUILD_TESTS=OFF >/dev/null
ninja -C build/release -j "$(nproc)" >&2

echo "== tamroctl models (the sample model file beside the programs) ==" >&2
build/release/bin/tamroctl models

# Network namespaces need root. Nothing is sent from the machine's own
# network: the window and tamroctl run inside the lab.
if [[ $(id -u) -ne 0 ]]; then
  echo "== the lab needs root (network namespaces): skipped ==" >&2
  exit 0
fi
bin=$PWD/build/release/bin
lab=(scripts/lab.sh --devsim "$bin/tamro-devsim" --devices data/demo_devices.json)
echo "== the lab: adapter 10.77.0.1/24 (veth0); devices 10.77.0.10-13 and 172.16.5.9 ==" >&2
if [[ -n ${DISPLAY:-} ]]; then
  echo "== the setup window on the lab's host side: press 検索(S); close the window to end ==" >&2
  "${lab[@]}" --timeout 3600 -- "$bin/tamro"
else
  echo "== no display: the same search with tamroctl on the lab's host side ==" >&2
  "${lab[@]}" --timeout 120 -- "$bin/tamroctl" search
fi
