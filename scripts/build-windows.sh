#!/usr/bin/env bash
# Cross-builds the Windows programs (tamroctl.exe) and their tests with
# MinGW-w64, statically linked, into BUILD_DIR (default build/windows):
#
#   scripts/build-windows.sh [BUILD_DIR] [-DOPTION=VALUE...] [TARGET...]
#
# -D options go to CMake (TAMRO_LINUX_BUILD_DIR names a Linux build whose
# tamro-devsim and tamroctl the Windows lab tests use); the rest are ninja
# targets (default: everything). TAMRO_JOBS sets ninja's job count.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build/windows
# The build directory is a path (it holds a slash); targets are plain names.
if (($#)) && [[ $1 == */* ]]; then build_dir=$1; shift; fi
cmake_args=() targets=()
for argument in "$@"; do
  case $argument in
    -D*) cmake_args+=("$argument") ;;
    *) targets+=("$argument") ;;
  esac
done

# -O2, not -O3: MinGW's GCC 12 warns falsely (-Wrestrict) inside
# std::string at -O3, and -O2 compiles faster.
cmake -G Ninja -S . -B "$build_dir" \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE="${TAMRO_BUILD_TYPE:-Release}" \
  -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DTAMRO_WERROR=ON "${cmake_args[@]}" >/dev/null
ninja -C "$build_dir" -j "${TAMRO_JOBS:-$(nproc)}" "${targets[@]}"
