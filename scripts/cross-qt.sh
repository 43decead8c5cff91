#!/usr/bin/env bash
# Builds the Qt that the Windows build of the windows needs, from Debian's own source of Qt's
# base, with mingw-w64 and the host tools of qt6-base-dev, and installs it into a cache folder
# outside the checkout. A second run finds it there and does nothing.
#
#   scripts/cross-qt.sh          build it unless it is there; prints its folder at the end
#   scripts/cross-qt.sh --path   only print the folder it is (or would be) installed in; fails
#                                without qt6-base-dev, whose version names the folder
#
# The folder is $TONWRIGHT_CACHE (default: ~/.cache/tonwright) / qt-<version>-mingw64-static.
# The build runs niced, on 2 jobs (TONWRIGHT_QT_JOBS), so that the machine stays usable meanwhile.
set -euo pipefail

source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cache="${TONWRIGHT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tonwright}"
jobs="${TONWRIGHT_QT_JOBS:-2}"

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)

install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing missing packages: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -qq
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
}

# The host tools (moc, rcc, uic, syncqt) must be of the very version that is built, so the
# folder is named after the version of qt6-base-dev.
prefix_of() {
  local version
  version="$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null)" || return 1
  echo "$cache/qt-${version//[^A-Za-z0-9.]/_}-mingw64-static"
}
if [ "${1:-}" = "--path" ]; then
  prefix_of || {
    echo "cross-qt: qt6-base-dev is not installed" >&2
    exit 1
  }
  exit 0
fi
install_missing qt6-base-dev qt6-base-dev-tools
version="$(dpkg-query -W -f='${Version}' qt6-base-dev)"
upstream="${version%%+*}"
upstream="${upstream%%-*}"
prefix="$(prefix_of)"
if [ -f "$prefix/.complete" ]; then
  echo "Qt $upstream for Windows is there: $prefix"
  exit 0
fi

install_missing cmake ninja-build perl dpkg-dev xz-utils g++-mingw-w64-x86-64-posix

# Source packages come from the same mirrors as the binary ones: a deb-src entry beside each
# Debian entry of this release, once.
if ! apt-cache showsrc qt6-base 2>/dev/null | grep -qx "Version: $version"; then
  codename="$(. /etc/os-release && echo "$VERSION_CODENAME")"
  list=/etc/apt/sources.list.d/tonwright-deb-src.sources
  echo "Adding the source entries of the Debian mirrors: $list"
  {
    # deb822 files: each stanza of this release's main component, as deb-src.
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -e "$f" ] && [ "$f" != "$list" ] || continue
      awk -v codename="$codename" '
        function flush() {
          if (stanza != "" && types ~ /(^| )deb( |$)/ && suites ~ "(^| )" codename "(-[a-z]+)?( |$)" &&
              comps ~ /(^| )main( |$)/)
            print stanza "\n"
          stanza = ""; types = ""; suites = ""; comps = ""
        }
        /^[ \t]*$/ { flush(); next }
        /^#/ { next }
        /^Types:/ { types = substr($0, 7); $0 = "Types: deb-src" }
        /^Suites:/ { suites = substr($0, 8) }
        /^Components:/ { comps = substr($0, 12) }
        { stanza = stanza (stanza == "" ? "" : "\n") $0 }
        END { flush() }' "$f"
    done
  } | "${sudo_cmd[@]}" tee "$list.new" >/dev/null
  # One-line entries (sources.list) become one-line deb-src entries.
  if [ -f /etc/apt/sources.list ]; then
    awk -v codename="$codename" '$1 == "deb" && $0 ~ (" " codename "(-[a-z]+)? ") { $1 = "deb-src"; print }' \
      /etc/apt/sources.list | "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/tonwright-deb-src.list >/dev/null
  fi
  "${sudo_cmd[@]}" mv "$list.new" "$list"
  "${sudo_cmd[@]}" apt-get update -qq
fi

work="$cache/qt-work-${version//[^A-Za-z0-9.]/_}"
mkdir -p "$work"
src="$(find "$work" -maxdepth 1 -type d -name "qt6-base-$upstream*" | head -1)"
if [ -z "$src" ]; then
  echo "Fetching the source of qt6-base $version"
  # apt's own user cannot write into a root-owned cache: it downloads as the caller.
  (cd "$work" && apt-get source -qq "qt6-base=$version" 2>&1 | grep -v '^W: Download is performed unsandboxed' || true)
  src="$(find "$work" -maxdepth 1 -type d -name "qt6-base-$upstream*" | head -1)"
  [ -n "$src" ] || {
    echo "cross-qt: apt-get source qt6-base=$version gave no source folder" >&2
    exit 1
  }
fi
# What Debian left of the bundled libraries the build takes from the source.
for lib in zlib libpng pcre2 harfbuzz-ng double-conversion; do
  [ -d "$src/src/3rdparty/$lib" ] || {
    echo "cross-qt: the source lacks src/3rdparty/$lib" >&2
    exit 1
  }
done

# The compiler settings travel with the installed Qt, so the checkout may move.
mkdir -p "$prefix"
cp "$source_dir/cmake/mingw-w64-x86_64.cmake" "$prefix/toolchain.cmake"
host_cmake="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake"

build="$work/build"
rm -rf "$build"
mkdir -p "$build"
cd "$build"
start=$SECONDS
echo "Configuring Qt $upstream for x86_64-w64-mingw32 (log: $build/configure.log)"
# Core, Gui, Widgets and Test, static, with the bundled libraries; fonts through the system's
# own engine (no FreeType), one Windows platform plugin (not the Direct2D one too: its feature
# "direct2d" also picks the font engines, so only its "direct2d1_1" is off). Tablets are off:
# Debian's source has no Wintab headers.
nice -n 10 "$src/configure" -prefix "$prefix" -release -static -static-runtime \
  -xplatform win32-g++ -qt-host-path /usr \
  -nomake examples -nomake tests -no-opengl -no-dbus -no-icu -no-zstd -no-freetype \
  -no-libjpeg -no-gif -qt-zlib -qt-libpng -qt-pcre -qt-harfbuzz -qt-doubleconversion \
  -no-feature-network -no-feature-sql -no-feature-xml -no-feature-printsupport \
  -no-feature-concurrent -no-feature-tabletevent -no-feature-vulkan -no-feature-direct2d1_1 \
  -no-feature-androiddeployqt -no-feature-windeployqt -no-feature-macdeployqt \
  -- -G Ninja -DCMAKE_TOOLCHAIN_FILE="$prefix/toolchain.cmake" \
  -DQT_HOST_PATH_CMAKE_DIR="$host_cmake" >configure.log 2>&1 || {
  tail -40 configure.log >&2
  echo "cross-qt: configure failed (log: $build/configure.log)" >&2
  exit 1
}
echo "Building with $jobs jobs (log: $build/build.log)"
nice -n 10 cmake --build . --parallel "$jobs" >build.log 2>&1 || {
  grep -m5 -B2 -A8 -E 'error:|FAILED:' build.log >&2 || tail -40 build.log >&2
  echo "cross-qt: the build failed (log: $build/build.log)" >&2
  exit 1
}
cmake --install . >install.log 2>&1
touch "$prefix/.complete"
# The source and the build tree (2 GB) are not needed again.
cd "$cache"
rm -rf "$work"
echo "Qt $upstream for Windows installed in $prefix after $(((SECONDS - start) / 60)) minutes"
