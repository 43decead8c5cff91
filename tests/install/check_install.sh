#!/usr/bin/env bash
# Installs a build (release configuration, so stripped) into a scratch prefix and checks every
# installed file: the exact set, the icon sizes, the desktop entry and the metadata through
# their validators, the manual pages through man, and the programs stripped and runnable.
#   check_install.sh BUILD_DIR
set -uo pipefail
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
prefix=$root/usr
failures=0
skipped=()
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
have() { command -v "$1" >/dev/null 2>&1 || { skipped+=("$2 ($1 is missing)"); return 1; }; }

# Only the one component: a whole-project install would replace the manifest `uninstall` reads.
if ! cmake --install "$build" --prefix "$prefix" --component tonwright --config Release \
     >"$root/install.log" 2>&1; then
  cat "$root/install.log"
  echo "FAIL: cmake --install"
  exit 1
fi

programs=(tonwright tonwright-console l3dec)
sizes=(16 32 48 64 128 256)
expected=(share/applications/tonwright.desktop
          share/metainfo/example.vandrel.tonwright.metainfo.xml
          share/doc/tonwright/copyright share/doc/tonwright/changelog.gz)
for p in "${programs[@]}"; do expected+=("bin/$p" "share/man/man1/$p.1.gz"); done
for s in "${sizes[@]}"; do expected+=("share/icons/hicolor/${s}x$s/apps/tonwright.png"); done

# Exactly these files: none missing, and nothing from the build (tests, libraries) leaking in.
diff <(printf '%s\n' "${expected[@]}" | sort) <(cd "$prefix" && find . ! -type d | sed 's|^\./||' | sort) \
  >"$root/files.diff" || { fail "installed files differ from the expected set (< expected, > installed):"; cat "$root/files.diff"; }

for s in "${sizes[@]}"; do
  icon=$prefix/share/icons/hicolor/${s}x$s/apps/tonwright.png
  [ -f "$icon" ] || continue
  # The PNG signature, then width and height as big-endian numbers in the IHDR chunk.
  read -r magic width height < <(od -An -tx1 -N24 "$icon" | tr -d ' \n' |
    sed -E 's/^(.{16}).{16}(.{8})(.{8})$/\1 \2 \3/')
  [ "$magic" = 89504e470d0a1a0a ] || fail "$icon is not a PNG"
  [ "$((16#${width:-0}))x$((16#${height:-0}))" = "${s}x$s" ] ||
    fail "$icon is $((16#${width:-0}))x$((16#${height:-0})), not ${s}x$s"
done

desktop=$prefix/share/applications/tonwright.desktop
if [ -f "$desktop" ]; then
  if have desktop-file-validate "desktop entry validation"; then
    # Some errors only print ("will be fatal in the future"): a clean entry prints nothing.
    out=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$out" ] ||
      fail "desktop-file-validate $desktop: $out"
  fi
  # What the menu starts and shows must be what was installed.
  exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
  [ -x "$prefix/bin/$exec_program" ] || fail "Exec=$exec_program is no installed program"
  icon_name=$(sed -n 's/^Icon=//p' "$desktop")
  [ -f "$prefix/share/icons/hicolor/48x48/apps/$icon_name.png" ] ||
    fail "Icon=$icon_name has no installed icon"
fi

if have appstreamcli "metadata validation"; then
  for file in "$prefix"/share/metainfo/*.xml; do
    appstreamcli validate --no-net "$file" >"$root/as.log" 2>&1 || { cat "$root/as.log"; fail "appstreamcli validate $file"; }
  done
  # The tree as a whole: the metadata's desktop entry must be there.
  appstreamcli validate-tree --no-net "$root" >"$root/as.log" 2>&1 || { cat "$root/as.log"; fail "appstreamcli validate-tree"; }
fi

if have man "manual page rendering" && have lexgrog "manual page NAME lines"; then
  for p in "${programs[@]}"; do
    page=$prefix/share/man/man1/$p.1.gz
    [ -f "$page" ] || continue
    # groff's warnings go to standard error; a clean page has none.
    out=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -l "$page" 2>"$root/man.err") || fail "man -l $page"
    [ -s "$root/man.err" ] && { cat "$root/man.err"; fail "man -l $page warns"; }
    grep -q '^SYNOPSIS' <<<"$out" || fail "$page renders without a SYNOPSIS"
    zgrep -q '@[A-Z_]*@' "$page" && fail "$page holds a placeholder that was not filled in"
    # whatis and apropos read the NAME line; lexgrog reads it the way they do.
    lexgrog "$page" | grep -q "\"$p - " || fail "$page: no NAME line for $p (lexgrog: $(lexgrog "$page"))"
  done
fi

if have readelf "strip check"; then
  for p in "${programs[@]}"; do
    [ -f "$prefix/bin/$p" ] || continue
    readelf -S "$prefix/bin/$p" | grep -Eq '\.symtab|\.debug_' && fail "bin/$p is not stripped in a release install"
  done
fi
# Stripped and away from the build tree, the tools still start (a wrong usage answers with it).
for p in tonwright-console l3dec; do
  [ -x "$prefix/bin/$p" ] || continue
  "$prefix/bin/$p" </dev/null >/dev/null 2>"$root/usage.err"
  status=$?
  { [ "$status" -eq 2 ] && grep -q "usage: $p" "$root/usage.err"; } ||
    fail "bin/$p without arguments: exit status $status, $(cat "$root/usage.err")"
done

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
if [ ${#skipped[@]} -gt 0 ]; then
  printf 'skipped: %s\n' "${skipped[@]}"
  exit 77
fi
echo "install: every check passed"
