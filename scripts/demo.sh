#!/usr/bin/env bash
# The main job on a fresh Debian machine: installs what is needed, builds the
# tar tool, qibor.sph and the command-line host, makes a sample archive of a
# few pictures in nested folders, and has the host load the plug-in as a viewer
# does: its texts, the probe, the member list, and two members fetched, one to
# memory (with a checksum to compare) and one into a folder.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

bash scripts/install-packages.sh
tool="$(bash scripts/build-tar-tool.sh)"
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target qibor qibor_host

demo="$root/build/demo"
rm -rf "$demo"
mkdir -p "$demo/viewer" "$demo/pictures" "$demo/out"
python3 scripts/make_sample_pictures.py "$demo/pictures"
(cd "$demo/pictures" && bsdtar --format 7zip --options 7zip:compression=lzma2 -cf "$demo/pictures.7z" cover.png album)

# The viewer's plug-in folder: qibor.sph, the host, and settings that point
# at the tar tool built above (Wine shows Linux paths under drive Z:).
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }
cp build/mingw/qibor.sph build/mingw/tools/qibor_host.exe "$demo/viewer/"
printf '[UserSetting]\r\ndir=%s\r\n' "$(winpath "$(dirname "$tool")")" > "$demo/viewer/qibor.ini"

source scripts/wine-env.sh
trap stop_wine EXIT
start_wine

host() { echo; echo "\$ qibor_host $*"; "$QIBOR_WINE64" "$demo/viewer/qibor_host.exe" "$@"; }
archive="$(winpath "$demo/pictures.7z")"
host info
host check "$archive"
host list "$archive"
host get "$archive" sunrise.png
expected="$(python3 -c 'import sys,zlib;print("%08x" % zlib.crc32(open(sys.argv[1],"rb").read()))' \
  "$demo/pictures/album/2024/sunrise.png")"
echo "  (the original album/2024/sunrise.png has CRC-32 $expected)"
host get "$archive" forest.png --to "$(winpath "$demo/out")"
if cmp -s "$demo/out/forest.png" "$demo/pictures/album/2025/forest.png"; then
  echo "  (build/demo/out/forest.png is identical to the original album/2025/forest.png)"
else
  echo "  MISMATCH: build/demo/out/forest.png differs from the original"
  exit 1
fi
host --ansi list "$archive"
echo
echo "the work folder (%TEMP%\\qibor) after the requests, empty:"
work="$WINEPREFIX/drive_c/users/$(whoami)/Temp/qibor"
if [ -d "$work" ]; then (cd "$work" && find . -mindepth 1 | sed 's/^/  /'); else echo "  (removed at unload)"; fi
