#!/usr/bin/env bash
# Installs the Debian packages the project needs (with apt-get, as root or
# through sudo). Written for Debian 12 "bookworm": the package names are that
# release's (libclang-rt-14-dev goes with its clang 14). Safe to run again:
# packages already present are not fetched twice. Building is left to
# start.sh (the programs) and test.sh (the tests and the package).
#
#   bash scripts/setup.sh          what building and running the programs needs
#   bash scripts/setup.sh --test   that, and what the tests and the package build need
set -euo pipefail
cd "$(dirname "$0")/.."

# Building the programs and their Debian package (cpack reads the libraries
# off the programs with dpkg-shlibdeps and file), and what the programs use
# when they run: the terminal, printing through the print server (its client
# library), PDF export with cairo and the DejaVu Sans Mono font.
RUN_PACKAGES=(
  build-essential g++ cmake ninja-build pkg-config dpkg-dev file
  libncurses-dev ncurses-term
  libcups2-dev libcairo2-dev fonts-dejavu-core
)
# The tests: GoogleTest; clang for the fuzz targets; a private print server
# with file-printing queues and the PDF readers for the printing tests; the
# manual page's check (groff); tmux, to look at the screen at 80 x 25 by hand.
TEST_PACKAGES=(
  libgtest-dev googletest libgmock-dev
  clang libclang-rt-14-dev
  cups-daemon cups-client poppler-utils
  groff-base
  tmux
)

case "${1:-}" in
  "") packages=("${RUN_PACKAGES[@]}") ;;
  --test) packages=("${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}") ;;
  *)
    echo "usage: bash scripts/setup.sh [--test]" >&2
    exit 2
    ;;
esac

if [ -r /etc/os-release ]; then
  codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-}")"
  if [ "$codename" != "bookworm" ]; then
    echo "setup.sh: written for Debian 12 (bookworm), this is ${codename:-another system}: package names may differ" >&2
  fi
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
