"""Reads an exported diary the way other programs would, and prints what they see as JSON.

read_export.py html FILE   -> {"articles": [{"date", "weather", "mood", "text", "bold", "red"}],
                               "links": [...], "ids": [...]}   (Python's html.parser)
read_export.py md FILE     -> {"html": ..., "text": ..., "h1": n, "h2": n}  (python3-markdown)
read_export.py odt FILE    -> {"text": ..., "bold": text shown bold, "red": text shown red}
                              (LibreOffice, headless, converts it to HTML)
"""
import html.parser
import json
import os
import re
import subprocess
import sys
import tempfile


class Articles(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.articles, self.links, self.ids = [], [], []
        self.current = None
        self.depth = 0

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if a.get("id"):
            self.ids.append(a["id"])
        if tag == "a" and a.get("href", "").startswith("#"):
            self.links.append(a["href"][1:])
        if tag == "article":
            self.current = {"date": a.get("data-date"), "weather": a.get("data-weather"),
                            "mood": a.get("data-mood"), "text": "", "bold": False, "red": False}
        elif self.current is not None:
            style = (a.get("style") or "").replace(" ", "").lower()
            if "font-weight:700" in style or "font-weight:bold" in style or tag == "b":
                self.current["bold"] = True
            if "color:#ff0000" in style:
                self.current["red"] = True

    def handle_endtag(self, tag):
        if tag == "article" and self.current is not None:
            self.articles.append(self.current)
            self.current = None

    def handle_data(self, data):
        if self.current is not None:
            self.current["text"] += data


class Marked(html.parser.HTMLParser):
    """The text of LibreOffice's HTML, and the parts of it in bold and in red."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.text, self.bold, self.red = "", "", ""
        self.open = []   # (tag, bold, red) of each open element

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        style = (a.get("style") or "").replace(" ", "").lower()
        bold = tag in ("b", "strong") or "font-weight:bold" in style or "font-weight:700" in style
        red = (a.get("color") or "").lower() == "#ff0000" or "color:#ff0000" in style
        if tag not in ("br", "img", "meta", "link"):
            self.open.append((tag, bold, red))

    def handle_endtag(self, tag):
        for i in range(len(self.open) - 1, -1, -1):
            if self.open[i][0] == tag:
                del self.open[i:]
                break

    def handle_data(self, data):
        self.text += data
        if any(bold for _, bold, _ in self.open):
            self.bold += data
        if any(red for _, _, red in self.open):
            self.red += data


def main():
    kind, path = sys.argv[1], sys.argv[2]
    if kind == "html":
        p = Articles()
        with open(path, encoding="utf-8") as f:
            p.feed(f.read())
        p.close()
        out = {"articles": p.articles, "links": p.links, "ids": p.ids}
    elif kind == "md":
        import markdown
        with open(path, encoding="utf-8") as f:
            rendered = markdown.markdown(f.read())
        text = re.sub(r"<[^>]+>", "", rendered)
        out = {"html": rendered, "text": html.unescape(text),
               "h1": rendered.count("<h1>"), "h2": rendered.count("<h2>")}
    else:
        with tempfile.TemporaryDirectory() as work:
            # A profile of its own, so that no running LibreOffice or earlier run is in the way.
            subprocess.run(["soffice", "-env:UserInstallation=file://" + os.path.join(work, "profile"),
                            "--headless", "--convert-to", "html", "--outdir", work, path],
                           check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
            name = os.path.splitext(os.path.basename(path))[0] + ".html"
            with open(os.path.join(work, name), encoding="utf-8") as f:
                content = f.read()
        p = Marked()
        p.feed(content[content.lower().find("<body"):])
        p.close()
        out = {"text": p.text, "bold": p.bold, "red": p.red}
    json.dump(out, sys.stdout, ensure_ascii=False)


main()
