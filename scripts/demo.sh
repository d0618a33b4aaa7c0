#!/usr/bin/env bash
# Installs what is needed, builds, and shows the models of the sample model file.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -G Ninja -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DTAMRO_BUILD_TESTS=OFF >/dev/null
ninja -C build/release -j "$(nproc)" >&2

echo "== tamroctl models (the sample model file beside the programs) ==" >&2
build/release/bin/tamroctl models
