#!/usr/bin/env bash
# Builds the release zip with CPack and checks what a user unpacks: the
# plug-in, the sample settings with every key at its default, the
# command-line host, the README and the licence.
set -euo pipefail
build="$1"
cd "$build"
rm -f qibor-*-win64.zip
if ! cpack -G ZIP >cpack.log 2>&1; then
  cat cpack.log
  echo "0 passed, 1 failed"
  exit 1
fi
zip="$(ls qibor-*-win64.zip)"
listing="$(unzip -Z1 "$zip" | grep -v '/$' | sed 's#^[^/]*/##' | LC_ALL=C sort | tr '\n' ' ')"
expected="LICENSE README.md qibor.ini qibor.sph qibor_host.exe "
status=0
if [ "$listing" != "$expected" ]; then
  echo "FAIL: package holds '$listing', expected '$expected'"
  status=1
fi
ini="$(unzip -p "$zip" '*/qibor.ini' | tr -d '\r')"
for line in 'dir=C:\Windows\System32' 'maxMB=64' 'ext=*.7z;*.rar' 'tar=*.tar,*.tgz,*.taz' 'cacheMB=256' '[UserSetting]'; do
  if ! grep -qxF -- "$line" <<<"$ini"; then
    echo "FAIL: qibor.ini lacks the line $line"
    status=1
  fi
done
magic="$( (unzip -p "$zip" '*/qibor.sph' || true) | head -c 2)"
if [ "$magic" != "MZ" ]; then
  echo "FAIL: qibor.sph in the package is not a Windows module"
  status=1
fi
if [ "$status" -eq 0 ]; then echo "$zip: 1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit "$status"
