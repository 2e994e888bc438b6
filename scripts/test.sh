#!/usr/bin/env bash
# Sets everything up and runs every test: the normal build, the same tests
# under AddressSanitizer and UndefinedBehaviorSanitizer, and each fuzz target
# for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS="${JOBS:-$(nproc)}"

DURVA_CMAKE_FLAGS="-DDURVA_WERROR=ON" bash scripts/setup.sh
ctest --test-dir build --output-on-failure -j "$JOBS"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDURVA_WERROR=ON -DDURVA_SANITIZE=ON
cmake --build build-asan
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$JOBS"

bash scripts/fuzz.sh "${FUZZ_SECONDS:-20}"
echo "All tests passed."
