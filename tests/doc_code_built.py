#!/usr/bin/env python3
"""Checks that every code block of a document is an excerpt of a source file the test suite builds or runs.

Usage: doc_code_built.py DOCUMENT SOURCE...

Every fenced code block of DOCUMENT (whatever its info string) must appear, line for line and with its
indentation, as consecutive lines of one of the SOURCE files. A guide whose examples are copied from
programs that are compiled and run cannot show code that no longer compiles.
"""

import re
import sys

FENCE = re.compile(r"^```[^\n]*\n(.*?)^```", re.S | re.M)


def main():
    document, sources = sys.argv[1], sys.argv[2:]
    with open(document, encoding="utf-8") as f:
        blocks = FENCE.findall(f.read())
    texts = {}
    for path in sources:
        with open(path, encoding="utf-8") as f:
            texts[path] = f.read()
    if not blocks:
        print(f"{document}: no code blocks found")
        return 1
    missing = [block for block in blocks if not any(block in text for text in texts.values())]
    for block in missing:
        print(f"{document}: this block is in none of the sources:\n{block}")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
