#!/usr/bin/env bash
# Builds velmot.exe for desktop Windows (mingw-w64, `windows` preset) and runs its end-to-end
# tests under Wine on a virtual display. tests/wine/driver.exe starts velmot.exe as a separate
# process and works it from outside; a stand-in powrprof.dll beside it records suspensions
# instead of making them. Installs what is missing (as root, with apt-get). Exits non-zero on
# any failure.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

source scripts/packages.sh
need_packages "${WINDOWS_PACKAGES[@]}"

echo "== Building the windows preset: velmot.exe, tests/wine/driver.exe, stand-in powrprof.dll"
mkdir -p build
cmake --preset windows >build/windows-configure.log 2>&1 || {
    cat build/windows-configure.log >&2
    exit 1
}
cmake --build --preset windows
echo "   velmot.exe: $(stat -c %s build/windows/velmot.exe) bytes, stripped"

# A fresh prefix for every run; Wine's Mono and Gecko installers are switched off.
export WINEPREFIX="$root/build/wine-test-prefix"
export WINEDEBUG=-all
export WINEARCH=win64
rm -rf "$WINEPREFIX"
echo "== Running the Wine tests (fresh prefix build/wine-test-prefix, virtual display)"
# Every wine command runs inside the display session, and the session begins and ends
# with its own wineserver (see the notes on Wine's notification area).
# shellcheck disable=SC2016 # the inner shell expands its own variables
timeout 900 xvfb-run -a -s "-screen 0 800x600x24" bash -c '
    set -u
    wineserver -k >/dev/null 2>&1 || true
    echo "   creating the prefix (about 20 s the first time)"
    WINEDLLOVERRIDES="mscoree,mshtml=" wine wineboot --init >/dev/null 2>&1
    wineserver -w
    cd build/windows/wine-test
    status=0
    WINEDLLOVERRIDES="mscoree,mshtml=;powrprof=n" wine driver.exe || status=$?
    wineserver -k >/dev/null 2>&1 || true
    exit $status
' || {
    status=$?
    echo "== Wine tests FAILED (exit code $status)" >&2
    exit "$status"
}
echo "== Wine tests passed"
