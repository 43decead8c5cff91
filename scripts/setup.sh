#!/usr/bin/env bash
# Installs the Debian packages Tonwright needs; only what is missing.
#   scripts/setup.sh          everything: building, running, testing, benchmarks and checks
#   scripts/setup.sh run      only what building and starting the program needs (./run)
#   scripts/setup.sh package  what building the program and its .deb needs
set -euo pipefail

run_packages=(
  cmake g++ make pkg-config
  qt6-base-dev libgl-dev
  libmpg123-dev libsndfile1-dev
  # Configuring the tree looks for GoogleTest even when only the programs are built.
  libgtest-dev libgmock-dev
  xterm xdg-utils libnotify-bin
  fonts-liberation fonts-dejavu-core
)
check_packages=(
  libbenchmark-dev
  clang libclang-rt-14-dev clang-format
  lame sox mpg123
  xvfb xauth x11-utils openbox xdotool
  desktop-file-utils appstream man-db lintian
)
package_packages=(dpkg-dev file)

case "${1:-all}" in
  run) packages=("${run_packages[@]}") ;;
  package) packages=("${run_packages[@]}" "${package_packages[@]}") ;;
  # The package test packs the build as ./package does.
  all) packages=("${run_packages[@]}" "${check_packages[@]}" "${package_packages[@]}") ;;
  *) echo "usage: scripts/setup.sh [run|package]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
