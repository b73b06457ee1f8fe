#!/usr/bin/env python3
"""Each machine option's key is spelled in at most two product files: the
machine's description and at most one more (a view that draws the option's
hardware, say). Everything else reads the options from the description, so
that a new option needs no new plumbing. Tests, docs and JSON schemas do not
count.

A key counts where a file spells it as the option: quoted ("flush" or
'flush'), as a flag (--flush), or in a page script as a property or a
name ({ flush }, machine.flush, flush: true, id="flush").

Usage: option_keys.py SOURCE_DIR"""
import pathlib
import re
import sys

PRODUCT = ["common", "isa", "loader", "energy", "vocabulary", "stages", "core", "trace", "run", "shell",
           "record", "report", "exercise", "grade", "commands", "web"]
DESCRIPTION = pathlib.Path("vocabulary/MachineDescription.h")
MOST = 2


def patterns(key):
    k = re.escape(key)
    anywhere = [rf'"{k}"', rf"'{k}'", rf"--{k}(?![\w-])"]
    script = [rf"(?<![\w-])\.{k}\b", rf"(?<![\w.-]){k}\s*:(?!:)", rf"[{{,]\s*{k}\s*[,}}]", rf"\bid={k}\b"]
    return [re.compile(p) for p in anywhere], [re.compile(p) for p in script]


def spells(path, text, key):
    anywhere, script = patterns(key)
    found = anywhere + (script if path.suffix in (".js", ".mjs", ".html") else [])
    return any(p.search(text) for p in found)


def product_files(root):
    for folder in PRODUCT:
        for path in sorted((root / folder).rglob("*")):
            if path.is_file() and not path.name.endswith((".schema.json", ".md")):
                yield path


def main():
    root = pathlib.Path(sys.argv[1])
    keys = re.findall(r'\.(?:key|flagName) = "([\w-]+)"', (root / DESCRIPTION).read_text())
    if not keys:
        print(f"no option keys found in {DESCRIPTION}")
        return 1
    texts = {path.relative_to(root): path.read_text(errors="replace") for path in product_files(root)}
    failed = 0
    for key in keys:
        files = [path for path, text in texts.items() if spells(path, text, key)]
        if DESCRIPTION not in files:
            print(f"{key}: the pattern misses the description itself")
            failed += 1
        elif len(files) > MOST:
            print(f"{key} is spelled in {len(files)} product files, at most {MOST}: " +
                  ", ".join(str(f) for f in files))
            failed += 1
        else:
            print(f"{key}: " + ", ".join(str(f) for f in files))
    print(f"{len(keys) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
