#!/usr/bin/env bash
# Whole programs on 256 MiB of text, timed by hyperfine: ours (convert_bench, the engine as
# Convert runs it) against the floor program, both ways, with cp, unix2dos and dos2unix
# beside them; the x86_64 build under wine64 here, then the i686 product in the 32-bit guest
# (GUEST=0 leaves that out). hyperfine's JSON, the record, goes to build/compare/.
set -u
. "$(dirname "$0")/../scripts/common.sh"
. "$ROOT/scripts/guest/boot.sh"
PACKAGES="$PACKAGES hyperfine"
[ "${GUEST:-1}" = 0 ] || PACKAGES="$PACKAGES $GUEST_PACKAGES"
OUT=$BUILD/compare RUNS=${RUNS:-20} SIZE_MIB=${SIZE_MIB:-256}
mkdir -p "$BUILD"
ensurePackages || exit 1
configure win64-bench && build win64-bench || exit 1

# The machine is timed as it is set: docs/performance.md says what a VM that hands freed
# memory back to its host does to the figures, and why the spread is given with them.
trap stopAll EXIT
startWine || exit 1

rm -rf "$OUT"
mkdir -p "$OUT/work"
W=$OUT/work
"$WINE" "$BUILD/win64-bench/bench/maketext.exe" "$(winPath "$W/unix.txt")" "$SIZE_MIB" >/dev/null 2>&1 || { echo "no text"; exit 1; }
unix2dos -q -n "$W/unix.txt" "$W/dos.txt"

# pairs WINE BENCH DIR RUNS JSON: ours and the floor program, both ways, under WINE, with the
# programs in BENCH and the texts in DIR. Also in the guest, so it reads nothing from here.
pairs() {
    local wine=$1 bench=$2 dir=$3 runs=$4 json=$5 w
    # Quoted: hyperfine splits a command as a shell would, and a backslash escapes.
    w() { echo "'$(winPath "$dir/$1")'"; }
    hyperfine -N --warmup 1 --runs "$runs" --export-json "$json" \
        -n "ours, LF to CR LF" "$wine $bench/convert_bench.exe $(w unix.txt) $(w ours.txt) unix windows" \
        -n "floor, LF to CR LF" "$wine $bench/floor.exe $(w unix.txt) $(w floor.txt) $(stat -c %s "$dir/dos.txt")" \
        -n "ours, CR LF to LF" "$wine $bench/convert_bench.exe $(w dos.txt) $(w back.txt) windows unix" \
        -n "floor, CR LF to LF" "$wine $bench/floor.exe $(w dos.txt) $(w floor.txt) $(stat -c %s "$dir/unix.txt")"
}

# ratios JSON: ours against the floor program each way, medians with the range of the runs.
ratios() {
    python3 - "$1" <<'PY'
import json, sys
r = {x['command']: x for x in json.load(open(sys.argv[1]))['results']}
for way in ('LF to CR LF', 'CR LF to LF'):
    o, f = r['ours, ' + way], r['floor, ' + way]
    print('== %s: ours %.3f s (%.3f to %.3f), floor %.3f s (%.3f to %.3f), %.2f x the floor (medians)'
          % (way, o['median'], o['min'], o['max'], f['median'], f['min'], f['max'], o['median'] / f['median']))
PY
}

echo "== $SIZE_MIB MiB, $(nproc) cores,$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2)"
hyperfine -N --warmup 1 --runs "$RUNS" --export-json "$OUT/peers.json" \
    -n cp "cp $W/unix.txt $W/cp.txt" \
    -n unix2dos "unix2dos -q -n $W/unix.txt $W/u2d.txt" \
    -n dos2unix "dos2unix -q -n $W/dos.txt $W/d2u.txt"
pairs "$WINE" "$BUILD/win64-bench/bench" "$W" "$RUNS" "$OUT/x86_64.json" || exit 1
ratios "$OUT/x86_64.json"
cmp -s "$W/ours.txt" "$W/dos.txt" && cmp -s "$W/back.txt" "$W/unix.txt" &&
    echo "== our outputs equal unix2dos's and the input" || echo "!! our outputs differ from unix2dos's or the input"
"$WINE" "$BUILD/win64-bench/bench/convert_bench.exe" "$(winPath "$W/unix.txt")" "$(winPath "$W/ours.txt")" unix windows |
    tr -d '\r' | sed 's/^/== /'

[ "${GUEST:-1}" = 0 ] && exit 0
configure win32-bench && build win32-bench && guestImage || exit 1
cp "$BUILD"/win32-bench/bench/{convert_bench,floor}.exe "$W/"
# The guest's processor is emulated: a few runs tell whether the i686 program keeps up. Its
# jobs run in sh; the pairs in bash, from the guest's memory.
{ declare -f winPath pairs; echo "pairs wine /tmp/w /tmp/w 3 $OUT/i686.json"; } >"$OUT/pairs.sh"
cat >"$OUT/job.sh" <<JOB
startWine
mkdir /tmp/w && cp $W/*.exe $W/unix.txt $W/dos.txt /tmp/w/
bash $OUT/pairs.sh >$OUT/guest.log 2>&1
wineserver -k
JOB
echo "== the i686 product in the 32-bit guest"
bootGuest 1800 "$OUT/job.sh" 6144 || echo "the guest did not finish in time"
cat "$OUT/guest.log"
ratios "$OUT/i686.json"
