# The Debian package: `cpack -G DEB` in a build tree (./build.sh package) makes
# hmx700_<version>_<arch>.deb of what `cmake --install` puts in place.
include(${CMAKE_CURRENT_LIST_DIR}/package-common.cmake)

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
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "hmx700 developers <hmx700@velta.pl>")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.velta.pl/")
# Dependencies from the programs' shared libraries (dpkg-shlibdeps), not written by hand,
# and Qt's own texts, which the Polish program loads (its standard buttons, the file dialog).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-translations-l10n)
# The recorder's user is made by postinst from its sysusers.d file.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/deb/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The menu entry's icon theme.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS hicolor-icon-theme)

include(CPack)
