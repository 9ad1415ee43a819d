#!/usr/bin/env bash
# Cross-builds libmosquitto (the MQTT client library) for 64-bit Windows (mingw-w64) from
# Debian's own mosquitto source, with TLS from Debian's openssl source, once.
#   cmake/build-mosquitto-windows.sh CACHE_DIR     prints the install prefix on its last line
# The prefix holds bin/libmosquitto.dll with OpenSSL's libcrypto-3-x64.dll and libssl-3-x64.dll
# beside it, include/ and lib/. It lives in CACHE_DIR/mosquitto-<version>-<key>, where <key> is
# a hash of this script, its helper and the toolchain file, so a clean clone finds it and a
# change builds it anew; OpenSSL in CACHE_DIR/openssl-<key>, keyed by the host's OpenSSL
# version, its own options and the toolchain file alone, so other changes do not rebuild it.
# HMX700_WINDOWS_TLS=0 builds without TLS (plain MQTT only) and without OpenSSL.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=${1:?usage: $0 CACHE_DIR}
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)
tls=${HMX700_WINDOWS_TLS:-1}

# The Windows library matches the host's, whose headers the Linux build uses.
mosquitto_version=$(dpkg-query -W -f='${Version}' libmosquitto-dev)
openssl_version=$(dpkg-query -W -f='${Version}' libssl-dev)
key=$( { cat "$0" "$here/deb-source.sh" "$here/mingw-w64-x86_64.cmake"; echo "tls=$tls"; } | sha1sum | cut -c1-10)
prefix=$cache/mosquitto-${mosquitto_version%%-*}-$key
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

work=$cache/work-mosquitto-$key
rm -rf "$work" "$prefix"
source "$here/deb-source.sh"
deb_source_init "$work"
jobs=${HMX700_JOBS:-$(nproc)}
cross=x86_64-w64-mingw32

# Only the two libraries: no command-line tool, engines or tests.
openssl_options=(mingw64 --cross-compile-prefix=$cross- --libdir=lib shared
                 no-tests no-engine no-module no-legacy no-capieng)
openssl_key=$( { echo "$openssl_version ${openssl_options[*]}"; cat "$here/mingw-w64-x86_64.cmake"; } |
               sha1sum | cut -c1-10)

mosquitto_tls=(-DWITH_TLS=OFF -DWITH_TLS_PSK=OFF)
if [ "$tls" = 1 ]; then
    openssl=$cache/openssl-$openssl_key
    if [ ! -f "$openssl/.complete" ]; then
        rm -rf "$openssl"
        echo "== fetching Debian's openssl source" >&2
        openssl_version=$(fetch_source openssl "$openssl_version")
        echo "== building OpenSSL $openssl_version's libraries for Windows (15-20 minutes on 2 cores)" >&2
        (cd "$work"/src/openssl-*/ &&
            ./Configure "${openssl_options[@]}" --prefix="$openssl" >&2 &&
            make -j "$jobs" build_libs >&2 &&
            make install_dev >&2)
        touch "$openssl/.complete"
    fi
    # Named outright (LIB_EAY and SSL_EAY are the names FindOpenSSL uses with MinGW): the
    # toolchain's find root would hide the cache folder from its search.
    mosquitto_tls=(-DWITH_TLS=ON -DWITH_TLS_PSK=ON -DOPENSSL_INCLUDE_DIR="$openssl/include"
                   -DLIB_EAY="$openssl/lib/libcrypto.dll.a" -DSSL_EAY="$openssl/lib/libssl.dll.a")
fi

echo "== fetching Debian's mosquitto source" >&2
mosquitto_version=$(fetch_source mosquitto "$mosquitto_version")
src=$(echo "$work"/src/mosquitto-*/)
# dpkg-source has applied Debian's patches. The client library alone is needed, and not its
# own threads: the program drives the network loop from its publishing thread.
echo "== building libmosquitto $mosquitto_version for Windows into $prefix" >&2
cmake -S "$src" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$here/mingw-w64-x86_64.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DWITH_BROKER=OFF -DWITH_APPS=OFF -DWITH_CLIENTS=OFF -DWITH_PLUGINS=OFF -DDOCUMENTATION=OFF \
    -DWITH_LIB_CPP=OFF -DWITH_CJSON=OFF -DWITH_THREADING=OFF -DWITH_SRV=OFF -DWITH_STATIC_LIBRARIES=OFF \
    "${mosquitto_tls[@]}" >&2
cmake --build "$work/build" --parallel "$jobs" >&2
cmake --install "$work/build" >&2
if [ "$tls" = 1 ]; then
    # Windows finds DLLs beside the program: they travel together.
    cp "$openssl"/bin/libcrypto-3-x64.dll "$openssl"/bin/libssl-3-x64.dll "$prefix/bin/"
fi
touch "$prefix/.complete"
rm -rf "$work"
echo "$prefix"
