# Cross build for Debian armhf on an amd64 Debian, with its multiarch packages
# (scripts/common.sh lists them; ./scripts/test armhf installs them):
#   cmake --preset armhf, or
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-armhf.cmake
set(RADIOCONF_TRIPLET arm-linux-gnueabihf)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)

# Tests, and the build's own programs (udev rule, man pages, completions),
# run under qemu-user. No -L: qemu would then show the program that folder
# as /, and libudev would find no devices.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-arm)
