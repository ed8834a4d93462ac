# Helpers shared by the build of the library, its plug-ins and its tests.

# vela_add_test(<name> SOURCES <files>... [LIBRARIES <targets>...] [TIMEOUT <s>])
#
# A QtTest program registered with CTest under <name>. Its main() (see
# VELA_TEST_MAIN) moves it into a fresh temporary LOCALAPPDATA, HOME, TMPDIR
# and working directory before anything else runs.
function(vela_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBRARIES" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE VelaTestSupport ${ARG_LIBRARIES})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
endfunction()
