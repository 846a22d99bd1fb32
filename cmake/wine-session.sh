#!/bin/sh
# Windows programs under Wine on a private X display, for the tests (as ctest
# fixtures and emulator), the benchmarks and the screenshot.
#
#   wine-session.sh start STATE PREFIX   a private Xvfb, and a running Wine
#                                        server for the prefix PREFIX (made
#                                        if new); what it started goes in STATE
#   wine-session.sh run STATE PROGRAM [ARGUMENTS...]
#                                        the program on that display and prefix
#   wine-session.sh stop STATE           stops what start started, nothing else
#   wine-session.sh wine PROGRAM [ARGUMENTS...]
#                                        the program with this environment's
#                                        DISPLAY and WINEPREFIX
#
# Everything started goes with its output away from the caller's: ctest reads
# its tests through pipes, and waits for as long as anything holds them open.
set -eu

here=$(cd "$(dirname "$0")" && pwd)

# The launcher, chosen here only: Wine's own starts programs through its
# 32-bit loader; where the kernel starts no i386 program, only its 64-bit
# loader works (and runs 64-bit programs only).
launcher() {  # probe-folder
    if "$here/kernel-runs-i386.sh" "$1"; then echo wine; else echo /usr/lib/wine/wine64; fi
}

launch() {  # launcher program arguments...
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    [ "$1" = wine ] || export WINELOADER="$1"
    exec "$@"
}

quietly() { "$@" </dev/null >/dev/null 2>&1; }

start() {
    state=$1
    prefix=$2
    stop "$state"
    mkdir -p "$state" "$prefix"
    echo "$prefix" > "$state/prefix"
    launcher "$state/probe" > "$state/launcher"
    # Xvfb picks a free display number itself (-displayfd): no other server,
    # whether its socket and lock files can be seen from here or not, is in its way.
    rm -f "$state/display"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$state/display" </dev/null >/dev/null 2>&1 &
    echo $! > "$state/xvfb.pid"
    waited=0
    until grep -q '^[0-9][0-9]*$' "$state/display"; do
        if ! kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null || [ $waited -gt 150 ]; then
            echo "Xvfb did not start" >&2
            exit 1
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
    export WINEPREFIX="$prefix"
    if [ ! -f "$prefix/system.reg" ]; then
        echo "Creating the Wine prefix $prefix"
        echo started > "$state/wineserver"
        quietly sh "$0" run "$state" cmd /c exit
        # Without a window manager, hiding a managed window waits two seconds.
        quietly sh "$0" run "$state" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
        wineserver -w
    fi
    # A server already running for the prefix (status 2) serves as well, and is left running.
    status=0
    quietly wineserver -p || status=$?
    case $status in
        0) echo started > "$state/wineserver" ;;
        2) rm -f "$state/wineserver" ;;
        *) echo "wineserver did not start (status $status)" >&2; exit 1 ;;
    esac
    quietly sh "$0" run "$state" cmd /c exit
}

stop() {
    state=$1
    if [ -f "$state/wineserver" ]; then
        quietly env WINEPREFIX="$(cat "$state/prefix")" wineserver -k || true
        rm -f "$state/wineserver"
    fi
    if [ -f "$state/xvfb.pid" ]; then
        kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
        rm -f "$state/xvfb.pid"
    fi
}

command=${1:-}
[ $# -gt 0 ] && shift
case "$command" in
    start) start "$@" ;;
    stop) stop "$@" ;;
    run)
        state=$1
        shift
        export DISPLAY=":$(cat "$state/display")" WINEPREFIX="$(cat "$state/prefix")"
        launch "$(cat "$state/launcher")" "$@"
        ;;
    wine) launch "$(launcher "${VELTRANE_PROBE_FOLDER:-$here/../build/probe}")" "$@" ;;
    *) sed -n '2,15p' "$0" >&2; exit 2 ;;
esac
