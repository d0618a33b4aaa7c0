#!/usr/bin/env bash
# Cross-builds the Windows programs (tamroctl.exe) and their tests with
# MinGW-w64 into BUILD_DIR (default build/windows):
#   scripts/build-windows.sh [BUILD_DIR] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${1:-build/windows}
shift $(($# > 0 ? 1 : 0))
cmake -G Ninja -S . -B "$build_dir" \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE="${TAMRO_BUILD_TYPE:-Release}" \
  -DTAMRO_WERROR=ON >/dev/null
ninja -C "$build_dir" -j "${TAMRO_JOBS:-$(nproc)}" "$@"
