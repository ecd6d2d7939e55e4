#!/usr/bin/env python3
"""Generates the benchmark's source trees with deterministic content.

S: 5,000 files of 4 KiB in 100 folders three levels deep
M: 500 files from 1 KiB to 1 MiB
L: 4 files of 64 MiB
F: 10,000 files of 100 bytes in one folder (private memory while copying)
--quick makes the same shapes, smaller, for smoke checks.
"""
import argparse
import os
import random


def content(seed: int, size: int) -> bytes:
    rng = random.Random(seed)
    block = rng.randbytes(min(size, 65536))
    repeats, rest = divmod(size, len(block)) if block else (0, 0)
    return block * repeats + block[:rest]


def write(path: str, data: bytes) -> None:
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def folders_three_deep(count: int):
    """count folder paths, three levels deep: aN/bN/cN."""
    for i in range(count):
        yield os.path.join(f"a{i // 25:02d}", f"b{(i // 5) % 5}", f"c{i % 5}")


def make_small(root: str, files: int, folders: int) -> None:
    per_folder = files // folders
    n = 0
    for folder in folders_three_deep(folders):
        for j in range(per_folder):
            write(os.path.join(root, folder, f"f{j:03d}.dat"), content(n, 4096))
            n += 1


def make_medium(root: str, files: int, largest: int) -> None:
    rng = random.Random(500)
    for i in range(files):
        size = rng.randint(1024, largest)
        write(os.path.join(root, f"d{i % 10}", f"m{i:04d}.bin"), content(10_000 + i, size))


def make_large(root: str, files: int, size: int) -> None:
    for i in range(files):
        write(os.path.join(root, f"l{i}.bin"), content(20_000 + i, size))


def make_flat(root: str, files: int) -> None:
    os.makedirs(root, exist_ok=True)
    for i in range(files):
        with open(os.path.join(root, f"n{i:05d}.txt"), "wb") as f:
            f.write(content(30_000 + i, 100))


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("--quick", action="store_true")
    args = parser.parse_args()
    if args.quick:
        make_small(os.path.join(args.out, "S tree"), 500, 20)
        make_medium(os.path.join(args.out, "M tree"), 50, 256 * 1024)
        make_large(os.path.join(args.out, "L tree"), 2, 8 * 1024 * 1024)
        make_flat(os.path.join(args.out, "F tree"), 2000)
    else:
        make_small(os.path.join(args.out, "S tree"), 5000, 100)
        make_medium(os.path.join(args.out, "M tree"), 500, 1024 * 1024)
        make_large(os.path.join(args.out, "L tree"), 4, 64 * 1024 * 1024)
        make_flat(os.path.join(args.out, "F tree"), 10000)


if __name__ == "__main__":
    main()
