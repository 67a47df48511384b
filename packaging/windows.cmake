# What the Windows programs need beside them: Qt's DLLs, the platform and
# style plugins, the compiler's runtime DLLs, and Qt's licence texts in
# licenses/Qt, beside radioconf's own in licenses/radioconf (Qt is under the
# LGPLv3 here; its source is at https://download.qt.io/).
set(qt Qt${QT_VERSION_MAJOR})
foreach(module Core Gui Widgets SerialPort Network)
    if(TARGET ${qt}::${module})
        install(FILES $<TARGET_FILE:${qt}::${module}> DESTINATION .)
    endif()
endforeach()
install(FILES $<TARGET_FILE:${qt}::QWindowsIntegrationPlugin> DESTINATION platforms)
if(TARGET ${qt}::QWindowsVistaStylePlugin)
    install(FILES $<TARGET_FILE:${qt}::QWindowsVistaStylePlugin> DESTINATION styles)
endif()
# The mingw-w64 runtime, which the SDK keeps beside Qt's DLLs.
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    find_file(RUNTIME_${dll} ${dll} PATHS "${${qt}_DIR}/../../../bin" NO_DEFAULT_PATH)
    if(NOT RUNTIME_${dll})
        message(FATAL_ERROR "${dll} not found beside Qt's DLLs")
    endif()
    install(FILES ${RUNTIME_${dll}} DESTINATION .)
endforeach()
# Qt's DLLs go nowhere without their licence texts.
if(NOT EXISTS "${${qt}_DIR}/../../../licenses/LICENSE.LGPL3")
    message(FATAL_ERROR "No licenses/LICENSE.LGPL3 in the Qt SDK: the zip would ship Qt "
                        "without its licence")
endif()
install(DIRECTORY "${${qt}_DIR}/../../../licenses/" DESTINATION licenses/Qt)
