# The simulated card behind the driver's interface (sim_dravex.cpp): a Dravex.dll of its own in
# tests/windows/simulated/ of the build folder, so that it does not replace the stand-in. A test
# and demonstration tool, never shipped. Included by the top-level CMakeLists.txt on Windows, so
# that the program's own build (tests off) makes it too.
#
# With Qt (the program's build) its cards are kept in the simulated cards' file, as the
# program's own simulated cards are; without Qt (the logic build) they live in memory only.
add_library(SimDravex SHARED ${CMAKE_CURRENT_LIST_DIR}/sim_dravex.cpp)
target_link_libraries(SimDravex PRIVATE sim card core platform)
if(MXCAL_WITH_QT)
    target_compile_definitions(SimDravex PRIVATE MXCAL_SIM_DRAVEX_CARDS_FILE)
endif()
set_target_properties(SimDravex PROPERTIES PREFIX "" OUTPUT_NAME Dravex
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/windows/simulated
    ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/windows/simulated)
if(MINGW)
    # Export the __stdcall functions without their @n decoration (32-bit).
    target_link_options(SimDravex PRIVATE -Wl,--kill-at)
endif()
