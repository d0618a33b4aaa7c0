#!/usr/bin/env bash
# Builds what is handed out, into dist/:
#   dist/tamro_VERSION_amd64.deb, dist/tamro-lab_VERSION_amd64.deb,
#   dist/tamro-ansible_VERSION_all.deb                                (deb)
#   dist/tamro-VERSION-windows-x64.zip                               (windows)
#
#   scripts/package.sh [deb] [windows]      (default: both)
#
# Installs the packages it needs by name (as root).
set -euo pipefail
cd "$(dirname "$0")/.."

wanted=("$@")
((${#wanted[@]})) || wanted=(deb windows)
TAMRO_EXTRA_PACKAGES="dpkg-dev file" scripts/install-deps.sh
jobs=${TAMRO_JOBS:-$(nproc)}
mkdir -p dist
version=$(sed -n 's/^project(tamro VERSION \([0-9]*\.[0-9]*\.[0-9]*\).*/\1/p' CMakeLists.txt)

# A subshell: Debian's flags are for this build only, not the cross build.
build_deb() (
  # Debian's own compiler and linker flags, hardening included.
  local flags
  flags=$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)
  eval "$flags"
  export CXXFLAGS="$CXXFLAGS $CPPFLAGS"
  rm -rf build/package
  # -O2 as Debian builds, and because GCC 12 warns falsely (-Wrestrict)
  # inside std::string at -O3.
  cmake -G Ninja -S . -B build/package -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DTAMRO_BUILD_TESTS=OFF -DTAMRO_WERROR=ON >/dev/null
  ninja -C build/package -j "$jobs"
  rm -f build/package/*.deb
  (cd build/package && cpack -G DEB >/dev/null)
  cp build/package/tamro_"$version"_*.deb build/package/tamro-lab_"$version"_*.deb \
    build/package/tamro-ansible_"$version"_all.deb dist/
  ls dist/*.deb
)

# The licences of what the static link puts inside the programs.
windows_licences() {
  local folder=$1
  mkdir -p "$folder"
  cp /usr/share/doc/gcc-mingw-w64-base/copyright "$folder/gcc-runtime.txt"
  cp /usr/share/doc/mingw-w64-x86-64-dev/copyright "$folder/mingw-w64-runtime.txt"
  cp /usr/share/doc/libcli11-dev/copyright "$folder/cli11.txt"
  cp /usr/share/doc/nlohmann-json3-dev/copyright "$folder/nlohmann-json.txt"
}

build_windows() {
  local programs=(tamroctl)
  [[ -d src/ui/win32 ]] && programs+=(tamro)
  # The same build as the Windows tests use; only the programs are built here.
  local build=build/windows
  TAMRO_JOBS=$jobs scripts/build-windows.sh "$build" "${programs[@]}"
  local stage=$build/archive/tamro-$version
  rm -rf "$build/archive"
  mkdir -p "$stage"
  for program in "${programs[@]}"; do cp "$build/bin/$program.exe" "$stage/"; done
  cp data/tamro.dat "$stage/"
  cp packaging/windows-readme.txt "$stage/README.txt"
  cp packaging/copyright "$stage/COPYRIGHT.txt"
  windows_licences "$stage/licences"
  local archive=$PWD/dist/tamro-$version-windows-x64.zip
  rm -f "$archive"
  (cd "$build/archive" && cmake -E tar cf "$archive" --format=zip "tamro-$version")
  ls "$archive"
}

for what in "${wanted[@]}"; do
  case $what in
    deb) build_deb ;;
    windows) build_windows ;;
    *) echo "package.sh: unknown: $what (deb, windows)" >&2; exit 2 ;;
  esac
done
