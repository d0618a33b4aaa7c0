#!/usr/bin/env bash
# Builds everything from a fresh machine and runs every test:
#   1. g++, warnings as errors, all tests;
#   2. clang++, warnings as errors, the tests outside the network lab;
#   3. g++ with AddressSanitizer and UndefinedBehaviorSanitizer, all tests;
#   4. the fuzz targets, 20 s each;
#   5. windows: the MinGW-w64 cross build, its tests under Wine (the Win32 dialog
#      on a private Xvfb display), tamroctl.exe and tamro.exe on the wire in the
#      lab against the Linux build's simulator and tamroctl;
#   6. package: the Debian packages built, installed here, checked and removed;
#      the Windows archive unpacked and run under Wine;
#   7. ansible: the tamro.devices collection built into its tarball and installed
#      from it, its modules' unit tests, and a playbook on two simulated sites
#      over SSH in the lab.
# With suite names (gcc, clang, sanitize, fuzz, windows, package, ansible) only those run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
# run_suite NAME COMPILER [CMAKE_ARG...] [-- CTEST_ARG...]: configures build/NAME,
# builds it and runs its tests with the ctest arguments given (all tests without).
run_suite() {
  local name=$1 compiler=$2; shift 2
  local cmake_args=() ctest_args=()
  while (($#)) && [[ $1 != -- ]]; do cmake_args+=("$1"); shift; done
  if (($#)); then shift; fi
  ctest_args=("$@")
  echo "== $name ==" >&2
  CXX=$compiler cmake -G Ninja -S . -B "build/$name" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTAMRO_WERROR=ON "${cmake_args[@]}" >/dev/null
  ninja -C "build/$name" -j "$jobs"
  ctest --test-dir "build/$name" --output-on-failure -j "$jobs" "${ctest_args[@]}"
}

wanted() { ((${#suites[@]} == 0)) || [[ " ${suites[*]} " == *" $1 "* ]]; }
suites=("$@")

run_windows_suite() {
  echo "== windows ==" >&2
  local started=$SECONDS
  # The lab side stays Linux: only the simulator and tamroctl of the gcc build.
  CXX=g++ cmake -G Ninja -S . -B build/gcc -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTAMRO_WERROR=ON >/dev/null
  ninja -C build/gcc -j "$jobs" tamro-devsim tamroctl
  TAMRO_JOBS=$jobs scripts/build-windows.sh build/windows \
    -DTAMRO_LINUX_BUILD_DIR="$PWD/build/gcc"
  # The Win32 dialog needs an X display: a private Xvfb for the suite.
  local display=:$((90 + RANDOM % 100)) xvfb
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  # The Wine tests take turns (they share one Wine prefix), so one job.
  local status=0
  DISPLAY=$display ctest --test-dir build/windows --output-on-failure -L windows || status=$?
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
  ((status == 0)) || return "$status"
  echo "windows suite: $((SECONDS - started)) s" >&2
}

# The collection's tests have a suite of their own (below), with its packages.
if wanted gcc; then run_suite gcc g++ -- -LE ansible; fi
# The lab tests exercise the same sources twice more; the clang run is for
# the compiler's warnings and the unit tests.
if wanted clang; then run_suite clang clang++ -- -LE 'lab|ansible'; fi
# The search's equivalence check repeats the search loop the other lab tests
# run under the sanitizers too, for a minute; the batch, fleet and refusal
# labs spend most of their minute each waiting on searches and restarts, over
# code the other lab tests run under the sanitizers too. The gcc run has them.
if wanted sanitize; then
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_suite sanitize g++ -DTAMRO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -- \
    -E 'search_equivalence_lab|tamroctl_(batch|fleet|refusals)_lab' -LE ansible
fi

if wanted fuzz; then
  echo "== fuzz ==" >&2
  scripts/fuzz.sh 20
fi
if wanted windows; then run_windows_suite; fi

# The Debian packages installed on this machine and removed again, and the
# Windows archive run under Wine.
if wanted package; then
  echo "== package ==" >&2
  started=$SECONDS
  TAMRO_EXTRA_PACKAGES="lintian desktop-file-utils man-db bash-completion" scripts/install-deps.sh
  TAMRO_JOBS=$jobs scripts/package.sh deb windows
  tests/package/package_test.sh "$PWD/build/windows/wine-run"
  echo "package suite: $((SECONDS - started)) s" >&2
fi

# The collection: built and installed from its tarball as a user would, then
# its tests against the gcc build's tamroctl and simulator (about 2 minutes).
run_ansible_suite() (
  echo "== ansible ==" >&2
  local started=$SECONDS
  TAMRO_EXTRA_PACKAGES="ansible-core python3-pytest openssh-server openssh-client" \
    scripts/install-deps.sh
  CXX=g++ cmake -G Ninja -S . -B build/gcc -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTAMRO_WERROR=ON >/dev/null
  ninja -C build/gcc -j "$jobs" tamro-devsim tamroctl
  local out=build/ansible
  rm -rf "$out"
  mkdir -p "$out/home"
  export ANSIBLE_HOME=$PWD/$out/home
  ansible-galaxy collection build --output-path "$out" ansible/ansible_collections/tamro/devices
  ansible-galaxy collection install -p "$out/collections" "$out"/tamro-devices-*.tar.gz
  local module
  for module in info settings address; do
    ANSIBLE_COLLECTIONS_PATH=$PWD/$out/collections ansible-doc "tamro.devices.$module" \
      | grep -q '^EXAMPLES' || { echo "ansible-doc tamro.devices.$module: no documentation" >&2; return 1; }
  done
  # The playbook runs the collection as installed from the tarball.
  TAMRO_ANSIBLE_COLLECTIONS=$PWD/$out/collections \
    ctest --test-dir build/gcc --output-on-failure -L ansible
  echo "ansible suite: $((SECONDS - started)) s" >&2
)
if wanted ansible; then run_ansible_suite; fi
