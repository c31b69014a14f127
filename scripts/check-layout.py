#!/usr/bin/env python3
"""Checks that the folders of src/ use each other in one direction only.

Each folder has a layer; a file may include headers of its own folder and of
folders in lower layers, never of a folder in its own layer or above. So no
two folders can ever use each other. ARCHITECTURE.md explains the layers.
Prints every include that breaks the rule and exits 1; exits 0 when none does.

usage: check-layout.py [SOURCE_ROOT]
"""
import pathlib
import re
import sys

# Lowest first. Folders in one layer may not include each other.
LAYERS = [
    ["text", "platform"],
    ["diag"],
    ["download"],
    ["atlink"],
    ["discovery"],
    ["cli", "station/model", "station/cfx"],
    ["station/publish"],
    ["station/views", "station/requests"],
    ["station/run"],
    ["station/watch"],
    ["station/commands"],
]

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def folder_of(path):
    """The layered folder holding `path` (relative to src/), or None."""
    parts = pathlib.PurePosixPath(path).parts
    for depth in (2, 1):
        folder = "/".join(parts[:depth])
        for layer in LAYERS:
            if folder in layer:
                return folder
    return None


def layer_of(folder):
    for index, layer in enumerate(LAYERS):
        if folder in layer:
            return index
    return None


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src")
    faults = []
    for source in sorted(root.rglob("*")):
        if source.suffix not in (".h", ".cpp"):
            continue
        relative = source.relative_to(root).as_posix()
        own = folder_of(relative)
        if own is None:
            faults.append(f"{relative}: in no known folder")
            continue
        for included in INCLUDE.findall(source.read_text(encoding="utf-8")):
            other = folder_of(included)
            if other is None or other == own:
                continue
            if layer_of(other) >= layer_of(own):
                faults.append(f"{relative}: includes {included} ({own} may not use {other})")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
