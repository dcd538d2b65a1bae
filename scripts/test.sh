#!/usr/bin/env bash
# The whole test suite on a fresh Debian machine: installs what is needed,
# builds the tar tool, the plug-in and the tests, and runs them under Wine,
# then the pure-logic tests natively and a short run of every fuzz target.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

bash scripts/install-packages.sh
# The tool of Windows 11 22H2/23H2 (the default the tests run), and the
# builds standing for Windows 11 24H2 and later and for Windows 10: the tests
# that run the real tool run against each of them.
tool="$(bash scripts/build-tar-tool.sh win11)"
tool_24h2="$(bash scripts/build-tar-tool.sh win11-24h2)"
tool_win10="$(bash scripts/build-tar-tool.sh win10)"
source scripts/wine-env.sh

# qibor.spi, tested under 32-bit Wine with the 32-bit tool and again with the
# 64-bit one a 32-bit viewer falls back to. It is built first: the 64-bit
# build's release zip takes it in. Where the machine runs no 32-bit code,
# its tests are built but only the checks of its image run.
if runs_32bit_wine; then
  tool_x86="$(bash scripts/build-tar-tool.sh win11-x86)"
  cmake --preset mingw32 -DQIBOR_BUILD_TESTS=ON -DQIBOR_TAR_TOOL="$tool_x86" \
    -DQIBOR_MORE_TAR_TOOLS="x64=$tool" >/dev/null
  tests_32bit=()
else
  cmake --preset mingw32 -DQIBOR_BUILD_TESTS=ON -DQIBOR_TAR_TOOL="$tool" -DQIBOR_MORE_TAR_TOOLS= >/dev/null
  tests_32bit=(-R '^plugin_image$')
  echo "this machine runs no 32-bit code: of qibor.spi's tests only the image check runs"
fi
cmake --build --preset mingw32

cmake --preset mingw -DQIBOR_BUILD_TESTS=ON -DQIBOR_TAR_TOOL="$tool" \
  -DQIBOR_MORE_TAR_TOOLS="win11-24h2=$tool_24h2;win10=$tool_win10" >/dev/null
cmake --build --preset mingw

cmake --preset native >/dev/null
cmake --build --preset native

trap stop_wine EXIT
start_wine

status=0
ctest --test-dir build/mingw --output-on-failure "$@" || status=1
ctest --test-dir build/mingw32 --output-on-failure "${tests_32bit[@]}" "$@" || status=1
ctest --test-dir build/native --output-on-failure || status=1
bash scripts/fuzz.sh "${QIBOR_FUZZ_SECONDS:-5}" || status=1
exit "$status"
