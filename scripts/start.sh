#!/usr/bin/env bash
# Installs what building and running needs (setup.sh without --test), builds
# every program the README uses (the program, the register simulator, the
# sample office builder, dbtool, durvaedit and the benchmarks; no tests) in
# build/ with every core, writes the sample office folder ./sample when there
# is none, and starts the program there.
#
#   bash scripts/start.sh                 keeps an existing ./sample
#   bash scripts/start.sh --new-sample    replaces it with a fresh one
# Any other argument is handed to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$PWD"
BUILD="$ROOT/build"

new_sample=0
program_args=()
for arg in "$@"; do
  case "$arg" in
    --new-sample) new_sample=1 ;;
    *) program_args+=("$arg") ;;
  esac
done

bash scripts/setup.sh

# A folder configured by hand keeps its generator and options; a new one
# builds no tests, whose packages only setup.sh --test installs.
if [ -f "$BUILD/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD" >/dev/null
else
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDURVA_TESTS=OFF >/dev/null
fi
cmake --build "$BUILD" -j "$(nproc)" --target durva durvadrv durvademo dbtool durvaedit dbbench sendbench salesbench

if [ "$new_sample" -eq 1 ]; then
  "$BUILD/durvademo" --force sample
elif [ ! -f sample/firma.dbf ] && [ ! -f sample/FIRMA.DBF ]; then
  "$BUILD/durvademo" sample
fi

# The program runs the register simulator by its name, looking in its working
# folder first: a link there always points at the latest build.
ln -sfn "$BUILD/durvadrv.exe" sample/durvadrv.exe

cd sample
export PATH="$BUILD:$PATH"
exec "$BUILD/durva" "${program_args[@]}"
