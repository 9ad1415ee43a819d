#!/usr/bin/env bash
# Presses Connect in a running hmx700 window and accepts the identification box, from outside
# the program through X11 as a person would (xdotool), for smoke tests of a built, unpacked or
# installed program, native or under Wine, on an X server without a window manager (Xvfb).
# Needs DISPLAY. Exits 0 once the box has been accepted and has closed.
# Usage: tools/press-connect.sh [SECONDS]
set -euo pipefail
limit=${1:-60}
deadline=$((SECONDS + limit))

find_window() {  # find_window REGEX: the first visible window whose title matches, or nothing
    xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true
}

wait_window() {  # wait_window REGEX WHAT
    local w=""
    while [ -z "$w" ]; do
        ((SECONDS < deadline)) || { echo "press-connect: no $2 within $limit s" >&2; exit 1; }
        sleep 0.2
        w=$(find_window "$1")
    done
    echo "$w"
}

box_title='^(Identyfikator urzadzenia|Found device)'
window=$(wait_window '^HMX-700$' "main window")
sleep 1  # let the first paint finish
# The middle of Connect: the button lies at (432, 200), 105 x 81, on the measurement page,
# below the page tabs.
# A click that comes before the window takes input (a busy machine) is lost: click again
# until the box shows. A click while the scan runs meets a disabled button and does nothing.
box=""
while [ -z "$box" ]; do
    ((SECONDS < deadline)) || { echo "press-connect: no identification box within $limit s" >&2; exit 1; }
    xdotool mousemove --window "$window" 484 262 click 1
    for _ in $(seq 25); do
        box=$(find_window "$box_title")
        [ -n "$box" ] && break
        sleep 0.2
    done
done
xdotool windowfocus --sync "$box" key --clearmodifiers Return
while [ -n "$(find_window "$box_title")" ]; do
    ((SECONDS < deadline)) || { echo "press-connect: the identification box stays open" >&2; exit 1; }
    sleep 0.2
done
