# cmake -DPROGRAM=radioconf-cli [-DEMULATOR=...] -DSHELL=bash -DOUTPUT=FILE -P completion.cmake:
# the completion script radioconf-cli writes for SHELL, into FILE.
get_filename_component(directory ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${directory})
execute_process(COMMAND ${EMULATOR} ${PROGRAM} --completion ${SHELL}
                OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    file(REMOVE ${OUTPUT})
    message(FATAL_ERROR "${PROGRAM} --completion ${SHELL} failed: ${result}")
endif()
