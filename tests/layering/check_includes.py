#!/usr/bin/env python3
"""Checks every folder's includes against the order docs/architecture.md gives.

The page's table "What each folder may include" names, for each folder of the product, the folders
it may include from; a folder may always include itself. Every quoted include of every source file
under those folders is resolved to the file it names, and the folder that owns that file must be the
including folder or one it may include from. With --views, the include views the build gives each
layer (one line "target: folder folder ...") must grant exactly what the table allows, so the
build and the page cannot drift apart either.

Exit 0 when everything agrees; otherwise one line per fault and exit 1.
"""
import argparse
import pathlib
import re
import sys

TABLE_HEADING = "## What each folder may include"
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
SOURCES = {".h", ".hpp", ".cpp", ".c"}
# Public headers are included by their installed name ("ralvex/bridge.h"); these folders hold them.
PUBLIC_INCLUDE_DIRS = ["bridge/include", "basetypes/include"]


def read_table(page):
    """The table under TABLE_HEADING as {folder: set of folders it may include from}."""
    text = page.read_text(encoding="utf-8")
    start = text.find(TABLE_HEADING)
    if start < 0:
        sys.exit(f"{page}: no section '{TABLE_HEADING}'")
    rows = {}
    for line in text[start:].splitlines()[1:]:
        if line.startswith("## "):
            break
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) != 2 or not cells[0].startswith("`"):
            continue
        folder = cells[0].strip("`")
        rows[folder] = set(re.findall(r"`([^`]+)`", cells[1]))
    if not rows:
        sys.exit(f"{page}: the table under '{TABLE_HEADING}' has no rows")
    return rows


def owner(path, folders):
    """The most specific folder of the table that holds path (relative to the root), or None."""
    best = None
    for folder in folders:
        if path == folder or path.startswith(folder + "/"):
            if best is None or len(folder) > len(best):
                best = folder
    return best


def resolve(root, name):
    """The file an include names, relative to the root, or None for one outside the tree."""
    for base in [""] + [d + "/" for d in PUBLIC_INCLUDE_DIRS]:
        if (root / (base + name)).is_file():
            return base + name
    return None


def check_sources(root, rows):
    faults = []
    for folder in sorted(rows):
        for source in sorted((root / folder).rglob("*")):
            if source.suffix not in SOURCES:
                continue
            rel = source.relative_to(root).as_posix()
            including = owner(rel, rows)
            if including != folder:
                continue  # a more specific row covers this file
            text = source.read_text(encoding="utf-8", errors="replace")
            for match in INCLUDE.finditer(text):
                target = resolve(root, match.group(1))
                included = owner(target, rows) if target else None
                if included is None or included == including or included in rows[including]:
                    continue
                line = text.count("\n", 0, match.start()) + 1
                allowed = ", ".join(sorted(rows[including])) or "nothing"
                faults.append(f"{rel}:{line}: includes {match.group(1)} from {included}/, "
                              f"but {including}/ may include only from: {allowed}")
    return faults


def check_views(views, rows):
    """Each line: "target: own-folder other-folders..."; the grant must be what the table allows."""
    faults = []
    for line in views.read_text(encoding="utf-8").splitlines():
        target, _, folders = line.partition(":")
        folders = folders.split()
        if not folders:
            continue
        own = folders[0]
        if own not in rows:
            faults.append(f"layer {target}: its folder {own}/ has no row in the table")
            continue
        # Sub-folders are reached through their parent's link, so only top folders are compared;
        # the base types come to every layer as an include directory, not as a view link.
        allowed = {f for f in rows[own] | {own} if "/" not in f and f != "basetypes"}
        granted = {f for f in folders if "/" not in f}
        if granted != allowed:
            faults.append(f"layer {target}: the build grants {sorted(granted)}, "
                          f"the table allows {sorted(allowed)}")
    return faults


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("root", type=pathlib.Path, help="the source tree")
    parser.add_argument("--views", type=pathlib.Path, help="the build's include-view list")
    args = parser.parse_args()
    rows = read_table(args.root / "docs" / "architecture.md")
    faults = check_sources(args.root, rows)
    if args.views:
        faults += check_views(args.views, rows)
    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} include(s) break the documented layering")
        return 1
    print(f"includes of {len(rows)} folders follow the documented layering")
    return 0


if __name__ == "__main__":
    sys.exit(main())
