#!/usr/bin/env bash
# Installs the Debian packages Tonwright needs; only what is missing, and asks nothing when
# nothing is. Without root or sudo it prints the command to run as root and stops.
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
  # Real removable media for the tests: exFAT and FAT images mounted through FUSE.
  exfat-fuse exfatprogs fusefat dosfstools
)
package_packages=(dpkg-dev file)

case "${1:-all}" in
  run) packages=("${run_packages[@]}") ;;
  package) packages=("${run_packages[@]}" "${package_packages[@]}") ;;
  # The package test packs the build as scripts/package.sh does.
  all) packages=("${run_packages[@]}" "${check_packages[@]}" "${package_packages[@]}") ;;
  *) echo "usage: scripts/setup.sh [run|package]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

# Without root or a sudo that may install, the user needs the one command to give root.
stop_for_root() {
  {
    echo "scripts/setup.sh: these Debian packages are missing: ${missing[*]}"
    echo "Installing them needs root, and $1. Run this as root (it asks for root's password):"
    echo "  su -c 'apt-get update && apt-get install -y --no-install-recommends ${missing[*]}'"
    echo "then start this again."
  } >&2
  exit 1
}

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || stop_for_root "sudo is not installed"
  # Asks for the user's password once; a user sudo refuses gets the command for root.
  sudo -v || stop_for_root "sudo does not let you"
  sudo_cmd=(sudo)
fi
echo "Installing missing packages: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
