# Cross build for Debian arm64 on an amd64 Debian, with its multiarch packages
# (scripts/common.sh lists them; ./scripts/test arm64 installs them):
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-aarch64.cmake
# No sysroot: Debian's cross compiler already searches the target's folders
# /usr/include/aarch64-linux-gnu and /usr/lib/aarch64-linux-gnu.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# Libraries, headers and CMake packages of the target only, never the build
# machine's amd64 copies; programs (moc, uic, help2man) are the build machine's.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The target's .pc files; set here because the toolchain file is read again
# on every configure, including those the build starts by itself.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)

# Tests, and the build's own programs (udev rule, man pages, completions),
# run under qemu-user. No -L: qemu would then show the program that folder
# as /, and libudev would find no devices.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-aarch64)
