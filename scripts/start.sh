#!/usr/bin/env bash
# Builds what the program needs to start (the program, the register simulator
# and the sample office builder) in build/ with every core, writes the sample
# office folder ./sample when there is none, and starts the program there.
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

# A folder configured by hand keeps its generator and options.
if [ -f "$BUILD/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD" >/dev/null
else
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
targets=(durva durvademo)
compgen -G "tools/durvadrv/*.cpp" >/dev/null && targets+=(durvadrv)
cmake --build "$BUILD" -j "$(nproc)" --target "${targets[@]}"

if [ "$new_sample" -eq 1 ]; then
  "$BUILD/durvademo" --force sample
elif [ ! -f sample/firma.dbf ] && [ ! -f sample/FIRMA.DBF ]; then
  "$BUILD/durvademo" sample
fi

# The program runs the register simulator by its name, looking in its working
# folder first: a link there always points at the latest build.
if [ -x "$BUILD/durvadrv.exe" ]; then
  ln -sfn "$BUILD/durvadrv.exe" sample/durvadrv.exe
else
  echo "start.sh: the register simulator is not built yet; register exchanges will fail" >&2
fi

cd sample
export PATH="$BUILD:$PATH"
exec "$BUILD/durva" "${program_args[@]}"
