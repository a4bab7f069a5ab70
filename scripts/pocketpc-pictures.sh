#!/usr/bin/env bash
# Makes the README's pictures of the Pocket PC program: the device image
# (build/device/velmot.exe) on the emulated Pocket PC, its screen drawn in pixels by
# scripts/run.sh --pictures, with the device's clock at a fixed date and time
# (2002-10-07T21:10:40), so that they come out the same to the pixel each time:
#   docs/pocketpc-dialog.png            the settings dialog as it opens (a piped run)
#   docs/pocketpc-wait.png              the typical road's entries: Wait to suspend, 0 hours
#                                       30 minutes typed on the input panel (in a terminal)
#   docs/pocketpc-today.png             the Today screen with the icon during the countdown
#   docs/pocketpc-menu.png              the menu at the icon
#   docs/pocketpc-dialog-320x240.png    the dialog on a landscape screen (piped)
#   docs/pocketpc-dialog-240x240.png    the dialog on a square screen (piped)
# The road runs in tmux with the keys of scripts/run.sh's screen, the clock at a tenth of its
# speed, so that the bar's clock still shows 21:10 whatever the machine's load.
#   scripts/pocketpc-pictures.sh          writes them into docs/
#   scripts/pocketpc-pictures.sh --check  makes them again and fails when one differs from the
#                                         committed one (CI: scripts/test.sh); the new ones are
#                                         left in build/pocketpc-pictures/
# Installs what is missing (as root): what scripts/run.sh needs, and tmux.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
source scripts/packages.sh
need_packages "${RUN_PACKAGES[@]}" tmux

check=0
if [ "${1:-}" = "--check" ]; then
    check=1
elif [ $# -gt 0 ]; then
    echo "usage: scripts/pocketpc-pictures.sh [--check]" >&2
    exit 2
fi

at=2002-10-07T21:10:40
out=build/pocketpc-pictures
work=$(mktemp -d)
socket="velmot-pictures-$$"
trap 'tmux -L "$socket" kill-server 2>/dev/null || true; rm -rf "$work"' EXIT
rm -rf "$out"
mkdir -p "$out"

fail() {
    echo "   FAIL: $*" >&2
    exit 1
}

# Usage: newest DIR: the last picture written there.
newest() {
    local last
    last=$(find "$1" -name '*.png' | sort | tail -n 1)
    [ -n "$last" ] || fail "no picture in $1"
    echo "$last"
}

# Usage: piped NAME [OPTIONS...]: a run without a terminal and without a command line, which
# writes the dialog's picture and stops (exit code 3); it becomes $out/NAME.png.
piped() {
    local name=$1 code=0
    shift
    scripts/run.sh --at "$at" --pictures "$work/$name" "$@" </dev/null >"$work/$name.out" 2>&1 ||
        code=$?
    [ "$code" -eq 3 ] || { cat "$work/$name.out" >&2; fail "$name: exit code $code, not 3"; }
    # It names the picture of the dialog that nobody can answer.
    grep -qF "(its picture: $(newest "$work/$name"))" "$work/$name.out" ||
        { tail -n 2 "$work/$name.out" >&2; fail "$name: the dialog's picture is not named"; }
    cp "$(newest "$work/$name")" "$out/$name.png"
}

echo "   building and making the pictures from build/device/velmot.exe at $at"
piped pocketpc-dialog
piped pocketpc-dialog-320x240 --screen 320x240
piped pocketpc-dialog-240x240 --screen 240x240

# ---- The road, in a terminal -----------------------------------------------------------

screen() {
    tmux -L "$socket" capture-pane -p -t road
}

# Usage: wait_screen WANTED TEXT: until whether the screen shows TEXT is WANTED (1 or 0); then
# until the picture of that screen is written.
wait_screen() {
    local wanted=$1 text=$2 deadline=$(($(date +%s) + 60)) shown
    while :; do
        shown=0
        if screen | grep -qF -- "$text"; then
            shown=1
        fi
        [ "$shown" -eq "$wanted" ] && break
        [ "$(date +%s)" -lt "$deadline" ] || { screen >&2; fail "the road: waiting for \"$text\""; }
        sleep 0.05
    done
    sleep 0.5
}

# Usage: keys KEY...: sent to the road's terminal.
keys() {
    tmux -L "$socket" send-keys -t road "$@"
}

tmux -L "$socket" new-session -d -s road -x 110 -y 31 \
    "scripts/run.sh --at $at --speed 0.1 --pictures $work/road; sleep 600"
wait_screen 1 '| (o) Time to suspend'
keys BTab Space Tab BSpace 0 Tab BSpace 3 0
wait_screen 1 '[0   ] hours and [30_'
cp "$(newest "$work/road")" "$out/pocketpc-wait.png"
keys Enter
wait_screen 0 'Input panel' # lowered after the shell's delay
cp "$(newest "$work/road")" "$out/pocketpc-today.png"
keys i
wait_screen 1 '|>Set '
cp "$(newest "$work/road")" "$out/pocketpc-menu.png"
keys Escape q

names=(pocketpc-dialog pocketpc-wait pocketpc-today pocketpc-menu pocketpc-dialog-320x240
    pocketpc-dialog-240x240)
if [ "$check" -eq 0 ]; then
    for name in "${names[@]}"; do
        cp "$out/$name.png" "docs/$name.png"
        echo "   docs/$name.png"
    done
    exit 0
fi
differ=0
for name in "${names[@]}"; do
    if cmp -s "$out/$name.png" "docs/$name.png"; then
        echo "   ok    docs/$name.png made again, the same"
    else
        echo "   FAIL: docs/$name.png differs from the one made now ($out/$name.png):" \
            "run scripts/pocketpc-pictures.sh and commit the pictures" >&2
        differ=1
    fi
done
exit "$differ"
