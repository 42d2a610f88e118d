#!/usr/bin/env bash
# Checks that the surveyor's guides stay in step and quote the window as it is.
#   check_guides.sh SOURCE_DIR
# - docs/guide.md and docs/guide.zh_CN.md have one outline: the same headings at the same levels with the same
#   numbers, and the same pictures in the same sections.
# - Links in the guides and the README lead somewhere: to a file that exists, to a heading that exists.
# - A caption in bold that holds Chinese (**打开端口**) in the English guide or the README is a text of the
#   window (src/app/Messages.h, the control table src/app/ControlTable.cpp), and the Chinese guide quotes every one the English guide does.
#   A quote that ends in … stands for the start of a longer text.
set -euo pipefail
source=$1
cd "$source"
export LC_ALL=C.UTF-8

english=docs/guide.md
chinese=docs/guide.zh_CN.md
scratch=$(mktemp -d "${TMPDIR:-/tmp}/kestrion-guides.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Markdown lines outside fenced code blocks, each as "LINE<TAB>TEXT".
Prose() { awk '/^```/ {fenced = !fenced; next} !fenced {print NR "\t" $0}' "$1"; }

# The outline: "level number" per heading, then "section picture" per picture; section 0 is the introduction.
Outline() {
  Prose "$1" | cut -f2- | perl -CSD -ne '
    if (/^(#+) (\d+\.)?/) { $section++; print "heading ", length($1), " ", ($2 // "-"), "\n"; }
    print "picture in section ", $section + 0, ": $1\n" while /!\[[^\]]*\]\(([^)]+)\)/g;'
}

# The anchor a heading gets on the project's pages: lower case, punctuation dropped, spaces as hyphens.
Anchors() {
  Prose "$1" | cut -f2- | perl -CSD -ne 'if (s/^#+ //) { chomp; $_ = lc; s/[^\p{L}\p{N}\p{M}\s_-]//g; s/\s/-/g; print "$_\n"; }'
}

# Bold spans that hold Chinese, as "LINE<TAB>SPAN", with \* unescaped.
ChineseBold() {
  Prose "$1" | perl -CSD -ne '
    ($line, $text) = split /\t/, $_, 2;
    while ($text =~ /\*\*((?:\\\*|[^*])+?)\*\*/g) {
      ($span = $1) =~ s/\\\*/*/g;
      print "$line\t$span\n" if $span =~ /\p{Han}/;
    }'
}

# Every text of the window, one a line, without the & that marks a shortcut key.
WindowTexts() {
  perl -CSD -0777 -ne '
    if ($ARGV =~ /\.ui$/) {
      while (/<string>([^<]*)<\/string>/g) {
        ($t = $1) =~ s/&lt;/</g; $t =~ s/&gt;/>/g; $t =~ s/&quot;/"/g; $t =~ s/&amp;/&/g; push @texts, $t;
      }
    } else {
      # Adjacent literals (u"..." u"...") are one text.
      while (/((?:u"(?:[^"\\]|\\.)*"\s*)+)/g) { ($t = $1) =~ s/u"((?:[^"\\]|\\.)*)"\s*/$1/g; push @texts, $t; }
    }
    END { for (@texts) { s/&(?=\w)//g; print "$_\n"; } }' src/app/Messages.h src/app/ControlTable.cpp
}

# 1. One outline.
Outline "$english" >"$scratch/english.outline"
Outline "$chinese" >"$scratch/chinese.outline"
diff -u "$scratch/english.outline" "$scratch/chinese.outline" >&2 ||
  fail "the outlines of $english (-) and $chinese (+) differ"

# 2. Links.
for doc in README.md "$english" "$chinese"; do
  while IFS=$'\t' read -r line target; do
    [[ $target == *://* || $target == mailto:* ]] && continue
    path=${target%%#*}
    fragment=${target#"$path"}
    fragment=${fragment#\#}
    file=$doc
    [[ -z $path ]] || file=$(dirname "$doc")/$path
    [[ -e $file ]] || { fail "$doc:$line: $path does not exist"; continue; }
    [[ -n $fragment ]] || continue
    Anchors "$file" >"$scratch/anchors"
    grep -qxF -- "$fragment" "$scratch/anchors" || fail "$doc:$line: $file has no heading with the anchor #$fragment"
  done < <(Prose "$doc" | perl -CSD -ne '($l, $t) = split /\t/, $_, 2; print "$l\t$1\n" while $t =~ /\]\(([^)\s]+)\)/g')
done

# 3. The window's own words.
WindowTexts >"$scratch/window"
[[ -s $scratch/window ]] || fail "no texts found in src/app/Messages.h and src/app/ControlTable.cpp"
for doc in "$english" README.md; do
  while IFS=$'\t' read -r line span; do
    if [[ $span == *… ]]; then
      grep -qF -- "${span%…}" "$scratch/window" || fail "$doc:$line: no text of the window starts with '${span%…}'"
    else
      grep -qxF -- "$span" "$scratch/window" || fail "$doc:$line: '$span' is not a text of the window"
    fi
  done < <(ChineseBold "$doc")
done
ChineseBold "$chinese" | cut -f2 >"$scratch/chinese.quotes"
while IFS=$'\t' read -r line span; do
  if [[ $span == *… ]]; then
    grep -qF -- "${span%…}" "$scratch/chinese.quotes"
  else
    grep -qxF -- "$span" "$scratch/chinese.quotes"
  fi || fail "$chinese does not quote **$span** ($english:$line does)"
done < <(ChineseBold "$english")

if ((failures > 0)); then
  echo "guides: $failures problem(s)" >&2
  exit 1
fi
echo "guides: ok"
