# cmake -DBUILD=<build folder> -DCHECK=<scripts/check-package> [-DARCH=<arch>] -P checkdebs.cmake
# Checks the Debian packages cpack made in the build folder, all of them,
# with check-package: unpacked into a throwaway root, or with PACKAGE_SYSTEM=1
# in the environment installed into /usr and removed again. With ARCH, CHECK
# is scripts/check-cross-package, given the architecture first. With
# PACKAGE_INSTALL=0 it only lists them, and the test counts as skipped.
file(GLOB debs ${BUILD}/*.deb)
if(NOT debs)
    message(FATAL_ERROR "no .deb in ${BUILD}")
endif()
if("$ENV{PACKAGE_INSTALL}" STREQUAL "0")
    foreach(deb IN LISTS debs)
        execute_process(COMMAND dpkg -c ${deb})
    endforeach()
    message(STATUS "package check skipped (PACKAGE_INSTALL=0)")
    return()
endif()
set(options ${ARCH})
if("$ENV{PACKAGE_SYSTEM}" STREQUAL "1" AND NOT ARCH)
    list(APPEND options --system)
endif()
execute_process(COMMAND ${CHECK} ${options} ${debs} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${CHECK} failed (${rc})")
endif()
