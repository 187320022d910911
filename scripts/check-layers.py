#!/usr/bin/env python3
"""Checks the include graph between the folders of src/ (and tools/): every
quoted include of another folder points to a lower layer, so the graph has
no cycle and no arrow up. Prints each offending include; exit status 1 when
there is one. Usage: check-layers.py [SOURCE_ROOT]"""

import pathlib
import re
import sys

# Lower numbers are lower layers. A folder may include its own layer's
# headers only from itself, and any folder of a lower layer.
LAYERS = {
    "common": 0,
    "framework": 1,
    "package": 1,
    "products": 1,
    "ui": 2,
    "update": 3,
    "app": 4,
    "tools": 5,
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z]+)/', re.M)


def offences(root):
    for folder, rank in LAYERS.items():
        base = root / ("tools" if folder == "tools" else "src/" + folder)
        for path in sorted(base.rglob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            for target in INCLUDE.findall(path.read_text(errors="replace")):
                if target == folder or target not in LAYERS:
                    continue
                if LAYERS[target] >= rank:
                    yield f"{path.relative_to(root)}: includes {target}/ (layer {LAYERS[target]}) from {folder}/ (layer {rank})"


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent)
    found = list(offences(root))
    for line in found:
        print(line)
    if not found:
        print("layers: every include points down")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
