#!/usr/bin/env bash
# Checks the Debian package as a user would get it: its control fields and files, lintian
# (no errors), the menu entry and the AppStream data from the package validate, the
# recorder's systemd unit is sandboxed (systemd-analyze security: exposure 3.0 at most), its
# dependencies resolve on this system, and, installed with dpkg into a scratch root, the
# installed hmx700 and hmx700-en each connect to the installed hmx700-sim on Xvfb and fill
# jrt1.txt. --without-window checks a package of the programs without a window (the arm64 one)
# instead: no menu entry, AppStream data or window program. A package of another architecture
# than this machine's (one without the window) is installed into the scratch root all the same,
# and its recorder and simulator run under the emulator HMX700_EMULATOR (qemu-aarch64-static).
# Usage: tools/check-deb.sh [--without-window] DEB
set -euo pipefail
window=1
[ "${1:-}" = --without-window ] && { window=0; shift; }
[ $# -eq 1 ] || { echo "usage: $0 [--without-window] DEB" >&2; exit 2; }
deb=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
pids=()
app_id=pl.velta.hmx700

cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "check-deb: $*" >&2; exit 1; }

# shellcheck source=tools/script-common.sh
. "$here/script-common.sh"

echo "-- dpkg-deb --info"
dpkg-deb --info "$deb" | tee "$work/info"
for field in Package Version Maintainer Section Depends Description; do
    grep -q "^ $field: ." "$work/info" || fail "no $field field"
done
grep -q '^ Depends: .*libqt6core6' "$work/info" || fail "Depends does not name the Qt libraries"
grep -q '^ Depends: .*libmosquitto1' "$work/info" || fail "Depends does not name libmosquitto"
if [ $window = 1 ]; then
    grep -q '^ Depends: .*libqt6widgets6' "$work/info" || fail "Depends does not name Qt Widgets"
    grep -q '^ Depends: .*qt6-translations-l10n' "$work/info" || fail "Depends does not name Qt's translations"
fi
arch=$(dpkg-deb --field "$deb" Architecture)
emulate=()
[ "$arch" = "$(dpkg --print-architecture)" ] || emulate=("${HMX700_EMULATOR:-qemu-aarch64-static}")

echo "-- dpkg-deb --contents"
dpkg-deb --contents "$deb" | tee "$work/contents"
files=(usr/bin/hmx700-sim usr/bin/hmx700-calc usr/bin/hmx700-report usr/bin/hmx700-logger
       usr/lib/systemd/system/hmx700-logger@.service usr/lib/systemd/system/hmx700-logger-all.service
       usr/lib/sysusers.d/hmx700-logger.conf
       usr/share/man/man1/hmx700-sim.1.gz usr/share/man/man1/hmx700-calc.1.gz
       usr/share/man/man1/hmx700-report.1.gz usr/share/man/man1/hmx700-logger.1.gz)
window_files=(usr/bin/hmx700 usr/bin/hmx700-en usr/share/applications/$app_id.desktop
              usr/share/applications/$app_id-en.desktop usr/share/metainfo/$app_id.metainfo.xml
              usr/share/man/man1/hmx700.1.gz usr/share/man/man1/hmx700-en.1.gz)
for file in "${files[@]}"; do
    grep -Eq " \./$file( -> .*)?$" "$work/contents" || fail "$file is not in the package"
done
for file in "${window_files[@]}"; do
    if [ $window = 1 ]; then
        grep -Eq " \./$file( -> .*)?$" "$work/contents" || fail "$file is not in the package"
    else
        grep -Eq " \./$file( -> .*)?$" "$work/contents" && fail "$file is in a package without the window"
    fi
done

echo "-- lintian"
lintian --fail-on error "$deb" || fail "lintian reports errors"

dpkg-deb -x "$deb" "$work/unpacked"
if [ $window = 1 ]; then
    echo "-- the menu entry and the AppStream data"
    desktop-file-validate "$work/unpacked/usr/share/applications/$app_id.desktop"
    desktop-file-validate "$work/unpacked/usr/share/applications/$app_id-en.desktop"
    appstreamcli validate --no-net "$work/unpacked/usr/share/metainfo/$app_id.metainfo.xml"
fi

echo "-- the recorder's units are sandboxed (systemd-analyze security, offline)"
# --offline reads the unit file alone, without a running systemd (Debian 12's systemd 252
# has it); --threshold makes an exposure above 3.0 a failure of the command itself.
max_exposure=3.0
command -v systemd-analyze >/dev/null || fail "systemd-analyze is missing (Debian's package systemd)"
for name in hmx700-logger@.service hmx700-logger-all.service; do
    unit=$work/unpacked/usr/lib/systemd/system/$name
    systemd-analyze verify --man=no "$unit" 2>&1 | grep -v 'is not executable' | tee "$work/verify" || true
    grep -q . "$work/verify" && fail "systemd-analyze verify finds fault with $name"
    analysis=$(systemd-analyze security --offline=true --no-pager --threshold="${max_exposure/./}" "$unit" 2>&1) ||
        { echo "$analysis" >&2; fail "the exposure of $name is above $max_exposure"; }
    exposure=$(echo "$analysis" | sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
    [ -n "$exposure" ] || { echo "$analysis" >&2; fail "systemd-analyze gave no exposure level for $name"; }
    echo "$name: exposure $exposure (at most $max_exposure)"
    awk -v e="$exposure" -v m="$max_exposure" 'BEGIN { exit !(e <= m) }' || fail "the exposure of $name, $exposure, is above $max_exposure"
done

echo "-- its dependencies resolve here (apt-get --simulate)"
apt-get install --simulate -qq "$deb" >/dev/null || fail "apt-get cannot satisfy the dependencies"

echo "-- installed with dpkg into a scratch root"
root=$work/root
mkdir -p "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/info" "$root/etc"
touch "$root/var/lib/dpkg/status"
[ ${#emulate[@]} -eq 0 ] || dpkg --root="$root" --force-not-root --add-architecture "$arch"
# The libraries come from this system, not from the scratch root, hence --force-depends.
# postinst runs outside the scratch root (it has no shell) and works on it through DPKG_ROOT.
dpkg --root="$root" --force-not-root --force-depends --force-script-chrootless --log=/dev/null -i "$deb" >"$work/dpkg.log" 2>&1 ||
    { cat "$work/dpkg.log" >&2; fail "dpkg -i failed"; }
dpkg --root="$root" -s hmx700 | grep -q '^Status: install ok installed' || fail "dpkg did not install it"
if command -v systemd-sysusers >/dev/null; then
    grep -q '^hmx700:' "$root/etc/passwd" || fail "postinst did not create the recorder's user"
    grep -Eq '^dialout:.*[:,]hmx700(,|$)' "$root/etc/group" || fail "the recorder's user is not in dialout"
fi

if [ ${#emulate[@]} -eq 0 ]; then
    start_simulator "$root/usr/bin/hmx700-sim"
else
    echo "-- its simulator and recorder run under ${emulate[*]}"
    printf '#!/bin/sh\nexec %s "%s" "$@"\n' "${emulate[*]}" "$root/usr/bin/hmx700-sim" >"$work/simulator.sh"
    chmod +x "$work/simulator.sh"
    start_simulator "$work/simulator.sh"
fi

# Each window program in a folder of its own, one after the other, against one simulator.
programs=()
if [ $window = 1 ]; then
    programs=(hmx700 hmx700-en)
    start_xvfb
fi
for program in "${programs[@]}"; do
    echo "-- the installed $program measures against the installed simulator"
    mkdir -p "$work/run-$program"
    (cd "$work/run-$program" && HMX700_PORTS="$device" exec "$root/usr/bin/$program" \
        >"$work/$program.log" 2>&1) &
    pid=$!
    pids+=($pid)
    "$here/press-connect.sh" 60 ||
        { cat "$work/$program.log" >&2; fail "$program: Connect did not find the simulated instrument"; }
    expect_growing_log "$work/run-$program/jrt1.txt"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
done

echo "-- the installed recorder measures without a window"
mkdir -p "$work/run-logger"
HMX700_PORTS="$device" "${emulate[@]}" "$root/usr/bin/hmx700-logger" --dir "$work/run-logger" >"$work/logger.log" 2>&1 &
pid=$!
pids+=($pid)
expect_growing_log "$work/run-logger/jrt1.txt" || { cat "$work/logger.log" >&2; fail "hmx700-logger records nothing"; }
kill "$pid"
wait "$pid" || fail "hmx700-logger did not end in order on SIGTERM"
echo "-- package check passed"
