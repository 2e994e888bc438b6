#!/usr/bin/env bash
# Installs every Debian package the project needs (with apt-get, as root or
# through sudo). Safe to run again: packages already present are not fetched
# twice. Building is left to start.sh (the program) and test.sh (the tests).
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  build-essential g++ cmake ninja-build pkg-config
  libncurses-dev ncurses-term
  libgtest-dev googletest libgmock-dev
  clang libclang-rt-14-dev
  tmux
  # Printing and PDF export, and for their tests a private print server with a
  # file-printing queue and the PDF readers.
  libcups2-dev cups-daemon cups-client libcairo2-dev fonts-dejavu-core poppler-utils
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
