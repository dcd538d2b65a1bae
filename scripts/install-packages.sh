#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tool build need.
# Safe to run again: it only installs what is missing.
set -euo pipefail

packages=(
  cmake ninja-build make g++ clang
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  libz-mingw-w64-dev
  wine wine64
  libarchive-tools xz-utils
  locales dpkg-dev python3 p7zip-full
  googletest
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

need_update=0
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

sources=/etc/apt/sources.list.d/debian.sources
# apt-get source needs deb-src entries beside the deb ones.
if [ -f "$sources" ] && ! grep -q '^Types:.*deb-src' "$sources"; then
  "${sudo_cmd[@]}" sed -i 's/^Types: deb$/Types: deb deb-src/' "$sources"
  need_update=1
fi
if [ ${#missing[@]} -gt 0 ]; then need_update=1; fi

if [ "$need_update" -eq 1 ]; then
  "${sudo_cmd[@]}" apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# qibor.spi's tests need 32-bit Wine (wine32, from the i386 side of the
# archive), which runs only where the machine runs 32-bit code: some virtual
# machines have no IA-32 emulation, and there wine32 would only stand in the
# way. A tiny 32-bit Linux program that exits at once tells.
runs_32bit_code() {
  local probe
  probe="$(mktemp)"
  python3 - "$probe" <<'PROBE'
import struct, sys
code = bytes([0x31, 0xdb, 0xb8, 1, 0, 0, 0, 0xcd, 0x80])  # exit(0)
base, size = 0x08048000, 84 + len(code)
header = b"\x7fELF" + bytes([1, 1, 1, 0]) + bytes(8) + struct.pack(
    "<HHIIIIIHHHHHH", 2, 3, 1, base + 84, 52, 0, 0, 52, 32, 1, 0, 0, 0)
segment = struct.pack("<IIIIIIII", 1, 0, base, base, size, size, 5, 0x1000)
open(sys.argv[1], "wb").write(header + segment + code)
PROBE
  chmod +x "$probe"
  local status=0
  "$probe" 2>/dev/null || status=1
  rm -f "$probe"
  return "$status"
}
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  if runs_32bit_code; then
    echo "installing: wine32:i386"
    "${sudo_cmd[@]}" dpkg --add-architecture i386
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends wine32:i386
  else
    echo "this machine runs no 32-bit code: qibor.spi is built, its Wine tests cannot run here"
  fi
fi

# Tests run Wine under English (ANSI code page 1252) and Japanese (932)
# locales.
for wanted in en_US ja_JP; do
  if ! locale -a 2>/dev/null | grep -qi "^${wanted}\.utf-\?8$"; then
    if ! grep -q "^${wanted}.UTF-8 UTF-8" /etc/locale.gen 2>/dev/null; then
      echo "${wanted}.UTF-8 UTF-8" | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
    fi
    generate=1
  fi
done
if [ "${generate:-0}" -eq 1 ]; then "${sudo_cmd[@]}" locale-gen >/dev/null; fi

# Newer Windows ship a newer bsdtar than bookworm's: scripts/build-tar-tool.sh
# also builds libarchive from trixie's source package. Apt learns of trixie's
# sources in a state of its own (scripts/trixie-apt.sh), never in the system's
# lists: nothing installed can be upgraded from trixie, and the system's
# apt-get source keeps picking bookworm's versions.
source "$(dirname "$0")/trixie-apt.sh"
trixie_apt_update
