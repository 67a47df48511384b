# Cross-build for Windows x86_64 with Debian's mingw-w64 compilers in their
# posix-threads variant (std::thread and friends need it) against a Qt SDK
# built for that target:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
#         -DRADIOCONF_QT_SDK=<the SDK's folder>
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(RADIOCONF_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${RADIOCONF_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RADIOCONF_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${RADIOCONF_MINGW}-windres)

# try_compile() projects see the cache variable only when it is forwarded.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES RADIOCONF_QT_SDK)
if(NOT RADIOCONF_QT_SDK)
    set(RADIOCONF_QT_SDK "$ENV{RADIOCONF_QT_SDK}")
endif()
if(NOT RADIOCONF_QT_SDK OR NOT EXISTS "${RADIOCONF_QT_SDK}/lib/cmake/Qt5")
    message(FATAL_ERROR "RADIOCONF_QT_SDK must name a Qt SDK built for ${RADIOCONF_MINGW}")
endif()
set(RADIOCONF_QT_SDK "${RADIOCONF_QT_SDK}" CACHE PATH "Qt SDK for Windows x86_64 (mingw-w64)")

set(CMAKE_FIND_ROOT_PATH /usr/${RADIOCONF_MINGW} ${RADIOCONF_QT_SDK})
list(APPEND CMAKE_PREFIX_PATH ${RADIOCONF_QT_SDK})
# The SDK's moc, uic and rcc are host programs; libraries, headers and
# packages come from the target's folders only.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
