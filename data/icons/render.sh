#!/usr/bin/env bash
# Renders the application icon's PNG sizes from its SVG drawing. The PNGs are committed so that building needs no
# SVG renderer; run this again whenever src/qt/resources/kestrion.svg changes (the packaging test notices when the
# PNGs are older than the drawing through rendered-from.sha256).
#   data/icons/render.sh        needs rsvg-convert (Debian package librsvg2-bin)
set -euo pipefail
cd "$(dirname "$0")/../.."

drawing=src/qt/resources/kestrion.svg
name=org.kestrion.Kestrion
command -v rsvg-convert >/dev/null || { echo "rsvg-convert is missing: apt-get install librsvg2-bin" >&2; exit 1; }

for side in 16 32 48 64 128 256; do
  dir=data/icons/hicolor/${side}x${side}/apps
  mkdir -p "$dir"
  rsvg-convert --width "$side" --height "$side" --keep-aspect-ratio --format png --output "$dir/$name.png" "$drawing"
done
sha256sum "$drawing" >data/icons/rendered-from.sha256
echo "Rendered $drawing into data/icons/hicolor/*/apps/$name.png"
