#!/usr/bin/env python3
"""Generates what the search benchmark searches, the same every time: a backups folder in OUT holding
the versions of one watched folder, the way the program leaves them (day folders, their journals,
minute folders with the folder's copy), where each version changed one file and links the others to
the version before it.

    make_search.py OUT [--versions N] [--per-day D]

N versions (10,000), D a day (1,000), ending 2026-12-07, of a folder of 10 files of 106 KiB in all
(so N x 106 KiB, about 1 GiB for 10,000, most of it links): UTF-8, Shift_JIS and UTF-16 texts, a Word document and a
binary file. Each version rewrites the next file in turn. What the search looks for, 見積の前提条件,
is in notes.txt from version 3,001 on (still there at the end) and in 報告書.docx up to version 5,000
(then gone): two items, one still held, one gone.
"""
import argparse
import datetime
import io
import os
import random
import zipfile

HEADER = ("#Tallowbox-journal 1\ttime\tkind\toutcome\ttype\tbytes\tfiles\tleft-out\tmodified\t"
          "original\tcopy\ttarget\n")
JOURNAL = "Tallowbox-journal.tsv"
LAST_DAY = datetime.date(2026, 12, 7)
ORIGINAL = r"C:\Users\tanaka\Documents\案件\報告書"
PHRASE = "見積の前提条件"
# name, encoding (or "docx", "binary"), size in KiB
FILES = [("readme.txt", "utf-8", 4), ("議事録.txt", "cp932", 6), ("notes.txt", "utf-8", 8),
         ("工程表.csv", "utf-16", 10), ("summary.md", "utf-8", 12), ("予算.txt", "cp932", 14),
         ("photo.jpg", "binary", 16), ("memo.txt", "utf-8-sig", 8), ("報告書.docx", "docx", 12),
         ("log.txt", "utf-8", 16)]
WORDS = ["工程表", "議事録", "予算", "確認", "資料", "会議", "変更", "担当", "日程", "報告", "plan", "review",
         "budget", "draft", "status", "meeting", "Estimate", "OK"]


def holds_phrase(name: str, version: int) -> bool:
    return (name == "notes.txt" and version > 3000) or (name == "報告書.docx" and version <= 5000)


def text_of(rng: random.Random, size: int, encoding: str, phrase: bool) -> str:
    """Lines of about size bytes in encoding."""
    lines, length = [], 0
    while length < size:
        line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(6, 14)))
        lines.append(line)
        length += len((line + "\r\n").encode(encoding))
    if phrase:
        lines[len(lines) // 2] += " " + PHRASE + "を確認"
    return "\r\n".join(lines) + "\r\n"


def docx_of(text: str) -> bytes:
    body = "".join(f"<w:p><w:r><w:t>{line}</w:t></w:r></w:p>" for line in text.split("\r\n") if line)
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("word/document.xml", f"<w:document><w:body>{body}</w:body></w:document>")
    return out.getvalue()


def content(rng: random.Random, name: str, kind: str, kib: int, version: int) -> bytes:
    if kind == "binary":
        return bytes([0xFF, 0xD8, 0, 0]) + rng.randbytes(kib * 1024 - 4)
    if kind == "docx":  # its XML packs to about a third
        return docx_of(text_of(rng, kib * 1024 * 3, "utf-8", holds_phrase(name, version)))
    return text_of(rng, kib * 1024, kind, holds_phrase(name, version)).encode(kind)


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("--versions", type=int, default=10_000)
    parser.add_argument("--per-day", type=int, default=1_000)
    args = parser.parse_args()
    if not 1 <= args.per_day <= 17 * 60 or args.versions < 1:
        parser.error("versions at least 1, at most 1,020 a day")
    rng = random.Random(38)
    os.makedirs(args.out)
    days = (args.versions + args.per_day - 1) // args.per_day
    previous, logical, written = None, 0, 0
    for version in range(1, args.versions + 1):
        day = LAST_DAY - datetime.timedelta(days=days - 1 - (version - 1) // args.per_day)
        minute = 7 * 60 + (version - 1) % args.per_day
        moment = datetime.datetime.combine(day, datetime.time(minute // 60, minute % 60))
        day_dir = os.path.join(args.out, f"{day:%Y-%m%d}")
        copy = os.path.join(day_dir, f"{moment:%H%M}", "報告書")
        os.makedirs(copy)
        changed = (version - 1) % len(FILES)
        bytes_written = 0
        for index, (name, kind, kib) in enumerate(FILES):
            path = os.path.join(copy, name)
            if previous is None or index == changed:
                data = content(rng, name, kind, kib, version)
                with open(path, "wb") as f:
                    f.write(data)
                bytes_written += len(data)
            else:
                os.link(os.path.join(previous, name), path)
            logical += os.path.getsize(path)
        written += bytes_written
        journal = os.path.join(day_dir, JOURNAL)
        with open(journal, "a", encoding="utf-8", newline="\n") as f:
            if f.tell() == 0:
                f.write(HEADER)
            relative = os.path.relpath(copy, args.out).replace("/", "\\")
            f.write("\t".join([f"{moment:%Y-%m-%d %H:%M:%S}", "backup", "ok", "folder", str(bytes_written),
                               str(len(FILES)), "0", "", ORIGINAL, relative, ""]) + "\n")
        previous = copy
    print(f"{args.versions} versions in {days} days: {logical / 2**30:.2f} GiB in all, "
          f"{written / 2**20:.0f} MiB written")


if __name__ == "__main__":
    main()
