#!/usr/bin/env bash
# Smoke test of the Windows release under Wine, on Xvfb, in a throw-away Wine prefix, against
# the native simulator mapped to COM1: the zip's calculator and recorder start, the program
# from the zip connects, fills jrt1.txt and ends when its window is closed; the installer
# installs silently for all users, the installed program starts and closes, the uninstaller
# removes it, and an installation for the current user goes to the user's own folder.
# Usage: tools/wine-smoke-test.sh ZIP INSTALLER SIMULATOR
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 ZIP INSTALLER SIMULATOR" >&2; exit 2; }
zip=$(realpath "$1")
installer=$(realpath "$2")
simulator=$(realpath "$3")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
pids=()
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "wine-smoke-test: $*" >&2; exit 1; }

# shellcheck source=tools/script-common.sh
. "$here/script-common.sh"

# Closes the program's window as a person would (Alt+F4) and waits for the process to end.
close_and_wait() {  # close_and_wait PID
    local window
    window=$(xdotool search --onlyvisible --name '^HMX-700$' | head -n 1)
    [ -n "$window" ] || fail "no window to close"
    xdotool windowfocus --sync "$window" key --clearmodifiers alt+F4
    wait_for 30 bash -c "! kill -0 $1 2>/dev/null" || fail "the process goes on after its window closed"
    wait "$1" || fail "the program ended with exit code $?"
}

start_xvfb

start_simulator "$simulator"

echo "-- new Wine prefix, COM1 = $device"
wineboot --init >/dev/null 2>&1
wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$device" /f >/dev/null 2>&1
wineserver -k  # the port map is read when Wine starts
wineserver -w

echo "-- the program from the zip"
mkdir -p "$work/zip" "$work/run"
unzip -q "$zip" -d "$work/zip"
exe=$(find "$work/zip" -name hmx700.exe | head -n 1)
[ -n "$exe" ] || fail "no hmx700.exe in $zip"
# Qt's Polish texts, where Qt looks beside the program (its standard buttons, the file dialog).
[ -f "$(dirname "$exe")/translations/qtbase_pl.qm" ] || fail "no translations/qtbase_pl.qm in $zip"
calc=$(wine "$(dirname "$exe")/hmx700-calc.exe" --temperature 20 --dew-point 5 2>/dev/null) || true
grep -q '^dew-point 5\.0000 C' <<<"$calc" || fail "the zip's hmx700-calc.exe does not calculate"
# The recorder loads libmosquitto (and OpenSSL's DLLs) from the zip alone.
logger=$(wine "$(dirname "$exe")/hmx700-logger.exe" --version 2>/dev/null) || true
grep -q '^hmx700-logger ' <<<"$logger" || fail "the zip's hmx700-logger.exe does not start"
(cd "$work/run" && exec wine "$exe" >"$work/program.log" 2>&1) &
program=$!
"$here/press-connect.sh" 120 || fail "Connect did not find the simulated instrument"
log=$work/run/jrt1.txt
expect_growing_log "$log"
head -n 1 "$log" | grep -q $'\r$' || fail "jrt1.txt lines do not end in CR LF"
close_and_wait "$program"
echo "   the window closed and the process ended"

echo "-- the installer, silently, for all users"
wine "$installer" /S >/dev/null 2>&1 || fail "the installer failed"
wineserver -w
installed="$WINEPREFIX/drive_c/Program Files/HMX-700"
[ -f "$installed/hmx700.exe" ] && [ -f "$installed/hmx700-en.exe" ] || fail "nothing installed in $installed"
[ -f "$installed/Uninstall.exe" ] || fail "no uninstaller"
find "$WINEPREFIX/drive_c/ProgramData" -path '*Start Menu*' -name 'HMX-700.lnk' | grep -q . ||
    fail "no Start-menu entry for all users"
mkdir -p "$work/run-installed"
(cd "$work/run-installed" && exec wine "$installed/hmx700.exe" >/dev/null 2>&1) &
program=$!
wait_for 60 bash -c "xdotool search --onlyvisible --name '^HMX-700$' | grep -q ." ||
    fail "the installed program shows no window"
close_and_wait "$program"
echo "   installed, started and closed"
wine "$installed/Uninstall.exe" /S >/dev/null 2>&1 || fail "the uninstaller failed"
wait_for 30 test ! -e "$installed/hmx700.exe" || fail "the uninstaller left the program"
wineserver -w
echo "   uninstalled"

echo "-- the installer, silently, for this user only"
wine "$installer" /S /CurrentUser >/dev/null 2>&1 || fail "the installer failed"
wineserver -w
find "$WINEPREFIX/drive_c/users" -path '*AppData/Local/Programs/HMX-700/hmx700.exe' | grep -q . ||
    fail "nothing installed in the user's programs folder"
[ ! -e "$installed" ] || fail "a per-user installation went to Program Files"
echo "   installed in the user's own folder"
echo "-- smoke test passed"
