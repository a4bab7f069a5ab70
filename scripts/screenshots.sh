#!/usr/bin/env bash
# Takes the pictures in docs/: velmot.exe under Wine on a 1280 x 800 virtual display, a
# desktop-sized screen, inside a Wine desktop of the same size (whose task bar shows
# the notification icon at the bottom right).
#   docs/settings-dialog.png     the settings dialog, as a start without a command line opens it
#   docs/popup-menu.png          the notification icon's popup menu
#   docs/popup-menu-144dpi.png   the same on a desktop scaled to 150 % (144 DPI), where the
#                                notification area shows its icons at 24 x 24
# The test driver (tests/wine/driver.cpp, modes --show-dialog and --show-menu) brings each on
# screen; ImageMagick's import takes the picture. Installs what is missing (as root).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

source scripts/packages.sh
source scripts/wine.sh
need_packages "${WINDOWS_PACKAGES[@]}" imagemagick

echo "== Building the windows preset"
cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null

# After a new prefix is made: a Wine desktop of the display's size, whose task bar holds the
# notification area.
desktop_size() {
    wine_virtual_desktop 1280x800
}

# Brings the dialog or the menu on screen (driver.exe MODE) and takes the picture docs/NAME;
# then ends velmot.exe and the desktop, so that the next picture starts afresh.
shoot() {
    wine_picture "$1" "docs/$2"
    echo "   docs/$2"
}

# The desktop's scale for the processes started from now on: Wine reads a process's DPI from
# LogPixels when the process starts, so the Wine desktop and its task bar that the next
# picture starts take it too.
scale_to() {
    wine reg add "HKCU\\Control Panel\\Desktop" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w
}

take_pictures() {
    shoot --show-dialog settings-dialog.png
    shoot --show-menu popup-menu.png
    scale_to 144
    shoot --show-menu popup-menu-144dpi.png
}

mkdir -p docs
echo "== Taking the pictures on a 1280x800 virtual display"
# A new prefix each time, so that its Wine desktop has the size set here.
wine_session --fresh --own-display --timeout 300 --setup desktop_size \
    build/wine-screenshots-prefix \
    1280x800x24 take_pictures
echo "== Done"
