# Toolchain for building Qt itself with Debian's mingw-w64 (posix threads). Used only by
# tools/build-qt-windows; MXCAL_MINGW_TRIPLE comes from the command line. Part of the
# recipe: changing this file changes the cache key and rebuilds Qt.
set(CMAKE_SYSTEM_NAME Windows)
if(MXCAL_MINGW_TRIPLE MATCHES "^x86_64")
    set(CMAKE_SYSTEM_PROCESSOR x86_64)
else()
    set(CMAKE_SYSTEM_PROCESSOR i686)
endif()
set(CMAKE_C_COMPILER ${MXCAL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MXCAL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MXCAL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MXCAL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
