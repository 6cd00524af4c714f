# Runs inside the 32-bit guest: the Pellmark.exe in bin/ beside this file, in a Wine virtual
# desktop of WIDTH x HEIGHT so that its title bar and icon are drawn, at DPI. With IN and OUT,
# those paths are typed into the boxes first, as a user would. The screen goes to main.xwd
# once the dialog is up, and to about.xwd after Alt+A, as a user would press it, opened the
# About box.
OUT=$(dirname "$JOB")
mkdir -p /tmp/fb
# UTF-8, or xdotool cannot read the paths' letters; and Wine's code page as in the tests.
testLocale
startDisplay /tmp/fb
startWine
# Wine reads the scale as a program starts.
"$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$DPI" /f >/tmp/reg.log 2>&1
wine explorer /desktop=Pellmark,"${WIDTH}x$HEIGHT" "$OUT/bin/Pellmark.exe" >/tmp/run.log 2>&1 &

# shown TITLE: waits (a minute at most, this is an emulator) for a window of that title,
# then a moment for it to be drawn.
shown() {
    n=0
    while ! xdotool search --name "^$1\$" >/dev/null 2>&1 && [ $n -lt 600 ]; do sleep 0.1; n=$((n + 1)); done
    sleep 2
}
shown Pellmark
# Without a window manager the keys go to the window under the pointer. The input box has
# the focus; three tabs reach the output box, past the browse button and the input formats.
# Each box shows its path from the start.
xdotool mousemove $((WIDTH / 2)) $((HEIGHT / 2))
if [ -n "${IN:-}" ]; then
    # Slowly: a letter that the keyboard lacks goes through a key remapped for it, and Wine,
    # emulated here, must have read each mapping before the next.
    xdotool type --delay 400 "$(printf '%s\t\t\t%s' "$IN" "$OUT_PATH")"
    # The focus ends on a button, so that no caret stands over a letter.
    xdotool key Home shift+Tab shift+Tab shift+Tab Home Tab
fi
# The pointer goes out of the picture, and comes back for the keys.
xdotool mousemove 2000 1500
sleep 2
cp /tmp/fb/Xvfb_screen0 "$OUT/main.xwd"
xdotool mousemove $((WIDTH / 2)) $((HEIGHT / 2)) key alt+a mousemove 2000 1500
shown "About This Program"
cp /tmp/fb/Xvfb_screen0 "$OUT/about.xwd"
wineserver -k
