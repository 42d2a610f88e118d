#!/usr/bin/env bash
# Builds Kestrion's Windows package from the `windows` preset (build-windows/): a zip to unpack and run anywhere,
# and an installer (an MSI made with wixl, for the current user, without administrator rights). Both hold the
# two programs, the guides in both languages as HTML with their pictures, the sample files and the licence.
#   scripts/package-windows.sh            writes build-windows/package/Kestrion-VERSION-windows-x64.{zip,msi}
set -euo pipefail
cd "$(dirname "$0")/.."

build=build-windows
out=$build/package
if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null || ! command -v wixl >/dev/null || ! command -v zip >/dev/null
then
  scripts/deps.sh --with g++-mingw-w64-x86-64-posix wixl msitools zip googletest python3
fi

cmake --preset windows >/dev/null
cmake --build "$build" -j "$(nproc)" --target kestrion kestrion-station
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=Kestrion-$version-windows-x64

stage=$out/$name
rm -rf "$stage"
mkdir -p "$stage/docs/images" "$stage/examples"
for program in src/win32/kestrion.exe tools/station/kestrion-station.exe; do
  x86_64-w64-mingw32-strip -o "$stage/$(basename "$program")" "$build/$program"
done
# The guides as pages for a browser: pandoc's where it is installed, else the project's own converter.
for guide in guide guide.zh_CN; do
  if command -v pandoc >/dev/null; then
    pandoc --standalone --metadata title="Kestrion" -f gfm -t html5 "docs/$guide.md" -o "$stage/docs/$guide.html"
    sed -i 's/\.md"/.html"/g; s/\.md#/.html#/g' "$stage/docs/$guide.html"
  else
    python3 scripts/markdown_to_html.py "docs/$guide.md" "$stage/docs/$guide.html"
  fi
done
cp docs/images/*.png "$stage/docs/images/"
cp examples/sample.* examples/obs-download.txt "$stage/examples/"
# Windows tools read text files with CR LF.
sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"
cat >"$stage/README.txt" <<TEXT
Kestrion $version for Windows

kestrion.exe          the program: double-click it (nothing to install)
kestrion-station.exe  a simulated total station for practice, for a command prompt:
                      kestrion-station --port COM2 send --marker # examples\\obs-download.txt
docs\\guide.html       the guide (English); docs\\guide.zh_CN.html the guide in Chinese
examples\\             sample files for upload and download
LICENSE.txt           GNU General Public License, version 3 or later
TEXT
sed -i 's/$/\r/' "$stage/README.txt"

# The zip: one folder holding everything.
rm -f "$out/$name.zip"
(cd "$out" && zip -q -r -X "$name.zip" "$name")

# The installer: one component per file, under the user's own programs folder.
python3 - "$stage" "$version" src/win32/package/kestrion.wxs.in "$out/$name.wxs" <<'PY'
import sys
from pathlib import Path
from xml.sax.saxutils import quoteattr

# Sources are named from the folder of the .wxs, where wixl runs.
stage, version, template, target = Path(sys.argv[1]), sys.argv[2], sys.argv[3], Path(sys.argv[4])
base = target.parent
counter = 0
refs = []

def directory(folder, indent):
    global counter
    lines = []
    for entry in sorted(folder.iterdir()):
        if entry.is_dir():
            counter += 1
            lines.append(f'{indent}<Directory Id="d{counter}" Name={quoteattr(entry.name)}>')
            lines += directory(entry, indent + "  ")
            lines.append(f"{indent}</Directory>")
        else:
            counter += 1
            refs.append(f'      <ComponentRef Id="c{counter}"/>')
            lines.append(f'{indent}<Component Id="c{counter}" Guid="*">')
            lines.append(f'{indent}  <File Id="f{counter}" Name={quoteattr(entry.name)} Source={quoteattr(str(entry.relative_to(base)))}'
                         f' KeyPath="yes"/>')
            lines.append(f"{indent}</Component>")
    return lines

files = "\n".join(directory(stage, " " * 12))
text = Path(template).read_text(encoding="utf-8")
text = text.replace("@VERSION@", version).replace("@STAGE@", str(stage.relative_to(base)))
text = text.replace("@FILES@", files).replace("@COMPONENT_REFS@", "\n".join(refs))
Path(target).write_text(text, encoding="utf-8")
PY
(cd "$out" && wixl -a x64 -o "$name.msi" "$name.wxs")
rm -f "$out"/.gsf-save-*  # what the MSI library leaves behind
echo "Windows package: $out/$name.zip and $out/$name.msi"
