#!/usr/bin/env bash
# hide-displays.sh READY: starts two X servers on the first free display
# numbers and removes their socket and lock files, which is how servers in
# other roots or containers look from here; writes "ready" to the file READY
# once they are hidden. They last as long as its caller (its parent process):
# they end with this script, which the kernel tells them (setpriv --pdeathsig),
# and it ends when the caller has gone. The Windows tests start their own
# display beside them, proving that they always can.
set -euo pipefail
ready=$1
start_time() { sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f20; }
owner=$PPID owner_start=$(start_time "$PPID")
rm -f "$ready"
number=0 hidden=0
while [ $hidden -lt 2 ] && [ $number -lt 32 ]; do
    if [ ! -e "/tmp/.X$number-lock" ] && [ ! -e "/tmp/.X11-unix/X$number" ]; then
        setpriv --pdeathsig TERM Xvfb ":$number" -nolisten tcp </dev/null >/dev/null 2>&1 &
        waited=0
        while [ -d "/proc/$!" ] && [ ! -e "/tmp/.X11-unix/X$number" ] && [ $waited -lt 100 ]; do
            sleep 0.1
            waited=$((waited + 1))
        done
        if [ -e "/tmp/.X11-unix/X$number" ]; then
            rm -f "/tmp/.X$number-lock" "/tmp/.X11-unix/X$number"
            hidden=$((hidden + 1))
            echo "Display :$number is held by an X server whose files are hidden" >&2
        fi
    fi
    number=$((number + 1))
done
echo ready > "$ready"
while [ "$(start_time "$owner")" = "$owner_start" ]; do
    sleep 1
done
