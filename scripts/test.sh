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

cmake --preset mingw -DQIBOR_BUILD_TESTS=ON -DQIBOR_TAR_TOOL="$tool" \
  -DQIBOR_MORE_TAR_TOOLS="win11-24h2=$tool_24h2;win10=$tool_win10" >/dev/null
cmake --build --preset mingw

cmake --preset native >/dev/null
cmake --build --preset native

source scripts/wine-env.sh
trap stop_wine EXIT
start_wine

status=0
ctest --test-dir build/mingw --output-on-failure "$@" || status=1
ctest --test-dir build/native --output-on-failure || status=1
bash scripts/fuzz.sh "${QIBOR_FUZZ_SECONDS:-5}" || status=1
exit "$status"
