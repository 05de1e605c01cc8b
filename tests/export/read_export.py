"""Reads an exported diary the way other programs would, and prints what they see as JSON.

read_export.py html FILE   -> {"articles": [{"date", "weather", "mood", "text", "bold", "red"}],
                               "links": [...], "ids": [...]}   (Python's html.parser)
read_export.py md FILE     -> {"html": ..., "text": ..., "h1": n, "h2": n}  (python3-markdown)
read_export.py odt FILE    -> {"text": ..., "bold": bool, "red": bool}      (zipfile, content.xml)
"""
import html.parser
import json
import re
import sys
import zipfile


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
        with zipfile.ZipFile(path) as z:
            content = z.read("content.xml").decode("utf-8")
        text = html.unescape(re.sub(r"<[^>]+>", "", content))
        out = {"text": text,
               "bold": bool(re.search(r'fo:font-weight="(bold|700)"', content)),
               "red": bool(re.search(r'fo:color="#ff0000"', content, re.I))}
    json.dump(out, sys.stdout, ensure_ascii=False)


main()
