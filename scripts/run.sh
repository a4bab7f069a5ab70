#!/usr/bin/env bash
# Runs the Pocket PC program on the emulated Pocket PC: the device image's ARM code
# (build/device/velmot.exe) on the emulated device, with the device's screen in this terminal.
#   scripts/run.sh                     the settings dialog, to be worked with the keys shown
#   scripts/run.sh /W 0:30             suspends after 30 minutes of the device's clock
#   scripts/run.sh --at 21:10 /T 23:30 the device's clock starts at 21:10 (default: now)
#   scripts/run.sh --web               the device served to a web browser instead, at
#                                      http://127.0.0.1:8240/ (--web PORT: another port)
#   scripts/run.sh --windows /W 0:1    the desktop program under Wine instead
#                                      (scripts/run-windows.sh, given the other arguments)
#   scripts/run.sh [options] [command line]
# Options (emulator/frontend/frontend.h): --at [YYYY-MM-DDT]HH:MM[:SS], --screen WxH (240x320,
# 320x240 or 240x240), --speed N (the clock's speed),
# --hours N (piped: stop after N hours of device time, default 48), --no-ui, --timeline FILE,
# --pictures DIR (a PNG of the screen, drawn in pixels, each time it changes), --web [PORT].
# Not in a terminal (output or input piped, or --no-ui) the timeline is printed as it happens,
# then a line naming the program and its exit code, and the clock runs in virtual time unless
# --speed is given. The exit code is the program's; 130 when stopped with q or Ctrl+C, 143 and
# 129 on SIGTERM and SIGHUP; piped, 3 when the program waits for a person, 124 after --hours;
# 2 for a wrong option, 4 when the emulated device fails.
#
# It builds what it needs first and installs what is missing (as root, with apt-get).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
source scripts/packages.sh
source scripts/build.sh

if [ "${1:-}" = "--windows" ]; then
    shift
    exec "$root/scripts/run-windows.sh" "$@"
fi

# Usage: quietly LOG COMMAND...: runs COMMAND with its output in LOG, shown only on failure.
quietly() {
    local log=$1
    shift
    "$@" >"$log" 2>&1 || {
        cat "$log" >&2
        echo "run.sh: failed: $* (output above, also in $log)" >&2
        return 1
    }
}

need_packages "${RUN_PACKAGES[@]}"
mkdir -p build
echo "Building velmot.exe for the Pocket PC and the emulated device's console" >&2
quietly build/device-configure.log cmake --preset device
quietly build/device-build.log cmake --build --preset device --target velmot
quietly build/host-configure.log cmake --preset host
quietly build/host-build.log cmake --build --preset host -j "$(nproc)" --target pocketpc_console
exec build/host/pocketpc_console --image build/device/velmot.exe \
    --hint "a command line such as /W 0:30" "$@"
