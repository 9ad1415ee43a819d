#!/usr/bin/env bash
# Cross-builds Qt for 64-bit Windows (mingw-w64) from Debian's own Qt sources, once.
#   cmake/build-qt-windows.sh CACHE_DIR     prints the Qt prefix on its last line
# The result lives in CACHE_DIR/qt-<version>-<key>, where <key> is a hash of the configure
# options and the toolchain, so a change to either builds a new Qt beside the old one.
# Debian's source packages are fetched through a private sources list, made from the machine's
# own apt configuration, and private apt state inside CACHE_DIR; the machine's apt
# configuration is left as it is.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=${1:?usage: $0 CACHE_DIR}
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)

# The cross Qt must match the host Qt whose moc, rcc and uic it uses. The host's architecture
# is named: with another one's packages installed too (arm64), a bare name gives both versions.
host_arch=$(dpkg --print-architecture)
qt_deb_version=$(dpkg-query -W -f='${Version}' "qt6-base-dev:$host_arch")

# Modules: Core, Gui, Widgets, PrintSupport, Test and Xml (all of qtbase that is built), and
# Svg from its own source package when it can be fetched (the chart saves SVG with it).
qtbase_options=(
    -release -shared -nomake examples -nomake tests
    -xplatform win32-g++
    -no-opengl -no-dbus -no-icu -no-feature-sql -no-feature-network
    -no-feature-tabletevent      # Debian's tarball has no wintab headers
    -no-feature-directwrite      # qwindows.dll fails to link with it in 6.4; GDI is the default engine
    -no-libjpeg -no-zstd -qt-zlib -qt-libpng -qt-freetype -qt-harfbuzz -qt-pcre
)
key=$( { echo "${qtbase_options[*]}"; cat "$here/mingw-w64-x86_64.cmake"; } \
       | sha1sum | cut -c1-10)
prefix=$cache/qt-${qt_deb_version%%+*}-$key

# Qt's own texts (standard buttons, the file dialog) are not in qtbase's sources: they come
# from Debian's qt6-translations-l10n, of the host Qt's version. A .qm file is the same on
# every platform, so the Windows Qt gets them as they are, in its own translations folder.
copy_translations() {
    local from=/usr/share/qt6/translations
    [ -f "$from/qtbase_pl.qm" ] || { echo "no $from/qtbase_pl.qm: install qt6-translations-l10n" >&2; exit 1; }
    mkdir -p "$prefix/translations"
    cp "$from"/qtbase_*.qm "$prefix/translations/"
}

if [ -f "$prefix/.complete" ] && [ -f "$prefix/.svg-complete" ]; then
    copy_translations
    echo "$prefix"
    exit 0
fi

work=$cache/work-$key
rm -rf "$work"
if [ ! -f "$prefix/.complete" ]; then
    rm -rf "$prefix"
    # Qt's CMake files remember the toolchain file: keep a copy beside the Qt that uses it.
    mkdir -p "$prefix"
    cp "$here/mingw-w64-x86_64.cmake" "$prefix/toolchain-mingw-w64.cmake"
fi
source "$here/deb-source.sh"
deb_source_init "$work"
jobs=${HMX700_JOBS:-$(nproc)}

if [ ! -f "$prefix/.complete" ]; then
    echo "== fetching Debian's Qt sources (qt6-base $qt_deb_version)" >&2
    (cd "$work/src" && apt-get "${apt_private[@]}" -qq source "qt6-base=$qt_deb_version" >&2)
    echo "== building qtbase for Windows into $prefix (about 15-20 minutes on 2 cores)" >&2
    mkdir -p "$work/qtbase-build"
    (cd "$work/qtbase-build" &&
        "$work"/src/qt6-base-*/configure -prefix "$prefix" -qt-host-path /usr "${qtbase_options[@]}" -- \
            -G Ninja -DCMAKE_TOOLCHAIN_FILE="$prefix/toolchain-mingw-w64.cmake" \
            -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >&2 &&
        cmake --build . --parallel "$jobs" >&2 &&
        cmake --install . >&2)
    touch "$prefix/.complete"
fi

# Qt Svg, at the host's version. Without its source the Windows build goes on without it:
# the program finds Svg as optional there. The fetch is tried again on the next run.
svg_deb_version=$(dpkg-query -W -f='${Version}' "qt6-svg-dev:$host_arch")
if (cd "$work/src" && apt-get "${apt_private[@]}" -qq source "qt6-svg=$svg_deb_version" >&2); then
    echo "== building qtsvg for Windows into $prefix" >&2
    "$prefix/bin/qt-cmake" -S "$(echo "$work"/src/qt6-svg-*/)" -B "$work/qtsvg-build" -G Ninja \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DQT_HOST_PATH=/usr \
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >&2
    cmake --build "$work/qtsvg-build" --parallel "$jobs" >&2
    cmake --install "$work/qtsvg-build" >&2
    touch "$prefix/.svg-complete"
else
    echo "== warning: Debian's qt6-svg $svg_deb_version source could not be fetched;" \
         "the Windows build has no Qt Svg (the chart saves PNG only there)" >&2
fi

copy_translations
rm -rf "$work"
echo "$prefix"
