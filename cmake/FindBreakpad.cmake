# Finds Google Breakpad: the Linux client that writes the crash dumps
# (Breakpad::Client), the processor library that reads them
# (Breakpad::Processor) and its minidump_stackwalk and dump_syms tools
# (BREAKPAD_MINIDUMP_STACKWALK, BREAKPAD_DUMP_SYMS).
#
# A Breakpad installed on the system (pkg-config breakpad-client and
# breakpad) is used when there is one; otherwise the pinned build that
# scripts/install-breakpad makes once per machine, which is run here when it
# is not there yet. BREAKPAD_ROOT names another prefix of the same layout.

find_package(PkgConfig QUIET)
if(PkgConfig_FOUND AND NOT BREAKPAD_ROOT)
    pkg_check_modules(BREAKPAD_CLIENT QUIET IMPORTED_TARGET breakpad-client)
    pkg_check_modules(BREAKPAD_PROCESSOR QUIET IMPORTED_TARGET breakpad)
endif()

if(BREAKPAD_CLIENT_FOUND AND BREAKPAD_PROCESSOR_FOUND)
    add_library(Breakpad::Client ALIAS PkgConfig::BREAKPAD_CLIENT)
    add_library(Breakpad::Processor ALIAS PkgConfig::BREAKPAD_PROCESSOR)
    find_program(BREAKPAD_MINIDUMP_STACKWALK minidump_stackwalk)
    find_program(BREAKPAD_DUMP_SYMS dump_syms)
else()
    if(NOT BREAKPAD_ROOT)
        execute_process(
            COMMAND ${PROJECT_SOURCE_DIR}/scripts/install-breakpad
            OUTPUT_VARIABLE prefix OUTPUT_STRIP_TRAILING_WHITESPACE
            RESULT_VARIABLE result)
        if(NOT result EQUAL 0)
            message(FATAL_ERROR "scripts/install-breakpad failed")
        endif()
        set(BREAKPAD_ROOT ${prefix} CACHE PATH "Prefix of the Breakpad build")
    endif()
    set(include_dir ${BREAKPAD_ROOT}/include/breakpad)
    find_library(BREAKPAD_CLIENT_LIBRARY breakpad_client PATHS ${BREAKPAD_ROOT}/lib NO_DEFAULT_PATH)
    find_library(BREAKPAD_PROCESSOR_LIBRARY breakpad PATHS ${BREAKPAD_ROOT}/lib NO_DEFAULT_PATH)
    find_library(BREAKPAD_DISASM_LIBRARY disasm PATHS ${BREAKPAD_ROOT}/lib NO_DEFAULT_PATH)
    find_program(BREAKPAD_MINIDUMP_STACKWALK minidump_stackwalk PATHS ${BREAKPAD_ROOT}/bin NO_DEFAULT_PATH)
    find_program(BREAKPAD_DUMP_SYMS dump_syms PATHS ${BREAKPAD_ROOT}/bin NO_DEFAULT_PATH)
    if(NOT BREAKPAD_CLIENT_LIBRARY OR NOT BREAKPAD_PROCESSOR_LIBRARY)
        message(FATAL_ERROR "No Breakpad libraries under ${BREAKPAD_ROOT}")
    endif()

    find_package(Threads REQUIRED)
    add_library(Breakpad::Client STATIC IMPORTED)
    set_target_properties(Breakpad::Client PROPERTIES
        IMPORTED_LOCATION ${BREAKPAD_CLIENT_LIBRARY}
        INTERFACE_INCLUDE_DIRECTORIES ${include_dir}
        INTERFACE_LINK_LIBRARIES Threads::Threads)
    add_library(Breakpad::Processor STATIC IMPORTED)
    set_target_properties(Breakpad::Processor PROPERTIES
        IMPORTED_LOCATION ${BREAKPAD_PROCESSOR_LIBRARY}
        INTERFACE_INCLUDE_DIRECTORIES ${include_dir})
    if(BREAKPAD_DISASM_LIBRARY)
        set_property(TARGET Breakpad::Processor APPEND PROPERTY
            INTERFACE_LINK_LIBRARIES ${BREAKPAD_DISASM_LIBRARY})
    endif()
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Breakpad
    REQUIRED_VARS BREAKPAD_MINIDUMP_STACKWALK BREAKPAD_DUMP_SYMS)
