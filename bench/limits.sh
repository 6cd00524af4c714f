#!/usr/bin/env bash
# Finds the largest file that the shipped i686 Pellmark.exe converts from LF to CR LF through
# its dialog, in the 32-bit guest (scripts/guest), and what the user sees just beyond it.
# The search itself is bench/sizesearch.sh, run in the guest; LO_MIB and HI_MIB bound it.
set -u
. "$(dirname "$0")/../scripts/common.sh"
. "$(dirname "$0")/../scripts/guest/boot.sh"
PACKAGES="$PACKAGES $GUEST_PACKAGES"
mkdir -p "$BUILD"
ensurePackages || exit 1
configure win32-bench && build win32-bench || exit 1
guestImage || exit 1

OUT=$BUILD/limits
rm -rf "$OUT"
mkdir -p "$OUT/bin"
cp "$BUILD/win32-bench/ship/Pellmark.exe" "$BUILD/win32-bench/bench/convert_ui.exe" "$OUT/bin/"
cp "$ROOT/bench/sizesearch.sh" "$OUT/"
printf "LO=%s HI=%s EXE='%s'\n. '%s/sizesearch.sh'\n" "${LO_MIB:-512}" "${HI_MIB:-2048}" \
    "$(winPath "$OUT/bin/Pellmark.exe")" "$OUT" >"$OUT/job.sh"
log "converting ever larger files in the guest (this takes a while)"
bootGuest 5400 "$OUT/job.sh" 12288 || echo "the guest did not finish"
cat "$OUT/result"
