# The Debian package: `cpack -G DEB` in a build tree (./build.sh package) makes
# hmx700_<version>_<arch>.deb of what `cmake --install` puts in place.
include(${CMAKE_CURRENT_LIST_DIR}/package-common.cmake)
if(NOT HMX700_WINDOW)
    set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Recorder for the HMX-700 dew-point hygrometer, without a window")
    set(CPACK_PACKAGE_DESCRIPTION "hmx700-logger finds the HMX-700 on a serial port, logs every reading to
jrt1.txt and publishes it to an MQTT broker, as a systemd service per
instrument or one for every instrument found. Includes hmx700-report, which makes the run report of a log as a
PDF, hmx700-calc, a humidity calculator (frost point, ppmV, g/m3, pressure dew
point and more) for scripts, and hmx700-sim, a simulated instrument.")
endif()

# Debian wants a copyright file and a compressed changelog in the package's doc folder.
set(hmx_deb_changelog ${CMAKE_BINARY_DIR}/deb/changelog.gz)
add_custom_command(OUTPUT ${hmx_deb_changelog}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/deb
    COMMAND gzip -9 -n -c ${CMAKE_CURRENT_LIST_DIR}/deb/changelog > ${hmx_deb_changelog}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/deb/changelog)
add_custom_target(hmx700-deb-changelog ALL DEPENDS ${hmx_deb_changelog})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/deb/copyright ${hmx_deb_changelog}
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
if(CMAKE_CROSSCOMPILING)
    # Debian's name for the target's architecture (arm64 for aarch64-linux-gnu), not the host's.
    execute_process(COMMAND dpkg-architecture -t${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
                    OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_QUIET COMMAND_ERROR_IS_FATAL ANY)
endif()
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "hmx700 developers <hmx700@velta.pl>")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.velta.pl/")
# Dependencies from the programs' shared libraries (dpkg-shlibdeps), not written by hand,
# and Qt's own texts, which the Polish window loads (its standard buttons, the file dialog).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(HMX700_WINDOW)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-translations-l10n)
endif()
# The recorder's user is made by postinst from its sysusers.d file.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/deb/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The menu entry's icon theme.
if(HMX700_WINDOW)
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS hicolor-icon-theme)
endif()

include(CPack)
