#!/usr/bin/env bash
# Packs the application icon's committed PNG sizes (data/icons) into the Windows icon src/win32/kestrion.ico:
# 16, 32 and 48 pixels for the window and the task bar, 24 and 256 for larger screen scales and Explorer. The
# .ico is committed so that building needs no image tools; run this again after data/icons/render.sh.
#   src/win32/make-icon.sh      needs ImageMagick's convert (Debian package imagemagick)
set -euo pipefail
cd "$(dirname "$0")/../.."

name=org.kestrion.Kestrion
convert=/usr/bin/convert
[[ -x $convert ]] || { echo "ImageMagick's convert is missing: apt-get install imagemagick" >&2; exit 1; }
sources=()
for side in 16 24 32 48 256; do
  png=data/icons/hicolor/${side}x${side}/apps/$name.png
  if [[ ! -f $png ]]; then
    # A size that data/icons does not keep is scaled down from the largest one.
    png=$(mktemp --suffix=.png)
    "$convert" data/icons/hicolor/256x256/apps/$name.png -resize ${side}x${side} "$png"
  fi
  sources+=("$png")
done
"$convert" "${sources[@]}" src/win32/kestrion.ico
echo "Packed ${#sources[@]} sizes into src/win32/kestrion.ico"
