#!/usr/bin/env bash
# Reports (not a test) what the emulated Pocket PC's console costs in a terminal (tmux, as
# scripts/test-console.sh runs it), with the clock at x1:
#   - its load while nothing happens: the processor time it takes over 10 s with the settings
#     dialog open (it wakes for the clock's minute only), and over 10 s of a countdown (/W 24:0:
#     it wakes for the program's ten-second checks); goal: under 1 % of a core;
#   - how soon a key is on the screen: a digit typed into the dialog's focused edit and erased
#     again, 10 times each, timed from tmux send-keys until capture-pane shows it (so tmux's
#     own delay counts too, which is measured alone after it); goal: within 50 ms.
# Runs the device image when it has been built (build/device/velmot.exe), else the host build.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
source scripts/packages.sh
need_packages tmux

cmake --preset host >/dev/null
if [ -f build/device/velmot.exe ]; then
    cmake --build --preset host --target pocketpc_console >/dev/null
    run=(build/host/pocketpc_console --image build/device/velmot.exe)
    what="the device image"
else
    cmake --build --preset host --target velmot_host_console >/dev/null
    run=(build/host/velmot_host_console)
    what="the host build"
fi
socket="velmot-console-bench-$$"
trap 'tmux -L "$socket" kill-server 2>/dev/null || true' EXIT
ticks=$(getconf CLK_TCK)

# Usage: start COMMAND...: a new detached session whose pane runs COMMAND itself, in place
# of the one before (which goes only once the new one is there, so the server stays up);
# sets $session and $pid.
number=0
session=""
start() {
    local before=$session
    number=$((number + 1))
    session="bench$number"
    tmux -L "$socket" new-session -d -s "$session" -x 110 -y 31 "exec $(printf '%q ' "$@")"
    [ -z "$before" ] || tmux -L "$socket" kill-session -t "$before"
    pid=$(tmux -L "$socket" display-message -p -t "$session" '#{pane_pid}')
    wait_for '| Set ' || wait_for 'Timeline' || wait_for ''
}

wait_for() {
    local deadline=$(($(date +%s) + 30))
    until tmux -L "$socket" capture-pane -p -t "$session" | grep -qF -- "$1"; do
        [ "$(date +%s)" -lt "$deadline" ] || return 1
        sleep 0.005
    done
}

# The processor time (user and system) of $pid, in clock ticks.
cpu() {
    awk '{print $14 + $15}' "/proc/$pid/stat"
}

# Usage: load LABEL: the share of a core that $pid takes over 10 s.
load() {
    sleep 1
    local before after
    before=$(cpu)
    sleep 10
    after=$(cpu)
    awk -v t="$((after - before))" -v hz="$ticks" -v what="$1" \
        'BEGIN { printf "   console at x1, %s: %.2f %% of a core over 10 s (one clock tick: %.2f %%; goal: under 1 %%)\n", what, 100 * t / hz / 10, 10 / hz }'
}

echo "   (on $what)"
start "${run[@]}" --at 21:10:40
load "the settings dialog open, nothing happening"

worst=0
total=0
for _ in $(seq 10); do
    for key in 1 BSpace; do
        [ "$key" = 1 ] && shown='[01_' || shown='[0_ '
        begin=$(date +%s%N)
        tmux -L "$socket" send-keys -t "$session" "$key"
        wait_for "$shown"
        took=$((($(date +%s%N) - begin) / 1000))
        total=$((total + took))
        [ "$took" -gt "$worst" ] && worst=$took
    done
done
awk -v total="$total" -v worst="$worst" \
    'BEGIN { printf "   a key on the screen: %.1f ms on average, %.1f ms at worst over 20 keys, tmux included (goal: within 50 ms)\n", total / 20000, worst / 1000 }'

start "${run[@]}" --at 21:10:40 /W 24:0
load "a countdown (/W 24:0), a check every 10 s"

# What tmux alone takes for the same: a letter echoed by cat.
start cat
sleep 0.5
total=0
for letter in a b c d e f g h i j k l m n o p q r s t; do
    begin=$(date +%s%N)
    tmux -L "$socket" send-keys -t "$session" "$letter"
    wait_for "$letter"
    total=$((total + ($(date +%s%N) - begin) / 1000))
done
awk -v total="$total" \
    'BEGIN { printf "   tmux alone, a letter echoed by cat: %.1f ms on average over 20 keys\n", total / 20000 }'
