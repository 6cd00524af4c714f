# Runs inside the 32-bit guest: the Pellmark.exe in bin/ beside this file, in a Wine virtual
# desktop so that its title bar and icon are drawn. The screen goes to main.xwd once the
# dialog is up, and to about.xwd after Alt+A, as a user would press it, opened the About box.
OUT=$(dirname "$JOB")
mkdir -p /tmp/fb
startDisplay /tmp/fb
startWine
wine explorer /desktop=Pellmark,420x330 "$OUT/bin/Pellmark.exe" >/tmp/run.log 2>&1 &

# shown TITLE: waits (a minute at most, this is an emulator) for a window of that title,
# then a moment for it to be drawn.
shown() {
    n=0
    while ! xdotool search --name "^$1\$" >/dev/null 2>&1 && [ $n -lt 600 ]; do sleep 0.1; n=$((n + 1)); done
    sleep 2
}
shown Pellmark
cp /tmp/fb/Xvfb_screen0 "$OUT/main.xwd"
# Without a window manager the keys go to the window under the pointer; the pointer then
# goes out of the picture, as the screen file shows it.
xdotool mousemove 210 165 key alt+a mousemove 1000 700
shown "About This Program"
cp /tmp/fb/Xvfb_screen0 "$OUT/about.xwd"
wineserver -k
