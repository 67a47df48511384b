# The part of a Debian multiarch cross build that all targets share; a
# toolchain file sets RADIOCONF_TRIPLET (aarch64-linux-gnu), the processor
# and the emulator, then includes this.
# No sysroot: Debian's cross compiler already searches the target's folders
# /usr/include/TRIPLET and /usr/lib/TRIPLET.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_LIBRARY_ARCHITECTURE ${RADIOCONF_TRIPLET})
set(CMAKE_C_COMPILER ${RADIOCONF_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${RADIOCONF_TRIPLET}-g++)

# Libraries, headers and CMake packages of the target only, never the build
# machine's amd64 copies; programs (moc, uic, help2man) are the build machine's.
set(CMAKE_FIND_ROOT_PATH /usr/${RADIOCONF_TRIPLET} /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The target's .pc files; set here because the toolchain file is read again
# on every configure, including those the build starts by itself.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${RADIOCONF_TRIPLET}/pkgconfig:/usr/share/pkgconfig)
