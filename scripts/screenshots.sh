#!/usr/bin/env bash
# Takes the pictures in docs/: velmot.exe under Wine on a 1280 x 800 virtual display, a
# desktop-sized screen, inside a Wine desktop of the same size (whose task bar shows
# the notification icon at the bottom right).
#   docs/settings-dialog.png   the settings dialog, as a start without a command line opens it
#   docs/popup-menu.png        the notification icon's popup menu
# The test driver (tests/wine/driver.cpp, modes --show-dialog and --show-menu) brings each on
# screen; ImageMagick's import takes the picture. Installs what is missing (as root).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

source scripts/packages.sh
need_packages "${WINDOWS_PACKAGES[@]}" imagemagick

echo "== Building the windows preset"
cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null

export WINEPREFIX="$root/build/wine-screenshots-prefix"
export WINEDEBUG=-all
export WINEARCH=win64
# No Mono or Gecko installers; the stand-in powrprof.dll beside velmot.exe, in case.
export WINEDLLOVERRIDES="mscoree,mshtml=;powrprof=n"
mkdir -p docs
echo "== Taking the pictures on a 1280x800 virtual display"
# shellcheck disable=SC2016 # the inner shell expands its own variables
timeout 300 xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    set -eu
    docs=$PWD/docs
    wineserver -k >/dev/null 2>&1 || true
    trap "wineserver -k >/dev/null 2>&1 || true" EXIT
    if [ ! -e "$WINEPREFIX/system.reg" ]; then
        echo "   creating the prefix (about 20 s, once)"
        wine wineboot --init >/dev/null 2>&1
        wine reg add "HKCU\\Software\\Wine\\Explorer" /v Desktop /d Default /f >/dev/null
        wine reg add "HKCU\\Software\\Wine\\Explorer\\Desktops" /v Default /d 1280x800 /f \
            >/dev/null
        wineserver -w
    fi
    cd build/windows/wine-test
    shoot() {
        wine driver.exe "$1"
        sleep 1 # lets the window finish painting
        import -window root "$docs/$2"
        echo "   docs/$2"
        wineserver -k >/dev/null 2>&1 || true
        wineserver -w
    }
    shoot --show-dialog settings-dialog.png
    shoot --show-menu popup-menu.png
'
echo "== Done"
