#!/usr/bin/env python3
"""Turns one of the guides into a standalone HTML page for the Windows package, where pandoc is not there.

It knows what the guides use: headings (with the anchors their links point at), paragraphs, bullet and numbered
lists (nested by indentation, with paragraphs, tables and pictures inside items), tables, pictures, code blocks,
inline code, bold, italics and links. Links to another .md file go to its .html.
    markdown_to_html.py GUIDE.md OUT.html
"""
import html
import re
import sys
import unicodedata
from pathlib import Path


def anchor(title):
    # As the guides' own links spell them: lower case, punctuation dropped, spaces as hyphens.
    text = re.sub(r"`([^`]*)`", r"\1", title).strip().lower()
    text = "".join(c for c in text if c in " -_" or unicodedata.category(c)[0] in "LN")
    return text.replace(" ", "-")


def href(target):
    return re.sub(r"\.md(?=#|$)", ".html", target)


def inline(text):
    parts = re.split(r"(`[^`]+`)", text)
    out = []
    for part in parts:
        if part.startswith("`") and part.endswith("`") and len(part) > 1:
            out.append(f"<code>{html.escape(part[1:-1])}</code>")
            continue
        part = html.escape(part, quote=False)
        part = re.sub(r"\\([\\`*_{}\[\]()#+\-.!|])", lambda m: f"&#{ord(m.group(1))};", part)
        part = re.sub(r"!\[([^\]]*)\]\(([^)\s]+)\)", r'<img src="\2" alt="\1">', part)
        part = re.sub(r"\[([^\]]+)\]\(([^)\s]+)\)", lambda m: f'<a href="{href(m.group(2))}">{m.group(1)}</a>', part)
        part = re.sub(r"\*\*([^*]+)\*\*", r"<strong>\1</strong>", part)
        part = re.sub(r"(?<![\w*])\*([^*\s][^*]*)\*(?![\w*])", r"<em>\1</em>", part)
        out.append(part)
    return "".join(out)


def table(rows):
    cells = [[c.strip() for c in row.strip().strip("|").split("|")] for row in rows]
    head, body = cells[0], cells[2:]
    out = ["<table>", "<thead><tr>" + "".join(f"<th>{inline(c)}</th>" for c in head) + "</tr></thead>", "<tbody>"]
    out += ["<tr>" + "".join(f"<td>{inline(c)}</td>" for c in row) + "</tr>" for row in body]
    return out + ["</tbody>", "</table>"]


def blocks(lines):
    """Block-level HTML of lines that share one indentation (already removed)."""
    out = []
    i = 0
    while i < len(lines):
        line = lines[i]
        if not line.strip():
            i += 1
        elif line.startswith("```"):
            j = i + 1
            while j < len(lines) and not lines[j].startswith("```"):
                j += 1
            out.append("<pre><code>" + html.escape("\n".join(lines[i + 1:j])) + "</code></pre>")
            i = j + 1
        elif m := re.match(r"(#{1,6})\s+(.*)", line):
            level, title = len(m.group(1)), m.group(2).strip()
            out.append(f'<h{level} id="{anchor(title)}">{inline(title)}</h{level}>')
            i += 1
        elif line.lstrip().startswith("|"):
            j = i
            while j < len(lines) and lines[j].lstrip().startswith("|"):
                j += 1
            out += table(lines[i:j])
            i = j
        elif re.match(r"(\d+\.|[-*])\s", line):
            ordered = line[0].isdigit()
            items = []
            while i < len(lines):
                m = re.match(r"(\d+\.|[-*])\s+(.*)", lines[i])
                if not m or m.group(1)[0].isdigit() != ordered:
                    break
                width = len(lines[i]) - len(m.group(2))
                item = [m.group(2)]
                i += 1
                # The item goes on over lines indented at least as far as its text, and blank lines between.
                while i < len(lines) and (not lines[i].strip() or lines[i].startswith(" " * width)):
                    if not lines[i].strip() and (i + 1 >= len(lines) or not lines[i + 1].startswith(" " * width)):
                        break
                    item.append(lines[i][width:])
                    i += 1
                while i < len(lines) and not lines[i].strip():
                    i += 1
                items.append(item)
            tag = "ol" if ordered else "ul"
            out.append(f"<{tag}>")
            for item in items:
                inner = blocks(item)
                if len(inner) == 1 and inner[0].startswith("<p>"):
                    inner = [inner[0][3:-4]]
                out.append("<li>" + "\n".join(inner) + "</li>")
            out.append(f"</{tag}>")
        else:
            j = i
            while j < len(lines) and lines[j].strip() and not re.match(r"(#{1,6}\s|\||```|(\d+\.|[-*])\s)",
                                                                        lines[j].lstrip()):
                j += 1
            j = max(j, i + 1)
            out.append("<p>" + inline(" ".join(l.strip() for l in lines[i:j])) + "</p>")
            i = j
    return out


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    source = Path(sys.argv[1]).read_text(encoding="utf-8")
    lines = source.splitlines()
    title = next((l[2:].strip() for l in lines if l.startswith("# ")), "Kestrion")
    language = "zh-CN" if ".zh_CN." in sys.argv[1] else "en"
    body = "\n".join(blocks(lines))
    page = f"""<!DOCTYPE html>
<html lang="{language}">
<head>
<meta charset="utf-8">
<title>{html.escape(title)}</title>
<style>
body {{ font-family: "Microsoft YaHei", "Segoe UI", sans-serif; max-width: 60em; margin: 2em auto; padding: 0 1em;
       line-height: 1.5; }}
table {{ border-collapse: collapse; margin: 1em 0; }}
th, td {{ border: 1px solid #bbb; padding: 0.3em 0.6em; text-align: left; vertical-align: top; }}
code, pre {{ font-family: Consolas, monospace; background: #f4f4f4; }}
pre {{ padding: 0.6em; overflow-x: auto; }}
img {{ max-width: 100%; }}
</style>
</head>
<body>
{body}
</body>
</html>
"""
    Path(sys.argv[2]).write_text(page, encoding="utf-8")


if __name__ == "__main__":
    main()
