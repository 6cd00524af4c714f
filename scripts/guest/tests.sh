# Runs inside the 32-bit guest, copied to BUILD/guest/job.sh: the test bundle unzipped beside
# it in folder/, started as a user starts it on a 32-bit Windows, "wine cmd /c run-tests.cmd"
# in a new 32-bit prefix, with nothing of ours but a display (and the locale: Wine keeps file
# names in its character set). The host counts its output, and what it left in the prefix's
# temporary folder.
OUT=$(dirname "$JOB")

# The prefix on the guest's disk, not on /tmp: this kernel's tmpfs keeps no extended
# attributes, in which Wine keeps a file's hidden and system marks. The disk is a snapshot.
PREFIX=/root/bundle-prefix
startDisplay
cd "$OUT"/folder/Pellmark-*-tests || exit 1
env -i HOME=/root PATH=/usr/bin:/bin LANG=C.UTF-8 DISPLAY="$DISPLAY" WINEARCH=win32 WINEPREFIX=$PREFIX \
    timeout 3300 wine cmd /c run-tests.cmd >"$OUT/out.log" 2>/tmp/wine.log
find $PREFIX/drive_c/users/*/Temp -mindepth 1 >"$OUT/left" 2>/dev/null
WINEPREFIX=$PREFIX wineserver -k
