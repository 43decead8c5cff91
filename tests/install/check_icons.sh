#!/usr/bin/env bash
# The icons in the tree are exactly what tools/icons/make_icon.py draws: the window's own
# (ui/resources) and the desktop's larger ones (packaging/icons).
#   check_icons.sh SOURCE_DIR
set -uo pipefail
source=$1
command -v python3 >/dev/null || { echo "skipped: python3 is missing"; exit 77; }
drawn=$(mktemp -d)
trap 'rm -rf "$drawn"' EXIT
python3 "$source/tools/icons/make_icon.py" "$drawn" 16 32 48 64 128 256 || exit 1
status=0
for size in 16 32 48 64 128 256; do
  if [ "$size" -le 32 ]; then committed=$source/ui/resources/tonwright-$size.png
  else committed=$source/packaging/icons/tonwright-$size.png; fi
  cmp -s "$drawn/tonwright-$size.png" "$committed" ||
    { echo "FAIL: $committed is not what make_icon.py draws; run it again"; status=1; }
done
exit $status
