#!/usr/bin/env bash
# hide-displays.sh: starts two X servers on the first free display numbers and
# removes their socket and lock files, which is how servers in other roots or
# containers look from here; prints their process ids, to be stopped by the
# caller. The Windows tests start their own display beside them, proving that
# they always can.
set -euo pipefail
number=0 hidden=0
while [ $hidden -lt 2 ] && [ $number -lt 32 ]; do
    if [ ! -e "/tmp/.X$number-lock" ] && [ ! -e "/tmp/.X11-unix/X$number" ]; then
        Xvfb ":$number" -nolisten tcp </dev/null >/dev/null 2>&1 &
        pid=$!
        waited=0
        while kill -0 "$pid" 2>/dev/null && [ ! -e "/tmp/.X11-unix/X$number" ] && [ $waited -lt 100 ]; do
            sleep 0.1
            waited=$((waited + 1))
        done
        if [ -e "/tmp/.X11-unix/X$number" ]; then
            rm -f "/tmp/.X$number-lock" "/tmp/.X11-unix/X$number"
            hidden=$((hidden + 1))
            echo "$pid"
            echo "Display :$number is held by an X server whose files are hidden" >&2
        else
            kill "$pid" 2>/dev/null || true
        fi
    fi
    number=$((number + 1))
done
