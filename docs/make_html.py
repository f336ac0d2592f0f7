"""Turns the Markdown user guide into one self-contained HTML page:
    python3 make_html.py SOURCE.md TARGET.html"""
import html
import sys

import markdown

STYLE = """
body { font-family: sans-serif; max-width: 52em; margin: 2em auto; padding: 0 1em; line-height: 1.5; color: #222; }
h1, h2, h3 { color: #1f4e79; }
h2 { border-bottom: 1px solid #ccd; padding-bottom: .2em; margin-top: 2em; }
code, pre { background: #f2f4f7; border-radius: 3px; }
code { padding: 0 .25em; }
pre { padding: .6em; overflow-x: auto; }
table { border-collapse: collapse; margin: 1em 0; }
th, td { border: 1px solid #bbc; padding: .25em .6em; text-align: left; vertical-align: top; }
th { background: #e8edf3; }
.toc { background: #f7f8fa; border: 1px solid #dde; padding: .5em 1.5em; }
"""

source, target = sys.argv[1], sys.argv[2]
with open(source, encoding="utf-8") as f:
    text = f.read()
converter = markdown.Markdown(extensions=["tables", "fenced_code", "toc"])
body = converter.convert(text)
title = text.splitlines()[0].lstrip("# ").strip() if text else "User guide"
page = f"""<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>{html.escape(title)}</title>
<style>{STYLE}</style>
</head>
<body>
{body}
</body>
</html>
"""
with open(target, "w", encoding="utf-8") as f:
    f.write(page)
