#!/usr/bin/env python3
"""Each product folder includes only folders that the top-level CMakeLists.txt adds before it.

The order of add_subdirectory is the order of the layers: the vocabulary below the stages,
the run model below the renderers, the command lines on top. An include of a later folder
is a way back up, which this check refuses, naming the file, the line and both folders.
"""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1])
not_product = {"tests", "bench", "fuzz"}
folders = [f for f in re.findall(r"add_subdirectory\((\w+)\)", (root / "CMakeLists.txt").read_text())
           if f not in not_product]
layer = {folder: position for position, folder in enumerate(folders)}
include = re.compile(r'^\s*#\s*include\s+"(\w+)/')

faults = []
for folder in folders:
    for path in sorted((root / folder).rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        for number, line in enumerate(path.read_text().splitlines(), 1):
            used = include.match(line)
            if used and used.group(1) in layer and layer[used.group(1)] > layer[folder]:
                faults.append(f"{path.relative_to(root)}:{number}: {folder}/ includes {used.group(1)}/, "
                              "which the top-level CMakeLists.txt adds after it")

if len(folders) < 10:
    faults.append(f"found only {len(folders)} product folders in CMakeLists.txt: {folders}")
print("\n".join(faults) if faults else f"{len(folders)} folders, each above the ones it uses")
sys.exit(1 if faults else 0)
