# Runs inside the 32-bit guest (bench/limits.sh boots it): converts files of lines of 35
# bytes from LF to CR LF through the dialog of EXE (bin/Pellmark.exe), halving the range
# between a size that converts (LO MiB) and one that does not (HI MiB) down to 16 MiB. Each
# try and the answer go to result beside this file.
OUT=$(dirname "$JOB")
startDisplay
startWine

# converts MIB: true when a file of MIB MiB converted, exactly.
converts() {
    yes "a line of text that is long enough" | head -c $(($1 * 1048576)) >/tmp/in.txt
    rm -f /tmp/out.txt
    said=$(wine "$OUT/bin/convert_ui.exe" "$EXE" 'Z:\tmp\in.txt' 'Z:\tmp\out.txt' 2>/dev/null)
    want=$(($1 * 1048576 + $1 * 1048576 / 35))
    got=$(stat -c %s /tmp/out.txt 2>/dev/null || echo none)
    echo "$1 MiB: $said; output $got bytes of $want" | tee -a "$OUT/result"
    case $said in Success*) [ "$got" = "$want" ] ;; *) return 1 ;; esac
}

lo=$LO hi=$HI
if converts "$lo" && ! converts "$hi"; then
    while [ $((hi - lo)) -gt 16 ]; do
        mid=$(((lo + hi) / 2))
        if converts "$mid"; then lo=$mid; else hi=$mid; fi
    done
    echo "largest converted: $lo MiB; $hi MiB does not convert" | tee -a "$OUT/result"
fi
wineserver -k
