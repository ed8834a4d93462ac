# The library as its users get it: builds the consumer project and the
# plug-in guide's sample against an installed VelaGlobal, runs the consumer,
# checks the plug-in with the installed velahost and runs its report.
# Called with SOURCE_DIR (the consumer), PLUGIN_SOURCE_DIR, WORK_DIR and
# either BUILD_DIR (installed first into a fresh prefix) or PREFIX (an
# installation already there, e.g. the Debian packages under /usr).
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/local)

function(run)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env LOCALAPPDATA=${WORK_DIR}/local ${ARGN}
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "failed (${result}): ${ARGN}\n${output}")
    endif()
    set(last_output "${output}" PARENT_SCOPE)
endfunction()

if(NOT PREFIX)
    set(PREFIX ${WORK_DIR}/prefix)
    run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX})
endif()
foreach(header GlobalApplicationData.h VLApplicationSettings.h VelaGlobalExport.h IBrushFactory.h)
    if(NOT EXISTS ${PREFIX}/include/VelaGlobal/${header})
        message(FATAL_ERROR "${header} is not installed")
    endif()
endforeach()

foreach(project consumer plugin)
    if(project STREQUAL consumer)
        set(source ${SOURCE_DIR})
    else()
        set(source ${PLUGIN_SOURCE_DIR})
    endif()
    run(${CMAKE_COMMAND} -S ${source} -B ${WORK_DIR}/${project}
        -DCMAKE_PREFIX_PATH=${PREFIX} -DCMAKE_BUILD_TYPE=Release)
    run(${CMAKE_COMMAND} --build ${WORK_DIR}/${project})
endforeach()

run(${WORK_DIR}/consumer/consumer)
if(NOT last_output MATCHES "data=${WORK_DIR}/local/Kelvane/\nversion=2.0\n")
    message(FATAL_ERROR "unexpected output of the consumer:\n${last_output}")
endif()

# The command finds its application folder, with the shipped plug-ins,
# through its link.
file(GLOB plugin LIST_DIRECTORIES false ${WORK_DIR}/plugin/*GuideBrushes.*)
run(${PREFIX}/bin/velahost check-plugin ${plugin})
if(NOT last_output MATCHES "Guide\\.Round: round trip ok")
    message(FATAL_ERROR "unexpected check of the guide's plug-in:\n${last_output}")
endif()
run(${PREFIX}/bin/velahost report)
if(NOT last_output MATCHES "Image readers: +BMP, JPEG, PNG")
    message(FATAL_ERROR "unexpected report of the installed velahost:\n${last_output}")
endif()
message(STATUS "consumer, plug-in and velahost built and ran against ${PREFIX}")
