# Install to a removable medium onto a drive that Wine reports as removable: a Wine prefix of this test's
# own (drive types are read when its wineserver starts) with drive R: a folder of the scratch area marked as
# a floppy. The install wizard of the test program copies that program to R:\ as Vorn.exe; the copy, started
# from R:, chooses the portable profile R:\vorn-configuration. The player's own files laid out the same way
# start the player in portable mode: its profile appears beside it, none in the application-data folder.

shots="$VORN_BUILD_DIR/screenshots"
mkdir -p "$shots"
test_program="$VORN_BUILD_DIR/tests/test_shell.exe"
prefix="$VORN_TEST_TMP/prefix"
usb="$VORN_TEST_TMP/usb"
mkdir -p "$usb"

export WINEPREFIX="$prefix"
stop_own_server() { WINEPREFIX="$prefix" wineserver -k > /dev/null 2>&1 || true; }
trap stop_own_server EXIT

wineboot -i > /dev/null 2>&1 < /dev/null || true
wineserver -w
cp /usr/share/wine/fonts/*.ttf "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
wine reg add 'HKLM\Software\Wine\Drives' /v r: /t REG_SZ /d floppy /f > /dev/null 2>&1
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f > /dev/null 2>&1
ln -s "$usb" "$prefix/dosdevices/r:"
wineserver -k > /dev/null 2>&1 || true
wineserver -w
wineserver -p
wineboot > /dev/null 2>&1 < /dev/null || true

# child CASE LOG: a skipped case of a test program ($program) with the drive in the environment.
child() {
    set +e
    VORN_INSTALL_DRIVE='R:\' VORN_INSTALL_PLAYER="$(winepath -w "$VORN_EXE" 2>/dev/null)" \
        VORN_SCENARIO_DIR="Z:${VORN_TEST_TMP//\//\\}" \
        wine "$program" --no-colors --no-skip --test-case="$1" > "$2" 2>&1 < /dev/null &
    local pid=$! i
    if [ -n "${3:-}" ]; then
        for i in $(seq 600); do [ -e "$VORN_TEST_TMP/$3.ready" ] && break; kill -0 $pid 2>/dev/null || break; sleep 0.1; done
        if [ -e "$VORN_TEST_TMP/$3.ready" ]; then import -window root "$shots/$3.png"; touch "$VORN_TEST_TMP/$3.go"; fi
    fi
    wait $pid
    rc=$?
    set -e
    [ "$rc" -eq 0 ] || { cat "$2" >&2; fail "'$1' failed (exit $rc)"; }
}

program="$test_program"
child "install child: the wizard installs onto the removable drive" wizard.log install-removable
[ -f "$usb/Vorn.exe" ] || fail "no Vorn.exe on the drive"
cmp -s "$usb/Vorn.exe" "$test_program" || fail "Vorn.exe is not a copy of the program"
expect_eq "$(stat -c %s "$usb/autorun.inf")" 66 "size of autorun.inf"
printf '[autorun]\r\nopen=vorn.exe\r\nicon=vorn.exe\r\nlabel=Vorn Audio Player\r\n' | cmp -s - "$usb/autorun.inf" \
    || fail "autorun.inf differs"
for name in Vorn.exe.localconfig.opt Vorn.exe.locallibrary.opt autorun.inf vorn-configuration; do
    [ -e "$usb/$name" ] || fail "$name missing on the drive"
done
attributes=$(wine cmd /c attrib 'R:\*' 2>/dev/null | tr -d '\r')
for name in Vorn.exe.localconfig.opt Vorn.exe.locallibrary.opt autorun.inf; do
    grep -iE "^ *[A-Z ]*H[A-Z ]* +R:\\\\$name" <<< "$attributes" > /dev/null || \
        { echo "$attributes" >&2; fail "$name is not hidden"; }
done

# The copy, started from the drive, is in portable mode there.
program='R:\Vorn.exe'
child "install child: the copy starts in portable mode" portable.log

# The player itself, laid out the same way on the drive, keeps its profile there.
program="$test_program"
child "install child: the player's files onto the removable drive" player-files.log
appdata=$(wine cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')
appdata_unix=$(winepath -u "$appdata" 2>/dev/null)
rm -rf "$appdata_unix/Vorn Audio Player"
set +e
WINEDEBUG=+debugstr wine 'R:\player\Vorn.exe' /quiet > player.log 2>&1 < /dev/null
rc=$?
set -e
expect_eq "$rc" 0 "exit code of the installed player"
expect_contains player.log "Terminated normally."
[ -d "$usb/player/vorn-configuration" ] || fail "the installed player did not keep its profile beside itself"
[ ! -e "$appdata_unix/Vorn Audio Player" ] || fail "the installed player wrote a profile into the application-data folder"
