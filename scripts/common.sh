# Shared by the scripts: the Debian packages the project needs, installed
# when missing (through sudo when not root).

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=$(nproc 2>/dev/null || echo 2)

# Every Linux build configures the same: the man pages (help2man), the PNG
# icons (rsvg-convert) and the desktop entry's test (desktop-file-validate)
# are part of it, and a missing tool fails the configure.
BUILD_PACKAGES=(cmake g++ make pkg-config qtbase5-dev libqt5serialport5-dev libudev-dev
                umockdev libumockdev-dev python3-jsonschema ser2net
                help2man librsvg2-bin desktop-file-utils)
RUN_PACKAGES=(xvfb xauth xdotool imagemagick)
# scripts/test's stages beyond the plain build: the libFuzzer targets (clang)
# and the Windows backend against the real Windows headers.
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
MINGW_PACKAGES=(g++-mingw-w64-x86-64)
# The build against Qt 6 (RADIOCONF_QT6=ON); qt6-base-dev brings libgl-dev,
# which Qt6Gui's CMake files look for, and the offscreen platform plugin.
QT6_PACKAGES=(qt6-base-dev qt6-base-dev-tools qt6-serialport-dev)
# The Windows stage: the cross compilers (posix threads), wine to run the
# programs, a virtual X server and the tools that drive and photograph it.
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth xdotool imagemagick zip unzip nsis)
# The Debian packages: their dependencies from dpkg-shlibdeps (dpkg-dev,
# file), and lintian, which scripts/check-package runs on them.
PACKAGE_PACKAGES=(dpkg-dev file lintian)
# The ARM builds: Debian's cross compilers and the target's Qt and udev
# development packages beside the amd64 ones (multiarch), the host's
# moc/uic (qtbase5-dev-tools), qemu-user to run the programs and tests, and
# python3 and readelf (binutils) for scripts/check-cross-package.
CROSS_PACKAGES_arm64=(crossbuild-essential-arm64 qtbase5-dev:arm64 libqt5serialport5-dev:arm64
                      libudev-dev:arm64)
CROSS_PACKAGES_armhf=(crossbuild-essential-armhf qtbase5-dev:armhf libqt5serialport5-dev:armhf
                      libudev-dev:armhf)
CROSS_HOST_PACKAGES=(cmake make pkg-config qtbase5-dev-tools qemu-user python3 binutils)

ensure_packages() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing missing packages: ${missing[*]}" >&2
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    # Another install may hold dpkg's lock (a second checkout's tests): wait.
    local wait=(-o DPkg::Lock::Timeout=600)
    $sudo apt-get "${wait[@]}" update -qq >&2 || return 1
    DEBIAN_FRONTEND=noninteractive $sudo apt-get "${wait[@]}" install -y -qq --no-install-recommends \
        "${missing[@]}" >&2
}

# ensure_architecture ARCH: dpkg takes ARCH's packages beside the host's.
# Adding one makes apt upgrade the host's copies of libraries that must be of
# one version across architectures (Multi-Arch: same); that is expected.
ensure_architecture() {
    local arch=$1
    [ "$arch" = "$(dpkg --print-architecture)" ] && return 0
    dpkg --print-foreign-architectures | grep -qx "$arch" && return 0
    echo "Adding the architecture $arch to dpkg" >&2
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo dpkg --add-architecture "$arch"
}

# ensure_cross_packages ARCH: what a cross build for ARCH (arm64, armhf) needs.
ensure_cross_packages() {
    local arch=$1
    local -n target_packages="CROSS_PACKAGES_$arch"
    ensure_architecture "$arch" &&
        ensure_packages "${BUILD_PACKAGES[@]}" "${CROSS_HOST_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}" \
            "${target_packages[@]}"
}
