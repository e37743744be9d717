# Cross-compiles the whole program, the window included, for 32-bit Windows (i686) with
# Debian's mingw-w64 and the static Qt that tools/build-qt-windows builds.
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-i686.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-qt.cmake)
