#!/usr/bin/env bash
# qibor.sph must load in a viewer with nothing beside it: its import table may
# name only DLLs that Windows itself ships, and it exports exactly ten names.
set -euo pipefail
objdump="$1"
plugin="$2"
dump="$("$objdump" -p "$plugin")"

imports="$(printf '%s\n' "$dump" | awk '/DLL Name:/ {print tolower($3)}' | sort -u)"
allowed='^(kernel32|user32|shlwapi|shell32|advapi32|ntdll|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$'
status=0
echo "imports:"; printf '  %s\n' $imports
for dll in $imports; do
  if ! [[ "$dll" =~ $allowed ]]; then
    echo "FAIL: $dll is not a Windows system DLL"
    status=1
  fi
done

exports="$(printf '%s\n' "$dump" | awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^[ \t]*\[/ {print $NF; next} on {on=0}' | sort)"
expected="$(printf '%s\n' GetArchiveInfo GetArchiveInfoW GetFile GetFileInfo GetFileInfoW GetFileW GetPluginInfo GetPluginInfoW IsSupported IsSupportedW | sort)"
echo "exports:"; printf '  %s\n' $exports
if [ "$exports" != "$expected" ]; then
  echo "FAIL: the export table is not exactly the ten functions"
  status=1
fi
# Its version resource names the product in the file's properties.
for field in ProductName FileDescription FileVersion; do
  if ! strings -el "$plugin" | grep -qx "$field"; then
    echo "FAIL: no $field in the version resource"
    status=1
  fi
done
if [ "$status" -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit "$status"
