# shellcheck shell=bash
# Sourced by the scripts that run Windows programs under Wine; the one place that sets up Wine
# and its display. Usage:
#
#   wine_session [--fresh] [--own-display] [--setup FUNCTION] [--timeout SECONDS]
#                PREFIX SCREEN COMMAND [ARG...]
#
# Runs COMMAND with its arguments in a Wine session of the prefix PREFIX (a folder; relative
# to the current one if not absolute) and returns COMMAND's exit code:
# - exports WINEPREFIX, WINEDEBUG=-all (no Wine messages), WINEARCH=win64 (this Wine has no
#   32-bit side) and WINEDLLOVERRIDES="mscoree,mshtml=" (no Mono or Gecko installers);
# - without a DISPLAY, runs on a virtual display of size SCREEN (width x height x depth, for
#   example 480x640x24, with xvfb-run -a); with one, on that display, unless --own-display
#   asks for the virtual display anyway (tests and pictures need a display of their own);
# - stops any wineserver of the prefix before and after (also on Ctrl+C or a time-out), so
#   each session has its own: a wineserver started without a display stays up for later
#   commands, and its notification area is broken (Shell_NotifyIconW stalls for seconds);
# - creates the prefix (wineboot --init, about 20 s) when it does not exist yet; --fresh
#   deletes it first, so the session starts from a new one; --setup FUNCTION runs FUNCTION
#   (a shell function of the calling script) once the new prefix exists, for instance to
#   write to its registry with `wine reg add`;
# - --timeout SECONDS ends the whole session (exit code 124) when it takes longer.
#
# COMMAND may be a program or a shell function of the calling script; it runs in a child
# shell with `set -euo pipefail`, in the current folder. Every function of the caller is
# carried into that shell, but its variables only if they are exported. Ctrl+C ends the
# session with the message "Stopped." and exit code 130.
wine_session() {
    local fresh=0 own=0 setup="" limit=""
    while [ $# -gt 0 ]; do
        case "$1" in
        --fresh)
            fresh=1
            shift
            ;;
        --own-display)
            own=1
            shift
            ;;
        --setup)
            setup=${2:?wine_session: --setup needs a function name}
            shift 2
            ;;
        --timeout)
            limit=${2:?wine_session: --timeout needs a number of seconds}
            shift 2
            ;;
        --)
            shift
            break
            ;;
        -*)
            echo "wine_session: unknown option $1" >&2
            return 2
            ;;
        *)
            break
            ;;
        esac
    done
    if [ $# -lt 3 ]; then
        echo "usage: wine_session [--fresh] [--own-display] [--setup FUNCTION]" \
            "[--timeout SECONDS] PREFIX SCREEN COMMAND [ARG...]" >&2
        return 2
    fi
    local prefix=$1 screen=$2
    shift 2
    case "$prefix" in
    /*) ;;
    *) prefix="$PWD/$prefix" ;;
    esac

    # Local to this call, exported to everything it starts.
    local -x WINEPREFIX="$prefix" WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
    local runner=()
    if [ -n "$limit" ]; then
        runner+=(timeout "$limit")
    fi
    if [ -z "${DISPLAY:-}" ] || [ "$own" = 1 ]; then
        runner+=(xvfb-run -a -s "-screen 0 $screen")
    fi
    # The child shell gets the caller's functions (this file's among them) through its
    # environment.
    # shellcheck disable=SC2016 # the child shell expands its own variables
    WINE_SESSION_FUNCTIONS="$(declare -f)" "${runner[@]}" bash -c \
        'eval "$WINE_SESSION_FUNCTIONS"; unset WINE_SESSION_FUNCTIONS; _wine_session_run "$@"' \
        bash "$fresh" "$setup" "$@"
}

# Usage, as (part of) the --setup FUNCTION of a wine_session: wine_virtual_desktop SIZE
# Makes the new prefix show its programs inside a Wine desktop of SIZE (width x height, for
# example 1280x800), whose task bar holds the notification area and whose windows have their
# title bars, which a bare virtual display without a window manager would not draw.
wine_virtual_desktop() {
    wine reg add "HKCU\\Software\\Wine\\Explorer" /v Desktop /d Default /f >/dev/null
    wine reg add "HKCU\\Software\\Wine\\Explorer\\Desktops" /v Default /d "$1" /f >/dev/null
}

# Usage, as the COMMAND of a wine_session: wine_picture MODE FILE
# Brings velmot.exe on screen with the Wine test driver (build/windows/wine-test/driver.exe,
# built by the windows preset): MODE --show-dialog starts it without a command line and
# waits for its settings dialog, --show-menu opens its notification icon's menu. Then takes a
# picture of the whole screen into FILE (ImageMagick's import, which the caller installs) and
# ends every Wine process of the session (wineserver -k), velmot.exe among them, so that the
# next picture starts afresh. The driver installs its stand-in DLLs in the prefix: use a prefix
# of its own for pictures.
wine_picture() {
    wine build/windows/wine-test/driver.exe "$1"
    sleep 1 # lets the window finish painting
    import -window root "$2"
    _wine_session_stop
    wineserver -w
}

# Stops the prefix's wineserver, and with it every Wine process of the prefix.
_wine_session_stop() {
    wineserver -k >/dev/null 2>&1 || true
}

# The session itself, in the child shell (on the virtual display, if there is one).
_wine_session_run() {
    set -euo pipefail
    local fresh=$1 setup=$2
    shift 2
    _wine_session_stop
    trap _wine_session_stop EXIT
    trap 'echo; echo "Stopped."; exit 130' INT
    trap 'echo; echo "Stopped."; exit 143' TERM
    local shown=${WINEPREFIX#"$PWD"/}
    if [ "$fresh" = 1 ] && [ -e "$WINEPREFIX" ]; then
        rm -rf -- "$WINEPREFIX"
    fi
    if [ ! -e "$WINEPREFIX/system.reg" ]; then
        echo "   creating the Wine prefix $shown (about 20 s)"
        wine wineboot --init >/dev/null 2>&1
        if [ -n "$setup" ]; then
            "$setup"
        fi
        # Lets the prefix's start-up processes finish before the command begins.
        wineserver -w
    fi
    "$@"
}
