# Cross build for Debian arm64 on an amd64 Debian, with its multiarch packages
# (scripts/common.sh lists them; ./scripts/test arm64 installs them):
#   cmake --preset arm64, or
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-aarch64.cmake
set(RADIOCONF_TRIPLET aarch64-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)

# Tests, and the build's own programs (udev rule, man pages, completions),
# run under qemu-user. No -L: qemu would then show the program that folder
# as /, and libudev would find no devices.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-aarch64)
