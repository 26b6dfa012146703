"""Turns the user guide's Markdown into one HTML page for the release zip.
Usage: guide-html.py GUIDE.md VERSION > user-guide.html
Uses Debian's python3-markdown; the pictures stay beside it in guide/."""
import sys

import markdown

source, version = sys.argv[1], sys.argv[2]
with open(source, encoding="utf-8") as f:
    body = markdown.markdown(f.read(), extensions=["tables", "fenced_code", "toc"], output_format="html")

print(f"""<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Vesk {version}: user guide</title>
<style>
body {{ font-family: Tahoma, Verdana, sans-serif; max-width: 60em; margin: 2em auto; padding: 0 1em;
        line-height: 1.45; color: #222; }}
code, pre {{ font-family: Consolas, "Courier New", monospace; background: #f3f3f3; }}
pre {{ padding: 0.6em; overflow-x: auto; }}
table {{ border-collapse: collapse; }}
td, th {{ border: 1px solid #ccc; padding: 0.4em; vertical-align: top; }}
img {{ max-width: 100%; }}
</style>
</head>
<body>
<p><small>Vesk {version}</small></p>
{body}
</body>
</html>""")
