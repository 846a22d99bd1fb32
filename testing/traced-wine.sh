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

[ $# -ge 3 ] || { sed -n '2,14p' "$0" >&2; exit 2; }
bits=$1 made=$2 command=$3
shift 3
# The Wine that runs the test programs of these bits, as cmake/wine-session.sh
# starts it: the 32-bit programs' tests run inside the i386 root, and so does
# this script for them.
case "$bits" in
    x86_64) wine=/usr/lib/wine/wine64 server=/usr/lib/wine/wineserver64; export WINELOADER=$wine ;;
    i686) wine=/usr/lib/wine/wine server=/usr/lib/wine/wineserver32; unset WINELOADER ;;
    *) echo "traced-wine.sh: BITS is i686 or x86_64, not \"$bits\"" >&2; exit 2 ;;
esac
[ -x "$wine" ] || { echo "no $wine here to run the $bits programs" >&2; exit 1; }
unset WINESERVER
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="$made-faults"

# The copy: the large files shared (the prefix's DLLs, which Wine only reads),
# everything it writes its own.
copy_prefix() {
    [ "$(cat "$WINEPREFIX/.copied-from" 2>/dev/null)" = "$(stat -c %Y "$made/.veltrane-made")" ] && return 0
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
    stat -c %Y "$made/.veltrane-made" > "$WINEPREFIX.part/.copied-from"
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
        "$server" -p </dev/null >/dev/null 2>&1
        "$wine" cmd /c exit </dev/null >/dev/null 2>&1
        ;;
    run) exec "$wine" "$@" ;;
    *) echo "traced-wine.sh: server or run, not \"$command\"" >&2; exit 2 ;;
esac
