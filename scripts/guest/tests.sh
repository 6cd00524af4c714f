# Runs inside the 32-bit guest, from a copy in BUILD/guest: every i686 Win32 test program
# under 32-bit Wine on Xvfb. Each writes its results as XML beside this file; the host
# counts them. A program that does not finish in time is ended and counts as failed.
OUT=$(cd "$(dirname "$0")" && pwd)
BUILD=$(dirname "$OUT")
export WINEPREFIX=/root/.wine32 WINEARCH=win32 WINEDEBUG=-all
# No Mono or Gecko installer, and no debugger that waits on a crash: the program just ends.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"

Xvfb :9 -screen 0 1024x768x24 -nolisten tcp >"$OUT/xvfb.log" 2>&1 &
export DISPLAY=:9
n=0
while [ ! -e /tmp/.X11-unix/X9 ] && [ $n -lt 300 ]; do sleep 0.1; n=$((n + 1)); done

# Wine maps programs from the 9p share as pages of zeros: run copies from the guest's own
# memory, put in place of the build folder so that every path stays as built.
mkdir -p /tmp/win32/tests
cp "$BUILD/win32/Pellmark.exe" /tmp/win32/
cp "$BUILD"/win32/tests/*.exe /tmp/win32/tests/
mount --bind /tmp/win32 "$BUILD/win32"

# One server for all programs, and the prefix's helpers started once, before the first test.
wineserver -p
wine wineboot >"$OUT/wineboot.log" 2>&1

# The 64 KiB disk for the full-disk test.
mkdir -p /tmp/tiny
mount -t tmpfs -o size=64k pellmark-tiny /tmp/tiny && touch /tmp/tiny/mounted
export PELLMARK_TINY_DIR=/tmp/tiny

# NAME_plain runs NAME again with the plain loops in place of the block kernels.
for t in $PROGRAMS; do
    echo "pellmark-guest: $t"
    plain=
    case $t in *_plain) plain=1 ;; esac
    PELLMARK_PLAIN=$plain timeout "$PROGRAM_SECONDS" wine "$BUILD/win32/tests/${t%_plain}.exe" \
        --gtest_output="xml:Z:$OUT/$t.xml" >"$OUT/$t.log" 2>&1 </dev/null
    echo "$t $?" >>"$OUT/status"
done
wineserver -k
