#!/usr/bin/env bash
# Builds everything from a fresh machine and runs every test:
#   1. g++, warnings as errors, all tests;
#   2. clang++, warnings as errors, the tests outside the network lab;
#   3. g++ with AddressSanitizer and UndefinedBehaviorSanitizer, all tests;
#   4. the fuzz targets, 30 s each.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
ctest_args=()
run_suite() {
  local name=$1 compiler=$2; shift 2
  echo "== $name ==" >&2
  CXX=$compiler cmake -G Ninja -S . -B "build/$name" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTAMRO_WERROR=ON "$@" >/dev/null
  ninja -C "build/$name" -j "$jobs"
  ctest --test-dir "build/$name" --output-on-failure -j "$jobs" "${ctest_args[@]}"
}

run_suite gcc g++
# The lab tests exercise the same sources twice more; the clang run is for
# the compiler's warnings and the unit tests.
ctest_args=(-LE lab)
run_suite clang clang++
ctest_args=()
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite sanitize g++ -DTAMRO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug

echo "== fuzz ==" >&2
scripts/fuzz.sh 30
