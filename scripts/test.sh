#!/usr/bin/env bash
# Sets everything up and runs every test: the normal build, the Debian package
# built from it and run from a scratch root, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, and each fuzz target for a
# bounded time. Each build has a folder of its own (build-test,
# build-asan, build-fuzz), so this never touches build/, which start.sh uses.
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS="${JOBS:-$(nproc)}"

bash scripts/setup.sh --test

# One private print server with queues that print to files, for the printing
# tests of both builds; without it each test program starts its own.
CUPS_DIR="$(mktemp -d)"
trap 'bash scripts/cups_test_queue.sh stop "$CUPS_DIR"; rm -rf "$CUPS_DIR"' EXIT
if DURVA_TEST_CUPS="$(bash scripts/cups_test_queue.sh start "$CUPS_DIR")"; then
  export DURVA_TEST_CUPS
else
  echo "The private print server could not be started: the printing tests will say so and be skipped."
fi

configure() {  # folder, options...
  local dir="$1"
  shift
  if [ -f "$dir/CMakeCache.txt" ]; then
    cmake -S . -B "$dir" "$@"
  else
    cmake -S . -B "$dir" -G Ninja "$@"
  fi
}

configure build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDURVA_WERROR=ON
cmake --build build-test -j "$JOBS"
ctest --test-dir build-test --output-on-failure -j "$JOBS"
bash scripts/package_check.sh build-test

configure build-asan -DCMAKE_BUILD_TYPE=Debug -DDURVA_WERROR=ON -DDURVA_SANITIZE=ON
cmake --build build-asan -j "$JOBS"
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp" UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$JOBS"

bash scripts/fuzz.sh "${FUZZ_SECONDS:-20}"
echo "All tests passed."
