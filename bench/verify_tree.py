#!/usr/bin/env python3
"""Compares a copy with its source: same relative file names, sizes and SHA-256 of every file.
Prints 'files bytes' of the verified copy; exits 1 with the first difference otherwise."""
import hashlib
import os
import sys


def listing(root: str) -> dict:
    out = {}
    for folder, _dirs, files in os.walk(root):
        for name in files:
            path = os.path.join(folder, name)
            out[os.path.relpath(path, root)] = path
    return out


def digest(path: str) -> str:
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 20), b""):
            h.update(chunk)
    return h.hexdigest()


def main() -> int:
    source, copy = sys.argv[1], sys.argv[2]
    want, got = listing(source), listing(copy)
    if set(want) != set(got):
        missing = sorted(set(want) - set(got))[:3]
        extra = sorted(set(got) - set(want))[:3]
        print(f"MISMATCH names: missing {missing} extra {extra}")
        return 1
    total = 0
    for rel, path in want.items():
        if digest(path) != digest(got[rel]):
            print(f"MISMATCH content: {rel}")
            return 1
        total += os.path.getsize(path)
    print(f"{len(want)} {total}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
