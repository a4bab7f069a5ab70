#!/usr/bin/env bash
# Builds velmot.exe for desktop Windows (mingw-w64, `windows` preset), checks its imports and
# load configuration (tests/wine/check_image.py) and runs its end-to-end tests under Wine on
# a virtual display (scripts/wine.sh). tests/wine/driver.exe starts velmot.exe as a separate
# process and works it from outside; in the prefix's system folder it installs a stand-in
# powrprof.dll, which records suspensions instead of making them, and a stand-in shell32.dll,
# which records each notification-icon call and passes it on to Wine's own; a powrprof.dll
# planted beside velmot.exe must never be loaded. Then runs scripts/run.sh --windows without a
# display, with a command line and without one, and makes the release package and checks it
# and the image in it. Installs what is missing (as root, with apt-get). Exits non-zero on
# any failure or after 15 minutes.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

source scripts/packages.sh
source scripts/wine.sh
source scripts/build.sh
need_packages "${WINDOWS_PACKAGES[@]}"

echo "== Building the windows preset: velmot.exe, tests/wine/driver.exe, stand-in DLLs"
build_preset windows
report_size build/windows/velmot.exe 48 velmot.exe

# No DLL from the program's folder: only KnownDLLs and COMCTL32 imported, and the load
# configuration that the step after the link pointed at, with DependentLoadFlags 0x800.
echo "== Checking velmot.exe's imports and load configuration (tests/wine/check_image.py)"
/usr/bin/python3 tests/wine/check_image.py build/windows/velmot.exe

# A fresh prefix for every run, so that no state of an earlier run counts.
echo "== Running the Wine tests (fresh prefix build/wine-test-prefix, virtual display)"
wine_session --fresh --own-display --timeout 900 build/wine-test-prefix 800x600x24 \
    wine build/windows/wine-test/driver.exe || {
    status=$?
    echo "== Wine tests FAILED (exit code $status)" >&2
    exit "$status"
}
echo "== Wine tests passed"

# scripts/run.sh --windows, as the README promises it without a display: with a command line
# it runs velmot.exe on a virtual display until it ends, and says with which exit code;
# without one it saves a picture of the dialog instead of waiting for ever. The time-out
# guards against a hang only.
# Usage: run_windows EXPECTED_LINE ARGS...
run_windows() {
    local expected=$1 log=build/run-windows-test.log code=0
    shift
    env -u DISPLAY timeout 600 scripts/run.sh --windows "$@" >"$log" 2>&1 || code=$?
    if [ "$code" -ne 0 ] || ! grep -qF -- "$expected" "$log"; then
        tail -n 20 "$log" >&2
        echo "== scripts/run.sh --windows $*, without a display: exit code $code, and no line" \
            "\"$expected\" (the end of its output above, all in $log)" >&2
        exit 1
    fi
}
echo "== scripts/run.sh --windows without a display, with a command line and without one"
run_windows "velmot.exe exited with code 0" /W 0:0
echo "   /W 0:0: velmot.exe exited with code 0"
rm -f build/velmot-dialog.png
run_windows "The settings dialog, as velmot.exe opens it without a command line: build/velmot-dialog.png"
if [ "$(head -c 8 build/velmot-dialog.png | od -An -tx1 | tr -d ' ')" != 89504e470d0a1a0a ]; then
    echo "== scripts/run.sh --windows left no picture of the dialog in build/velmot-dialog.png" >&2
    exit 1
fi
echo "   no command line: the dialog's picture in build/velmot-dialog.png, exit code 0"

echo "== Building the release package (cmake --build --preset windows --target package)"
cmake --build --preset windows --target package >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows/CMakeCache.txt)
zip="build/windows/velmot-$version-win64.zip"
listing=$(unzip -Z1 "$zip")
expected=$(printf '%s\n' "velmot-$version-win64/LICENSE.txt" "velmot-$version-win64/README.txt" \
    "velmot-$version-win64/velmot.exe")
if [ "$(sort <<<"$listing")" != "$expected" ]; then
    echo "== The package $zip holds:" >&2
    echo "$listing" >&2
    echo "   expected:" >&2
    echo "$expected" >&2
    exit 1
fi
if ! unzip -p "$zip" "velmot-$version-win64/velmot.exe" | cmp -s - build/windows/velmot.exe; then
    echo "== The package's velmot.exe is not the one built" >&2
    exit 1
fi
if ! unzip -p "$zip" "velmot-$version-win64/LICENSE.txt" | tr -d '\r' | cmp -s - LICENSE; then
    echo "== The package's LICENSE.txt is not the project's LICENSE" >&2
    exit 1
fi
# The package's own copy, checked as the file that users run.
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
unzip -q "$zip" "velmot-$version-win64/velmot.exe" -d "$unpacked"
/usr/bin/python3 tests/wine/check_image.py "$unpacked/velmot-$version-win64/velmot.exe" \
    "the package's velmot.exe"
echo "   $zip: velmot.exe, README.txt and LICENSE.txt"
