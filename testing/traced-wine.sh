#!/bin/sh
# Windows programs under a Wine server of their own, for testing/syscall_faults.c
# to trace with every process of theirs (the server makes their opens and
# renames): its prefix is a copy of the build's (PREFIX-faults), so no other
# server is ever traced, and it is its tracer's descendant, as an ordinary
# user's ptrace needs.
#
#   traced-wine.sh BITS PREFIX server   the server and Wine's services, started
#                                       apart from any pipe; returns once they run
#   traced-wine.sh BITS PREFIX run PROGRAM [ARGUMENTS...]
#                                       the program on that server
set -eu

here=$(cd "$(dirname "$0")" && pwd)
session=$here/../cmake/wine-session.sh
[ $# -ge 3 ] || { sed -n '2,12p' "$0" >&2; exit 2; }
bits=$1 made=$2 command=$3
shift 3
case "$(sh "$session" which "$bits")" in
    "the host") kind=host64 ;;
    "the i386 root") kind=root ;;
    *) echo "no Wine here runs the $bits programs" >&2; exit 1 ;;
esac
export WINEPREFIX="$made-faults"

# The copy: the large files shared (the prefix's DLLs, which Wine only reads),
# everything it writes its own.
copy_prefix() {
    [ "$(cat "$WINEPREFIX/.copied-from" 2>/dev/null)" = "$(stat -c %Y "$made/system.reg")" ] && return 0
    rm -rf "$WINEPREFIX" "$WINEPREFIX.part"
    mkdir "$WINEPREFIX.part"
    tar -C "$made" --exclude=./drive_c/windows/system32 --exclude=./drive_c/windows/syswow64 -cf - . |
        tar -C "$WINEPREFIX.part" -xf -
    for shared in system32 syswow64; do
        if [ -d "$made/drive_c/windows/$shared" ]; then
            cp -al "$made/drive_c/windows/$shared" "$WINEPREFIX.part/drive_c/windows/" 2>/dev/null ||
                cp -a "$made/drive_c/windows/$shared" "$WINEPREFIX.part/drive_c/windows/"
        fi
    done
    stat -c %Y "$made/system.reg" > "$WINEPREFIX.part/.copied-from"
    mv "$WINEPREFIX.part" "$WINEPREFIX"
}

case "$command" in
    server)
        [ -f "$made/.veltrane-made" ] || { echo "no Wine prefix $made yet" >&2; exit 1; }
        exec 9>"$WINEPREFIX.lock"
        flock 9
        copy_prefix
        for temp in "$WINEPREFIX"/drive_c/users/*/Temp; do
            find "$temp" -mindepth 1 -maxdepth 1 -exec rm -rf {} + 2>/dev/null || true
        done
        sh "$session" in-kind "$kind" wineserver -p </dev/null >/dev/null 2>&1
        sh "$session" in-kind "$kind" wine cmd /c exit </dev/null >/dev/null 2>&1
        ;;
    run) exec sh "$session" in-kind "$kind" wine "$@" ;;
    *) echo "traced-wine.sh: server or run, not \"$command\"" >&2; exit 2 ;;
esac
