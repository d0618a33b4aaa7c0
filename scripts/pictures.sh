#!/usr/bin/env bash
# Renders the setup window to docs/pictures/*.png, offscreen, in the states the
# README shows: at start; a device on the subnet selected; a device off the
# subnet selected; after a model choice that fixes the port and limits the
# baud rate. The devices are simulated on the far side of the namespace lab,
# so this needs root; nothing is sent from the machine's own network.
#
#   scripts/pictures.sh [BUILD_DIR]      (default build/pictures)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/pictures}
scripts/install-deps.sh
cmake -G Ninja -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAMRO_BUILD_TESTS=OFF >/dev/null
ninja -C "$build" -j "$(nproc)" tamro-pictures tamro-devsim >&2

out=$PWD/docs/pictures
mkdir -p "$out"
scripts/lab.sh --devsim "$build/bin/tamro-devsim" --devices data/demo_devices.json --timeout 120 -- \
  env QT_QPA_PLATFORM=offscreen "$build/bin/tamro-pictures" --out "$out" \
    --on 10.77.0.10 --off 172.16.5.9 --model QZ-200F -- "$PWD/data/tamro.dat"
