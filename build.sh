#!/usr/bin/env bash
# hmx700 developer entry point.
#   ./build.sh run    install what is needed, build the program and the simulator, start both
#   ./build.sh test   install what is needed, build and run every test (also under
#                     ASan+UBSan), then the arm64 and the Windows steps below
#   ./build.sh arm64  cross-build the programs without a window for 64-bit ARM Linux against
#                     Debian's arm64 packages, run their tests and the recorder under qemu,
#                     and build and check hmx700_<version>_arm64.deb
#   ./build.sh windows  cross-build the Windows release (zip and installer), run its tests
#                     and a smoke test under Wine; Qt for Windows is built once into
#                     $HMX700_CACHE (default /var/cache/hmx700), beside the compiler cache
#   ./build.sh tsan   build and run every test under ThreadSanitizer
#   ./build.sh package  build the Debian package (build/packages/hmx700_<version>_<arch>.deb)
#   ./build.sh deps   only install the build dependencies
set -euo pipefail
cd "$(dirname "$0")"

# What building the program needs; the tests need TEST_PACKAGES as well. qt6-translations-l10n:
# Qt's own Polish texts, which the Polish program loads and the Windows release carries.
PACKAGES=(cmake ninja-build ccache g++ qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
          fonts-dejavu-core fonts-liberation libbenchmark-dev librsvg2-bin
          libmosquitto-dev libssl-dev qtkeychain-qt6-dev qt6-translations-l10n)
# dbus: the alarm test starts its own session bus (dbus-daemon); mosquitto and openssl: the
# publishing tests run a real broker, with certificates made on the spot; poppler-utils: the
# report test reads the PDF's text with pdftotext; python3-pandas: the loading benchmark reads the
# same log with pandas.read_csv for scale.
TEST_PACKAGES=(g++-mingw-w64-x86-64 xvfb xauth xdotool libxcb1-dev dbus mosquitto openssl poppler-utils python3-pandas)

install_deps() {  # install_deps [more packages...]
    local missing=() native
    native=$(dpkg --print-architecture)
    for p in "${PACKAGES[@]}" "$@"; do
        # A name without an architecture means this machine's: with arm64's packages beside
        # them (./build.sh arm64), a bare name of a library installed for both is ambiguous.
        dpkg -s "$p" >/dev/null 2>&1 || dpkg -s "$p:$native" >/dev/null 2>&1 || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
}

# The Windows Qt and the compiler cache live outside the clone, so that a fresh clone (as in
# CI) compiles only what changed since the last build on this machine.
CACHE=${HMX700_CACHE:-/var/cache/hmx700}

use_ccache() {
    # ccache's own default folder serves a user who cannot write to $CACHE.
    if [ -z "${CCACHE_DIR:-}" ] && mkdir -p "$CACHE/ccache" 2>/dev/null && [ -w "$CACHE/ccache" ]; then
        export CCACHE_DIR=$CACHE/ccache
    fi
    # Paths relative to the clone, so that clones in other folders share the hits.
    export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
    export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
    export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
}

configure() {  # configure DIR [cmake options...]
    local dir=$1; shift
    use_ccache
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
}

build() {  # build DIR [cmake options...]: every target
    configure "$@"
    cmake --build "$1"
}

# --- Debian package ---------------------------------------------------------------------
# dpkg-dev for CPack's shlibdeps; the rest for tools/check-deb.sh (systemd for systemd-analyze).
DEB_PACKAGES=(dpkg-dev lintian desktop-file-utils appstream systemd xvfb xauth xdotool)

make_deb() {  # make_deb [DIR]: the package of the build in DIR (build/; built already); prints its path
    local dir=${1:-build}
    (cd "$dir" && cpack -G DEB -B "$PWD/packages" >/dev/null)
    ls -t "$dir"/packages/hmx700_*.deb | head -n 1
}

run_package() {
    install_deps "${DEB_PACKAGES[@]}"
    build build
    echo "== Debian package: $(make_deb)"
}

# --- arm64 -------------------------------------------------------------------------------
# 64-bit ARM Linux (a Raspberry Pi, an industrial gateway) beside each instrument: the recorder,
# hmx700-report, hmx700-calc and the simulator, without the window. Debian's own arm64 packages,
# installed beside the host's (multiarch), and its cross compiler; the tests, and the programs
# they start, run under qemu's user-mode emulation, as the Windows ones do under Wine.
ARM64_PACKAGES=(g++-aarch64-linux-gnu qemu-user-static qt6-base-dev:arm64 qt6-svg-dev:arm64
                qtkeychain-qt6-dev:arm64 libmosquitto-dev:arm64 libssl-dev:arm64
                mosquitto mosquitto-clients "${DEB_PACKAGES[@]}")

run_arm64() {
    if ! dpkg --print-foreign-architectures | grep -qx arm64; then
        # Then install_deps updates the package lists, with arm64's.
        if [ "$(id -u)" -ne 0 ]; then sudo dpkg --add-architecture arm64; else dpkg --add-architecture arm64; fi
    fi
    install_deps "${ARM64_PACKAGES[@]}"
    local started=$SECONDS
    # The recorder's run talks to the native simulator.
    configure build
    cmake --build build --target hmx700-sim
    echo "== cross-build for arm64 and test under qemu"
    build build-arm64 -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DHMX700_WINDOW=OFF -DHMX700_BENCH=OFF
    (cd build-arm64 && ctest --output-on-failure -j "$(nproc)")
    echo "== the arm64 recorder under qemu against the native simulator and Mosquitto"
    tools/emulated-logger-test.sh build-arm64/logger/hmx700-logger build-arm64/app/hmx700-report build/tools/hmx700-sim
    echo "== arm64 Debian package: build and check"
    tools/check-deb.sh --without-window "$(make_deb build-arm64)"
    echo "== arm64 step done in $((SECONDS - started)) s"
}

# --- Windows -----------------------------------------------------------------------------
# Qt and libmosquitto (with OpenSSL) for Windows are cross-built from Debian's own sources and
# kept outside the clone.
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix dpkg-dev wine wine64 nsis zip unzip xvfb xauth xdotool)

run_windows() {
    install_deps "${WINDOWS_PACKAGES[@]}"
    local started=$SECONDS qt mosquitto
    echo "== Qt for Windows (cache: $CACHE)"
    # Qt is built once; its objects would only crowd the compiler cache.
    qt=$(env -u CMAKE_C_COMPILER_LAUNCHER -u CMAKE_CXX_COMPILER_LAUNCHER \
         cmake/build-qt-windows.sh "$CACHE" | tail -n 1)
    echo "   $qt ($((SECONDS - started)) s)"
    echo "== libmosquitto (with OpenSSL) for Windows (cache: $CACHE)"
    mosquitto=$(env -u CMAKE_C_COMPILER_LAUNCHER -u CMAKE_CXX_COMPILER_LAUNCHER \
                cmake/build-mosquitto-windows.sh "$CACHE" | tail -n 1)
    echo "   $mosquitto ($((SECONDS - started)) s)"
    # The Windows tests and the smoke test talk to the native simulator.
    configure build
    cmake --build build --target hmx700-sim
    echo "== cross-build for Windows (mingw-w64) and test under Wine"
    build build-windows -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
        -DCMAKE_PREFIX_PATH="$qt" -DHMX700_MOSQUITTO_PREFIX="$mosquitto" -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DHMX700_HOST_SIMULATOR="$PWD/build/tools/hmx700-sim"
    (cd build-windows && ctest --output-on-failure -j "$(nproc)")
    echo "== Windows packages"
    (cd build-windows && cpack -B "$PWD/packages" >/dev/null)
    local zip=build-windows/packages/hmx700-1.01-windows-x64.zip
    local installer=build-windows/packages/hmx700-1.01-windows-x64.exe
    ls -l "$zip" "$installer"
    echo "== smoke test of the zip and the installer under Wine"
    tools/wine-smoke-test.sh "$zip" "$installer" build/tools/hmx700-sim
    echo "== Windows step done in $((SECONDS - started)) s"
}

run_tests() {
    install_deps "${TEST_PACKAGES[@]}" "${DEB_PACKAGES[@]}"
    local jobs
    jobs=$(nproc)
    echo "== build and test"
    build build
    (cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs")
    echo "== Debian package: build and check"
    tools/check-deb.sh "$(make_deb)"
    echo "== build and test with AddressSanitizer + UndefinedBehaviorSanitizer"
    build build-asan -DHMX700_SANITIZE=address -DCMAKE_BUILD_TYPE=Debug
    (cd build-asan && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 \
        UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j "$jobs")
    run_arm64
    run_windows
    echo "== all tests passed"
}

run_tsan() {
    install_deps "${TEST_PACKAGES[@]}"
    echo "== build and test with ThreadSanitizer"
    build build-tsan -DHMX700_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug
    # Qt itself is not instrumented; tests/tsan.supp keeps its internal locking out of the reports.
    # A suppression matches on both stacks of a race: history_size=7 (the largest) keeps the
    # writing side's stack under load too, so the suppression holds and a real race is shown whole.
    (cd build-tsan && QT_QPA_PLATFORM=offscreen \
        TSAN_OPTIONS="suppressions=$PWD/../tests/tsan.supp history_size=7" \
        ctest --output-on-failure -j "$(nproc)")
}

run_program() {
    install_deps
    configure build
    # Only what the window needs, so it appears sooner; the tests build the rest.
    cmake --build build --target hmx700 hmx700-sim
    exec tools/run-with-simulator.sh build
}

case "${1:-}" in
    deps) install_deps "${TEST_PACKAGES[@]}" "${DEB_PACKAGES[@]}" ;;
    test) run_tests ;;
    tsan) run_tsan ;;
    run) run_program ;;
    package) run_package ;;
    windows) run_windows ;;
    arm64) run_arm64 ;;
    *) echo "usage: $0 run|test|arm64|windows|tsan|package|deps" >&2; exit 2 ;;
esac
