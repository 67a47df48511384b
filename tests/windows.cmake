# The Windows build's tests. When cross-built they run under wine, in a wine
# prefix of the build folder; the Windows backend's window needs an X
# display there (Xvfb will do). wine hands on no QT_ variable; it passes
# WINEQT_ ones without their WINE.
if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    find_program(WINE64 wine64 PATHS /usr/lib/wine REQUIRED)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE64})
endif()
list(APPEND RADIOCONF_TEST_ENV WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all
    "WINEDLLOVERRIDES=mscoree,mshtml=" WINEPATH=$<TARGET_FILE_DIR:Qt${QT_VERSION_MAJOR}::Core>
    WINEQT_QPA_PLATFORM=offscreen WINEQT_FORCE_STDERR_LOGGING=1)

# The Windows test bed's stand-in for the system's message when an adapter
# is plugged in or pulled out; see tests/tst_wine.cpp.
add_executable(devicechange devicechange.cpp)
target_compile_options(devicechange PRIVATE ${RADIOCONF_WARNINGS})
