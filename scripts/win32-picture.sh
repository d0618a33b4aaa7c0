#!/usr/bin/env bash
# Renders tamro.exe under Wine, in the lab with a device chosen (10.77.0.11), to
# docs/pictures/5-win32-device-on-subnet.png: Japanese locale, the IPA
# P-Gothic font standing in for the template's font, on a private Xvfb.
# Needs root (the lab); nothing is sent from the machine's own network.
#
#   scripts/win32-picture.sh [WINDOWS_BUILD_DIR] [LINUX_BUILD_DIR]
#        (default build/windows and build/gcc)
set -euo pipefail
cd "$(dirname "$0")/.."

windows=${1:-build/windows}
linux=${2:-build/gcc}
scripts/install-deps.sh
if ! locale -a | grep -qi '^ja_JP\.utf-\?8$'; then
  sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  locale-gen >/dev/null
fi
CXX=g++ cmake -G Ninja -S . -B "$linux" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$linux" -j "$(nproc)" tamro-devsim >&2
scripts/build-windows.sh "$windows" -DTAMRO_LINUX_BUILD_DIR="$PWD/$linux" tamro tamro_exe_lab_driver >&2

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
export DISPLAY=$display LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8

# The template asks for its font by name; Wine is told which font that is.
unshare -n "$windows/wine-run" reg add 'HKCU\Software\Wine\Fonts\Replacements' \
  /v 'ＭＳ Ｐゴシック' /t REG_SZ /d IPAPGothic /f >/dev/null

bitmap=$(mktemp --suffix=.bmp)
scripts/lab.sh --devsim "$linux/bin/tamro-devsim" --devices data/demo_devices.json --timeout 200 -- \
  "$windows/wine-run" --lab "$windows/bin/tamro_exe_lab_driver.exe" "$windows/bin/tamro.exe" \
    "$PWD/data/tamro.dat" 10.77.0.11 172.16.5.9 10.77.0.40 "$bitmap" >&2
mkdir -p docs/pictures
python3 scripts/bmp_to_png.py "$bitmap" docs/pictures/5-win32-device-on-subnet.png
rm -f "$bitmap"
echo docs/pictures/5-win32-device-on-subnet.png
