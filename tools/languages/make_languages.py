#!/usr/bin/env python3
# Writes the built-in language tables resources/languages/*.xml and resources/languages.rc from the text
# modules beside this script (english.py holds every id in file order; each translation module holds NAME,
# CREDITS and TEXTS, a dict id -> text, and its own ids follow English's order).
#   python3 tools/languages/make_languages.py
import importlib
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)

# module, resource id
LANGUAGES = [
    ("english", 293),
    ("polish", 291),
    ("german", 296),
    ("russian", 298),
    ("finnish", 299),
    ("chinese", 301),
    ("hebrew", 302),
    ("japanese", 303),
    ("swedish", 307),
    ("french", 308),
]


def attr(text):
    return (text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;"))


def content(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def main():
    english = importlib.import_module("english")
    order = [i for i, _ in english.TEXTS]
    out_dir = os.path.join(ROOT, "resources", "languages")
    os.makedirs(out_dir, exist_ok=True)
    rc = ["// The built-in language tables (resource type TEXT), written by tools/languages/make_languages.py.", ""]
    for module_name, resource in LANGUAGES:
        try:
            module = importlib.import_module(module_name)
        except ModuleNotFoundError:
            continue
        texts = dict(module.TEXTS) if isinstance(module.TEXTS, list) else module.TEXTS
        unknown = set(texts) - set(order)
        if unknown:
            sys.exit("%s: ids that English lacks: %s" % (module_name, sorted(unknown)))
        lines = ['<?xml version="1.0" encoding="utf-8"?>', '<localization name="%s">' % attr(module.NAME)]
        for id_ in order:
            if id_ in texts:
                lines.append('  <entry id="%s" text="%s"/>' % (attr(id_), attr(texts[id_])))
        lines.append("  <copyright>%s</copyright>" % content(module.CREDITS))
        lines.append("</localization>")
        with open(os.path.join(out_dir, module_name + ".xml"), "w", encoding="utf-8", newline="\n") as f:
            f.write("\n".join(lines) + "\n")
        rc.append('%d TEXT "resources/languages/%s.xml"' % (resource, module_name))
    with open(os.path.join(ROOT, "resources", "languages.rc"), "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(rc) + "\n")


if __name__ == "__main__":
    main()
