# Sourced inside the 32-bit guest before every job (tests, the first boot that makes the
# prefix, the comparison, the size search, the screenshots): 32-bit Wine's environment, a
# display, the prefix and its server. Programs run from the share, where they were built.
export WINEPREFIX=/root/.wine32 WINEARCH=win32 WINEDEBUG=-all
# No Mono or Gecko installer, and no debugger that waits on a crash: the program just ends.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export DISPLAY=:9

# startDisplay [FBDIR]: Xvfb on :9; with FBDIR it also keeps the screen as an XWD file there.
startDisplay() {
    Xvfb :9 -screen 0 1024x768x24 -nolisten tcp ${1:+-fbdir "$1"} >/tmp/xvfb.log 2>&1 &
    n=0
    while [ ! -e /tmp/.X11-unix/X9 ] && [ $n -lt 600 ]; do sleep 0.1; n=$((n + 1)); done
}

# The prefix, made once when the image is built: unmanaged windows (without a window manager
# Wine waits about 2 s for each hidden one) and Wine's own fonts.
makePrefix() {
    wine wineboot -i >/tmp/wineboot.log 2>&1
    wineserver -w
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >>/tmp/wineboot.log 2>&1
    wineserver -w
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
}

# One server for every program, and the prefix's helpers started before the first.
startWine() {
    wineserver -p
    wine wineboot >/tmp/wineboot.log 2>&1
}
