#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target into the folder given.

Seeds are small valid inputs of each format plus a few near misses, so that
the fuzzer starts from the shapes the library really reads.
"""
import os
import sys


def settings_seeds():
    yield "empty", b""
    yield "typical", (b"[General]\nVersion=2.0\n\n[Language]\nIndex=en_UK\n\n"
                      b"[ColorManagement]\nEqualPolicy=1\nMissingPolicy=0\n\n"
                      b"[Batch]\nPath\\Input=/home/user/pictures\n")
    yield "variants", (b"[General]\nVersion=@Invalid()\nList=a, b, \"c d\"\n"
                       b"Bytes=@ByteArray(\\0\\x1\\xff)\nVariant=@Variant(\\0\\0\\0\\x7f)\n"
                       b"Size=@Size(10 20)\nRect=@Rect(1 2 3 4)\n")
    yield "escapes", b"[%U4E2D]\nkey\\x20name=\"quoted \\\"value\\\"\"\n;comment\n#other\n"
    yield "broken", b"[unterminated\n=novalue\nkey=\"open quote\n\\\\\\\n"


TARGETS = {
    "fuzz_settings": settings_seeds,
}


def main():
    root = sys.argv[1]
    names = sys.argv[2:] or list(TARGETS)
    for target in names:
        folder = os.path.join(root, target)
        os.makedirs(folder, exist_ok=True)
        for name, data in TARGETS[target]():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
