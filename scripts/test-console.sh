#!/usr/bin/env bash
# Tests of the emulated Pocket PC's console as scripts/run.sh runs it, on the device image
# (when the device toolchain is found, as in CI) and on the host build (the fallback without
# one):
#   - piped: /W 0:30 presses the power-off key 30 minutes of device time after the start, in a
#     few seconds; no command line says at once that nobody can answer the dialog, and how to
#     go on, and exits non-zero; /T 25:0 is stopped after 48 hours of device time, non-zero;
#   - in a terminal (tmux, a detached session of 110 x 31): the typical road, Wait to suspend,
#     0 hours 1 minute, ok, at 600 times the speed of the clock, checking the dialog as drawn,
#     the menu after i, the dark screen after the suspension and the power-off key's time in
#     the timeline file; then, in a second session, a click on a radio button, and q, which
#     stops the device with exit code 130.
# Polls the screen with time-outs; on a failure prints the captured screen. Installs tmux when
# it is missing.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
source scripts/packages.sh
source scripts/build.sh
need_packages tmux

work=$(mktemp -d)
socket="velmot-console-test-$$"
cleanup() {
    tmux -L "$socket" kill-server 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "   FAIL: $*" >&2
    exit 1
}

# ---- Piped runs ------------------------------------------------------------------------

# Usage: piped NAME EXPECTED_CODE RUN... : runs RUN with its output to a file (time-out
# 120 s), $work/NAME.out, the exit code in $code and the time taken in $took (ms); EXPECTED_CODE
# may be "nonzero".
piped() {
    local name=$1 expected=$2 start
    shift 2
    start=$(date +%s%3N)
    code=0
    timeout 120 "$@" </dev/null >"$work/$name.out" 2>"$work/$name.err" || code=$?
    took=$(($(date +%s%3N) - start))
    if { [ "$expected" = nonzero ] && [ "$code" -eq 0 ]; } ||
        { [ "$expected" != nonzero ] && [ "$code" -ne "$expected" ]; }; then
        tail -n 20 "$work/$name.out" "$work/$name.err" >&2
        fail "$name: exit code $code, not $expected"
    fi
}

piped_runs() {
    local label=$1
    shift
    piped wait 0 "$@" --at 21:10:40 /W 0:30
    grep -qx '21:40:00 key 0xDF down' "$work/wait.out" ||
        { tail -n 20 "$work/wait.out" >&2; fail "$label, /W 0:30: no power-off key at 21:40:00"; }
    [ "$took" -lt 10000 ] || fail "$label, /W 0:30 took $took ms"
    echo "   ok    $label, piped /W 0:30: the power-off key at 21:40:00, after $took ms"

    piped dialog nonzero "$@"
    grep -q 'run it in a terminal, or give it a command line such as /W 0:30' "$work/dialog.out" ||
        { cat "$work/dialog.out" >&2; fail "$label, no command line: not the line saying so"; }
    [ "$took" -lt 10000 ] || fail "$label, no command line took $took ms"
    echo "   ok    $label, piped without a command line: exit code $code, $(tail -n 1 "$work/dialog.out")"

    piped hours nonzero "$@" --at 21:10:40 /T 25:0
    grep -q 'stopped after 48 hours of device time, at +2d 21:10:40' "$work/hours.out" ||
        { tail -n 5 "$work/hours.out" >&2; fail "$label, /T 25:0: not stopped after 48 hours"; }
    ! grep -q 'key 0xDF' "$work/hours.out" || fail "$label, /T 25:0 suspended"
    echo "   ok    $label, piped /T 25:0: exit code $code, $(tail -n 1 "$work/hours.out")"
}

# ---- In a terminal -----------------------------------------------------------------------

screen() {
    tmux -L "$socket" capture-pane -p -t "$1"
}

# Usage: wait_for SESSION TEXT [SECONDS]: until the screen shows TEXT (a fixed string).
wait_for() { wait_screen 1 "$@"; }
# Usage: wait_gone SESSION TEXT: until the screen no longer shows TEXT.
wait_gone() { wait_screen 0 "$1" "$2" 20; }

# Usage: wait_screen WANTED SESSION TEXT [SECONDS]: until whether the screen shows TEXT is
# WANTED (1 or 0); fails with the screen after SECONDS (default 20).
wait_screen() {
    local wanted=$1 session=$2 text=$3 limit=${4:-20} deadline shown
    deadline=$(($(date +%s) + limit))
    while :; do
        shown=0
        if screen "$session" | grep -qF -- "$text"; then
            shown=1
        fi
        [ "$shown" -eq "$wanted" ] && return 0
        if [ "$(date +%s)" -ge "$deadline" ]; then
            screen "$session" >&2 || true
            if [ "$wanted" -eq 1 ]; then
                fail "$label: the screen does not show \"$text\" (above) after $limit s"
            fi
            fail "$label: the screen still shows \"$text\" (above)"
        fi
        sleep 0.05
    done
}

# Usage: start SESSION COMMAND...: the command in a detached session; its exit code goes to
# $work/SESSION.code.
start() {
    local session=$1
    shift
    rm -f "$work/$session.code"
    tmux -L "$socket" new-session -d -s "$session" -x 110 -y 31 \
        "$(printf '%q ' "$@"); echo \$? >$work/$session.code; sleep 600"
}

exit_code_of() {
    local deadline=$(($(date +%s) + 20))
    while [ ! -s "$work/$1.code" ]; do
        [ "$(date +%s)" -lt "$deadline" ] || fail "$label: the terminal program did not end"
        sleep 0.05
    done
    cat "$work/$1.code"
}

# Milliseconds after midnight of a time of the timeline, HH:MM:SS[.mmm].
ms_of() {
    local h m s f
    IFS=':.' read -r h m s f <<<"$1"
    echo $((10#$h * 3600000 + 10#$m * 60000 + 10#$s * 1000 + 10#${f:-0}))
}

terminal_runs() {
    label=$1
    shift
    local timeline="$work/${label// /-}-timeline.txt"
    start road "$@" --at 21:10:40 --speed 600 --timeline "$timeline"
    wait_for road '| (o) Time to suspend' 60
    wait_for road '| [0_  ] :  [0   ]'
    wait_for road '| ( ) Wait to suspend'
    wait_for road '| [0   ] hours and [0    ] minutes'
    screen road | grep -qE '^\| Set +[0-9]+:[0-9]{2}  ok \|' || { screen road >&2; fail "$label: no bar with Set, the clock and ok"; }
    screen road | grep -qF 'Tab move  Space tap  0-9 Bksp type  Enter ok  i icon' ||
        fail "$label: no keys on the bottom line"
    echo "   ok    $label, in a terminal: the dialog as drawn, the bar, the keys"

    tmux -L "$socket" send-keys -t road i
    wait_for road '|>Set '
    wait_for road '| Suspend '
    wait_for road '| Exit application |'
    echo "   ok    $label: the menu after i"
    tmux -L "$socket" send-keys -t road Escape
    wait_gone road 'Exit application |'

    tmux -L "$socket" send-keys -t road BTab Space
    wait_for road '| (o) Wait to suspend'
    tmux -L "$socket" send-keys -t road Tab BSpace 0 Tab BSpace 1
    wait_for road '[0   ] hours and [1_   ] minutes'
    tmux -L "$socket" send-keys -t road Enter
    wait_for road 'The Pocket PC suspended'
    wait_for road 'exited with code 0'
    local shown key
    shown=$(screen road | sed -n 's/^| *at \([0-9:.]*\) *|.*/\1/p')
    key=$(sed -n 's/^\([0-9:.]*\) key 0xDF down$/\1/p' "$timeline")
    [ -n "$key" ] || { cat "$timeline" >&2; fail "$label: no power-off key in the timeline file"; }
    [ "$shown" = "$key" ] || fail "$label: the screen says $shown, the timeline file $key"
    local tapped
    tapped=$(sed -n 's/^\([0-9:.]*\) user taps Done$/\1/p' "$timeline")
    # A wait of one minute ends at the first check that sees the next minute.
    local waited
    waited=$(($(ms_of "$key") - $(ms_of "$tapped")))
    if [ "$waited" -le 0 ] || [ "$waited" -gt 70000 ]; then
        fail "$label: Done at $tapped, the power-off key at $key"
    fi
    echo "   ok    $label: the dark screen after the suspension at $key, as in the timeline file (Done at $tapped)"
    tmux -L "$socket" send-keys -t road x
    [ "$(exit_code_of road)" = 0 ] || fail "$label: the road's exit code is $(cat "$work/road.code")"
    tmux -L "$socket" kill-session -t road

    start quit "$@"
    wait_for quit '| (o) Time to suspend' 60
    # A click (the terminal's report of a button press, X10 style: ESC [ M, then the button,
    # column and row, each plus 32, counted from 1) on "Wait to suspend" at row 8, column 2.
    tmux -L "$socket" send-keys -t quit -l $'\e[M #)'
    wait_for quit '| (o) Wait to suspend'
    echo "   ok    $label: a click on a radio button taps it"
    tmux -L "$socket" send-keys -t quit q
    wait_for quit 'stopped with q'
    tmux -L "$socket" send-keys -t quit q
    [ "$(exit_code_of quit)" = 130 ] || fail "$label: q gave exit code $(cat "$work/quit.code")"
    tmux -L "$socket" kill-session -t quit
    echo "   ok    $label: q stops the device, exit code 130"
}

echo "== The console on the device image (scripts/run.sh: build/device/velmot.exe)"
piped_runs "device image" scripts/run.sh
terminal_runs "device image" scripts/run.sh

echo "== The console on the host build (build/host/velmot_host_console)"
cmake --preset host >/dev/null
cmake --build --preset host --target velmot_host_console >/dev/null
host=(build/host/velmot_host_console --hint "a command line such as /W 0:30")
piped_runs "host build" "${host[@]}"
terminal_runs "host build" "${host[@]}"
