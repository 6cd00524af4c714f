# The Wine set-up that the tests share, here (x86_64, wine64) and in the 32-bit guest: the
# display, the prefix, its server, the locale and the test disks. Sourced by common.sh and,
# in the guest, by setup.sh, with WINE, WINESERVER and WINEPREFIX set and LOGS naming a
# folder for their output. POSIX sh: the guest's jobs run in dash.

export WINEDEBUG=-all
# No Mono or Gecko installer, and no debugger that waits on a crash: the program just ends.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"

XVFB_PID=
WINESERVER_PID=

# Wine takes its ANSI code page from the locale's language; C.UTF-8 names none and gets the
# Western one, 1252, as a Western Windows has (so do the en_ locales). The tests of names
# that code page cannot hold then mean the same on every machine.
testLocale() {
    export LC_ALL=C.UTF-8 LANG=C.UTF-8
}

# startDisplay [FBDIR]: a display of our own, so nothing shows on a user's screen and
# nothing needs one; with FBDIR, Xvfb also keeps the screen as an XWD file there.
startDisplay() {
    for n in $(seq 87 120); do
        { [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; } && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp ${1:+-fbdir "$1"} >"$LOGS/xvfb.log" 2>&1 &
        XVFB_PID=$!
        for _ in $(seq 600); do
            [ -e "/tmp/.X11-unix/X$n" ] && { export DISPLAY=":$n"; return 0; }
            kill -0 "$XVFB_PID" 2>/dev/null || break
            sleep 0.1
        done
    done
    echo "could not start Xvfb" >&2
    return 1
}

# wineboot of the 64-bit Wine alone cannot run the 32-bit half of its set-up, which installs
# Wine's own fonts: without them "MS Sans Serif" falls back to a wider face, so labels wrap,
# and the caption buttons lack Marlett. Copied in on every start, so an older prefix is mended.
ensureFonts() {
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
}

# makePrefix [managed]: a new prefix. Tests want its windows unmanaged: without a window
# manager Wine waits about 2 s for each hidden one. A person's desktop wants its manager.
makePrefix() {
    "$WINE" wineboot -i >"$LOGS/wineboot.log" 2>&1
    "$WINESERVER" -w
    if [ "${1:-}" != managed ]; then
        "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >>"$LOGS/wineboot.log" 2>&1
        "$WINESERVER" -w
    fi
    ensureFonts
}

# startWine [managed]: the prefix, made the first time, and one server for every program,
# which saves Wine's start-up for each of them.
startWine() {
    [ -f "$WINEPREFIX/system.reg" ] || makePrefix "${1:-}"
    ensureFonts
    # A server left over in this prefix would make ours exit at once, and then shut down
    # under a test a few seconds later: end it first.
    "$WINESERVER" -k >/dev/null 2>&1
    "$WINESERVER" -w >/dev/null 2>&1
    "$WINESERVER" -f -p >"$LOGS/wineserver.log" 2>&1 &
    WINESERVER_PID=$!
    sleep 0.5
    if ! kill -0 "$WINESERVER_PID" 2>/dev/null; then
        echo "the Wine server did not start:" >&2
        cat "$LOGS/wineserver.log" >&2
        return 1
    fi
    # The prefix's helper processes now, with their output away from any pipe a test reads.
    "$WINE" wineboot >>"$LOGS/wineboot.log" 2>&1
}

# Ends the server and its prefix's helpers (killing its PID alone leaves them), then Xvfb.
stopAll() {
    if [ -n "$WINESERVER_PID" ]; then
        "$WINESERVER" -k >/dev/null 2>&1
        kill "$WINESERVER_PID" 2>/dev/null
        wait "$WINESERVER_PID" 2>/dev/null
        WINESERVER_PID=
    fi
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
        XVFB_PID=
    fi
}

# testDisks DIR: what the tests of failing writes write to, where root may make it: a 64 KiB
# disk at DIR/tiny and a full device of our own at DIR/full (a fault that deleted it would
# not take the machine's). Elsewhere those tests are skipped, saying why. And a network
# share, \\localhost\pellmark, that is DIR/share: Wine reaches \\SERVER\SHARE through
# dosdevices/unc.
testDisks() {
    rm -rf "$1/share"
    mkdir -p "$1/share" "$WINEPREFIX/dosdevices/unc/localhost"
    ln -sfn "$1/share" "$WINEPREFIX/dosdevices/unc/localhost/pellmark"
    export PELLMARK_SHARE='\\localhost\pellmark'

    mkdir -p "$1/tiny"
    if mountpoint -q "$1/tiny" || mount -t tmpfs -o size=64k pellmark-tiny "$1/tiny" 2>/dev/null; then
        touch "$1/tiny/mounted"
    else
        echo "cannot mount a tmpfs at $1/tiny: the full-disk test is skipped"
    fi
    [ -c "$1/full" ] || mknod "$1/full" c 1 7 2>/dev/null ||
        echo "cannot make a device at $1/full: the full-device test is skipped"
    export PELLMARK_TINY_DIR="$1/tiny" PELLMARK_FULL_DEVICE="$1/full"
}

# dropTestDisks DIR: unmounts what testDisks mounted.
dropTestDisks() {
    mountpoint -q "$1/tiny" 2>/dev/null && umount "$1/tiny"
    return 0
}
