"""Second backups: what a version costs when little or nothing changed (unchanged files linked or
not copied at all), against the floor's time for copying the same tree, and first backups
against another build's. Called by run.py with --versions-only."""
import os
import shutil
import statistics
import subprocess


def disk_kib(folder: str) -> int:
    """What the folder takes on the disk, each hard-linked file once (du counts a link once)."""
    out = subprocess.run(["du", "-sk", folder], capture_output=True, text=True, check=True)
    return int(out.stdout.split()[0])


def file_bytes(folder: str) -> int:
    """The bytes of the files below folder, each stored file (inode) once: no folders, no blocks."""
    seen, total = set(), 0
    for base, _, files in os.walk(folder):
        for name in files:
            info = os.lstat(os.path.join(base, name))
            if (info.st_dev, info.st_ino) not in seen:
                seen.add((info.st_dev, info.st_ino))
                total += info.st_size
    return total


def move_back_a_minute(backups: str) -> None:
    """Gives every minute folder the earliest free minute of its day, and its journal's copy paths
    with it, so the next backup (in the same clock minute) finds it as an earlier version."""
    for day in os.listdir(backups):
        day_dir = os.path.join(backups, day)
        if not os.path.isdir(day_dir):
            continue
        minutes = sorted(m for m in os.listdir(day_dir) if m.isdigit() and len(m) == 4)
        journal = os.path.join(day_dir, "Tallowbox-journal.tsv")
        text = open(journal, encoding="utf-8").read() if os.path.exists(journal) else ""
        free = (f"{n:04d}" for n in range(0, 10000) if f"{n:04d}" not in minutes)
        for minute in minutes:
            if minute < "0100":
                continue  # already moved back
            new = next(free)
            os.rename(os.path.join(day_dir, minute), os.path.join(day_dir, new))
            text = text.replace(f"{day}\\{minute}\\", f"{day}\\{new}\\")
        if text:
            open(journal, "w", encoding="utf-8").write(text)


def change_tenth(tree: str) -> int:
    """Rewrites every tenth file's first byte (same size, new content); returns their bytes."""
    changed, n = 0, 0
    for base, _, files in sorted(os.walk(tree)):
        for name in sorted(files):
            n += 1
            if n % 10:
                continue
            path = os.path.join(base, name)
            with open(path, "r+b") as f:
                first = f.read(1)
                f.seek(0)
                f.write(bytes([(first[0] + 1) % 256]) if first else b"x")
            changed += os.path.getsize(path)
    return changed


def version_figures(contenders, trees: str, rounds: int, launch_p, other_exe: str = "") -> None:
    """Prints first and second backups of S (unchanged), M (a tenth changed) and one 64 MiB file
    (unchanged), each against the floor's time for the same tree, with what each adds to the disk."""
    work = os.path.join(contenders.work, "versions")
    l_tree = os.path.join(trees, "L tree")
    big = sorted(os.path.join(base, f) for base, _, files in os.walk(l_tree) for f in files)[0]
    cases = [("S unchanged", os.path.join(trees, "S tree"), None),
             ("M a tenth changed", os.path.join(trees, "M tree"), change_tenth),
             ("64 MiB file unchanged", big, None)]
    programs = {"this build": contenders.program_dir}
    if other_exe:
        other_dir = os.path.join(contenders.work, "other program dir")
        os.makedirs(other_dir, exist_ok=True)
        shutil.copy(other_exe, os.path.join(other_dir, "Tallowbox.exe"))
        programs["other build"] = other_dir
    # Each program's fixed cost (start, end) on an empty folder, so the ratios can be taken beyond it too.
    empty = os.path.join(trees, "E tree")
    os.makedirs(empty, exist_ok=True)
    fixed_floor = statistics.median(contenders.run("floor", empty)[0] for _ in range(rounds))
    fixed_p = statistics.median(launch_p(contenders.program_dir, empty) for _ in range(rounds))
    print(f"fixed cost (empty folder): floor {fixed_floor:.1f} ms, Tallowbox /p {fixed_p:.1f} ms")
    print("versions                        first ms  second ms  floor ms  second/floor  second/first  "
          "beyond fixed: second/floor  added KiB (du)  added file bytes")
    for label, source, change in cases:
        floor, results = [], {name: [] for name in programs}
        for _ in range(rounds):
            os.sync()
            if os.path.isdir(source):  # a single file is measured against its own first backup
                floor.append(contenders.run("floor", source)[0])
            for name, program_dir in programs.items():
                shutil.rmtree(work, ignore_errors=True)
                os.makedirs(work)
                item = os.path.join(work, os.path.basename(source))
                (shutil.copytree if os.path.isdir(source) else shutil.copy2)(source, item)
                backups = os.path.join(program_dir, "backups")
                shutil.rmtree(backups, ignore_errors=True)
                os.sync()
                first = launch_p(program_dir, item)
                move_back_a_minute(backups)
                changed = change(item) if change else 0
                before_du, before_bytes = disk_kib(backups), file_bytes(backups)
                os.sync()
                second = launch_p(program_dir, item)
                results[name].append((first, second, disk_kib(backups) - before_du,
                                      file_bytes(backups) - before_bytes, changed))
        f = statistics.median(floor) if floor else float("nan")
        for name, series in results.items():
            first = statistics.median(r[0] for r in series)
            second = statistics.median(r[1] for r in series)
            added_du = statistics.median(r[2] for r in series)
            added_bytes = statistics.median(r[3] for r in series)
            beyond = (second - fixed_p) / (f - fixed_floor) if f > fixed_floor else float("nan")
            print(f"   {label + ', ' + name:30s} {first:8.1f} {second:9.1f} {f:9.1f} {second / f:12.2f}"
                  f" {second / first:13.2f} {beyond:27.2f} {added_du:14.0f} {added_bytes:17.0f}")
    print()
