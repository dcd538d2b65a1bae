#!/usr/bin/env bash
# The whole test suite on a fresh Debian machine: installs what is needed,
# builds the tar tool, the plug-in and the tests, and runs them under Wine,
# then the pure-logic tests natively and a short run of every fuzz target.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

bash scripts/install-packages.sh
tool="$(bash scripts/build-tar-tool.sh)"

cmake --preset mingw -DQIBOR_BUILD_TESTS=ON -DQIBOR_TAR_TOOL="$tool" >/dev/null
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
