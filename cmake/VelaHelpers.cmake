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

# Test plug-ins are kept out of the application folder, so that nothing
# that scans its plugins/ folder ever meets them.
set(VELA_TEST_PLUGIN_DIR ${CMAKE_BINARY_DIR}/testplugins)

# vela_add_plugin(<name> SOURCES <files>... [LIBRARIES <targets>...] [TEST])
#
# A Qt plug-in: a MODULE library built against the plug-in interface
# headers. Shipped plug-ins land in the application folder's plugins/
# (VELA_PLUGIN_DIR) and are part of the application folder target; TEST
# plug-ins land in VELA_TEST_PLUGIN_DIR.
function(vela_add_plugin name)
    cmake_parse_arguments(ARG "TEST" "" "SOURCES;LIBRARIES" ${ARGN})
    add_library(${name} MODULE ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE VelaPluginInterfaces ${ARG_LIBRARIES})
    if(ARG_TEST)
        set_target_properties(${name} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${VELA_TEST_PLUGIN_DIR})
    else()
        set_target_properties(${name} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${VELA_PLUGIN_DIR})
        add_dependencies(VelaAppFolder ${name})
    endif()
endfunction()
