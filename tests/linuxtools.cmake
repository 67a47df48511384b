# cmake -DSOURCE=<source folder> -P linuxtools.cmake
# The Linux programs the Windows checks drive wine with, tst_wine and
# radioconf-cli (its simulated module), built in the quick build (build/).
foreach(step "--preset;quick" "--build;--preset;quick;--target;tst_wine;radioconf-cli")
    execute_process(COMMAND ${CMAKE_COMMAND} ${step} WORKING_DIRECTORY ${SOURCE} RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "cmake ${step} failed (${rc})")
    endif()
endforeach()
