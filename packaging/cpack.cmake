# cmake -DBUILD=<build folder> -DGENERATORS="<generator>..." -DFILES="<glob>..." -P cpack.cmake
# Packs the build folder with CPack afresh: the packages an earlier run left
# (the files FILES match) go first, so that what is there afterwards is this
# run's; fails unless each glob then matches, and lists the packages.
separate_arguments(generators UNIX_COMMAND "${GENERATORS}")
separate_arguments(globs UNIX_COMMAND "${FILES}")
list(TRANSFORM globs PREPEND "${BUILD}/")
file(GLOB old ${globs})
if(old)
    file(REMOVE ${old})
endif()
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} -G "${generators}" --config ${BUILD}/CPackConfig.cmake
                WORKING_DIRECTORY ${BUILD} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cpack failed (${rc})")
endif()
foreach(glob IN LISTS globs)
    file(GLOB made ${glob})
    if(NOT made)
        message(FATAL_ERROR "cpack made no ${glob}")
    endif()
    foreach(package IN LISTS made)
        message(STATUS "${package}")
    endforeach()
endforeach()
