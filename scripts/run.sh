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
need_packages "${WINDOWS_PACKAGES[@]}"

echo "Building velmot.exe (cmake --preset windows)"
cmake --preset windows >/dev/null
cmake --build --preset windows --target velmot >/dev/null

# A project-local prefix, kept between runs; Wine's Mono and Gecko installers are switched off.
export WINEPREFIX="$root/build/wineprefix"
export WINEDEBUG=-all
export WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml="
program="$root/build/windows/velmot.exe"

if [ -n "${DISPLAY:-}" ]; then
    echo "Running velmot.exe $* under Wine on display $DISPLAY; it ends when it suspends or" \
        "is told to exit (its icon's menu); Ctrl+C stops it"
    if [ ! -e "$WINEPREFIX/system.reg" ]; then
        echo "Creating the Wine prefix build/wineprefix (about 20 s, once)"
        wine wineboot --init >/dev/null 2>&1
    fi
    exec wine "$program" "$@"
fi

echo "Running velmot.exe $* under Wine on a virtual display; it ends when it suspends or is" \
    "told to exit; Ctrl+C stops it"
# Every wine command runs inside the display session, which begins and ends with its own
# wineserver (one left from another display has a broken notification area).
# shellcheck disable=SC2016 # the inner shell expands its own variables
exec xvfb-run -a -s "-screen 0 480x640x24" bash -c '
    program=$1
    shift
    wineserver -k >/dev/null 2>&1 || true
    trap "wineserver -k >/dev/null 2>&1 || true" EXIT
    trap "echo; echo \"Stopped.\"; exit 130" INT TERM
    if [ ! -e "$WINEPREFIX/system.reg" ]; then
        echo "Creating the Wine prefix build/wineprefix (about 20 s, once)"
        wine wineboot --init >/dev/null 2>&1
    fi
    wine "$program" "$@"
' bash "$program" "$@"
