#!/usr/bin/python3
"""Checks the XML scanner against expat (the parser under Python's
xml.etree) over every XML part of every workbook in a folder.

    xml_corpus.py --dump build/dev/tests/platform/data/xlsx/xml_dump [FOLDER]

FOLDER defaults to ../shared/corpus/xlsx beside the repository. Each part
whose name ends in .xml, .rels or .vml is read by both: accepted by both
with the same tokens (element names as written, attributes, text), refused
by both, or different: refused by one only, or other tokens. Exits 1 when
the scanner accepts a part expat refuses, or both accept it with other
tokens.
"""
import argparse
import collections
import json
import os
import subprocess
import sys
import tempfile
import zipfile
from xml.parsers import expat

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))))
EXTENSIONS = (".xml", ".rels", ".vml")


def expat_tokens(data):
    """The tokens expat gives, or ("error", text). Accepted only when the
    namespace-aware parser (as xml.etree uses it) accepts too."""
    try:
        checker = expat.ParserCreate(namespace_separator=" ")
        checker.Parse(data, True)
    except expat.ExpatError as e:
        return ("error", str(e))
    tokens, text = [], []

    def flush():
        if text:
            tokens.append(("T", "".join(text)))
            text.clear()

    def start(name, attributes):
        flush()
        tokens.append(("S", name))
        for i in range(0, len(attributes), 2):
            tokens.append(("A", attributes[i], attributes[i + 1]))

    def end(name):
        flush()
        tokens.append(("E", name))

    parser = expat.ParserCreate()
    parser.ordered_attributes = True
    parser.StartElementHandler = start
    parser.EndElementHandler = end
    parser.CharacterDataHandler = text.append
    parser.Parse(data, True)
    flush()
    return ("ok", tokens)


def parse_dump(output):
    """Sections of xml_dump's output by path: ("ok", tokens) or ("error", text)."""
    result = {}
    path = None
    for line in output.split("\n"):
        if line.startswith("== "):
            path = line[3:]
            result[path] = ("ok", [])
        elif line.startswith("!! "):
            result[path] = ("error", line[3:])
        elif line:
            kind, rest = line[0], line[2:]
            tokens = result[path][1]
            if kind == "T":
                tokens.append(("T", json.loads(rest)))
            elif kind == "A":
                name, value = rest.split(" ", 1)
                tokens.append(("A", name, json.loads(value)))
            else:
                tokens.append((kind, rest))
    return result


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return "token %d: %r vs expat %r" % (i, x, y)
    return "%d tokens vs expat %d" % (len(a), len(b))


def check_workbook(dump, path, folder):
    try:
        archive = zipfile.ZipFile(path)
    except (zipfile.BadZipFile, OSError):
        return []
    parts = []
    for index, info in enumerate(archive.infolist()):
        if not info.filename.lower().endswith(EXTENSIONS):
            continue
        try:
            data = archive.read(info)
        except Exception:  # a damaged entry: the ZIP layer's business
            continue
        file = os.path.join(folder, "%d.xml" % index)
        with open(file, "wb") as f:
            f.write(data)
        parts.append((info.filename, file, data))
    if not parts:
        return []
    output = subprocess.run([dump] + [p[1] for p in parts], capture_output=True, timeout=120).stdout
    ours = parse_dump(output.decode("utf-8", "replace"))
    results = []
    for name, file, data in parts:
        results.append((name, ours.get(file, ("error", "no output (crash?)")), expat_tokens(data)))
    return results


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--dump", required=True)
    parser.add_argument("folder", nargs="?")
    args = parser.parse_args()
    if args.folder is None:
        for up in ("..", os.path.join("..", "..")):
            args.folder = os.path.normpath(os.path.join(ROOT, up, "shared", "corpus", "xlsx"))
            if os.path.isdir(args.folder):
                break
    counts = collections.Counter()
    details = collections.defaultdict(list)
    files = sorted(os.listdir(args.folder))
    for f in files:
        with tempfile.TemporaryDirectory() as scratch:
            for name, ours, theirs in check_workbook(args.dump, os.path.join(args.folder, f), scratch):
                where = "%s:%s" % (f, name)
                if ours[0] == "ok" and theirs[0] == "ok":
                    if ours[1] == theirs[1]:
                        counts["accepted by both, same tokens"] += 1
                    else:
                        counts["accepted by both, other tokens"] += 1
                        details["other tokens"].append("%s: %s" % (where, first_difference(ours[1], theirs[1])))
                elif ours[0] == "error" and theirs[0] == "error":
                    counts["refused by both"] += 1
                    details["refused by both"].append("%s: %s | expat: %s" % (where, ours[1], theirs[1]))
                elif ours[0] == "error":
                    counts["refused by us only"] += 1
                    details["refused by us only"].append("%s: %s" % (where, ours[1]))
                else:
                    counts["accepted by us only"] += 1
                    details["accepted by us only"].append("%s: expat: %s" % (where, theirs[1]))
    print("workbooks: %d, XML parts: %d" % (len(files), sum(counts.values())))
    for kind in ("accepted by both, same tokens", "accepted by both, other tokens", "refused by both",
                 "refused by us only", "accepted by us only"):
        print("%-32s %d" % (kind, counts[kind]))
        for line in details[kind.split(",")[-1].strip() if "other" in kind else kind][:40]:
            print("    " + line)
    return 1 if counts["accepted by us only"] or counts["accepted by both, other tokens"] else 0


if __name__ == "__main__":
    sys.exit(main())
