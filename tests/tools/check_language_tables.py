#!/usr/bin/env python3
"""Check the built-in translation tables against tests/data/language_keys.txt.

Usage: check_language_tables.py REPO_ROOT
Exit code 0 when both tables are consistent, 1 otherwise.
"""
import re
import sys
from pathlib import Path

TABLES = [  # file, target code page, expected translation of "renewkit.lan"
    ("resources/lang/chinese_simplified.lan", "gbk", "renewkitcn.lan"),
    ("resources/lang/chinese_traditional.lan", "big5", "renewkitbig.lan"),
]
SECTIONS = {"MAIN", "TRYICON"}
PLACEHOLDER = re.compile(r"%[-+ #0]*\d*(?:\.\d+)?(?:l|ll|h|I64)?[a-zA-Z%]")
# Texts that the program replaces inside the translated string, so they must survive.
KEPT_LITERALS = ["renewkit.ini", "2.0", "1.0"]


def parse(path, codec, errors):
    entries, section = [], None
    for no, raw in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        where = f"{path.name}:{no}"
        try:
            size = len(raw.encode(codec, errors="strict"))
        except UnicodeEncodeError as e:
            errors.append(f"{where}: {raw[e.start:e.end]!r} cannot be encoded as {codec}")
            continue
        if size > 1000:
            errors.append(f"{where}: line is {size} bytes after encoding (limit 1000)")
        line = raw.rstrip(" \t")
        if not line or line[0] in ";'" or line.startswith("//") or line.startswith("\\\\"):
            continue
        if line != raw:
            errors.append(f"{where}: trailing blanks would be stripped")
        if len(line) < 4:
            errors.append(f"{where}: line shorter than 4 characters is ignored by the loader")
            continue
        if line[0] == "[" and line[-1] == "]":
            section = line[1:-1]
            if section not in SECTIONS:
                errors.append(f"{where}: unknown section [{section}]")
            continue
        if section is None or "=" not in line:
            errors.append(f"{where}: line outside a section or without '='")
            continue
        key, text = line.split("=", 1)
        entries.append((section, key, text, where))
    return entries


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip())
        return 2
    root = Path(sys.argv[1])
    errors = []
    expected = []
    for no, line in enumerate((root / "tests/data/language_keys.txt").read_text(encoding="utf-8").splitlines(), 1):
        if line:
            parts = line.split("\t", 1)
            if len(parts) != 2 or parts[0] not in SECTIONS:
                errors.append(f"language_keys.txt:{no}: expected SECTION<TAB>key")
            else:
                expected.append(tuple(parts))
    if len(set(expected)) != len(expected):
        errors.append("language_keys.txt: duplicate entries")

    for rel, codec, lan_name in TABLES:
        entries = parse(root / rel, codec, errors)
        seen = set()
        for section, key, text, where in entries:
            if (section, key) in seen:
                errors.append(f"{where}: duplicate key {key!r} in [{section}]")
            seen.add((section, key))
            if not text:
                errors.append(f"{where}: empty translation for {key!r}")
            if PLACEHOLDER.findall(key) != PLACEHOLDER.findall(text):
                errors.append(f"{where}: placeholders of {key!r} differ in translation {text!r}")
            for lit in KEPT_LITERALS:
                if key.count(lit) != text.count(lit):
                    errors.append(f"{where}: {lit!r} must appear in the translation as in the key")
            if key == "renewkit.lan" and text != lan_name:
                errors.append(f"{where}: 'renewkit.lan' must translate to {lan_name!r}")
        name = Path(rel).name
        for section, key in sorted(set(expected) - seen):
            errors.append(f"{name}: missing [{section}] {key!r}")
        for section, key in sorted(seen - set(expected)):
            errors.append(f"{name}: [{section}] {key!r} is not in language_keys.txt")

    for e in errors:
        print("ERROR:", e)
    if errors:
        print(f"{len(errors)} problem(s) found")
        return 1
    counts = {s: sum(1 for k in expected if k[0] == s) for s in sorted(SECTIONS)}
    print("language tables OK:", ", ".join(f"{s} {n} keys" for s, n in counts.items()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
