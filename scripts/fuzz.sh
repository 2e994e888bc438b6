#!/usr/bin/env bash
# Runs each fuzz target for a bounded time (seconds given as the first argument),
# starting from the sample folders' files.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH="${1:-20}"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DDURVA_FUZZ=ON -DDURVA_SANITIZE=ON -DDURVA_TESTS=ON >/dev/null
targets=$(cd tests/fuzz && ls fuzz_*.cpp 2>/dev/null | sed 's/\.cpp$//' || true)
[ -n "$targets" ] || { echo "no fuzz targets"; exit 0; }
cmake --build build-fuzz --target $targets
for t in $targets; do
  corpus="build-fuzz/corpus/$t"
  mkdir -p "$corpus"
  seeds="tests/fuzz/seeds/$t"
  [ -d "$seeds" ] && cp -n "$seeds"/* "$corpus"/ 2>/dev/null || true
  echo "fuzzing $t for ${SECONDS_EACH}s"
  "build-fuzz/tests/$t" -max_total_time="$SECONDS_EACH" -rss_limit_mb=2048 "$corpus" 2>&1 | tail -n 3
done
