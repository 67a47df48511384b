# cmake -DWINE=<wine64> -DPREFIXES="<folder>..." [-DFRESH=ON | -DSTOP=ON] -P wineprefix.cmake
# Makes each wine prefix unless it is there already (FRESH: anew, so that
# nothing of an earlier run is in it). STOP instead ends each prefix's
# wineserver and what still runs in it; a prefix with none is no fault.
separate_arguments(prefixes UNIX_COMMAND "${PREFIXES}")
get_filename_component(bin ${WINE} DIRECTORY)
set(ENV{WINEDEBUG} -all)
set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=")
foreach(prefix IN LISTS prefixes)
    set(ENV{WINEPREFIX} ${prefix})
    if(STOP)
        execute_process(COMMAND ${bin}/wineserver -k OUTPUT_QUIET ERROR_QUIET)
        continue()
    endif()
    if(FRESH)
        execute_process(COMMAND ${bin}/wineserver -k OUTPUT_QUIET ERROR_QUIET)
        file(REMOVE_RECURSE ${prefix})
    elseif(EXISTS ${prefix}/system.reg)
        continue()
    endif()
    # The registry reaches the prefix's files when its wineserver ends, once
    # what wineboot started has.
    execute_process(COMMAND ${WINE} wineboot -i RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
    execute_process(COMMAND ${bin}/wineserver -w TIMEOUT 120 OUTPUT_QUIET ERROR_QUIET)
    if(NOT rc EQUAL 0 OR NOT EXISTS ${prefix}/system.reg)
        message(FATAL_ERROR "wineboot -i could not make ${prefix} (${rc})")
    endif()
    message(STATUS "wine prefix ${prefix}")
endforeach()
