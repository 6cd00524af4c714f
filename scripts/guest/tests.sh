# Runs inside the 32-bit guest, from a copy in BUILD/guest: every i686 Win32 test program
# under 32-bit Wine on Xvfb. Each writes its results as XML beside this file; the host
# counts them. A program that does not finish in time is ended and counts as failed.
OUT=$(dirname "$JOB")
BUILD=$(dirname "$OUT")

# Code page 1252, as on the host (scripts/test says why).
export LC_ALL=C.UTF-8 LANG=C.UTF-8
startDisplay
startWine

# The 64 KiB disk for the full-disk test, and a full device of its own.
mkdir -p /tmp/tiny
mount -t tmpfs -o size=64k pellmark-tiny /tmp/tiny && touch /tmp/tiny/mounted
mknod /tmp/full c 1 7
export PELLMARK_TINY_DIR=/tmp/tiny PELLMARK_FULL_DEVICE=/tmp/full

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
