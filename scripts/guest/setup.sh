# Sourced inside the 32-bit guest before every job (tests, the first boot that makes the
# prefix, the comparison, the size search, the screenshots): 32-bit Wine and the set-up it
# shares with the host's tests. Programs run from the share, where they were built.
export WINEPREFIX=/root/.wine32 WINEARCH=win32
WINE=wine WINESERVER=wineserver LOGS=/tmp
. "$SHARE/pellmark-wine-env.sh"
