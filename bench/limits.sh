#!/usr/bin/env bash
# Finds the largest file that the i686 Pellmark.exe converts from LF to CR LF through its
# dialog, in the 32-bit guest (scripts/guest), and what the user sees just beyond it.
# Halves the range between a size that converts and one that does not, down to 16 MiB.
set -u
. "$(dirname "$0")/../scripts/common.sh"
. "$(dirname "$0")/../scripts/guest/boot.sh"
PACKAGES="$PACKAGES $GUEST_PACKAGES"
mkdir -p "$BUILD"
ensurePackages || exit 1
configure win32-bench -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DPELLMARK_TESTS=OFF -DPELLMARK_BENCH=ON && build win32-bench || exit 1
guestImage || exit 1

OUT=$BUILD/limits
rm -rf "$OUT"
mkdir -p "$OUT"
cat >"$OUT/job.sh" <<JOB
OUT=$OUT BIN=$BUILD/win32-bench LO=${LO_MIB:-512} HI=${HI_MIB:-2048}
JOB
cat >>"$OUT/job.sh" <<'JOB'
export WINEPREFIX=/root/.wine32 WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
Xvfb :9 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
export DISPLAY=:9
sleep 3
wineserver -p
wine wineboot >/dev/null 2>&1
# Programs from the 9p share map as zeros: run copies.
mkdir -p /tmp/w
cp "$BIN/Pellmark.exe" "$BIN/bench/convert_ui.exe" /tmp/w/
# try MIB: converts a file of MIB MiB of 35-byte lines; true when it succeeded.
try() {
    yes "a line of text that is long enough" | head -c $(($1 * 1048576)) >/tmp/in.txt
    rm -f /tmp/out.txt
    r=$(wine /tmp/w/convert_ui.exe 'Z:\tmp\w\Pellmark.exe' 'Z:\tmp\in.txt' 'Z:\tmp\out.txt' 2>/dev/null)
    want=$(($1 * 1048576 + $1 * 1048576 / 35))
    got=$(stat -c %s /tmp/out.txt 2>/dev/null || echo none)
    echo "$1 MiB: $r; output $got bytes of $want" | tee -a "$OUT/result"
    case $r in Success*) [ "$got" = "$want" ] ;; *) return 1 ;; esac
}
lo=$LO hi=$HI
if try $lo && ! try $hi; then
    while [ $((hi - lo)) -gt 16 ]; do
        mid=$(((lo + hi) / 2))
        if try $mid; then lo=$mid; else hi=$mid; fi
    done
    echo "largest converted: $lo MiB; $hi MiB does not convert" | tee -a "$OUT/result"
fi
wineserver -k
JOB
log "converting ever larger files in the guest (this takes a while)"
bootGuest 5400 "$OUT/job.sh" 12288 || echo "the guest did not finish"
cat "$OUT/result"
