#!/usr/bin/env bash
# Whole-program comparison on a 256 MiB text file: our engine (under Wine, through
# convert_bench), unix2dos/dos2unix, and cp as the floor. Prints wall time and peak memory.
set -u
. "$(dirname "$0")/../scripts/common.sh"
PACKAGES="$PACKAGES time bc"
mkdir -p "$BUILD"
trap stopAll EXIT

ensurePackages || exit 1
# A build of its own: the product's build folders never hold the benchmark programs.
configure win64-bench && build win64-bench || exit 1
startWine || exit 1

WORK=$(mktemp -d "${TMPDIR:-/tmp}/pellmark-compare.XXXXXX")
trap 'stopAll; rm -rf "$WORK"' EXIT
SIZE_MIB=${SIZE_MIB:-256}
ROUNDS=${ROUNDS:-5}
GUEST_ROUNDS=${GUEST_ROUNDS:-3}

win() { echo "Z:${1//\//\\}"; }
"$WINE" "$BUILD/win64-bench/bench/maketext.exe" "$(win "$WORK/unix.txt")" "$SIZE_MIB" >/dev/null 2>&1 || { echo "no text"; exit 1; }
INPUT_MIB=$(( $(stat -c %s "$WORK/unix.txt") / 1048576 ))

# measure NAME CMD...: wall seconds and peak resident memory of the process.
measure() {
    local name=$1; shift
    /usr/bin/time -f '%e %M' -o "$WORK/time" "$@" >"$WORK/out.log" 2>&1 || { echo "$name failed:"; cat "$WORK/out.log"; return 1; }
    read -r secs kib <"$WORK/time"
    printf '%-26s %8.2f s %9.1f MiB\n' "$name" "$secs" "$(echo "$kib / 1024" | bc -l)"
    eval "T_${name//[^a-zA-Z0-9]/_}=$secs"
}

echo "input: $INPUT_MIB MiB of text, LF line ends; $(nproc) cores; $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2-)"
printf '%-26s %10s %13s\n' "" "wall" "peak memory"
measure cp cp "$WORK/unix.txt" "$WORK/cp.txt"
measure unix2dos unix2dos -q -n "$WORK/unix.txt" "$WORK/u2d.txt"
measure dos2unix dos2unix -q -n "$WORK/u2d.txt" "$WORK/d2u.txt"
measure pellmark_LF_to_CRLF "$WINE" "$BUILD/win64-bench/bench/convert_bench.exe" "$(win "$WORK/unix.txt")" "$(win "$WORK/ours.txt")" unix windows
ENGINE_1=$(grep -E '^(seconds|peak)' "$WORK/out.log" | tr '\n' ' ')
measure pellmark_CRLF_to_LF "$WINE" "$BUILD/win64-bench/bench/convert_bench.exe" "$(win "$WORK/ours.txt")" "$(win "$WORK/back.txt")" windows unix
ENGINE_2=$(grep -E '^(seconds|peak)' "$WORK/out.log" | tr '\n' ' ')
echo "inside the program (without Wine's start), LF to CRLF: $ENGINE_1"
echo "inside the program (without Wine's start), CRLF to LF: $ENGINE_2"

cmp -s "$WORK/ours.txt" "$WORK/u2d.txt" && echo "our CRLF output equals unix2dos's" || echo "!! our CRLF output differs from unix2dos's"
cmp -s "$WORK/back.txt" "$WORK/unix.txt" && echo "the round trip gives the input back" || echo "!! the round trip differs from the input"
printf 'wall time against cp: unix2dos %.1fx, dos2unix %.1fx, ours LF to CRLF %.1fx, CRLF to LF %.1fx\n' \
    "$(echo "$T_unix2dos / $T_cp" | bc -l)" "$(echo "$T_dos2unix / $T_cp" | bc -l)" \
    "$(echo "$T_pellmark_LF_to_CRLF / $T_cp" | bc -l)" "$(echo "$T_pellmark_CRLF_to_LF / $T_cp" | bc -l)"

echo "ours against the floor program, $ROUNDS rounds paired, medians (x86_64 build under Wine):"
"$ROOT/bench/pair.sh" "$WINE" "$BUILD/win64-bench/bench" "$WORK" "$ROUNDS"

# The same for the i686 product in the 32-bit guest, under QEMU's emulation: absolute times
# there are the emulator's, the ratios are what to compare. GUEST=0 leaves it out.
[ "${GUEST:-1}" = 0 ] && exit 0
. "$ROOT/scripts/guest/boot.sh"
PACKAGES="$PACKAGES $GUEST_PACKAGES"
ensurePackages && configure win32-bench && build win32-bench && guestImage || exit 1
G=$BUILD/compare-guest
rm -rf "$G"
mkdir -p "$G/bin"
cp "$WORK/unix.txt" "$WORK/u2d.txt" "$BUILD/win32-bench/bench/convert_bench.exe" "$BUILD/win32-bench/bench/floor.exe" "$G/bin/"
cp "$ROOT/bench/pair.sh" "$G/"
# Reads from the share would be timed too: the texts and programs from the guest's memory.
cat >"$G/job.sh" <<JOB
startWine
cp -r $G/bin /tmp/w
bash $G/pair.sh wine /tmp/w /tmp/w $GUEST_ROUNDS >$G/result 2>&1
wineserver -k
JOB
echo "ours against the floor program, $GUEST_ROUNDS rounds paired, medians (i686 product, 32-bit guest):"
bootGuest 900 "$G/job.sh" 6144 || echo "the guest did not finish in time"
cat "$G/result"
