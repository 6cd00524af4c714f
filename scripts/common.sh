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

export WINEPREFIX=${WINEPREFIX_OVERRIDE:-$BUILD/wineprefix}
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
LOGS=$BUILD
. "$ROOT/scripts/wine-env.sh"
