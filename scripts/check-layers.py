#!/usr/bin/env python3
"""Checks that every folder of src/ includes only itself and the layers below it.

    scripts/check-layers.py [src folder]

Layers, bottom to top; folders of one rank stand beside each other and do not include each other.
Prints each include that breaks the order and exits 1 if there is one."""
import os
import re
import sys

LAYERS = [
    ["platform"],
    ["json"],
    ["store"],
    ["probe", "savings", "sessions", "services"],
    ["switching"],
    ["panel"],
    ["tray", "cli"],
    ["main.cpp"],
]
RANK = {folder: rank for rank, folders in enumerate(LAYERS) for folder in folders}
INCLUDE = re.compile(r'^\s*#\s*(?:include|import)\s+"([^"]+)"', re.M)


def main():
    src = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "src")
    faults = []
    for directory, _, names in os.walk(src):
        for name in names:
            if not name.endswith((".cpp", ".h", ".mm")):
                continue
            path = os.path.join(directory, name)
            relative = os.path.relpath(path, src)
            folder = relative.split(os.sep)[0]
            if folder not in RANK:
                faults.append(f"{relative}: folder '{folder}' has no layer")
                continue
            with open(path, encoding="utf-8") as source:
                text = source.read()
            for match in INCLUDE.finditer(text):
                target = match.group(1)
                line = text.count("\n", 0, match.start()) + 1
                if "/" not in target:
                    if not target.endswith(".moc"):
                        faults.append(f"{relative}:{line}: \"{target}\" names no layer (write \"folder/{target}\")")
                    continue
                used = target.split("/")[0]
                if used not in RANK:
                    faults.append(f"{relative}:{line}: \"{target}\" is in no layer")
                elif used != folder and RANK[used] >= RANK[folder]:
                    faults.append(f"{relative}:{line}: {folder} includes \"{target}\" from a layer not below it")
    for fault in sorted(faults):
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
