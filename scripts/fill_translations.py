#!/usr/bin/env python3
"""Fills unfinished entries of the English .ts from a JSON map of source text to English."""
import json
import re
import sys

ts_path, map_path = sys.argv[1], sys.argv[2]
english = json.load(open(map_path, encoding="utf-8"))
text = open(ts_path, encoding="utf-8").read()


def escape(s):
    return s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def fill(match):
    source = match.group(1)
    plain = source.replace("&lt;", "<").replace("&gt;", ">").replace("&amp;", "&")
    if plain not in english:
        return match.group(0)
    return f"<source>{source}</source>\n        <translation>{escape(english[plain])}</translation>"


text = re.sub(r'<source>([^<]*)</source>\s*<translation type="unfinished">\s*</translation>', fill, text, flags=re.S)
open(ts_path, "w", encoding="utf-8").write(text)
left = len(re.findall(r'type="unfinished"', text))
print(f"unfinished entries left: {left}")
