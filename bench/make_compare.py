#!/usr/bin/env python3
"""Generates what the compare benchmark compares, the same every time, in OUT:

older.txt, newer.txt      100,000 lines of UTF-8 text (about 6 MB each, some lines Japanese, blank and
                          repeated lines among them); newer has 1 % of the lines changed: 600
                          rewritten, 200 removed, 200 added
disjoint-older.txt, ...   200,000 lines each, no line in common
repeated-older.txt, ...   200,000 lines each drawn from 20 distinct lines: past the diff's bound
version/, now/            a folder version of 40,000 files (20 x 20 folders of 100) and the folder now:
                          the unchanged files hard links of the version's (as a later version links
                          them), 100 changed (50 to another size, 50 to other bytes of the same size
                          and a later time, so their bytes decide)
"""
import argparse
import os
import random

WORDS_ASCII = [f"{a}{b}" for a in ("ka", "to", "re", "mi", "su", "no", "ha", "ri") for b in
               ("n", "ta", "rex", "lo", "vin", "der", "po", "su", "tek")]
WORDS_JAPANESE = ["工程表", "議事録", "予算", "確認", "資料", "会議", "変更", "担当", "日程", "報告"]
BOILERPLATE = ["    }", "end", "---", "    return result;", "};"]


def text_line(rng: random.Random) -> str:
    roll = rng.random()
    if roll < 0.08:
        return ""
    if roll < 0.12:
        return rng.choice(BOILERPLATE)
    words = WORDS_JAPANESE if rng.random() < 0.1 else WORDS_ASCII
    return " ".join(rng.choice(words) for _ in range(rng.randint(8, 16)))


def write_lines(path: str, lines: list) -> None:
    with open(path, "w", encoding="utf-8", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")


def make_texts(out: str) -> None:
    rng = random.Random(30)
    older = [text_line(rng) for _ in range(100_000)]
    newer = list(older)
    picked = rng.sample(range(len(older)), 1000)
    rewritten, removed, added = picked[:600], set(picked[600:800]), picked[800:]
    for line in rewritten:
        newer[line] = "changed " + text_line(rng)
    for line in added:
        newer[line] += "\nadded " + text_line(rng)  # a line of its own once joined
    newer = [line for n, line in enumerate(newer) if n not in removed]
    write_lines(os.path.join(out, "older.txt"), older)
    write_lines(os.path.join(out, "newer.txt"), newer)
    write_lines(os.path.join(out, "disjoint-older.txt"), [f"L{n} {text_line(rng)}" for n in range(200_000)])
    write_lines(os.path.join(out, "disjoint-newer.txt"), [f"R{n} {text_line(rng)}" for n in range(200_000)])
    few = [f"line {n} {text_line(rng)}" for n in range(20)]
    write_lines(os.path.join(out, "repeated-older.txt"), [rng.choice(few) for _ in range(200_000)])
    write_lines(os.path.join(out, "repeated-newer.txt"), [rng.choice(few) for _ in range(200_000)])


def make_trees(out: str) -> None:
    rng = random.Random(40)
    version, now = os.path.join(out, "version"), os.path.join(out, "now")
    paths = [os.path.join(f"d{a:02d}", f"s{b:02d}", f"f{c:03d}.txt")
             for a in range(20) for b in range(20) for c in range(100)]
    changed = set(rng.sample(range(len(paths)), 100))
    for n, relative in enumerate(paths):
        old = os.path.join(version, relative)
        os.makedirs(os.path.dirname(old), exist_ok=True)
        body = rng.randbytes(rng.randint(100, 2000))
        with open(old, "wb") as f:
            f.write(body)
        os.utime(old, (1_700_000_000, 1_700_000_000))
        new = os.path.join(now, relative)
        os.makedirs(os.path.dirname(new), exist_ok=True)
        if n not in changed:
            os.link(old, new)
            continue
        with open(new, "wb") as f:
            f.write(body + b"more" if n % 2 else bytes(b ^ 1 for b in body))
        os.utime(new, (1_700_100_000, 1_700_100_000))


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    make_texts(args.out)
    make_trees(args.out)


if __name__ == "__main__":
    main()
