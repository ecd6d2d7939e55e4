#!/usr/bin/env python3
"""Generates a backups folder with a year of history, deterministic (seeded), for the history
benchmark: day folders YYYY-MMDD holding the day's journal and its minute folders HHMM with the
copies, the way the program leaves them.

    make_history.py OUT [--records N] [--days D] [--unknown K] [--seed S]

N journal records (100,000) over D day folders (365) ending 2026-12-07: about N / 33 items (at
most 3,000) under a few project folders, Japanese and ASCII names mixed, some with spaces, each
backed up many times; about 1 % failed or stopped backups (no copy), a few restores and removals
(a removed copy is gone), about 2 % folder items (their copies folders of 1-2 files); every
succeeded backup's copy exists as a small file. Then K files in minute folders that no journal
names. OUT is the backups folder itself; it must not exist yet.
"""
import argparse
import datetime
import os
import random

HEADER = ("#Tallowbox-journal 1\ttime\tkind\toutcome\ttype\tbytes\tfiles\tleft-out\tmodified\t"
          "original\tcopy\ttarget\n")
JOURNAL = "Tallowbox-journal.tsv"
LAST_DAY = datetime.date(2026, 12, 7)
PROJECTS = [r"C:\Users\tanaka\Documents\案件\2026 港北センター", r"C:\Users\tanaka\Documents\案件\Riverside Tower",
            r"C:\Users\tanaka\Desktop\見積", r"D:\共有\経理\月次", r"D:\Projects\tallow-site\docs",
            r"C:\Users\tanaka\Documents\会議"]
SUBFOLDERS = ["", "資料", "old", "図面 最新", "drafts", "提出用"]
STEMS = ["見積書", "議事録", "report", "工程表", "invoice", "設計図", "budget plan", "打合せメモ", "発注書",
         "summary", "写真一覧", "contract", "仕様確認", "minutes", "請求書", "schedule"]
EXTENSIONS = [".xlsx", ".docx", ".pdf", ".txt", ".pptx", ".csv", ".dwg", ".jpg"]


class Item:
    def __init__(self, project: str, original: str, is_folder: bool):
        self.project = project
        self.original = original
        self.name = original.rsplit("\\", 1)[1]
        self.is_folder = is_folder
        self.copies = []  # relative copy paths of its succeeded backups, oldest first


def make_items(rng: random.Random, count: int) -> list:
    items, seen = [], set()
    while len(items) < count:
        project = rng.choice(PROJECTS)
        folder = project + ("\\" + rng.choice(SUBFOLDERS) if rng.random() < 0.6 else "")
        is_folder = rng.random() < 0.02
        if is_folder:
            name = f"{rng.choice(STEMS)} {rng.randint(1, 400):03d}"
        elif rng.random() < 0.1:  # the same plain name in many folders: "議事録.docx"
            name = rng.choice(STEMS) + rng.choice(EXTENSIONS)
        else:
            sep = rng.choice([" ", "_", "-", ""])
            name = f"{rng.choice(STEMS)}{sep}{rng.randint(1, 400)}{rng.choice(EXTENSIONS)}"
        original = folder.rstrip("\\") + "\\" + name
        if original.upper() in seen:
            continue
        seen.add(original.upper())
        items.append(Item(project, original, is_folder))
    return items


def numbered(name: str, n: int, is_folder: bool) -> str:
    """name (n).ext: a second source of the same name in one minute."""
    stem, dot, ext = name.rpartition(".") if not is_folder and "." in name else (name, "", "")
    return f"{stem} ({n}){dot}{ext}"


def write(path: str, data: bytes) -> None:
    with open(path, "wb") as f:
        f.write(data)


class Writer:
    def __init__(self, out: str, rng: random.Random):
        self.out = out
        self.rng = rng
        self.records = 0
        self.copies = 0

    def line(self, journal: list, moment: datetime.datetime, kind: str, outcome: str, item: Item,
             copy: str, size: int, files: int, modified: str) -> None:
        journal.append("\t".join([moment.strftime("%Y-%m-%d %H:%M:%S"), kind, outcome,
                                  "folder" if item.is_folder else "file", str(size), str(files), "0",
                                  modified, item.original, copy, ""]) + "\n")
        self.records += 1

    def backup(self, journal: list, moment: datetime.datetime, item: Item, minute_dir: str, copy_name: str,
               outcome: str) -> None:
        rel = os.path.relpath(os.path.join(minute_dir, copy_name), self.out).replace("/", "\\")
        size, files, modified = 0, 0, ""
        if outcome == "ok":
            target = os.path.join(minute_dir, copy_name)
            body = f"{item.name} {moment:%Y%m%d%H%M}\n".encode()
            if item.is_folder:
                os.mkdir(target)
                files = self.rng.randint(1, 2)
                for i in range(files):
                    write(os.path.join(target, f"page{i + 1}.txt"), body)
                size = files * len(body)
            else:
                write(target, body)
                files, size = 1, len(body)
                changed = moment - datetime.timedelta(minutes=self.rng.randint(1, 600), hours=9)
                modified = changed.strftime("%Y-%m-%dT%H:%M:%SZ")
            item.copies.append(rel)
            self.copies += 1
        self.line(journal, moment, "backup", outcome, item, rel, size, files, modified)

    def restore(self, journal: list, moment: datetime.datetime, item: Item) -> None:
        self.line(journal, moment, "restore", "ok", item, self.rng.choice(item.copies), 0,
                  0 if item.is_folder else 1, "")

    def remove(self, journal: list, moment: datetime.datetime, item: Item) -> None:
        """The cleanup moved the item's oldest copy out (never its last one), and said so in the
        journal of the copy's own day, which is where that day's copies are read from."""
        rel = item.copies.pop(0)
        path = os.path.join(self.out, *rel.split("\\"))
        if item.is_folder:
            for name in os.listdir(path):
                os.remove(os.path.join(path, name))
            os.rmdir(path)
        else:
            os.remove(path)
        self.copies -= 1
        copy_day = rel.split("\\")[0]
        if copy_day == f"{moment:%Y-%m%d}":  # that journal is still being made
            self.line(journal, moment, "removed", "ok", item, rel, 0, 0, "")
            return
        lines = []
        self.line(lines, moment, "removed", "ok", item, rel, 0, 0, "")
        with open(os.path.join(self.out, copy_day, JOURNAL), "a", encoding="utf-8", newline="\n") as f:
            f.writelines(lines)


def day_counts(rng: random.Random, records: int, days: int) -> list:
    """Records per day: uneven (quiet days and busy ones), summing to records."""
    weights = [rng.uniform(0.2, 1.8) for _ in range(days)]
    total = sum(weights)
    counts = [int(records * w / total) for w in weights]
    for i in range(records - sum(counts)):
        counts[i % days] += 1
    return counts


def make_day(w: Writer, rng: random.Random, day: datetime.date, count: int, items: list, by_project: dict,
             minute_dirs: list) -> None:
    day_dir = os.path.join(w.out, f"{day:%Y-%m%d}")
    os.mkdir(day_dir)
    journal = [HEADER]
    # Batches of about six items, a few dozen a day, between 7:00 and 22:00.
    minutes = sorted(rng.sample(range(7 * 60, 22 * 60), max(1, min(count // 6, 15 * 60))))
    batch_sizes = [1] * len(minutes)
    for i in range(count - len(minutes)):  # the rest spread over the day's minutes
        batch_sizes[rng.randrange(len(minutes))] += 1
    for minute, size in zip(minutes, batch_sizes):
        moment = datetime.datetime.combine(day, datetime.time(minute // 60, minute % 60, rng.randint(0, 59)))
        minute_dir = os.path.join(day_dir, f"{moment:%H%M}")
        made_dir = False
        taken, batch = set(), set()
        project = rng.choice(list(by_project))
        for _ in range(size):
            pool = by_project[project] if rng.random() < 0.8 else items
            item = rng.choice(pool)
            while id(item) in batch:  # one record per item in a batch
                item = rng.choice(items)
            batch.add(id(item))
            roll = rng.random()
            if roll < 0.004 and item.copies:
                w.restore(journal, moment, item)
                continue
            if roll < 0.007 and len(item.copies) > 1:
                w.remove(journal, moment, item)
                continue
            outcome = "ok" if roll > 0.017 else ("failed" if roll > 0.01 else "stopped")
            if not made_dir:
                os.mkdir(minute_dir)
                minute_dirs.append(minute_dir)
                made_dir = True
            name, n = item.name, 1
            while name.upper() in taken:
                n += 1
                name = numbered(item.name, n, item.is_folder)
            taken.add(name.upper())
            w.backup(journal, moment, item, minute_dir, name, outcome)
    with open(os.path.join(day_dir, JOURNAL), "w", encoding="utf-8", newline="\n") as f:
        f.writelines(journal)


def make_unknown(rng: random.Random, minute_dirs: list, count: int) -> None:
    """Copies that no journal names: a journal lost, or files put there by hand."""
    for i in range(count):
        folder = rng.choice(minute_dirs)
        write(os.path.join(folder, f"不明 メモ {i:04d}.txt"), b"unknown\n")


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("--records", type=int, default=100_000)
    parser.add_argument("--days", type=int, default=365)
    parser.add_argument("--unknown", type=int, default=1_000)
    parser.add_argument("--seed", type=int, default=2026)
    args = parser.parse_args()
    if args.records < 1 or args.days < 1 or args.unknown < 0:
        parser.error("records and days must be at least 1, unknown at least 0")
    rng = random.Random(args.seed)
    items = make_items(rng, max(1, min(3000, args.records // 33)))
    by_project = {}
    for item in items:
        by_project.setdefault(item.project, []).append(item)
    os.makedirs(args.out)
    w = Writer(args.out, rng)
    minute_dirs = []
    days = [LAST_DAY - datetime.timedelta(days=args.days - 1 - i) for i in range(args.days)]
    for day, count in zip(days, day_counts(rng, args.records, args.days)):
        if count:
            make_day(w, rng, day, count, items, by_project, minute_dirs)
    if minute_dirs:
        make_unknown(rng, minute_dirs, args.unknown)
    print(f"{w.records} records of {len(items)} items in {args.days} days, {w.copies} copies, "
          f"{args.unknown if minute_dirs else 0} copies no journal names")


if __name__ == "__main__":
    main()
