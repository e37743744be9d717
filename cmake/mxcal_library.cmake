# One library target per folder under src/. A target's headers are reachable only through
# an include folder of its own (<build>/include/<name>/<name> links to src/<name>), and a
# target sees the include folders of exactly the folders that src/dependencies.txt lists
# for it, so a file that includes a header of any other folder fails to compile.

file(STRINGS ${PROJECT_SOURCE_DIR}/src/dependencies.txt MXCAL_DEPENDENCY_LINES
     REGEX "^[a-z]+:")

# The folders that <name> may use, from src/dependencies.txt.
function(mxcal_dependencies name out)
    foreach(line IN LISTS MXCAL_DEPENDENCY_LINES)
        if(line MATCHES "^${name}:(.*)$")
            string(STRIP "${CMAKE_MATCH_1}" deps)
            separate_arguments(deps)
            set(${out} ${deps} PARENT_SCOPE)
            return()
        endif()
    endforeach()
    message(FATAL_ERROR "src/dependencies.txt has no line for ${name}")
endfunction()

# mxcal_library(<name> [INTERFACE] [SOURCES <files...>])
function(mxcal_library name)
    cmake_parse_arguments(L "INTERFACE" "" "SOURCES" ${ARGN})
    set(root ${CMAKE_BINARY_DIR}/include/${name})
    file(MAKE_DIRECTORY ${root})
    if(NOT EXISTS ${root}/${name})
        file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${name} ${root}/${name} SYMBOLIC)
    endif()
    mxcal_dependencies(${name} deps)
    if(L_INTERFACE)
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${root})
        target_link_libraries(${name} INTERFACE ${deps})
    else()
        add_library(${name} STATIC ${L_SOURCES})
        target_include_directories(${name} PUBLIC ${root})
        # Private: whoever uses this folder declares the folders it needs itself.
        target_link_libraries(${name} PRIVATE ${deps})
    endif()
endfunction()
