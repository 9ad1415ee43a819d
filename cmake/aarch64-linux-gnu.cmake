# Cross-compiling for 64-bit ARM Linux (arm64) with Debian's cross compiler
# (g++-aarch64-linux-gnu), against the arm64 libraries that multiarch installs beside the
# host's (qt6-base-dev:arm64, libmosquitto-dev:arm64 ...) in /usr/lib/aarch64-linux-gnu.
# Qt's moc, rcc and uic are the host's: give -DQT_HOST_PATH=/usr as well.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# Libraries and CMake packages from the arm64 folders only, never the host's.
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /usr/lib/x86_64-linux-gnu/cmake)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
# The tests run under user-mode emulation; the arm64 loader and libraries are where
# multiarch put them, so qemu needs no library root of its own.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static)
