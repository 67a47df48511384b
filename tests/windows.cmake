# The Windows build's tests: those that need no Linux test bed. When cross-
# built they run under wine, in a wine prefix of the build folder; the
# Windows backend's window needs an X display there (Xvfb will do).
set(RADIOCONF_WIN_TESTS tst_frames tst_cliformat tst_qdevicewatcher tst_win32backend)
if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    find_program(WINE64 wine64 PATHS /usr/lib/wine REQUIRED)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE64})
endif()
foreach(test ${RADIOCONF_WIN_TESTS})
    add_executable(${test} ${test}.cpp messagelog.h)
    target_compile_options(${test} PRIVATE ${RADIOCONF_WARNINGS})
    target_link_libraries(${test} PRIVATE radioconf_core Qt${QT_VERSION_MAJOR}::Test)
    add_test(NAME ${test} COMMAND ${test})
    # wine hands on no QT_ variable; it strips the WINE of WINEQT_ ones.
    set_tests_properties(${test} PROPERTIES TIMEOUT 120 ENVIRONMENT
        "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDEBUG=-all;WINEPATH=$<TARGET_FILE_DIR:Qt${QT_VERSION_MAJOR}::Core>;WINEQT_QPA_PLATFORM=offscreen;WINEQT_FORCE_STDERR_LOGGING=1")
endforeach()

# The Windows test bed's stand-in for the system's message when an adapter
# is plugged in or pulled out; see tests/tst_wine.cpp.
add_executable(devicechange devicechange.cpp)
target_compile_options(devicechange PRIVATE ${RADIOCONF_WARNINGS})
