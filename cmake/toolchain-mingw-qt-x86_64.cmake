# Cross-compiles the whole program, the window included, for 64-bit Windows (x86_64) with
# Debian's mingw-w64 and the static Qt that tools/build-qt-windows builds.
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-x86_64.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-qt.cmake)
