#!/usr/bin/env bash
# Builds the release zip with CPack and checks what a user unpacks: both
# plug-ins, the sample settings with every key at its default (the keys whose
# default depends on the plug-in's bitness left unset), a command-line host
# for each, the README and the licence.
set -euo pipefail
build="$1"
cd "$build"
rm -f qibor-*-windows.zip
if ! cpack -G ZIP >cpack.log 2>&1; then
  cat cpack.log
  echo "0 passed, 1 failed"
  exit 1
fi
zip="$(ls qibor-*-windows.zip)"
listing="$(unzip -Z1 "$zip" | grep -v '/$' | sed 's#^[^/]*/##' | LC_ALL=C sort | tr '\n' ' ')"
expected="LICENSE README.md qibor.ini qibor.sph qibor.spi qibor_host.exe qibor_host32.exe "
status=0
if [ "$listing" != "$expected" ]; then
  echo "FAIL: package holds '$listing', expected '$expected'"
  status=1
fi
ini="$(unzip -p "$zip" '*/qibor.ini' | tr -d '\r')"
for line in ';dir=C:\Windows\System32' 'maxMB=64' 'ext=*.7z;*.rar' 'tar=*.tar,*.tgz,*.taz' ';cacheMB=256' '[UserSetting]'; do
  if ! grep -qxF -- "$line" <<<"$ini"; then
    echo "FAIL: qibor.ini lacks the line $line"
    status=1
  fi
done
# Each plug-in is a Windows module of its own kind: x64 (0x8664) or x86
# (0x14c), read from the PE header's machine field.
for pair in qibor.sph:6486 qibor.spi:4c01; do
  name="${pair%%:*}"
  module="$(mktemp)"
  unzip -p "$zip" "*/$name" >"$module" 2>/dev/null || true
  machine=""
  if [ "$(head -c 2 "$module")" = "MZ" ]; then
    pe="$(od -An -tu4 -j60 -N4 "$module" | tr -d ' ')"
    machine="$(od -An -tx1 -j$((pe + 4)) -N2 "$module" | tr -d ' ')"
  fi
  rm -f "$module"
  if [ "$machine" != "${pair##*:}" ]; then
    echo "FAIL: $name in the package is not a Windows module of its kind"
    status=1
  fi
done
if [ "$status" -eq 0 ]; then echo "$zip: 1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit "$status"
