# Shared by the Windows scripts: the Qt SDK for Windows, unpacked into
# build-windows/ from ../shared/windows, where the windows preset finds it.
WIN_SHARED="$ROOT/../shared/windows"
WIN_DIR="$ROOT/build-windows"
WIN_SDK="$WIN_DIR/qt5-mingw"

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
