# The Windows release: hmx700.exe in both interface languages with the DLLs they need beside
# them, packed by CPack as hmx700-<version>-windows-x64.zip and as an NSIS installer.
include(${CMAKE_CURRENT_LIST_DIR}/package-common.cmake)

# Everything lies in one folder, as Windows finds DLLs beside the program.
install(TARGETS hmx700 hmx700_other_language RUNTIME DESTINATION .)
foreach(module Core Gui Widgets PrintSupport Svg SvgWidgets)
    if(TARGET Qt6::${module})
        install(FILES $<TARGET_FILE:Qt6::${module}> DESTINATION .)
    endif()
endforeach()
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)
if(TARGET Qt6::QSvgIconPlugin)
    install(FILES $<TARGET_FILE:Qt6::QSvgIconPlugin> DESTINATION iconengines)
endif()
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE dll_path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${dll_path}" OR NOT EXISTS "${dll_path}")
        message(FATAL_ERROR "The compiler's runtime ${dll} is missing")
    endif()
    install(FILES "${dll_path}" DESTINATION .)
endforeach()
# Debug symbols make up most of the size and help no user: strip every program and DLL.
install(CODE "
    file(GLOB_RECURSE hmx_binaries \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*.exe\"
                                   \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*.dll\")
    foreach(binary \${hmx_binaries})
        execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded \"\${binary}\" COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
")

set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_SYSTEM_NAME windows-x64)
set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-${CPACK_SYSTEM_NAME}")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_INSTALL_DIRECTORY "HMX-700")
set(CPACK_PACKAGE_EXECUTABLES "hmx700;HMX-700")

# Installer: Start-menu shortcuts with the program's icon, an uninstaller (NSIS always writes
# one), and the choice between this user and all users of the machine.
set(CPACK_NSIS_PACKAGE_NAME "HMX-700 ${PROJECT_VERSION}")
set(CPACK_NSIS_DISPLAY_NAME "HMX-700")
set(CPACK_NSIS_MUI_ICON "${PROJECT_SOURCE_DIR}/app/hmx700.ico")
set(CPACK_NSIS_MUI_UNIICON "${PROJECT_SOURCE_DIR}/app/hmx700.ico")
set(CPACK_NSIS_INSTALLED_ICON_NAME "hmx700.exe")
set(CPACK_NSIS_EXECUTABLES_DIRECTORY ".")
set(CPACK_NSIS_MUI_FINISHPAGE_RUN "hmx700.exe")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MODIFY_PATH OFF)
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
