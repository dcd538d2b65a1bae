#!/usr/bin/env bash
# Runs every libFuzzer target for the given number of seconds each (default
# 60), starting from the seed corpus of real listing lines.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
cd "$root"
if [ ! -d build/native ]; then
  cmake --preset native >/dev/null
fi
cmake --build --preset native >/dev/null

status=0
for target in build/native/*_fuzz; do
  name="$(basename "$target")"
  corpus="build/native/corpus/$name"
  mkdir -p "$corpus"
  seeds="tests/fuzz/seeds"
  echo "fuzzing $name for $seconds s"
  if ! "$target" -max_total_time="$seconds" -print_final_stats=1 "$corpus" "$seeds" \
      >"build/native/$name.log" 2>&1; then
    echo "FAIL: $name (see build/native/$name.log)"
    tail -30 "build/native/$name.log"
    status=1
  else
    grep -E "stat::number_of_executed_units|Done [0-9]+ runs" "build/native/$name.log" | tail -1
  fi
done
exit "$status"
