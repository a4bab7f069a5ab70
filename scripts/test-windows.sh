#!/usr/bin/env bash
# Builds velmot.exe for desktop Windows (mingw-w64, `windows` preset) and runs its end-to-end
# tests under Wine on a virtual display (scripts/wine.sh). tests/wine/driver.exe starts
# velmot.exe as a separate process and works it from outside; beside it a stand-in
# powrprof.dll records suspensions instead of making them, and a stand-in shell32.dll records
# each notification-icon call and passes it on to Wine's own. Installs what is missing (as
# root, with apt-get). Exits non-zero on any failure or after 15 minutes.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

source scripts/packages.sh
source scripts/wine.sh
need_packages "${WINDOWS_PACKAGES[@]}"

echo "== Building the windows preset: velmot.exe, tests/wine/driver.exe, stand-in DLLs"
mkdir -p build
cmake --preset windows >build/windows-configure.log 2>&1 || {
    cat build/windows-configure.log >&2
    exit 1
}
cmake --build --preset windows
# Size report: the program, stripped, against its budget of 48 KiB.
size=$(stat -c %s build/windows/velmot.exe)
if [ "$size" -lt $((48 * 1024)) ]; then
    echo "   velmot.exe: $size bytes, stripped (budget: under 48 KiB)"
else
    echo "   WARNING: velmot.exe is $size bytes, stripped: over its budget of 48 KiB" >&2
fi

# A fresh prefix for every run, so that no state of an earlier run counts.
echo "== Running the Wine tests (fresh prefix build/wine-test-prefix, virtual display)"
wine_session --fresh --own-display --timeout 900 build/wine-test-prefix 800x600x24 \
    wine build/windows/wine-test/driver.exe || {
    status=$?
    echo "== Wine tests FAILED (exit code $status)" >&2
    exit "$status"
}
echo "== Wine tests passed"

echo "== Building the release package (cmake --build --preset windows --target package)"
cmake --build --preset windows --target package >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows/CMakeCache.txt)
zip="build/windows/velmot-$version-win64.zip"
listing=$(unzip -Z1 "$zip")
expected=$(printf '%s\n' "velmot-$version-win64/README.txt" "velmot-$version-win64/velmot.exe")
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
echo "   $zip: velmot.exe and README.txt"
