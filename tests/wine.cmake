# The cross-built Windows build checked from Linux, every test labelled
# windows and run on an X display (DISPLAY; scripts/with-xvfb starts a
# virtual one), since wine makes windows, hidden ones too, only with one:
#   - the suite above, under wine in the wine prefix of this build folder;
#   - tst_wine, a Linux program of the quick build (build/), built first: the
#     link through Windows' serial API to a simulated module, and a virtual
#     CP210x plugged into the running window;
#   - the zip and the installer, packed from this build, in a fresh prefix.
set(wine ${CMAKE_CROSSCOMPILING_EMULATOR})
set(prefix ${CMAKE_BINARY_DIR}/wineprefix)
set(fresh ${CMAKE_BINARY_DIR}/freshprefix)
set(linux ${PROJECT_SOURCE_DIR}/build)
set(package radioconf-${PROJECT_VERSION}-win64) # as packaging/ names the zip and installer
set(wine_env WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml=" WINE64=${wine})

get_property(suite DIRECTORY PROPERTY TESTS)
set_tests_properties(${suite} PROPERTIES FIXTURES_REQUIRED wineprefix)

add_test(NAME wine_prefix
         COMMAND ${CMAKE_COMMAND} -DWINE=${wine} -DPREFIXES=${prefix}
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/wineprefix.cmake)
add_test(NAME wine_freshprefix
         COMMAND ${CMAKE_COMMAND} -DWINE=${wine} -DPREFIXES=${fresh} -DFRESH=ON
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/wineprefix.cmake)
add_test(NAME wine_stop
         COMMAND ${CMAKE_COMMAND} -DWINE=${wine} "-DPREFIXES=${prefix} ${fresh}" -DSTOP=ON
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/wineprefix.cmake)
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wineprefix TIMEOUT 300)
set_tests_properties(wine_freshprefix PROPERTIES FIXTURES_SETUP freshprefix TIMEOUT 300)
set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP "wineprefix;freshprefix")

add_test(NAME linux_tools
         COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR}
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/linuxtools.cmake)
set_tests_properties(linux_tools PROPERTIES FIXTURES_SETUP linuxtools TIMEOUT 1800)

# It plugs a virtual adapter into this prefix, which the suite must not see.
add_test(NAME tst_wine COMMAND ${linux}/tests/tst_wine)
set_tests_properties(tst_wine PROPERTIES FIXTURES_REQUIRED "wineprefix;linuxtools" RUN_SERIAL ON
    TIMEOUT 600 ENVIRONMENT "${wine_env};WINEPREFIX=${prefix};RADIOCONF_WIN_BUILD=${CMAKE_BINARY_DIR};RADIOCONF_SCREENSHOT=${PROJECT_SOURCE_DIR}/docs/radioconf-windows.png;WINEPATH=${RADIOCONF_QT_SDK}/bin;WINEQT_PLUGIN_PATH=Z:${RADIOCONF_QT_SDK}/plugins")

add_test(NAME windows_packages
         COMMAND ${CMAKE_COMMAND} -DBUILD=${CMAKE_BINARY_DIR} "-DGENERATORS=ZIP NSIS"
                 "-DFILES=${package}.zip ${package}.exe"
                 -P ${PROJECT_SOURCE_DIR}/packaging/cpack.cmake)
set_tests_properties(windows_packages PROPERTIES FIXTURES_SETUP windowspackages TIMEOUT 600)
add_test(NAME windows_zip
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windowspackages.sh zip ${CMAKE_BINARY_DIR}/${package}.zip
                 ${linux}/cli/radioconf-cli ${PROJECT_VERSION})
add_test(NAME windows_installer
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windowspackages.sh installer ${CMAKE_BINARY_DIR}/${package}.exe)
set_tests_properties(windows_zip windows_installer PROPERTIES
    FIXTURES_REQUIRED "windowspackages;freshprefix" RESOURCE_LOCK freshprefix
    TIMEOUT 600 ENVIRONMENT "${wine_env};WINEPREFIX=${fresh}")
# The zip's read needs radioconf-cli's simulated module.
set_tests_properties(windows_zip PROPERTIES FIXTURES_REQUIRED "windowspackages;freshprefix;linuxtools")

get_property(all DIRECTORY PROPERTY TESTS)
set_tests_properties(${all} PROPERTIES LABELS windows)
