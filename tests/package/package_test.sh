#!/usr/bin/env bash
# Installs the Debian packages from dist/ on this machine, checks that they
# work as installed programs, removes them again, and runs tamroctl.exe from
# the Windows archive under Wine.
#
#   tests/package/package_test.sh WINE_RUN
#
# WINE_RUN is the Windows build's wine-run script. Needs root; the packages
# must not be installed already (they are purged at the end either way).
set -euo pipefail
cd "$(dirname "$0")/../.."

wine_run=${1:?usage: package_test.sh WINE_RUN}
version=$(sed -n 's/^project(tamro VERSION \([0-9]*\.[0-9]*\.[0-9]*\).*/\1/p' CMakeLists.txt)
read -r major minor patch <<<"${version//./ }"
window_version="Version $major.$minor$patch"
failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what" >&2; failures=$((failures + 1)); fi
}
equal() { [[ $1 == "$2" ]] || { echo "  expected: $2" >&2; echo "  got:      $1" >&2; return 1; }; }

if dpkg-query -W -f='${Status}' tamro 2>/dev/null | grep -q installed; then
  echo "package_test: tamro is installed already; remove it first" >&2
  exit 2
fi
purge() { apt-get purge -y -qq tamro tamro-lab tamro-ansible >/dev/null 2>&1 || true; }
trap purge EXIT

export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq --no-install-recommends "./dist/tamro_${version}_amd64.deb" \
  "./dist/tamro-lab_${version}_amd64.deb" "./dist/tamro-ansible_${version}_all.deb" >/dev/null
installed_files=$(dpkg -L tamro tamro-lab)

# The programs run from their own folder, and find the model file there.
check "tamroctl --version" equal "$(tamroctl --version)" "tamroctl $window_version"
check "tamro --version" equal "$(tamro --version)" "tamro $window_version"
check "/usr/bin/tamroctl leads to /usr/lib/tamro" \
  equal "$(readlink -f /usr/bin/tamroctl)" /usr/lib/tamro/tamroctl
check "the default model file is the configuration file" \
  equal "$(readlink -f /usr/lib/tamro/tamro.dat)" /etc/tamro/tamro.dat
models=$(tamroctl models --json)
check "tamroctl models lists the shipped models" \
  python3 -c 'import json,sys; m=json.loads(sys.argv[1])["models"]; sys.exit(0 if any(x["name"]=="QZ-120L" for x in m) else 1)' "$models"
# A model added to the configuration file is what the installed programs see.
cp /etc/tamro/tamro.dat /tmp/tamro.dat.kept
echo "QZ-999 site,-1,1,-1,-1,-1,-1,-1,-1,1,-1,-1,-1,1,-1" >>/etc/tamro/tamro.dat
check "a model added in /etc/tamro is listed" \
  grep -q "QZ-999 site" <(tamroctl models)
check "the model file is a configuration file" \
  grep -qx /etc/tamro/tamro.dat /var/lib/dpkg/info/tamro.conffiles

check "man -w tamroctl" equal "$(man -w tamroctl)" /usr/share/man/man1/tamroctl.1.gz
check "man -w tamro" equal "$(man -w tamro)" /usr/share/man/man1/tamro.1.gz
check "the manual pages format without warnings" \
  bash -c '! LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l /usr/share/man/man1/tamroctl.1.gz /usr/share/man/man1/tamro.1.gz /usr/share/man/man1/tamro-lab.1.gz 2>&1 >/dev/null | grep .'
check "desktop-file-validate" desktop-file-validate /usr/share/applications/tamro.desktop
for size in 16 32 48 256; do
  check "icon ${size}x${size}" test -s "/usr/share/icons/hicolor/${size}x${size}/apps/tamro.png"
done
complete_words() {  # what bash completes for the words given (the last one being typed)
  bash -c 'source /usr/share/bash-completion/bash_completion
           source /usr/share/bash-completion/completions/tamroctl
           COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
           _tamroctl; echo "${COMPREPLY[*]}"' complete "$@"
}
check "completion: commands" equal "$(complete_words tamroctl se)" "search"
check "completion: a command's options" equal "$(complete_words tamroctl search --ta)" "--table"
check "completion: values of --flow" equal "$(complete_words tamroctl write x --flow c)" "cts-rts"
check "lintian: no errors" lintian --fail-on error "dist/tamro_${version}_amd64.deb" \
  "dist/tamro-lab_${version}_amd64.deb" "dist/tamro-ansible_${version}_all.deb"

# tamro-ansible: the collection where ansible-core looks without being told.
collections=/usr/share/ansible/collections/ansible_collections
for module in info settings address; do
  check "ansible-doc tamro.devices.$module" \
    bash -c "HOME=\$(mktemp -d) ansible-doc tamro.devices.$module | grep -q '^EXAMPLES'"
done
check "the collection carries no tests" test ! -e "$collections/tamro/devices/tests"
apt-get purge -y -qq tamro-ansible >/dev/null
check "purging tamro-ansible removes the collection" test ! -e "$collections/tamro"

# tamro-lab: the installed simulator in a throw-away lab (nothing leaves it).
lab_devices=$(tamro-lab --timeout 60 -- tamroctl search --json)
check "tamro-lab: the installed tamroctl finds the demo devices" \
  python3 -c 'import json,sys; d=json.loads(sys.argv[1])["devices"]; sys.exit(0 if sorted(x["ip"] for x in d)==["10.77.0.10","10.77.0.11","10.77.0.12","172.16.5.9"] else 1)' "$lab_devices"

# Removal leaves the configuration file alone and nothing else; purging takes it.
apt-get remove -y -qq tamro tamro-lab >/dev/null
left=()
while read -r path; do
  [[ -e $path || -L $path ]] && [[ ! -d $path ]] && left+=("$path")
done <<<"$installed_files"
check "after removal only the configuration file is left" equal "${left[*]}" /etc/tamro/tamro.dat
check "the changed configuration file is kept" grep -q "QZ-999 site" /etc/tamro/tamro.dat
apt-get purge -y -qq tamro >/dev/null
check "purge removes the configuration" test ! -e /etc/tamro
rm -f /tmp/tamro.dat.kept

# The Windows archive: unpacked anywhere, tamroctl.exe finds its model file beside it.
unpacked=$(mktemp -d)
python3 -c 'import sys,zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
  "dist/tamro-${version}-windows-x64.zip" "$unpacked"
folder=$unpacked/tamro-$version
for file in tamroctl.exe tamro.dat README.txt COPYRIGHT.txt licences/gcc-runtime.txt \
            licences/mingw-w64-runtime.txt licences/cli11.txt licences/nlohmann-json.txt; do
  check "archive holds $file" test -s "$folder/$file"
done
archive_models=$(cd "$folder" && "$wine_run" ./tamroctl.exe models --json)
check "tamroctl.exe models from the unpacked archive" \
  python3 -c 'import json,sys; m=json.loads(sys.argv[1])["models"]; sys.exit(0 if any(x["name"]=="QZ-120L" for x in m) else 1)' "$archive_models"
rm -rf "$unpacked"

((failures == 0)) || { echo "package_test: $failures checks failed" >&2; exit 1; }
echo "package_test: all checks passed"
