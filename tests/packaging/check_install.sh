#!/usr/bin/env bash
# Checks that installing Kestrion gives a desktop what it needs, and that the Debian package holds the same.
#   check_install.sh BUILD_DIR SOURCE_DIR CHECK STAGE_DIR HAS_STATION
# CHECK is one of:
#   Stage          install into STAGE_DIR (prefix /usr), which the other checks read
#   InstallTree    exactly the expected files, and the menu entry, icons and metadata refer to each other
#   DesktopEntry   desktop-file-validate accepts the installed menu entry
#   Metainfo       appstreamcli accepts the installed metadata, offline
#   ManualPages    man renders each installed manual page without a warning, in UTF-8 and in ASCII
#   StationHelp    the station's manual page describes exactly the options of its --help, with its words
#   DebianPackage  cpack builds the .deb into STAGE_DIR.deb, and its control fields and contents are right
#   Lintian        lintian finds no error and no warning in that .deb
# A check whose tool is missing exits 77 (skipped).
set -euo pipefail

build=$1
source=$2
check=$3
stage=$4
hasStation=${5:-0}
debDir=$stage.deb

cmake=${CMAKE:-cmake}
cpack=${CPACK:-cpack}
appId=org.kestrion.Kestrion
iconSizes=(16 32 48 64 128 256)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kestrion-packaging.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
skip() {
  echo "SKIP: $*"
  exit 77
}
need() { command -v "$1" >/dev/null || skip "$1 is not installed (Debian package $2)"; }
finish() {
  if ((failures > 0)); then
    echo "$check: $failures problem(s)" >&2
    exit 1
  fi
  echo "$check: ok"
  exit 0
}

# What the package installs, relative to the prefix, sorted.
ExpectedFiles() {
  {
    echo bin/kestrion
    if [[ $hasStation == 1 ]]; then echo bin/kestrion-station; fi
    echo "share/applications/$appId.desktop"
    echo "share/metainfo/$appId.metainfo.xml"
    echo "share/icons/hicolor/scalable/apps/$appId.svg"
    echo share/doc/kestrion/copyright
    echo share/doc/kestrion/changelog.gz
    echo share/doc/kestrion/guide.md
    echo share/doc/kestrion/guide.zh_CN.md
    echo share/lintian/overrides/kestrion
    (cd "$source/docs" && printf 'share/doc/kestrion/%s\n' images/*.png)
    (cd "$source" && printf 'share/doc/kestrion/%s\n' examples/sample.* examples/obs-download.txt)
    echo share/man/man1/kestrion.1.gz
    if [[ $hasStation == 1 ]]; then echo share/man/man1/kestrion-station.1.gz; fi
    for side in "${iconSizes[@]}"; do echo "share/icons/hicolor/${side}x${side}/apps/$appId.png"; done
  } | LC_ALL=C sort
}

CompareFileLists() {  # what, expected file, actual file
  if ! diff -u "$2" "$3" >&2; then fail "$1 differs from the expected files (- expected, + found)"; fi
}

# The value of KEY in the [Desktop Entry] group of FILE.
DesktopKey() { sed -n '/^\[Desktop Entry\]/,/^\[/s/^'"$2"'=//p' "$1" | head -n 1; }

# The project's version, as the package gets it.
ProjectVersion() { sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake"; }

NeedStage() {
  [[ -d $stage/usr ]] || { echo "FAIL: $stage/usr is missing: the Stage check did not run or failed" >&2; exit 1; }
}

# Package names in relation field FIELD of package DEB, one a line, without versions or alternatives' bars.
Relations() { dpkg-deb -f "$1" "$2" | tr ',|' '\n' | sed 's/(.*)//; s/^ *//; s/ *$//; /^$/d'; }

# Width and height from a PNG's header, "W H".
PngSize() {
  local bytes
  read -r -a bytes < <(od -An -v -tu1 -j16 -N8 "$1")
  echo "$(((bytes[0] << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3])) \
$(((bytes[4] << 24) | (bytes[5] << 16) | (bytes[6] << 8) | bytes[7]))"
}

Stage() {
  rm -rf "$stage"
  if ! DESTDIR=$stage "$cmake" --install "$build" --prefix /usr >"$stage.log" 2>&1; then
    cat "$stage.log" >&2
    fail "cmake --install into $stage failed"
  fi
}

InstallTree() {
  NeedStage
  local usr=$stage/usr
  ExpectedFiles >"$scratch/expected"
  (cd "$usr" && find . -type f -o -type l) | sed 's:^\./::' | LC_ALL=C sort >"$scratch/found"
  CompareFileLists "the installed tree" "$scratch/expected" "$scratch/found"
  [[ -z $(find "$stage" -mindepth 1 -maxdepth 1 ! -name usr) ]] || fail "files installed outside the prefix"

  local program
  for program in kestrion kestrion-station; do
    [[ -e $usr/bin/$program ]] || continue
    [[ -x $usr/bin/$program ]] || fail "bin/$program is not executable"
  done

  # The menu entry starts an installed program and shows an installed icon.
  local desktop=$usr/share/applications/$appId.desktop
  if [[ -f $desktop ]]; then
    local key command icon
    for key in Exec TryExec; do
      command=$(DesktopKey "$desktop" "$key")
      command=${command%% *}
      [[ -n $command ]] || { fail "$key is empty"; continue; }
      [[ $command != /* ]] || fail "$key names a fixed path ($command); the menu finds programs on PATH"
      [[ -x $usr/bin/$command ]] || fail "$key=$command is not an installed program"
    done
    icon=$(DesktopKey "$desktop" Icon)
    [[ $icon == "$appId" ]] || fail "Icon=$icon, expected $appId (the name the icons are installed under)"
    [[ -n $(DesktopKey "$desktop" 'Name\[zh_CN\]') ]] || fail "the menu entry has no Chinese name"
  fi

  # Each PNG is drawn at the size its folder promises.
  local side png
  for side in "${iconSizes[@]}"; do
    png=$usr/share/icons/hicolor/${side}x${side}/apps/$appId.png
    [[ -f $png ]] || continue
    [[ $(head -c 8 "$png" | od -An -tx1 | tr -d ' \n') == 89504e470d0a1a0a ]] || { fail "$png is not a PNG"; continue; }
    [[ $(PngSize "$png") == "$side $side" ]] || fail "$png is $(PngSize "$png"), expected $side x $side"
  done

  # The committed PNGs were rendered from the current drawing.
  (cd "$source" && sha256sum --quiet -c data/icons/rendered-from.sha256 >/dev/null 2>&1) ||
    fail "the PNG icons are older than src/qt/resources/kestrion.svg: run data/icons/render.sh"

  # The metadata names this menu entry, an installed program and this version as its newest release.
  local metainfo=$usr/share/metainfo/$appId.metainfo.xml
  if [[ -f $metainfo ]]; then
    local id launchable binary release version
    id=$(sed -n 's:.*<id>\(.*\)</id>.*:\1:p' "$metainfo" | head -n 1)
    [[ $id == "$appId" ]] || fail "metainfo id is '$id', expected $appId"
    launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
    [[ $launchable == "$appId.desktop" && -f $usr/share/applications/$launchable ]] ||
      fail "metainfo launchable '$launchable' is not the installed menu entry"
    while read -r binary; do
      [[ -x $usr/bin/$binary ]] || fail "metainfo provides binary '$binary', which is not installed"
    done < <(sed -n 's:.*<binary>\(.*\)</binary>.*:\1:p' "$metainfo")
    release=$(sed -n 's:.*<release version="\([^"]*\)".*:\1:p' "$metainfo" | head -n 1)
    version=$(ProjectVersion)
    [[ -n $version && $release == "$version" ]] ||
      fail "the newest release in the metadata is '$release', the project's version is '$version'"
  fi

  CheckLicence
}

# The licence is the same everywhere it is named: LICENSE, the metadata and the package's copyright file.
CheckLicence() {
  local usr=$stage/usr
  [[ $(head -n 2 "$source/LICENSE" | tr -s ' ' | sed 's/^ //') == $'GNU GENERAL PUBLIC LICENSE\nVersion 3, 29 June 2007' ]] ||
    fail "LICENSE is not the GNU General Public License, version 3"
  local metainfo=$usr/share/metainfo/$appId.metainfo.xml licence
  licence=$(sed -n 's:.*<project_license>\(.*\)</project_license>.*:\1:p' "$metainfo")
  [[ $licence == GPL-3.0-or-later ]] || fail "the metadata's project_license is '$licence', expected GPL-3.0-or-later"
  local copyright=$usr/share/doc/kestrion/copyright
  [[ -f $copyright ]] || return 0
  [[ $(head -n 1 "$copyright") == 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ]] ||
    fail "$copyright is not in Debian's machine-readable format"
  [[ $(sed -n '/^Files: \*$/,/^$/s/^License: //p' "$copyright") == GPL-3+ ]] ||
    fail "$copyright does not put all files under GPL-3+"
}

DesktopEntry() {
  need desktop-file-validate desktop-file-utils
  NeedStage
  local desktop=$stage/usr/share/applications/$appId.desktop
  [[ -f $desktop ]] || { fail "$desktop is missing"; return; }
  local report
  report=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $report"
  # Hints are not failures, but every one so far has been worth fixing.
  [[ -z $report ]] || echo "$report"
}

Metainfo() {
  need appstreamcli appstream
  NeedStage
  local metainfo=$stage/usr/share/metainfo/$appId.metainfo.xml
  [[ -f $metainfo ]] || { fail "$metainfo is missing"; return; }
  appstreamcli validate --no-net --no-color "$metainfo" || fail "appstreamcli validate rejects $metainfo"
  # The tree check also finds the menu entry the metadata launches.
  appstreamcli validate-tree --no-net --no-color "$stage" || fail "appstreamcli validate-tree rejects $stage"
}

ManualPages() {
  need man man-db
  NeedStage
  local page report version
  version=$(ProjectVersion)
  for page in "$stage"/usr/share/man/man1/*.1.gz; do
    [[ -f $page ]] || { fail "no manual page installed"; return; }
    # As lintian renders pages, then as a terminal without UTF-8 does: every message of groff is a fault.
    report=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
    report+=$(LC_ALL=C MANROFFSEQ='' MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [[ -z $report ]] || fail "$(basename "$page"): $report"
    zcat "$page" | grep -q "^\.TH .* \"Kestrion $version\"" || fail "$(basename "$page") does not name Kestrion $version"
  done
}

# The options a manual page describes: the tags of the paragraphs under OPTIONS, one a line.
ManualPageOptions() {
  zcat "$1" | sed -n '/^\.SH OPTIONS/,/^\.SH /{/^\.TP/{n;p}}' | sed 's/\\-/-/g' | grep -o -- '-[-a-z]*[a-z]' |
    LC_ALL=C sort -u
}

StationHelp() {
  [[ $hasStation == 1 ]] || skip "kestrion-station is not built"
  need man man-db
  NeedStage
  local page=$stage/usr/share/man/man1/kestrion-station.1.gz
  [[ -f $page ]] || { fail "$page is missing"; return; }
  "$stage/usr/bin/kestrion-station" --help >"$scratch/help" || fail "kestrion-station --help fails"
  MANWIDTH=200 man -l "$page" 2>/dev/null >"$scratch/page"

  # Every option that --help names (and --help itself, which it does not list) has its paragraph.
  { grep -o -- '--[a-z][-a-z]*' "$scratch/help"; printf '%s\n' --help -h; } | LC_ALL=C sort -u >"$scratch/expected"
  ManualPageOptions "$page" >"$scratch/found"
  diff -u "$scratch/expected" "$scratch/found" >&2 ||
    fail "the manual page's options differ from kestrion-station --help (- only in --help, + only in the page)"

  # The protocol's words and the record markers, which --help takes from the station's own tables.
  local word markers
  while read -r word; do
    grep -qF -- "$word" "$scratch/page" || fail "the manual page lacks '$word', which --help quotes"
  done < <(grep -o "'[^']*'" "$scratch/help" | sed "s/^'//; s/'\$//" | LC_ALL=C sort -u)
  markers=$(sed -n 's/.* M is one of \(.*\)$/\1/p' "$scratch/help")
  [[ -n $markers ]] && grep -qF -- "is one of $markers" "$scratch/page" ||
    fail "the manual page does not list the markers of --help ($markers)"
}

DebianPackage() {
  need dpkg-deb dpkg

  rm -rf "$debDir"
  if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$debDir" >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log" >&2
    fail "cpack -G DEB failed"
    return
  fi
  local debs=("$debDir"/*.deb)
  if ((${#debs[@]} != 1)) || [[ ! -f ${debs[0]} ]]; then
    fail "expected one .deb, found: ${debs[*]}"
    return
  fi
  local deb=${debs[0]} version
  version=$(ProjectVersion)
  [[ $(basename "$deb") == "kestrion_${version}_$(dpkg --print-architecture).deb" ]] ||
    fail "package file is named $(basename "$deb")"

  dpkg-deb -I "$deb" >"$scratch/info" || { fail "dpkg-deb -I cannot read $deb"; return; }
  cat "$scratch/info"
  local field expected
  while read -r field expected; do
    [[ $(dpkg-deb -f "$deb" "$field") == "$expected" ]] ||
      fail "$field is '$(dpkg-deb -f "$deb" "$field")', expected '$expected'"
  done <<EOF
Package kestrion
Version $version
Section science
Priority optional
Architecture $(dpkg --print-architecture)
EOF
  local nameAndAddress='^[^<]+ <[^@>]+@[^>]+>$'
  [[ $(dpkg-deb -f "$deb" Maintainer) =~ $nameAndAddress ]] ||
    fail "Maintainer '$(dpkg-deb -f "$deb" Maintainer)' is not 'Name <address>'"
  [[ -n $(dpkg-deb -f "$deb" Description | sed -n 2p) ]] || fail "the package has no long description"

  local package
  for package in libqt6widgets6 libqt6core6 libqt6svg6 libc6 libstdc++6; do
    Relations "$deb" Depends | grep -x "$package" >/dev/null || fail "Depends lacks $package: $(dpkg-deb -f "$deb" Depends)"
  done
  Relations "$deb" Recommends | grep -x fonts-noto-cjk >/dev/null || fail "Recommends lacks fonts-noto-cjk"

  # The package holds exactly what the install puts under /usr, owned by root, readable by all.
  dpkg-deb -c "$deb" >"$scratch/contents" || { fail "dpkg-deb -c cannot list $deb"; return; }
  ExpectedFiles >"$scratch/expected"
  awk '$1 !~ /^d/ {print $NF}' "$scratch/contents" | sed 's:^\./usr/::' | LC_ALL=C sort >"$scratch/found"
  CompareFileLists "the package" "$scratch/expected" "$scratch/found"
  local mode owner path
  while read -r mode owner _ _ _ path; do
    [[ $owner == root/root ]] || fail "$path is owned by $owner"
    case $mode:$path in
      d*) [[ $mode == drwxr-xr-x ]] || fail "$path has mode $mode" ;;
      *:./usr/bin/*) [[ $mode == -rwxr-xr-x ]] || fail "$path has mode $mode" ;;
      *) [[ $mode == -rw-r--r-- ]] || fail "$path has mode $mode" ;;
    esac
  done <"$scratch/contents"
}

Lintian() {
  need lintian lintian
  local debs=("$debDir"/*.deb)
  [[ -f ${debs[0]} ]] || { echo "FAIL: no .deb in $debDir: the DebianPackage check did not run or failed" >&2; exit 1; }
  # Informational tags are shown but do not fail the check; today there are none.
  lintian --fail-on error,warning --display-info --tag-display-limit 0 "${debs[0]}" ||
    fail "lintian finds errors or warnings in $(basename "${debs[0]}")"
}

case $check in
  Stage) Stage ;;
  InstallTree) InstallTree ;;
  DesktopEntry) DesktopEntry ;;
  Metainfo) Metainfo ;;
  ManualPages) ManualPages ;;
  StationHelp) StationHelp ;;
  DebianPackage) DebianPackage ;;
  Lintian) Lintian ;;
  *)
    echo "unknown check: $check" >&2
    exit 2
    ;;
esac
finish
