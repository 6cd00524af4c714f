# Shared by the scripts: packages, builds, and the X display and Wine server they start,
# each stopped again by its PID.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# Every configuration is a preset of CMakePresets.json, built in build/NAME.
BUILD=$ROOT/build

PACKAGES="cmake ninja-build g++ clang libclang-rt-dev libgtest-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 fonts-wine xvfb x11-apps xdotool imagemagick python3 python3-pefile icoutils dos2unix"

log() { printf '== %s\n' "$*"; }

# The Windows name of a path here, as Wine's drive Z: shows it.
winPath() { local p=${1//\//\\}; echo "Z:$p"; }

ensurePackages() {
    local missing=()
    for p in $PACKAGES; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    log "installing: ${missing[*]}"
    if [ "$(id -u)" != 0 ]; then
        echo "missing packages and not root: ${missing[*]}" >&2
        return 1
    fi
    apt-get update -qq || return 1
    # wine32 is never wanted: these machines cannot run 32-bit programs.
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" \
        >"$BUILD/apt.log" 2>&1 || { tail -20 "$BUILD/apt.log" >&2; return 1; }
}

# configure PRESET; then build PRESET [cmake --build args...]
configure() {
    (cd "$ROOT" && cmake --preset "$1") >"$BUILD/$1.configure.log" 2>&1 ||
        { tail -30 "$BUILD/$1.configure.log" >&2; return 1; }
}
build() {
    local name=$1; shift
    (cd "$ROOT" && cmake --build --preset "$name" "$@") >"$BUILD/$name.build.log" 2>&1 ||
        { grep -E -A5 'error|FAILED' "$BUILD/$name.build.log" | head -60 >&2; return 1; }
}

XVFB_PID=
WINESERVER_PID=

export WINEPREFIX=${WINEPREFIX_OVERRIDE:-$BUILD/wineprefix}
# Tests want windows unmanaged (fast); a person's desktop wants its window manager.
UNMANAGED=${UNMANAGED:-1}
export WINEDEBUG=-all
# No Mono or Gecko installer, and no debugger that waits on a crash: the program just ends.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64

# A display of our own, so nothing shows on the user's screen and nothing needs one.
startDisplay() {
    local n
    for n in $(seq 87 120); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$BUILD/xvfb.log" 2>&1 &
        XVFB_PID=$!
        for _ in $(seq 50); do
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

# The prefix is made once; later runs reuse it. The server stays up between test
# programs, which saves Wine's start-up for each of them.
startWine() {
    mkdir -p "$BUILD"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        log "making the Wine prefix"
        "$WINE" wineboot -i >"$BUILD/wineboot.log" 2>&1
        "$WINESERVER" -w
        if [ "$UNMANAGED" = 1 ]; then
            # Wine waits ~2 s per hidden window when no window manager runs.
            "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >>"$BUILD/wineboot.log" 2>&1
            "$WINESERVER" -w
        fi
    fi
    ensureFonts
    # A server left over in this prefix would make ours exit at once, and then shut down
    # under a test a few seconds later: end it first.
    "$WINESERVER" -k >/dev/null 2>&1
    "$WINESERVER" -w >/dev/null 2>&1
    "$WINESERVER" -f -p >"$BUILD/wineserver.log" 2>&1 &
    WINESERVER_PID=$!
    sleep 0.5
    if ! kill -0 "$WINESERVER_PID" 2>/dev/null; then
        echo "the Wine server did not start:" >&2
        cat "$BUILD/wineserver.log" >&2
        return 1
    fi
    # Start the prefix's helper processes now, with their output away from any pipe a test reads.
    "$WINE" wineboot >>"$BUILD/wineboot.log" 2>&1
}

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
