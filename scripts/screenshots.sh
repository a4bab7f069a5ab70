#!/usr/bin/env bash
# Takes the pictures in docs/: velmot.exe under Wine on a 480 x 640 virtual display, the size
# of a Pocket PC's VGA screen, inside a Wine desktop of the same size (whose task bar shows
# the notification icon at the bottom right).
#   docs/settings-dialog.png   the settings dialog, as a start without a command line opens it
#   docs/popup-menu.png        the notification icon's popup menu
# The test driver (tests/wine/driver.cpp, modes --show-dialog and --show-menu) brings each on
# screen; ImageMagick's import takes the picture. Installs what is missing (as root).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

install_missing() {
    local missing=()
    command -v cmake >/dev/null || missing+=(cmake)
    command -v x86_64-w64-mingw32-g++ >/dev/null || missing+=(g++-mingw-w64-x86-64)
    command -v x86_64-w64-mingw32-windres >/dev/null || missing+=(binutils-mingw-w64-x86-64)
    { command -v wine >/dev/null && [ -x /usr/lib/wine/wine64 ]; } || missing+=(wine wine64)
    command -v xvfb-run >/dev/null || missing+=(xvfb xauth)
    [ -x /usr/bin/import ] || missing+=(imagemagick)
    if [ ${#missing[@]} -eq 0 ]; then
        return
    fi
    echo "== Installing missing packages: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
        echo "error: installing needs root: apt-get install ${missing[*]}" >&2
        exit 1
    fi
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
install_missing

echo "== Building the windows preset"
cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null

export WINEPREFIX="$root/build/wine-screenshots-prefix"
export WINEDEBUG=-all
export WINEARCH=win64
# No Mono or Gecko installers; the stand-in powrprof.dll beside velmot.exe, in case.
export WINEDLLOVERRIDES="mscoree,mshtml=;powrprof=n"
mkdir -p docs
echo "== Taking the pictures on a 480x640 virtual display"
# shellcheck disable=SC2016 # the inner shell expands its own variables
timeout 300 xvfb-run -a -s "-screen 0 480x640x24" bash -c '
    set -eu
    docs=$PWD/docs
    wineserver -k >/dev/null 2>&1 || true
    trap "wineserver -k >/dev/null 2>&1 || true" EXIT
    if [ ! -e "$WINEPREFIX/system.reg" ]; then
        echo "   creating the prefix (about 20 s, once)"
        wine wineboot --init >/dev/null 2>&1
        wine reg add "HKCU\\Software\\Wine\\Explorer" /v Desktop /d Default /f >/dev/null
        wine reg add "HKCU\\Software\\Wine\\Explorer\\Desktops" /v Default /d 480x640 /f \
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
