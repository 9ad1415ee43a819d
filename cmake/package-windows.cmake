# The Windows release: hmx700.exe in both interface languages, hmx700-report.exe, the console recorder
# hmx700-logger.exe and hmx700-calc.exe with the DLLs they need beside them (Qt's, the
# compiler's, libmosquitto's and OpenSSL's) and Qt's Polish texts, packed by CPack as
# hmx700-<version>-windows-x64.zip and as an NSIS installer.
include(${CMAKE_CURRENT_LIST_DIR}/package-common.cmake)

# Everything lies in one folder, as Windows finds DLLs beside the program.
install(TARGETS hmx700 hmx700_other_language hmx700-calc hmx700-report hmx700-logger RUNTIME DESTINATION .)
install(FILES ${HMX700_MOSQUITTO_DLLS} DESTINATION .)
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
# Qt's own Polish texts (the standard buttons, the file dialog) for the Polish program, in
# translations/ where Qt looks beside a program laid out with its DLLs. build-qt-windows.sh
# copies them into the Windows Qt from Debian's qt6-translations-l10n.
set(hmx_qt_texts "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_TRANSLATIONS}/qtbase_pl.qm")
if(NOT EXISTS "${hmx_qt_texts}")
    message(FATAL_ERROR "${hmx_qt_texts} is missing: cmake/build-qt-windows.sh copies it from qt6-translations-l10n")
endif()
install(FILES "${hmx_qt_texts}" DESTINATION translations)
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
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_SYSTEM_NAME windows-x64)
set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-${CPACK_SYSTEM_NAME}")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_INSTALL_DIRECTORY "HMX-700")

# Installer: Start-menu shortcuts with the program's icon, an uninstaller (NSIS always writes
# one), and the choice between this user and all users of the machine. CPack's own template
# always asks for administrator rights and installs for everyone; ours is that template with
# NSIS's MultiUser in place of its own choice: per machine by default for an administrator,
# per user otherwise, and /AllUsers or /CurrentUser on the command line choose.
file(READ "${CMAKE_ROOT}/Modules/Internal/CPack/NSIS.template.in" hmx_nsis)
function(hmx_nsis_replace old new)
    string(FIND "${hmx_nsis}" "${old}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "CPack's NSIS template has changed: no '${old}' in it")
    endif()
    string(REPLACE "${old}" "${new}" hmx_nsis "${hmx_nsis}")
    set(hmx_nsis "${hmx_nsis}" PARENT_SCOPE)
endfunction()
# MultiUser brings StrFunc's StrStr; the template's own function of that name gives way.
string(REPLACE "StrStr" "TemplateStrStr" hmx_nsis "${hmx_nsis}")
hmx_nsis_replace("  RequestExecutionLevel admin\n" "\
  !define MULTIUSER_EXECUTIONLEVEL Highest
  !define MULTIUSER_INSTALLMODE_COMMANDLINE
  !define MULTIUSER_USE_PROGRAMFILES64
  !define MULTIUSER_INSTALLMODE_INSTDIR \"@CPACK_PACKAGE_INSTALL_DIRECTORY@\"
  !define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY \"Software\\@CPACK_PACKAGE_VENDOR@\\@CPACK_PACKAGE_INSTALL_REGISTRY_KEY@\"
  !define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME \"\"
  !include MultiUser.nsh
")
hmx_nsis_replace("  StrCpy $SV_ALLUSERS \"JustMe\"" "\
  StrCpy $0 $INSTDIR
  !insertmacro MULTIUSER_INIT
  StrCpy $SV_ALLUSERS $MultiUser.InstallMode
  StrCmp $IS_DEFAULT_INSTALLDIR \"1\" +2
    StrCpy $INSTDIR $0
  Goto multiUserDone
  StrCpy $SV_ALLUSERS \"JustMe\"")
hmx_nsis_replace("  StrCmp \"@CPACK_NSIS_MODIFY_PATH@\" \"ON\" 0 noOptionsPage"
                 "  multiUserDone:\n  StrCmp \"@CPACK_NSIS_MODIFY_PATH@\" \"ON\" 0 noOptionsPage")
hmx_nsis_replace("Function un.onInit\n" "Function un.onInit\n  !insertmacro MULTIUSER_UNINIT\n  Return\n")
# A 64-bit installer for a 64-bit program: it runs where the program runs (also under a
# 64-bit-only Wine) and installs into the 64-bit Program Files.
hmx_nsis_replace("; CPack install script designed for a nmake build"
                 "Target amd64-unicode\n; CPack install script designed for a nmake build")
file(WRITE "${CMAKE_BINARY_DIR}/nsis/NSIS.template.in" "${hmx_nsis}")
list(PREPEND CMAKE_MODULE_PATH "${CMAKE_BINARY_DIR}/nsis")
set(CPACK_NSIS_PACKAGE_NAME "HMX-700 ${PROJECT_VERSION}")
set(CPACK_NSIS_DISPLAY_NAME "HMX-700")
set(CPACK_NSIS_MUI_ICON "${PROJECT_SOURCE_DIR}/app/hmx700.ico")
set(CPACK_NSIS_MUI_UNIICON "${PROJECT_SOURCE_DIR}/app/hmx700.ico")
set(CPACK_NSIS_INSTALLED_ICON_NAME "hmx700.exe")
set(CPACK_NSIS_EXECUTABLES_DIRECTORY ".")
# jrt1.txt goes to the current folder, and Program Files is not writable: the Start-menu
# entries start the program in Documents (the user's, or the public one for all users).
get_target_property(hmx_other_program hmx700_other_language OUTPUT_NAME)
set(hmx_other_name "HMX-700 (English)")
if(NOT HMX700_LANGUAGE EQUAL 0)
    set(hmx_other_name "HMX-700 (polski)")
endif()
set(CPACK_NSIS_CREATE_ICONS_EXTRA "
  SetOutPath '$DOCUMENTS'
  CreateShortCut '$SMPROGRAMS\\$STARTMENU_FOLDER\\HMX-700.lnk' '$INSTDIR\\hmx700.exe'
  CreateShortCut '$SMPROGRAMS\\$STARTMENU_FOLDER\\${hmx_other_name}.lnk' '$INSTDIR\\${hmx_other_program}.exe'
  SetOutPath '$INSTDIR'
")
set(CPACK_NSIS_DELETE_ICONS_EXTRA "
  Delete '$SMPROGRAMS\\$MUI_TEMP\\HMX-700.lnk'
  Delete '$SMPROGRAMS\\$MUI_TEMP\\${hmx_other_name}.lnk'
")
set(CPACK_NSIS_MUI_FINISHPAGE_RUN "hmx700.exe")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MODIFY_PATH OFF)
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")

include(CPack)
