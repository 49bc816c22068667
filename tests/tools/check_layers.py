#!/usr/bin/env python3
"""Checks that every #include "..." of the product points down the layers.

Lowest first: platform <- core <- list, install, download <- run <- ui <- app.
A folder may include its own headers and those of lower layers; folders of the
same layer may include each other as long as no circle forms between them.
Prints each offending include as FILE:LINE and exits 1.
"""
import os
import re
import sys

RANKS = {"platform": 0, "core": 1, "list": 2, "install": 2, "download": 2, "run": 3, "ui": 4, "app": 5}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def includes(root):
    for layer in RANKS:
        for folder, _, names in os.walk(os.path.join(root, layer)):
            for name in sorted(names):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(folder, name)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if m:
                            target = m.group(1).split("/")[0]
                            if target in RANKS:
                                yield os.path.relpath(path, root), number, layer, target


def find_circle(edges):
    """A list of folders forming a circle in the edge map, or None."""
    state = {}

    def visit(node, trail):
        state[node] = "open"
        for nxt in sorted(edges.get(node, {})):
            if state.get(nxt) == "open":
                return trail[trail.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt, trail + [nxt])
                if found:
                    return found
        state[node] = "done"
        return None

    for start in sorted(edges):
        if start not in state:
            found = visit(start, [start])
            if found:
                return found
    return None


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", ".."))
    errors = []
    edges = {}
    for path, number, layer, target in includes(root):
        if target == layer:
            continue
        if RANKS[target] > RANKS[layer]:
            errors.append(f"{path}:{number}: {layer}/ includes {target}/, a higher layer")
        elif RANKS[target] == RANKS[layer]:
            edges.setdefault(layer, {}).setdefault(target, f"{path}:{number}")
    circle = find_circle(edges)
    if circle:
        for a, b in zip(circle, circle[1:]):
            errors.append(f"{edges[a][b]}: {a}/ includes {b}/, part of the circle {' -> '.join(circle)}")
    for e in errors:
        print(e)
    if errors:
        print(f"check_layers: {len(errors)} include(s) against the layer order", file=sys.stderr)
        return 1
    print("check_layers: every include points down")
    return 0


if __name__ == "__main__":
    sys.exit(main())
