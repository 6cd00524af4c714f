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
configure win64-bench -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DPELLMARK_TESTS=OFF -DPELLMARK_BENCH=ON && build win64-bench || exit 1
startWine || exit 1

WORK=$(mktemp -d "${TMPDIR:-/tmp}/pellmark-compare.XXXXXX")
trap 'stopAll; rm -rf "$WORK"' EXIT
SIZE_MIB=${SIZE_MIB:-256}

# Lines of 0 to 120 bytes of words: a 4 MiB piece, repeated.
/usr/bin/python3 - "$WORK/unix.txt" "$SIZE_MIB" <<'PY'
import random, sys
random.seed(7)
words = "the line of a converter text file ends with separator and windows unix mac bytes to".split()
lines, size = [], 0
while size < 4 << 20:
    n = random.randint(0, 120)
    line = ""
    while len(line) < n:
        line += random.choice(words) + " "
    line = line[:n] + "\n"
    lines.append(line)
    size += len(line)
piece = "".join(lines).encode()
with open(sys.argv[1], "wb") as f:
    for _ in range(int(sys.argv[2]) // 4):
        f.write(piece)
PY
INPUT_MIB=$(( $(stat -c %s "$WORK/unix.txt") / 1048576 ))

# measure NAME CMD...: wall seconds and peak resident memory of the process.
measure() {
    local name=$1; shift
    /usr/bin/time -f '%e %M' -o "$WORK/time" "$@" >"$WORK/out.log" 2>&1 || { echo "$name failed:"; cat "$WORK/out.log"; return 1; }
    read -r secs kib <"$WORK/time"
    printf '%-26s %8.2f s %9.1f MiB\n' "$name" "$secs" "$(echo "$kib / 1024" | bc -l)"
    eval "T_${name//[^a-zA-Z0-9]/_}=$secs"
}
win() { echo "Z:${1//\//\\}"; }

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

# Ours against the floor program (read whole, memcpy into a fresh buffer of the output's
# size, write), both under Wine, paired round by round; medians of the times each program
# takes inside itself and of the whole run with Wine's start.
ROUNDS=${ROUNDS:-5}
median() { sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
# timed FILE CMD...: appends "inside wall" seconds of one run to FILE.
timed() {
    local file=$1; shift
    /usr/bin/time -f '%e' -o "$WORK/time" "$@" >"$WORK/out.log" 2>&1 || { cat "$WORK/out.log"; return 1; }
    echo "$(tr -d '\r' <"$WORK/out.log" | sed -n 's/^seconds //p') $(cat "$WORK/time")" >>"$file"
}
BENCH=$BUILD/win64-bench/bench
for dir in lf crlf; do
    if [ $dir = lf ]; then from=unix.txt to=windows inSep=unix outSep=windows want=u2d.txt
    else from=u2d.txt to=unix inSep=windows outSep=unix want=unix.txt; fi
    rm -f "$WORK/ours.$dir" "$WORK/floor.$dir"
    for _ in $(seq "$ROUNDS"); do
        timed "$WORK/ours.$dir" "$WINE" "$BENCH/convert_bench.exe" "$(win "$WORK/$from")" "$(win "$WORK/o.txt")" $inSep $outSep
        cmp -s "$WORK/o.txt" "$WORK/$want" || echo "!! our output differs from the reference"
        timed "$WORK/floor.$dir" "$WINE" "$BENCH/floor.exe" "$(win "$WORK/$from")" "$(win "$WORK/f.txt")" "$(stat -c %s "$WORK/$want")"
    done
    oi=$(cut -d' ' -f1 "$WORK/ours.$dir" | median); ow=$(cut -d' ' -f2 "$WORK/ours.$dir" | median)
    fi=$(cut -d' ' -f1 "$WORK/floor.$dir" | median); fw=$(cut -d' ' -f2 "$WORK/floor.$dir" | median)
    [ $dir = lf ] && name="LF to CR LF" || name="CR LF to LF"
    printf '%-12s inside: ours %.3f s, floor %.3f s, %.2f x floor; wall: ours %.2f s, floor %.2f s, %.2f x floor\n' \
        "$name" "$oi" "$fi" "$(echo "$oi / $fi" | bc -l)" "$ow" "$fw" "$(echo "$ow / $fw" | bc -l)"
done
