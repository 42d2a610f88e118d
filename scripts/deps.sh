#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Kestrion need, if any is missing.
# Safe to run again: it asks apt only when something is not installed yet.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 qt6-gtk-platformtheme libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-14 libclang-rt-14-dev
  xvfb xauth fonts-noto-cjk
  desktop-file-utils appstream dpkg-dev file lintian man-db groff-base
)
if [[ "${1:-}" == "--with" ]]; then
  shift
  packages+=("$@")
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
((${#missing[@]} == 0)) && exit 0

sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
  if command -v sudo >/dev/null; then sudo_cmd=(sudo); else
    echo "These packages are missing and this user cannot install them (no sudo): ${missing[*]}" >&2
    exit 1
  fi
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
