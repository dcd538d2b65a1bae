#!/usr/bin/env bash
# Soak: two processes of four threads each keep qibor.sph busy for the given
# number of seconds (default 60) under Wine, every answer checked, and report
# requests, wrong answers, leftovers and handle and memory figures.
#   scripts/soak.sh [SECONDS]
# QIBOR_BUILD_DIR names the build folder (default build/mingw), configured
# with QIBOR_BUILD_TESTS=ON as scripts/test.sh does.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
seconds="${1:-60}"
build="${QIBOR_BUILD_DIR:-build/mingw}"

if [ ! -f "$build/CMakeCache.txt" ]; then
  tool="$(bash scripts/build-tar-tool.sh)"
  cmake --preset mingw -B "$build" -DQIBOR_BUILD_TESTS=ON -DQIBOR_TAR_TOOL="$tool" >/dev/null
fi
cmake --build "$build" --target soak qibor >/dev/null
tool="$(sed -n 's/^QIBOR_TAR_TOOL:FILEPATH=//p' "$build/CMakeCache.txt")"

# Fixtures of its own, so a test run in the same build is not disturbed.
fixtures="$build/soak-fixtures"
LC_ALL=C.UTF-8 bash tests/fixtures/make_fixtures.sh "$fixtures" >/dev/null

source scripts/wine-env.sh
trap stop_wine EXIT
start_wine
windows() { echo "Z:$(cd "$1" && pwd)" | tr / '\\'; }
"$QIBOR_WINE64" "$build/tests/soak/soak.exe" --seconds "$seconds" --fixtures "$(windows "$fixtures")" \
  --plugin "Z:$(cd "$build" && pwd | tr / '\\')\\qibor.sph" --tool-dir "$(windows "$(dirname "$tool")")"
