#!/usr/bin/env bash
# Checks the Windows package that scripts/package-windows.sh made: the zip holds the programs, both guides as
# HTML with their pictures, the samples and the licence; the MSI installs the same files for the current user
# (under LocalAppData, no elevation asked for) with Start-menu entries, and can be removed.
#   check_package.sh ZIP MSI
set -euo pipefail
zip=$1
msi=$2
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

name=$(basename "$zip" .zip)
listing=$(unzip -Z1 "$zip")
for file in kestrion.exe kestrion-station.exe LICENSE.txt README.txt docs/guide.html docs/guide.zh_CN.html \
  docs/images/windows-window.png examples/sample.HLN examples/obs-download.txt; do
  grep -qxF "$name/$file" <<<"$listing" || fail "the zip lacks $name/$file"
done
# Every picture the guides show is in the zip.
for picture in $(unzip -p "$zip" "$name/docs/guide.html" "$name/docs/guide.zh_CN.html" | grep -o 'src="[^"]*"' |
  sed 's/src="//; s/"$//' | sort -u); do
  grep -qxF "$name/docs/$picture" <<<"$listing" || fail "a guide shows $picture, which the zip lacks"
done

files=$(msiinfo export "$msi" File)
for file in kestrion.exe kestrion-station.exe guide.html guide.zh_CN.html sample.HLN LICENSE.txt; do
  grep -qP "\t$(sed 's/\./\\./g' <<<"$file")\t" <<<"$files" || fail "the MSI lacks $file"
done
[[ $(grep -c . <<<"$files") -eq $(($(grep -c '[^/]$' <<<"$listing") + 3)) ]] ||
  fail "the MSI and the zip hold different numbers of files"
grep -q "LocalAppDataFolder" <<<"$(msiinfo export "$msi" Directory)" || fail "the MSI does not install under LocalAppData"
shortcuts=$(msiinfo export "$msi" Shortcut)
for entry in "Kestrion	" "Kestrion guide	" "Kestrion guide (Chinese)	"; do
  grep -qF "MenuFolder	$entry" <<<"$shortcuts" || fail "the Start menu lacks the entry '${entry%	}'"
done
# Bit 8 of the word count: no elevated privileges needed.
source=$(msiinfo suminfo "$msi" | sed -n 's/^Source: \([0-9]*\).*/\1/p')
((source & 8)) || fail "the MSI asks for administrator rights (word count $source)"

if ((failures > 0)); then
  echo "package: $failures problem(s)"
  exit 1
fi
echo "package: ok ($(basename "$zip"), $(basename "$msi"))"
