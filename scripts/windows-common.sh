# Shared by the Windows scripts: the Qt SDK for Windows, unpacked into
# build-windows/ from ../shared/windows, and the cross-build with it.
WIN_SHARED="$ROOT/../shared/windows"
WIN_DIR="$ROOT/build-windows"
WIN_SDK="$WIN_DIR/qt5-mingw"
WINE64=/usr/lib/wine/wine64

# Unpacks the SDK when it is not there yet; fails, saying why, without it.
windows_sdk() {
    [ -d "$WIN_SDK/lib/cmake/Qt5" ] && return 0
    local tarball
    tarball=$(ls "$WIN_SHARED"/qt5-mingw-*.tar.xz 2>/dev/null | head -1)
    if [ -z "$tarball" ]; then
        echo "no Qt SDK for Windows: $WIN_SHARED/qt5-mingw-*.tar.xz is missing" >&2
        return 1
    fi
    mkdir -p "$WIN_DIR" && tar -C "$WIN_DIR" -xf "$tarball"
}

# windows_build [cmake options...]: the cross-build in build-windows/build
# (build-windows/package for a release without tests).
windows_build() {
    local dir="$WIN_DIR/build"
    case " $* " in *" -DRADIOCONF_TESTS=OFF "*) dir="$WIN_DIR/package" ;; esac
    cmake -S "$ROOT" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
        -DRADIOCONF_QT_SDK="$WIN_SDK" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null &&
        cmake --build "$dir" -j"$JOBS"
}
