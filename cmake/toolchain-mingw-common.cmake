# The body of the mingw-w64 toolchain files: they set MXCAL_MINGW_TRIPLE and
# CMAKE_SYSTEM_PROCESSOR, then include this. Programs and DLLs link libgcc, libstdc++ and
# winpthread statically, so they run under Wine or on Windows without extra DLLs.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${MXCAL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MXCAL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MXCAL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MXCAL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
# A library named by its file that CMake takes for a static one (Qt SQL's ODBC driver names
# mingw-w64's import library libodbc32.a so) is put between -Wl,-Bstatic and -Wl,-Bdynamic;
# the -Bdynamic would then take libstdc++ and winpthread, which the compiler adds after
# everything, as DLLs. The link line ends static instead.
set(CMAKE_LINK_SEARCH_END_STATIC ON)

# ctest (and test discovery) run the programs under Wine.
find_program(MXCAL_WINE NAMES wine)
if(MXCAL_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${MXCAL_WINE})
endif()
