#!/usr/bin/env bash
# windowspackages.sh zip ZIP LINUX_CLI VERSION
# windowspackages.sh installer INSTALLER
# The Windows packages in the wine prefix $WINEPREFIX (wine is $WINE64),
# with nothing of the Qt SDK on wine's path: they must carry what the
# programs load.
#   zip: unpacked beside itself; our licence beside Qt's; radioconf-cli.exe
#     --version, then a read of a simulated module (LINUX_CLI simulate)
#     through COM5.
#   installer: installed silently, with its Start-menu entry; radioconf-cli
#     runs from where it went; its uninstaller leaves nothing behind.
set -uo pipefail
unset WINEPATH
wine=${WINE64:?}
wineserver="$(dirname "$wine")/wineserver"
fail() {
    echo "$*" >&2
    exit 1
}

check_zip() {
    local zip=$1 cli=$2 version=$3 unpacked out rc terminal
    unpacked="${zip%.zip}-unpacked"
    rm -rf "$unpacked" && mkdir -p "$unpacked" && unzip -q "$zip" -d "$unpacked" ||
        fail "cannot unpack $zip"
    local tops=("$unpacked"/*/)
    local top=${tops[0]}
    out=$("$wine" "$top/radioconf-cli.exe" --version | tr -d '\r')
    [ "$out" = "radioconf-cli $version" ] || fail "--version printed: $out"
    # Our licence beside Qt's, which its DLLs in the zip need.
    grep -q "^License: MIT" "$top/licenses/radioconf" && grep -q "^License: LGPL-3" \
        "$top/licenses/radioconf" && [ -f "$top/licenses/Qt/LICENSE.LGPL3" ] ||
        fail "no licenses/radioconf naming MIT and Qt's LGPL-3, or no licenses/Qt"

    # The module prints its pseudo-terminal's name first; COM5 leads there.
    coproc module { exec "$cli" simulate 2>/dev/null; }
    trap 'kill -INT "$module_PID" 2>/dev/null' EXIT
    read -r -t 10 -u "${module[0]}" terminal || fail "the simulated module did not start"
    ln -sfn "$terminal" "$WINEPREFIX/dosdevices/com5"
    out=$(timeout 120 "$wine" "$top/radioconf-cli.exe" read --port COM5 --json)
    rc=$?
    [ "$rc" -eq 0 ] && grep -q '"model":"SIM1"' <<<"$out" || fail "read from the zip: exit $rc: $out"
    echo "$(basename "$zip"): licenses, --version and a read from a fresh prefix"
}

# wineserver -w waits until every program of the prefix has ended: the
# installer and the uninstaller go on in copies of themselves.
run_to_end() {
    timeout 300 "$wine" "$@" && timeout 120 "$wineserver" -w
}

check_installer() {
    local installer=$1
    local programs="$WINEPREFIX/drive_c/Program Files/radioconf"
    local menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/radioconf"
    run_to_end "$installer" /S || fail "the installer failed"
    [ -f "$programs/radioconf.exe" ] && [ -f "$menu/radioconf.lnk" ] &&
        [ -f "$programs/licenses/radioconf" ] ||
        fail "installer: no radioconf.exe, licenses/radioconf or Start-menu entry"
    "$wine" "$programs/radioconf-cli.exe" --version | grep -q '^radioconf-cli ' ||
        fail "radioconf-cli.exe does not run where the installer put it"
    run_to_end "$programs/Uninstall.exe" /S || fail "the uninstaller failed"
    [ ! -e "$programs" ] && [ ! -e "$menu" ] || fail "the uninstaller left $programs or $menu"
    echo "$(basename "$installer"): installs with a Start-menu entry, runs, uninstalls"
}

# The prefix's server, started here with nowhere to write: started by a
# program, it would keep that program's output open, and the test's, after
# the test.
"$wineserver" </dev/null >/dev/null 2>&1

case ${1:-} in
    zip) [ $# -eq 4 ] && check_zip "$2" "$3" "$4" ;;
    installer) [ $# -eq 2 ] && check_installer "$2" ;;
    *) false ;;
esac || fail "usage: windowspackages.sh zip ZIP LINUX_CLI VERSION | installer INSTALLER"
