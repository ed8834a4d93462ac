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
    # The script answers at once when its build is there; a new set of its
    # patches gives a new prefix, so nothing of it is cached here.
    set(prefix ${BREAKPAD_ROOT})
    if(NOT prefix)
        execute_process(
            COMMAND ${PROJECT_SOURCE_DIR}/scripts/install-breakpad
            OUTPUT_VARIABLE prefix OUTPUT_STRIP_TRAILING_WHITESPACE
            RESULT_VARIABLE result)
        if(NOT result EQUAL 0)
            message(FATAL_ERROR "scripts/install-breakpad failed")
        endif()
    endif()
    set(include_dir ${prefix}/include/breakpad)
    set(where PATHS ${prefix}/lib NO_DEFAULT_PATH NO_CACHE)
    find_library(BREAKPAD_CLIENT_LIBRARY breakpad_client ${where})
    find_library(BREAKPAD_PROCESSOR_LIBRARY breakpad ${where})
    find_library(BREAKPAD_DISASM_LIBRARY disasm ${where})
    set(where PATHS ${prefix}/bin NO_DEFAULT_PATH NO_CACHE)
    find_program(BREAKPAD_MINIDUMP_STACKWALK minidump_stackwalk ${where})
    find_program(BREAKPAD_DUMP_SYMS dump_syms ${where})
    if(NOT BREAKPAD_CLIENT_LIBRARY OR NOT BREAKPAD_PROCESSOR_LIBRARY)
        message(FATAL_ERROR "No Breakpad libraries under ${prefix}")
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
