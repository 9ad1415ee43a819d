# Windows builds (cross-compiled with mingw-w64): the tests run under Wine, the program is laid
# out with the DLLs it needs beside it, and CPack packs that layout as a zip and an installer.

# --- Tests under Wine ---------------------------------------------------------------------
if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    find_program(HMX700_WINE_PROGRAM wine)
    if(HMX700_WINE_PROGRAM)
        set(HMX700_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
        # Qt's, libmosquitto's and the compiler's runtime DLLs, found where they lie.
        set(hmx_dll_dirs "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS}" "${HMX700_MOSQUITTO_PREFIX}/bin")
        foreach(dll libstdc++-6.dll libwinpthread-1.dll)
            execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                            OUTPUT_VARIABLE dll_path OUTPUT_STRIP_TRAILING_WHITESPACE)
            get_filename_component(dll_dir "${dll_path}" DIRECTORY)
            get_filename_component(dll_dir "${dll_dir}" REALPATH)
            list(APPEND hmx_dll_dirs "${dll_dir}")
        endforeach()
        set(HMX700_WINEPATH "")
        foreach(dir ${hmx_dll_dirs})
            string(REPLACE "/" "\\" dir "Z:${dir}")
            string(APPEND HMX700_WINEPATH "${dir};")
        endforeach()
        # Without a window system the tests draw with Qt's own font engine, which reads one
        # folder of font files: the Liberation and DejaVu fonts of the build machine.
        set(HMX700_TEST_FONTS ${CMAKE_BINARY_DIR}/test-fonts)
        file(GLOB hmx_fonts /usr/share/fonts/truetype/liberation/*.ttf /usr/share/fonts/truetype/dejavu/*.ttf)
        file(COPY ${hmx_fonts} DESTINATION ${HMX700_TEST_FONTS})
        configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
                       FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                        WORLD_READ WORLD_EXECUTE)
        set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
    endif()
endif()

set(HMX700_HOST_SIMULATOR "" CACHE FILEPATH
    "A native hmx700-sim: the Windows serial-link test runs under Wine against it")
