# Installs the built project into a fresh prefix, then builds and runs a small program
# that finds the library there with find_package(Dovetalk), as a program outside this
# repository would.
foreach(variable BUILD_DIR WORK_DIR CONSUMER_DIR GENERATOR CXX_COMPILER Qt5_DIR)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "${variable} is not set")
    endif()
endforeach()

function(run step)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${step} failed: ${result}")
    endif()
endfunction()

set(config_args)
if(CONFIG)
    set(config_args --config ${CONFIG})
endif()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
run(install ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} ${config_args})
run(configure ${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
    -DCMAKE_BUILD_TYPE=${CONFIG} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
    "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
    -DCMAKE_PREFIX_PATH=${prefix} -DQt5_DIR=${Qt5_DIR})
run(build ${CMAKE_COMMAND} --build ${WORK_DIR}/build ${config_args})

find_program(consumer dovetalk_consumer PATHS ${WORK_DIR}/build ${WORK_DIR}/build/${CONFIG}
    NO_DEFAULT_PATH)
if(NOT consumer)
    message(FATAL_ERROR "dovetalk_consumer was not built")
endif()
run(run ${consumer})
