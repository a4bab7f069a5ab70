#!/usr/bin/env bash
# Tests of the emulated Pocket PC's console as a person uses it, through scripts/run.sh, which
# runs the device image (build/device/velmot.exe); the host build's console
# (build/host/velmot_host_console) goes through the piped runs and the typical road as well.
#   - piped (no terminal at all): /W 0:30 presses the power-off key at 21:40:00 and ends with a
#     line naming the program and its exit code, 0, with the timeline file holding the same
#     lines; no command line: 3, saying how to go on; /T 25:0: 124 after 48 hours of device
#     time, and after 2 with --hours 2; a wrong option or screen size: 2; an image that faults:
#     4, with the fault;
#   - in a terminal (tmux, detached sessions of 110 x 31), each a story of what a person does:
#     the typical road with the keys (Tab, Shift+Tab, Space, Backspace, digits, Enter, + and -,
#     starting from --speed 60); the menu with the keys (i, Up, Down, Enter, Esc, a mnemonic)
#     and the bar's clock at --at; the mouse (a radio button, an edit, each key of the input
#     panel, ok, the icon, a menu item); q, Ctrl+C, SIGTERM and SIGHUP with their exit codes
#     and the terminal given back; the three --screen sizes as drawn; output piped while the
#     input is a terminal, input not a terminal, and --no-ui, each printing the timeline.
# Every run that ends by itself must name the program that ran: velmot.exe (the device
# image) or velmot (host build). The waits poll the screen with generous time-outs that guard
# against a hang only; what is checked is the device's time and the outcome, never how long
# the machine took. On a failure prints the captured screen. Installs tmux (and pefile, for
# the faulting image) when missing.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
source scripts/packages.sh
need_packages tmux python3-pefile

work=$(mktemp -d)
socket="velmot-console-test-$$"
cleanup() {
    tmux -L "$socket" kill-server 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
# A hang guard, in seconds: far beyond what any wait takes on a busy machine.
guard=90
label=""

fail() {
    echo "   FAIL: $label: $*" >&2
    exit 1
}
ok() {
    echo "   ok    $label: $*"
}

# ---- Piped runs ------------------------------------------------------------------------

# Usage: piped NAME EXPECTED_CODE COMMAND...: runs COMMAND with no terminal (input /dev/null,
# output to $work/NAME.out, errors to $work/NAME.err; a hang guard of $guard s) and requires
# the exit code.
piped() {
    local name=$1 expected=$2 code=0
    shift 2
    timeout "$guard" "$@" </dev/null >"$work/$name.out" 2>"$work/$name.err" || code=$?
    if [ "$code" -ne "$expected" ]; then
        tail -n 20 "$work/$name.out" "$work/$name.err" >&2
        fail "$name: exit code $code, not $expected"
    fi
}

# Usage: has NAME.out|NAME.err TEXT: the file holds a line with TEXT (a fixed string).
has() {
    grep -qF -- "$2" "$work/$1" || {
        tail -n 20 "$work/$1" >&2
        fail "$1 (above) has no line with \"$2\""
    }
}

# Usage: piped_runs LABEL PROGRAM COMMAND...: PROGRAM is the name that the runs must give.
piped_runs() {
    label=$1
    local program=$2
    shift 2
    piped wait 0 "$@" --at 21:10:40 --timeline "$work/wait.timeline" /W 0:30
    has wait.out '21:40:00 key 0xDF down'
    [ "$(tail -n 1 "$work/wait.out")" = "pocketpc_console: $program exited with code 0" ] ||
        fail "/W 0:30 ends with \"$(tail -n 1 "$work/wait.out")\", not naming $program"
    head -n -1 "$work/wait.out" | cmp -s - "$work/wait.timeline" ||
        fail "the timeline file is not the timeline printed"
    ok "piped /W 0:30: the power-off key at 21:40:00, the timeline file, \"$(tail -n 1 "$work/wait.out")\""

    piped dialog 3 "$@" --at 21:10:40
    has dialog.out 'run it in a terminal, or give it a command line such as /W 0:30'
    ok "piped without a command line: exit code 3, \"$(tail -n 1 "$work/dialog.out")\""

    piped hours 124 "$@" --at 21:10:40 /T 25:0
    has hours.out 'stopped after 48 hours of device time, at +2d 21:10:40'
    piped hours 124 "$@" --at 21:10:40 --hours 2 /T 25:0
    has hours.out 'stopped after 2 hours of device time, at 23:10:40'
    ! grep -q 'key 0xDF' "$work/hours.out" || fail "/T 25:0 suspended"
    ok "piped /T 25:0: exit code 124 after 48 hours, and after 2 with --hours 2"

    piped usage 2 "$@" --screen 480x640 /W 0:0
    has usage.err 'no Pocket PC has a 480 x 640 screen here'
    piped usage 2 "$@" --hour 2 /W 0:0
    has usage.err 'unknown option --hour'
    ok "a refused screen size and an unknown option: exit code 2, saying why"
}

# ---- In a terminal -----------------------------------------------------------------------

tm() {
    tmux -L "$socket" "$@"
}

capture() {
    tm capture-pane -p -t "$1"
}

# Usage: wait_screen HOW SESSION PATTERN: until the screen shows (HOW: shown, a fixed string;
# matched, an extended regular expression) or no longer shows (gone) PATTERN; fails with the
# screen after $guard s.
wait_screen() {
    local how=$1 session=$2 pattern=$3 deadline found
    deadline=$(($(date +%s) + guard))
    while :; do
        found=0
        case $how in
        matched) capture "$session" | grep -qE -- "$pattern" && found=1 ;;
        *) capture "$session" | grep -qF -- "$pattern" && found=1 ;;
        esac
        if { [ "$how" = gone ] && [ "$found" -eq 0 ]; } ||
            { [ "$how" != gone ] && [ "$found" -eq 1 ]; }; then
            return 0
        fi
        if [ "$(date +%s)" -ge "$deadline" ]; then
            capture "$session" >&2 || true
            fail "the screen (above) is not $how \"$pattern\""
        fi
        sleep 0.05
    done
}
wait_for() { wait_screen shown "$@"; }
wait_match() { wait_screen matched "$@"; }
wait_gone() { wait_screen gone "$@"; }

# Usage: start SESSION COMMAND...: COMMAND in a detached session of 110 x 31; its process id
# goes to $work/SESSION.pid, its exit code to $work/SESSION.code and the terminal's settings
# after it to $work/SESSION.stty.
start() {
    local session=$1
    shift
    rm -f "$work/$session".*
    tm new-session -d -s "$session" -x 110 -y 31 \
        "bash -c 'echo \$\$ >$work/$session.pid; exec \"\$@\"' _ $(printf '%q ' "$@");
         echo \$? >$work/$session.code; stty -a >$work/$session.stty; sleep 600"
}

keys() {
    tm send-keys -t "$@"
}

# Usage: ended SESSION CODE: the command ended with exit code CODE and gave the terminal back
# as it found it (line editing and echo on).
ended() {
    local deadline=$(($(date +%s) + guard))
    while [ ! -s "$work/$1.stty" ]; do
        [ "$(date +%s)" -lt "$deadline" ] || { capture "$1" >&2; fail "the command did not end"; }
        sleep 0.05
    done
    [ "$(cat "$work/$1.code")" = "$2" ] || fail "exit code $(cat "$work/$1.code"), not $2"
    if ! grep -qE '(^| )icanon( |$)' "$work/$1.stty" || ! grep -qE '(^| )echo( |$)' "$work/$1.stty"; then
        cat "$work/$1.stty" >&2
        fail "the terminal was not given back (its settings above)"
    fi
    tm kill-session -t "$1"
}

# Usage: where SESSION TEXT: "ROW COLUMN" (from 0) of the first cell of TEXT on the device's
# screen of 240 x 320 (the first 42 columns, the frame's).
where() {
    capture "$1" | cut -c1-42 | awk -v text="$2" 'index($0, text) { print NR - 1, index($0, text) - 1; exit }'
}

# Usage: key_cell SESSION LABEL: "ROW COLUMN" of the input panel's key LABEL (a digit, or <-),
# where the label is drawn below the panel's title, between spaces.
key_cell() {
    capture "$1" | cut -c1-42 | awk -v key="$2" '
        /Input panel/ { panel = 1; next }
        panel { line = " " $0 " "; gsub(/\|/, " ", line); i = index(line, " " key " ")
                if (i) { print NR - 1, i - 1; exit } }'
}

# Usage: click SESSION ROW COLUMN: a press and a release of the first mouse button on that
# cell, as the terminal reports them (ESC [ M, then the button, 0, or 3 for the release, the
# column and the row, each plus 32, counted from 1).
click() {
    local at
    printf -v at '%b%b' "\\0$(printf %o $((33 + $3)))" "\\0$(printf %o $((33 + $2)))"
    keys "$1" -l $'\e[M '"$at"$'\e[M#'"$at"
}

# Usage: click_on SESSION TEXT [OFFSET]: a click on TEXT's first cell, or OFFSET cells on.
click_on() {
    local at
    at=$(where "$1" "$2")
    [ -n "$at" ] || { capture "$1" >&2; fail "no \"$2\" on the screen (above) to click"; }
    local row col
    read -r row col <<<"$at"
    click "$1" "$row" $((col + ${3:-0}))
}

# The timeline file's lines from the first with TEXT on, without their times.
texts_from() {
    sed -n "/$2/,\$p" "$1" | cut -d' ' -f2-
}

# Milliseconds after midnight of a time of the timeline, HH:MM:SS[.mmm].
ms_of() {
    local h m s f
    IFS=':.' read -r h m s f <<<"$1"
    echo $((10#$h * 3600000 + 10#$m * 60000 + 10#$s * 1000 + 10#${f:-0}))
}

# The typical road with the keys: Wait to suspend, 0 hours 10 minutes, ok; the clock's speed
# from --speed 60 down to x1 and up to x600, at which the ten minutes pass.
story_road() {
    label="$1, the road with the keys"
    local program=$2 timeline="$work/road.timeline"
    shift 2
    start road "$@" --at 21:10:00 --speed 60 --timeline "$timeline"
    wait_for road '| (o) Time to suspend'
    wait_for road '| [0_  ] :  [0   ]'
    wait_for road '| ( ) Wait to suspend'
    wait_for road '| [0   ] hours and [0    ] minutes'
    wait_match road '^\| Set +2[0-3]:[0-5][0-9]  ok \|'
    wait_for road 'Tab move  Space tap  0-9 Bksp type  Enter ok  i icon  menu: Up Down Enter Esc'
    ok "the dialog, the bar with Set, the clock and ok, the keys"
    wait_for road 'Timeline  (clock x60)'
    keys road -
    wait_for road '(clock x10)'
    keys road -
    wait_for road '(clock x1)'
    keys road - +
    wait_for road '(clock x10)'
    keys road + +
    wait_for road '(clock x600)'
    ok "- and + step the clock's speed: x60, x10, x1 (and no slower), x10, x600"
    keys road BTab Space
    wait_for road '| (o) Wait to suspend'
    keys road Tab BSpace 0 Tab BSpace 1 0
    wait_for road '[0   ] hours and [10_  ] minutes'
    ok "Shift+Tab, Space, Tab, Backspace and digits"
    keys road Enter
    wait_for road 'The Pocket PC suspended'
    wait_for road "$program exited with code 0"
    local shown key tapped waited
    shown=$(capture road | sed -n 's/^| *at \([0-9:.]*\) *|.*/\1/p')
    key=$(sed -n 's/^\([0-9:.]*\) key 0xDF down$/\1/p' "$timeline")
    tapped=$(sed -n 's/^\([0-9:.]*\) user taps Done$/\1/p' "$timeline")
    if [ -z "$key" ] || [ "$shown" != "$key" ]; then
        fail "the screen says suspended at \"$shown\", the timeline file \"$key\""
    fi
    # Ten minutes end at the first check (every ten seconds) that sees the tenth change of
    # the minute: the device's time, at x600.
    waited=$(($(ms_of "$key") - $(ms_of "$tapped")))
    if [ "$waited" -le 540000 ] || [ "$waited" -gt 610000 ]; then
        fail "Done at $tapped, the power-off key at $key"
    fi
    ok "Enter taps ok; at x600 the power-off key $((waited / 1000)) s of device time after Done, at $key as shown"
    keys road x
    ended road 0
    ok "a key ends it: exit code 0, the terminal given back"
}

# The menu with the keys, and the bar's clock at the time given.
story_menu_keys() {
    label="$1, the menu with the keys"
    local program=$2
    shift 2
    start menu "$@" --at 21:10:00 /W 1:30
    wait_for menu 'Timeline  (clock x1)'
    # At x1 the minute may have turned meanwhile on a busy machine, never the hour.
    wait_match menu '^\| +21:1[01] \|'
    ok "--at 21:10:00: the bar's clock shows $(capture menu | sed -n 's/^| *\([0-9:]*\) *|.*/\1/p;2q')"
    keys menu i
    wait_for menu '|>Set '
    keys menu Down
    wait_for menu '|>Suspend '
    keys menu Up
    wait_for menu '|>Set '
    keys menu Escape
    wait_gone menu 'Exit application'
    keys menu i
    wait_for menu '|>Set '
    keys menu Enter
    wait_for menu '| (o) Wait to suspend'
    wait_match menu '\| \[1_? *\] hours and \[(30|29) *\] minutes'
    ok "i, Down, Up, Esc; Enter on Set opens the dialog with the time left"
    keys menu Enter
    wait_gone menu 'Wait to suspend'
    keys menu i
    wait_for menu '|>Set '
    keys menu e
    wait_for menu "$program exited with code 0"
    keys menu x
    ended menu 0
    ok "Enter taps ok; the mnemonic e chooses Exit application: exit code 0"
}

# The mouse: a radio button, an edit, each key of the input panel, ok, the icon, a menu item.
story_mouse() {
    label="$1, the mouse"
    local program=$2 timeline="$work/mouse.timeline"
    shift 2
    start mouse "$@" --at 21:10:00 --timeline "$timeline"
    wait_for mouse '| ( ) Wait to suspend'
    click_on mouse '( ) Wait to suspend'
    wait_for mouse '| (o) Wait to suspend'
    click_on mouse 'hours and [' 10
    wait_match mouse 'hours and \[0_ +\] minutes'
    ok "a click on a radio button chooses it, on an edit focuses it"
    local key at
    for key in 1 2 3 4 5 6 7 8 9 0 '<-'; do
        at=$(key_cell mouse "$key")
        [ -n "$at" ] || { capture mouse >&2; fail "no key $key on the input panel (above)"; }
        # shellcheck disable=SC2086 # the row and the column
        click mouse $at
        if [ "$key" = '<-' ]; then
            wait_for mouse 'user erases a character'
        else
            wait_for mouse "user types \"$key\""
        fi
    done
    local expected
    expected=$(for digit in 1 2 3 4 5 6 7 8 9 0; do echo "user types \"$digit\" into 1004"; done
        echo "user erases a character of 1004")
    [ "$(texts_from "$timeline" 'user types "1"' | grep '^user ')" = "$expected" ] || {
        texts_from "$timeline" 'user taps button' >&2
        fail "the input panel's keys typed (above) not 1 to 9, 0 and <-"
    }
    ok "a click on each key of the input panel types its digit, <- erases"
    click_on mouse ' ok |' 1
    wait_gone mouse 'Wait to suspend'
    # The icon: the first two letters of its tip on the menu bar, the lowest row that has them.
    at=$(capture mouse | cut -c1-42 | awk 'index($0, "Ve") { at = NR - 1 " " index($0, "Ve") - 1 } END { print at }')
    [ -n "$at" ] || { capture mouse >&2; fail "no icon on the menu bar (above)"; }
    # shellcheck disable=SC2086 # the row and the column
    click mouse $at
    wait_for mouse '|>Set '
    click_on mouse ' Exit application'
    wait_for mouse "$program exited with code 0"
    keys mouse x
    ended mouse 0
    ok "a click on ok, on the icon and on Exit application: exit code 0"
}

# Usage: drawn SESSION COLUMNS ROWS: the device's frame on the screen is that many cells
# inside, with the dialog in it.
drawn() {
    local top
    wait_for "$1" '(o) Time to suspend'
    top="+$(printf -- '-%.0s' $(seq "$2"))+"
    capture "$1" | sed -n "1p;$(($3 + 2))p" | cut -c1-$(($2 + 2)) >"$work/frame"
    if [ "$(sed -n 1p "$work/frame")" != "$top" ] || [ "$(sed -n 2p "$work/frame")" != "$top" ]; then
        capture "$1" >&2
        fail "the frame is not $2 x $3 cells"
    fi
}

# Ending the device from outside the program: q, Ctrl+C, SIGTERM and SIGHUP, each on one of
# the three screens.
story_endings() {
    label="$1, the ways out"
    shift 2
    start quit "$@" --at 21:10:00
    drawn quit 40 27
    keys quit q
    wait_for quit 'stopped with q at 21:1'
    keys quit x
    ended quit 130
    ok "q: exit code 130, the terminal given back"
    local size columns rows signal code
    for size in "240x320 40 27 TERM 143" "320x240 54 20 HUP 129" "240x240 40 20 INT 130"; do
        read -r size columns rows signal code <<<"$size"
        start screen "$@" --at 21:10:00 --screen "$size"
        drawn screen "$columns" "$rows"
        if [ "$signal" = INT ]; then
            keys screen C-c
            wait_for screen 'stopped with q'
            keys screen x
        else
            kill -"$signal" "$(cat "$work/screen.pid")"
        fi
        ended screen "$code"
        ok "--screen $size: $columns x $rows cells; $([ "$signal" = INT ] && echo Ctrl+C || echo "SIG$signal"): exit code $code, the terminal given back"
    done
}

# No screen without a terminal on both sides, or with --no-ui: the timeline printed, in
# virtual time.
story_without_screen() {
    label="$1, without a screen"
    local program=$2
    shift 2
    local run
    run="$(printf '%q ' "$@") --at 21:10:40"
    start pipe bash -c "$run /W 0:30 | tail -n 5; exit \${PIPESTATUS[0]}"
    wait_for pipe "pocketpc_console: $program exited with code 0"
    wait_for pipe '21:40:00 key 0xDF up'
    ended pipe 0
    ok "output piped, input a terminal: the timeline's end in virtual time"
    start input bash -c "$run /W 0:30 </dev/null"
    wait_for input "pocketpc_console: $program exited with code 0"
    wait_for input '21:40:00 key 0xDF up'
    ended input 0
    ok "input not a terminal, output a terminal: the timeline in virtual time"
    start noui "$@" --no-ui --at 21:10:40 /W 0:30
    wait_for noui "pocketpc_console: $program exited with code 0"
    wait_for noui '21:40:00 key 0xDF up'
    ended noui 0
    ok "--no-ui in a terminal: the timeline in virtual time"
}

echo "== The console on the device image (scripts/run.sh: build/device/velmot.exe)"
device=(scripts/run.sh)
# scripts/run.sh builds first; the faulting image is made from what it built.
piped_runs "device image" velmot.exe "${device[@]}"
/usr/bin/python3 - build/device/velmot.exe "$work/faulting.exe" <<'EOF'
import sys
import pefile

# The image with an undefined instruction at its entry: the loader takes it, the processor
# faults on its first instruction.
image = pefile.PE(sys.argv[1])
image.set_dword_at_rva(image.OPTIONAL_HEADER.AddressOfEntryPoint, 0xE7F000F0)
image.OPTIONAL_HEADER.CheckSum = image.generate_checksum()
image.write(sys.argv[2])
EOF
piped fault 4 build/host/pocketpc_console --image "$work/faulting.exe" /W 0:0
has fault.out 'the emulated device failed: the program faulted: undefined instruction'
ok "an image that faults: exit code 4, \"$(tail -n 1 "$work/fault.out" | cut -c1-90)...\""
story_road "device image" velmot.exe "${device[@]}"
story_menu_keys "device image" velmot.exe "${device[@]}"
story_mouse "device image" velmot.exe "${device[@]}"
story_endings "device image" velmot.exe "${device[@]}"
story_without_screen "device image" velmot.exe "${device[@]}"

echo "== The console on the host build (build/host/velmot_host_console)"
cmake --preset host >/dev/null
cmake --build --preset host --target velmot_host_console >/dev/null
host=(build/host/velmot_host_console --hint "a command line such as /W 0:30")
piped_runs "host build" "velmot (host build)" "${host[@]}"
story_road "host build" "velmot (host build)" "${host[@]}"
