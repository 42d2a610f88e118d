#!/usr/bin/env bash
# Builds Kestrion and starts it. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset dev >/dev/null
cmake --build build --target kestrion
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No desktop session found: starting Kestrion on a virtual screen (Xvfb). Close it with Ctrl+C." >&2
  exec xvfb-run -a -s "-screen 0 1280x800x24" build/src/qt/kestrion "$@"
fi
exec build/src/qt/kestrion "$@"
