#!/usr/bin/env bash
# Packs a build as the Debian package (CPack, programs stripped) into a scratch folder and checks
# it as Debian would: lintian reports no error and no warning, the copyright is machine-readable,
# the changelog is of this version, and the desktop entry and the metadata pass their validators.
# Exit status 77 (skipped) when a tool it needs is missing.
#   check_package.sh BUILD_DIR VERSION
set -uo pipefail
build=$1
version=$2
for tool in cpack dpkg-deb dpkg-parsechangelog lintian desktop-file-validate appstreamcli; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if ! (cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch") \
     >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log"
  echo "FAIL: cpack"
  exit 1
fi
deb=$(ls "$scratch"/tonwright_*.deb)

# Informational tags are shown, not counted; lintian's own note about root goes too.
lintian --info --pedantic "$deb" >"$scratch/lintian.log" 2>&1
grep -v '^running with root' "$scratch/lintian.log"
grep -q '^[EW]:' "$scratch/lintian.log" && fail "lintian reports errors or warnings"

root=$scratch/root
dpkg-deb -x "$deb" "$root"
doc=$root/usr/share/doc/tonwright
# The header, then paragraphs: each Files one with its Copyright and License, and a text for
# every license it names.
awk -v RS= '
  NR == 1 && !/^Format: https:\/\/www\.debian\.org\/doc\/packaging-manuals\/copyright-format\/1\.0\// { bad = bad " no-format-header" }
  /^Files:/ { if (!/\nCopyright:/ || !/\nLicense:/) bad = bad " files-paragraph"; match($0, /\nLicense: *[^\n]*/); named[substr($0, RSTART + 10, RLENGTH - 10)] = 1 }
  /^License:/ { n = split($0, lines, "\n"); if (n > 1) { sub(/^License: */, "", lines[1]); texts[lines[1]] = 1 } }
  END { for (l in named) { sub(/^ +/, "", l); if (!(l in texts)) bad = bad " no-text-for-" l }; if (bad) { print bad; exit 1 } }
' "$doc/copyright" >"$scratch/copyright.log" || fail "copyright is not machine-readable:$(cat "$scratch/copyright.log")"
changed=$(zcat "$doc/changelog.gz" | dpkg-parsechangelog -l- -SVersion 2>&1)
[ "$changed" = "$version" ] || fail "the changelog's latest version is \"$changed\", not $version"

out=$(desktop-file-validate "$root/usr/share/applications/tonwright.desktop" 2>&1) && [ -z "$out" ] ||
  fail "desktop-file-validate: $out"
grep -q '^MimeType=.*audio/mpeg;' "$root/usr/share/applications/tonwright.desktop" ||
  fail "the desktop entry offers no MP3 type"
for file in "$root"/usr/share/metainfo/*.xml; do
  appstreamcli validate --no-net "$file" >"$scratch/as.log" 2>&1 || { cat "$scratch/as.log"; fail "appstreamcli validate $file"; }
done

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "package: lintian and the validators are content"
