#!/usr/bin/env bash
# Builds velmot.exe for desktop Windows (mingw-w64, `windows` preset) and runs it under Wine,
# with the command line given to this script:
#   scripts/run.sh              opens the settings dialog
#   scripts/run.sh /W 0:1       suspends after one minute, without the dialog
#   scripts/run.sh /T 23:30     suspends at 23:30
# Without a DISPLAY it runs on a virtual display (xvfb-run). Installs what is missing (as
# root, with apt-get). Under Wine the suspension does nothing to this machine.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

source scripts/packages.sh
source scripts/wine.sh
need_packages "${WINDOWS_PACKAGES[@]}"

echo "Building velmot.exe (cmake --preset windows)"
cmake --preset windows >/dev/null
cmake --build --preset windows --target velmot >/dev/null

screen="a virtual display"
if [ -n "${DISPLAY:-}" ]; then
    screen="display $DISPLAY"
fi
echo "Running velmot.exe $* under Wine on $screen; it ends when it suspends or is told to" \
    "exit (its icon's menu); Ctrl+C stops it"
# A project-local prefix, kept between runs; a virtual display has the size of a Pocket PC's
# VGA screen.
wine_session build/wineprefix 480x640x24 wine build/windows/velmot.exe "$@"
