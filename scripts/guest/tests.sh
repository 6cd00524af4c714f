# Runs inside the 32-bit guest, from a copy in BUILD/guest: every i686 Win32 test program
# under 32-bit Wine on Xvfb. Each writes its results as XML beside this file; the host
# counts them. A program that does not finish in time is ended and counts as failed.
OUT=$(dirname "$JOB")
BUILD=$(dirname "$OUT")

testLocale
startDisplay
startWine
testDisks /tmp

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
