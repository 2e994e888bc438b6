#!/usr/bin/env bash
# Sets everything up and starts the program in the sample office folder
# (./sample). Until the sample builder exists, the folder starts out empty.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
ROOT="$PWD"
mkdir -p sample
cd sample
export PATH="$PWD:$ROOT/build:$PATH"
exec "$ROOT/build/durva" "$@"
