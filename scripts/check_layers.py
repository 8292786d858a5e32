#!/usr/bin/env python3
"""Checks the product's include graph against its floors.

Every folder under src/ stands on a floor. A file may include headers of its own folder, of folders on
a lower floor, and of folders beside it on the same floor, but never of a folder on a higher floor;
and the folders' include graph has no cycle (two folders on one floor may not include each other,
directly or round about). Exits non-zero and names every offending include.

Usage: check_layers.py [src folder]   (default: the src/ beside this script's folder)
       check_layers.py --self-test      (the checker finds an upward include and a cycle)
"""
import contextlib
import io
import pathlib
import re
import sys
import tempfile

# Top floor first. The engine drives the stages; the stages use the services; everything stands on
# the shared basics and the platform seam.
FLOORS = [
    ["engine"],
    ["games", "motion", "serial", "wind"],
    ["filter", "simclient", "net"],
    ["basics", "log"],
    ["platform"],
]
FLOOR_OF = {folder: len(FLOORS) - level for level, floor in enumerate(FLOORS) for folder in floor}
INCLUDE = re.compile(r'^[ \t]*#[ \t]*include[ \t]+"([^"/]+)/[^"]+"', re.MULTILINE)


def folder_edges(src):
    """{(from folder, to folder): [file:line ...]} for every include between two folders."""
    edges = {}
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp") or not path.is_file():
            continue
        folder = path.relative_to(src).parts[0]
        text = path.read_text(encoding="utf-8", errors="replace")
        for match in INCLUDE.finditer(text):
            target = match.group(1)
            if target == folder:
                continue
            line = text.count("\n", 0, match.start()) + 1
            edges.setdefault((folder, target), []).append(f"{path.relative_to(src.parent)}:{line}")
    return edges


def find_cycle(edges):
    """One folder cycle as a list of folders, or None."""
    graph = {}
    for source, target in edges:
        graph.setdefault(source, set()).add(target)
    state = {}

    def visit(node, trail):
        # Depth first; the folders still open are exactly those on the trail.
        state[node] = "open"
        for nxt in sorted(graph.get(node, ())):
            if state.get(nxt) == "open":
                return trail[trail.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt, trail + [nxt])
                if found:
                    return found
        state[node] = "done"
        return None

    for start in sorted(graph):
        if start not in state:
            found = visit(start, [start])
            if found:
                return found
    return None


def self_test():
    """The checker must fail a tree with an upward include, and one with a cycle beside, and pass a clean one."""
    trees = {
        "clean": {"engine/a.cpp": '#include "games/b.h"', "games/b.h": '#include "basics/c.h"', "basics/c.h": ""},
        "upward": {"engine/a.cpp": "", "basics/c.h": '#include "engine/a.h"'},
        "cycle": {"games/b.h": '#include "motion/d.h"', "motion/d.h": '#include "games/b.h"'},
        "stray": {"extra/e.h": ""},
    }
    outcomes = {}
    for name, files in trees.items():
        with tempfile.TemporaryDirectory() as root:
            src = pathlib.Path(root) / "src"
            for relative, text in files.items():
                path = src / relative
                path.parent.mkdir(parents=True, exist_ok=True)
                path.write_text(text + "\n")
            with contextlib.redirect_stdout(io.StringIO()):
                outcomes[name] = check(src)
    expected = {"clean": 0, "upward": 1, "cycle": 1, "stray": 1}
    print(f"self-test: {outcomes}")
    return 0 if outcomes == expected else 1


def main():
    if sys.argv[1:] == ["--self-test"]:
        return self_test()
    src = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parents[1] / "src"
    return check(src)


def check(src):
    folders = {p.name for p in src.iterdir() if p.is_dir()}
    faults = []
    for folder in sorted(folders - FLOOR_OF.keys()):
        faults.append(f"src/{folder}/ stands on no floor: add it to FLOORS in {pathlib.Path(__file__).name}")
    edges = folder_edges(src)
    for (source, target), places in sorted(edges.items()):
        if target not in FLOOR_OF or source not in FLOOR_OF:
            continue
        if FLOOR_OF[target] > FLOOR_OF[source]:
            for place in places:
                faults.append(f"{place}: {source}/ includes {target}/, a floor above it")
    cycle = find_cycle(edges)
    if cycle:
        faults.append("folder cycle: " + " -> ".join(cycle))
    for fault in faults:
        print(fault)
    if faults:
        return 1
    allowed = sorted({f"{s} -> {t}" for s, t in edges})
    print(f"include layers: {len(folders)} folders, {len(allowed)} folder dependencies, all downward or beside")
    return 0


if __name__ == "__main__":
    sys.exit(main())
