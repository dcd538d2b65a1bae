# Sourced by the scripts: Wine stays quiet and keeps its prefix in the build
# tree. Stop the wineserver started here with stop_wine.
export WINEDEBUG=-all
# Windows programs see an English user (ANSI code page 1252) unless a test
# asks for another locale. The shell that sourced this may have started
# before scripts/install-packages.sh made the locale, and would warn that it
# cannot switch to it; the programs it starts can.
{ export LC_ALL="${QIBOR_WINE_LOCALE:-en_US.UTF-8}"; } 2>/dev/null
export WINEPREFIX="${QIBOR_WINEPREFIX:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/wine-prefix}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# The 64-bit loader, named directly: once Debian's wine32 is installed, `wine`
# and `wineboot` go through the 32-bit loader, which a machine that runs no
# 32-bit code (no IA-32 emulation) cannot start at all.
if [ -x /usr/lib/wine/wine64 ]; then
  QIBOR_WINE64=/usr/lib/wine/wine64
else
  QIBOR_WINE64="$(command -v wine64 || command -v wine)"
fi
export QIBOR_WINE64 WINELOADER="$QIBOR_WINE64"

# Whether 32-bit Windows programs can run here: wine32 is installed and the
# machine runs 32-bit code.
runs_32bit_wine() {
  [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

# A prefix made while 32-bit Wine was missing has an empty syswow64: once
# wine32 is installed, no program starts in it, 64-bit ones included
# ("could not load kernel32.dll"). Such a prefix is made anew.
prefix_lacks_wow64() {
  [ -f "$WINEPREFIX/system.reg" ] && runs_32bit_wine && [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]
}

start_wine() {
  if prefix_lacks_wow64; then
    echo "making the Wine prefix anew: it predates 32-bit Wine"
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
  fi
  mkdir -p "$WINEPREFIX"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "making the Wine prefix in $WINEPREFIX"
  fi
  "$QIBOR_WINE64" wineboot -i >/dev/null 2>&1 || true
  # Keep one server for the whole run instead of one per program.
  wineserver -p >/dev/null 2>&1 || true
}

stop_wine() {
  wineserver -k >/dev/null 2>&1 || true
}
