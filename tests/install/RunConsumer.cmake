# Installs the build into a fresh prefix, builds the consumer project against
# it and runs it. Called by CTest with BUILD_DIR, SOURCE_DIR, WORK_DIR and
# QT5 set.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/local)

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output
                    ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "failed (${result}): ${ARGN}\n${output}")
    endif()
    set(last_output "${output}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/prefix)
foreach(header GlobalApplicationData.h VLApplicationSettings.h VelaGlobalExport.h)
    if(NOT EXISTS ${WORK_DIR}/prefix/include/VelaGlobal/${header})
        message(FATAL_ERROR "${header} is not installed")
    endif()
endforeach()

run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build
    -DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${CMAKE_COMMAND} -E env LOCALAPPDATA=${WORK_DIR}/local ${WORK_DIR}/build/consumer)
if(NOT last_output MATCHES "data=${WORK_DIR}/local/Kelvane/\nversion=2.0\n")
    message(FATAL_ERROR "unexpected output of the consumer:\n${last_output}")
endif()
message(STATUS "consumer built and ran against ${WORK_DIR}/prefix")
