#!/usr/bin/env bash
# usage: pair.sh WINE BENCH WORK ROUNDS
# Ours (BENCH/convert_bench.exe) against the floor program (BENCH/floor.exe: read whole,
# memcpy into a fresh buffer of the output's size, write), under WINE, paired round by round,
# LF to CR LF (WORK/unix.txt, reference WORK/u2d.txt) and back. Prints the medians of the time
# each program takes inside itself and of the whole run with Wine's start, and their ratios.
# Needs no more than bash, awk and coreutils, so that it runs in the 32-bit guest too.
set -u
WINE=$1 BENCH=$2 WORK=$3 ROUNDS=$4
win() { local p=${1//\//\\}; echo "Z:$p"; }
median() { sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
# timed FILE CMD...: appends "inside wall" seconds of one run to FILE.
timed() {
    local file=$1 t0 t1; shift
    t0=$(date +%s.%N)
    "$@" >"$WORK/out.log" 2>&1 || { cat "$WORK/out.log"; return 1; }
    t1=$(date +%s.%N)
    # Wine's console ends lines with CR LF.
    echo "$(tr -d '\r' <"$WORK/out.log" | sed -n 's/^seconds //p') $(awk "BEGIN {print $t1 - $t0}")" >>"$file"
}
for dir in lf crlf; do
    if [ $dir = lf ]; then from=unix.txt inSep=unix outSep=windows want=u2d.txt name="LF to CR LF"
    else from=u2d.txt inSep=windows outSep=unix want=unix.txt name="CR LF to LF"; fi
    rm -f "$WORK/ours.$dir" "$WORK/floor.$dir"
    for _ in $(seq "$ROUNDS"); do
        timed "$WORK/ours.$dir" "$WINE" "$BENCH/convert_bench.exe" "$(win "$WORK/$from")" "$(win "$WORK/o.txt")" $inSep $outSep
        cmp -s "$WORK/o.txt" "$WORK/$want" || echo "!! our output differs from the reference"
        timed "$WORK/floor.$dir" "$WINE" "$BENCH/floor.exe" "$(win "$WORK/$from")" "$(win "$WORK/f.txt")" "$(stat -c %s "$WORK/$want")"
    done
    oi=$(cut -d' ' -f1 "$WORK/ours.$dir" | median); ow=$(cut -d' ' -f2 "$WORK/ours.$dir" | median)
    fi=$(cut -d' ' -f1 "$WORK/floor.$dir" | median); fw=$(cut -d' ' -f2 "$WORK/floor.$dir" | median)
    awk -v n="$name" -v oi="$oi" -v fi="$fi" -v ow="$ow" -v fw="$fw" 'BEGIN {
        printf "%-12s inside: ours %.3f s, floor %.3f s, %.2f x floor; with Wine'"'"'s start: ours %.2f s, floor %.2f s, %.2f x floor\n",
            n, oi, fi, oi / fi, ow, fw, ow / fw }'
done
rm -f "$WORK/o.txt" "$WORK/f.txt"
