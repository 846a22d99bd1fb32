#!/usr/bin/env bash
# take-screenshot.sh SESSION FOLDER: docs/screenshot.png, of Veltrane_V10.exe
# started from FOLDER on the Wine session SESSION (cmake/wine-session.sh
# start), after a Process run over every season typed as a person would.
set -euo pipefail
session=$1 folder=$2
wine_session=$(cd "$(dirname "$0")/../cmake" && pwd)/wine-session.sh
DISPLAY=$(sh "$wine_session" display "$session")
export DISPLAY
(cd "$folder" && sh "$wine_session" run "$session" Veltrane_V10.exe \
    </dev/null >/dev/null 2>&1 &)
if ! window=$(timeout 60 xdotool search --sync --name 'Veltrane V10' | head -n 1) || [ -z "$window" ]; then
    echo "The window did not appear within a minute" >&2
    exit 1
fi
sleep 1
timeout 30 xdotool windowfocus --sync "$window"
# The focus starts in First Year.
xdotool type --delay 50 "1871"
xdotool key Tab
xdotool type --delay 50 "$(date +%Y)"
xdotool key alt+p
sleep 8
import -window "$window" "$(dirname "$0")/screenshot.png"
xdotool key alt+x
