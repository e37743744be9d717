# Included by the toolchain files toolchain-mingw-qt-*.cmake after the plain mingw-w64 body:
# finds the static Qt for Windows that tools/build-qt-windows built and cached.
#
# MXCAL_QT_WINDOWS_PREFIX (cache variable or environment) names the installed Qt tree; without
# it the current tree of the cache is taken,
#   ${XDG_CACHE_HOME:-$HOME/.cache}/mx4815cal/qt6-<triple>
# The tree joins the find roots (the plain toolchain searches only the mingw sysroot), and
# Debian's moc, rcc and uic serve as the host tools, as when Qt was built.
if(NOT MXCAL_QT_WINDOWS_PREFIX)
    if(DEFINED ENV{MXCAL_QT_WINDOWS_PREFIX} AND NOT "$ENV{MXCAL_QT_WINDOWS_PREFIX}" STREQUAL "")
        set(MXCAL_QT_WINDOWS_PREFIX "$ENV{MXCAL_QT_WINDOWS_PREFIX}")
    elseif(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
        set(MXCAL_QT_WINDOWS_PREFIX "$ENV{XDG_CACHE_HOME}/mx4815cal/qt6-${MXCAL_MINGW_TRIPLE}")
    else()
        set(MXCAL_QT_WINDOWS_PREFIX "$ENV{HOME}/.cache/mx4815cal/qt6-${MXCAL_MINGW_TRIPLE}")
    endif()
endif()
# The link is resolved, so that a later build of another recipe does not switch the Qt of an
# existing build folder under it.
get_filename_component(MXCAL_QT_WINDOWS_PREFIX "${MXCAL_QT_WINDOWS_PREFIX}" REALPATH)
if(NOT EXISTS "${MXCAL_QT_WINDOWS_PREFIX}/lib/cmake/Qt6/Qt6Config.cmake")
    message(FATAL_ERROR "No Qt for ${MXCAL_MINGW_TRIPLE} in ${MXCAL_QT_WINDOWS_PREFIX}: run "
                        "tools/build-qt-windows first (or set MXCAL_QT_WINDOWS_PREFIX)")
endif()
set(MXCAL_QT_WINDOWS_PREFIX "${MXCAL_QT_WINDOWS_PREFIX}" CACHE PATH "Static Qt for Windows" FORCE)

list(APPEND CMAKE_FIND_ROOT_PATH "${MXCAL_QT_WINDOWS_PREFIX}")
list(APPEND CMAKE_PREFIX_PATH "${MXCAL_QT_WINDOWS_PREFIX}")
set(QT_HOST_PATH /usr CACHE PATH "Host Qt (moc, rcc, uic)")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "Host Qt's CMake packages")
# try_compile projects read the toolchain again and need the same tree.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MXCAL_QT_WINDOWS_PREFIX QT_HOST_PATH
     QT_HOST_PATH_CMAKE_DIR)
