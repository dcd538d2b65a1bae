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

start_wine() {
  mkdir -p "$WINEPREFIX"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "making the Wine prefix in $WINEPREFIX"
  fi
  wineboot -i >/dev/null 2>&1 || true
  # Keep one server for the whole run instead of one per program.
  wineserver -p >/dev/null 2>&1 || true
}

stop_wine() {
  wineserver -k >/dev/null 2>&1 || true
}
