#!/usr/bin/env bash
# Builds velmot.exe for desktop Windows (mingw-w64, `windows` preset) and runs it under Wine,
# with the command line given to this script (scripts/run.sh --windows hands its remaining
# arguments on to it):
#   scripts/run-windows.sh              opens the settings dialog
#   scripts/run-windows.sh /W 0:1       suspends after one minute, without the dialog
#   scripts/run-windows.sh /T 23:30     suspends at 23:30
# With a DISPLAY it runs there, as any program. Without one nobody could see it:
# - without a command line the dialog would wait, invisible, for ever; so the script says so,
#   takes a picture of the dialog on a virtual display instead (build/velmot-dialog.png, as
#   scripts/screenshots.sh takes its pictures), names the file, ends every Wine process and
#   exits with 0;
# - with a command line the program runs on a virtual display until it ends.
# A run ends with the line "velmot.exe exited with code N", and the script exits with N.
# Installs what is missing (as root, with apt-get). Under Wine the suspension does nothing to
# this machine. Ctrl+C stops it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

source scripts/packages.sh
source scripts/wine.sh
need_packages "${WINDOWS_PACKAGES[@]}"

# After the pictures' prefix is made: a Wine desktop of the display's size, which gives the
# dialog its title bar.
# shellcheck disable=SC2317 # wine_session runs it (--setup)
picture_desktop() {
    wine_virtual_desktop 800x600
}

if [ -z "${DISPLAY:-}" ] && [ $# -eq 0 ]; then
    picture=build/velmot-dialog.png
    echo "No DISPLAY, so the settings dialog would be invisible: taking a picture of it on a" \
        "virtual display instead ($picture), then stopping"
    need_packages imagemagick
    cmake --preset windows >/dev/null
    cmake --build --preset windows --target velmot_wine_driver >/dev/null
    # A prefix of its own: the test driver installs its stand-in DLLs in the one it uses.
    wine_session --timeout 300 --setup picture_desktop build/wine-picture-prefix 800x600x24 \
        wine_picture --show-dialog "$picture"
    echo "The settings dialog, as velmot.exe opens it without a command line: $picture"
    exit 0
fi

echo "Building velmot.exe (cmake --preset windows)"
cmake --preset windows >/dev/null
cmake --build --preset windows --target velmot >/dev/null

screen="a virtual display (no DISPLAY)"
if [ -n "${DISPLAY:-}" ]; then
    screen="display $DISPLAY"
fi
echo "Running velmot.exe $* under Wine on $screen; it ends when it suspends or is told to" \
    "exit (its icon's menu); Ctrl+C stops it"
# A project-local prefix, kept between runs; a virtual display has the size of a Pocket PC's
# VGA screen.
status=0
wine_session build/wineprefix 480x640x24 wine build/windows/velmot.exe "$@" || status=$?
if [ "$status" = 130 ]; then
    exit 130 # Ctrl+C: the session has said "Stopped."
fi
echo "velmot.exe exited with code $status"
exit "$status"
