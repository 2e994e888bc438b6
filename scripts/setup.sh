#!/usr/bin/env bash
# Installs every Debian package the project needs, then configures and builds
# it. Safe to run again: packages already present are not fetched twice.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  build-essential g++ cmake ninja-build pkg-config
  libncurses-dev ncurses-term
  libgtest-dev googletest libgmock-dev
  clang libclang-rt-14-dev
  tmux
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

BUILD_DIR="${BUILD_DIR:-build}"
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${DURVA_CMAKE_FLAGS:-}
cmake --build "$BUILD_DIR"
