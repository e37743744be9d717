# Included by tests/CMakeLists.txt on Windows, before it looks for GoogleTest.
#
# A cross build (Debian's mingw-w64) has no GoogleTest for Windows installed: it builds
# Debian's googletest sources (package googletest, /usr/src/googletest) with the cross
# compiler and lets find_package(GTest) find those targets. Then the tests of the Windows
# driver binding against the stand-in Dravex.dll.

if(CMAKE_CROSSCOMPILING AND NOT TARGET GTest::gtest)
    set(MXCAL_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
    if(NOT EXISTS ${MXCAL_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
        message(FATAL_ERROR "GoogleTest sources not found in ${MXCAL_GOOGLETEST_SOURCE_DIR}: "
                            "install the Debian package googletest")
    endif()
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(${MXCAL_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    foreach(lib gtest gtest_main gmock gmock_main)
        # Third-party code: our warning flags (and -Werror) are not applied to it.
        # (googletest itself defines the aliases GTest::gtest, GTest::gmock, ...)
        set_property(TARGET ${lib} PROPERTY COMPILE_OPTIONS -w)
    endforeach()
    # find_package(GTest) looks here first and takes the targets above.
    file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/gtest-config.cmake
         "# GoogleTest built from source by tests/windows/windows.cmake\n")
    file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/gtest-config-version.cmake
         "set(PACKAGE_VERSION 1.12.1)\nset(PACKAGE_VERSION_COMPATIBLE TRUE)\n")
endif()

add_subdirectory(${CMAKE_CURRENT_LIST_DIR} ${CMAKE_CURRENT_BINARY_DIR}/windows)
