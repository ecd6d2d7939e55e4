#!/usr/bin/env python3
"""Times Tallowbox against the floor copier, the same-UI copier, xcopy and cp -r, in one run,
interleaved round by round, and prints medians, ranges and ratios; then start-up, private memory
over a folder of many files, how long the window takes to answer another process during a
drop, and the history of a generated year of backups (read, filtered key by key, cleanup
planned); last, each figure against its target. Every copy is verified (names, sizes, SHA-256) before
its time counts. Called by bench/run, which sets up Wine."""
import argparse
import math
import os
import shutil
import statistics
import subprocess
import sys
import time
import zipfile

from check import check_figures
from proof import proof_figures
from search import search_figures
from versions import version_figures

HERE = os.path.dirname(os.path.abspath(__file__))
WINE = "/usr/lib/wine/wine64"
# Private memory counts as flat over the F drop while it grows by less than this: a leak of even
# 50 bytes per file of the full F (10,000 files) passes it, and one page of allocator noise does not.
FLAT_KIB = 512


def win(path: str) -> str:
    """The Windows name of a Unix path under Wine's Z: drive."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def launch(build: str, mode: str, command: str) -> list:
    """Runs a Windows command line through launch.exe; returns the lines printed. The started
    program shares the output (xcopy's lines are Shift_JIS); launch's own figure is the last."""
    out = subprocess.run([WINE, os.path.join(build, "bench", "launch.exe"), mode, "-"],
                         input=(command + "\n").encode(), capture_output=True, check=True)
    return out.stdout.decode("utf-8", errors="replace").strip().splitlines()


def timed_windows(build: str, command: str) -> float:
    ms, code = launch(build, "run", command)[-1].split()
    if code != "0":
        raise RuntimeError(f"exit code {code}: {command}")
    return float(ms)


def find_backup(program_dir: str, name: str) -> str:
    """The copy of tree `name` below program_dir/backups/<day>/<minute>/."""
    root = os.path.join(program_dir, "backups")
    for day in os.listdir(root):
        for minute in os.listdir(os.path.join(root, day)):
            candidate = os.path.join(root, day, minute, name)
            if os.path.isdir(candidate):
                return candidate
    raise RuntimeError(f"no backup of {name} below {root}")


class Contenders:
    def __init__(self, build: str, work: str, with_drop: bool):
        self.build = build
        self.work = work
        self.program_dir = os.path.join(work, "program dir")
        os.makedirs(self.program_dir, exist_ok=True)
        shutil.copy(os.path.join(build, "shell", "Tallowbox.exe"), self.program_dir)
        self.out = os.path.join(work, "out")
        self.with_drop = with_drop and os.path.exists(os.path.join(build, "bench", "dropbench.exe"))

    def names(self):
        names = ["floor", "same-UI hidden", "same-UI visible", "Tallowbox /p", "xcopy", "cp -r"]
        if self.with_drop:
            names.insert(4, "Tallowbox drop (visible)")
        return names

    def dropbench(self) -> str:
        """dropbench.exe beside Tallowbox.exe, so its backups land in the same place."""
        copy = os.path.join(self.program_dir, "dropbench.exe")
        if not os.path.exists(copy):
            shutil.copy(os.path.join(self.build, "bench", "dropbench.exe"), copy)
        return win(copy)

    def fresh_out(self) -> str:
        shutil.rmtree(self.out, ignore_errors=True)
        os.makedirs(self.out)
        return os.path.join(self.out, "copy")

    def run(self, name: str, tree: str):
        """Returns (ms, folder holding the copy)."""
        exe = lambda tool: win(os.path.join(self.build, "bench", tool))
        if name == "floor":
            dst = self.fresh_out()
            return timed_windows(self.build, f'{exe("floorcopy.exe")} "{win(tree)}" "{win(dst)}"'), dst
        if name.startswith("same-UI"):
            dst = self.fresh_out()
            mode = "visible" if name.endswith("visible") else "hidden"
            cmd = f'{exe("floorcopy.exe")} --ui {mode} "{win(tree)}" "{win(dst)}"'
            return timed_windows(self.build, cmd), dst
        if name == "xcopy":
            dst = self.fresh_out()
            return timed_windows(self.build, f'xcopy /E /I /H /Y /Q "{win(tree)}" "{win(dst)}"'), dst
        if name == "cp -r":
            dst = self.fresh_out()
            start = time.perf_counter()
            subprocess.run(["cp", "-r", tree, dst], check=True)
            return 1000 * (time.perf_counter() - start), dst
        shutil.rmtree(os.path.join(self.program_dir, "backups"), ignore_errors=True)
        if name == "Tallowbox /p":
            program = win(os.path.join(self.program_dir, "Tallowbox.exe"))
            ms = float(launch(self.build, "run", f'"{program}" /p "{win(tree)}"')[-1].split()[0])
        else:  # the drop: the real classes start, show their window, take the drop and end
            ms = timed_windows(self.build, f'"{self.dropbench()}" "{win(tree)}"')
        return ms, find_backup(self.program_dir, os.path.basename(tree))


def verify(source: str, copy: str) -> str:
    out = subprocess.run([sys.executable, os.path.join(HERE, "verify_tree.py"), source, copy],
                         capture_output=True, text=True)
    if out.returncode != 0:
        raise RuntimeError(f"copy of {source} is wrong: {out.stdout.strip()}")
    return out.stdout.strip()


def write_language(program_dir: str, language: str) -> None:
    with open(os.path.join(program_dir, "Tallowbox.ini"), "w", encoding="utf-8", newline="\r\n") as f:
        f.write(f"[Tallowbox]\nLanguage={language}\n")


def startup_figures(build: str, program_dir: str, runs: int, other: str = "") -> float:
    """Start-up to a visible, idle main window: Tallowbox against a minimal window program (and
    another build of Tallowbox, from its own folder, when other names one)."""
    programs = {"minimal window": win(os.path.join(build, "bench", "minwin.exe")),
                "Tallowbox": win(os.path.join(program_dir, "Tallowbox.exe"))}
    if other:
        programs["Tallowbox, other build"] = win(other)
    series = {name: [] for name in programs}
    for _ in range(runs):
        for name, exe in programs.items():
            series[name].append(float(launch(build, "idle", f'"{exe}"')[-1]))
    base = statistics.median(series["minimal window"])
    print("start-up to a visible idle window   median ms   min-max ms        /minimal")
    for name, values in series.items():
        med = statistics.median(values)
        print(f"   {name:32s} {med:9.1f}   {min(values):8.1f}-{max(values):<8.1f}  {med / base:6.2f}")
    print()
    return statistics.median(series["Tallowbox"]) / base


def drop_figures(lines: list, command: str) -> list:
    """dropbench's own line (ms, private bytes before and after, posted at, listed at), once
    launch's last line says it ended well."""
    code = lines[-1].split()[1]
    if code != "0" or len(lines) < 2:
        raise RuntimeError(f"exit code {code}: {command}")
    return lines[-2].split()


def drop_growth(contenders: "Contenders", folder: str) -> tuple:
    """One drop of folder, verified: (ms, private bytes before, after, what verify said)."""
    shutil.rmtree(os.path.join(contenders.program_dir, "backups"), ignore_errors=True)
    command = f'"{contenders.dropbench()}" "{win(folder)}"'
    ms, before, after = drop_figures(launch(contenders.build, "run", command), command)[:3]
    verified = verify(folder, find_backup(contenders.program_dir, os.path.basename(folder)))
    return float(ms), int(before), int(after), verified


def memory_figures(contenders: "Contenders", folder: str, empty: str) -> int:
    """Private bytes before and after one drop of a folder of many small files, beyond what a
    drop of an empty folder grows by (the copier's threads and their stacks, made once per run
    of the program); returns that growth."""
    ms, before, after, verified = drop_growth(contenders, folder)
    _, empty_before, empty_after, _ = drop_growth(contenders, empty)
    files = len(os.listdir(folder))
    fixed = empty_after - empty_before
    growth = after - before - fixed
    print(f"memory: one drop of {files} files ({verified}) in {ms:.0f} ms: private bytes "
          f"{before / 2**20:.1f} MiB -> {after / 2**20:.1f} MiB; beyond a drop of an empty folder "
          f"({fixed / 1024:.0f} KiB) growth {growth / 1024:.0f} KiB ({growth / files:.1f} bytes per file)")
    print()
    return growth


def percentile(values: list, share: float) -> float:
    """Nearest rank: the smallest value with at least that share of the values at or below it."""
    ordered = sorted(values)
    rank = max(1, math.ceil(round(share * len(ordered), 9)))
    return ordered[min(rank, len(ordered)) - 1]


def answer_figures(contenders: "Contenders", tree: str, runs: int) -> dict:
    """How long the visible window takes to answer another process while it takes a drop of the
    tree: answerprobe.exe, a separate process, sends it a message every 10 ms and times each round
    trip; the round trips that overlap the drop (from its post until its row is listed) count."""
    probe = [WINE, os.path.join(contenders.build, "bench", "answerprobe.exe"), "--rows", "1", "--samples"]
    times, timed_out, drops = [], 0, []
    for _ in range(runs):
        shutil.rmtree(os.path.join(contenders.program_dir, "backups"), ignore_errors=True)
        os.sync()
        prober = subprocess.Popen(probe, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        try:
            if prober.stdout.readline().strip() != "probing":
                raise RuntimeError("answerprobe did not start")
            command = f'"{contenders.dropbench()}" "{win(tree)}"'
            ms, _, _, posted, listed = drop_figures(launch(contenders.build, "run", command), command)
            out, err = prober.communicate(timeout=120)
        finally:
            if prober.poll() is None:
                prober.kill()
                prober.wait()
        if prober.returncode != 0:
            raise RuntimeError(f"answerprobe failed: {err.strip()}")
        verify(tree, find_backup(contenders.program_dir, os.path.basename(tree)))
        drops.append(float(ms))
        start, end = float(posted), float(listed)
        for line in out.splitlines():
            if not line.startswith("sample "):
                continue
            _, sent, trip, outcome = line.split()
            sent, trip = float(sent), float(trip)
            if sent < end and sent + trip > start:
                times.append(trip)
                timed_out += outcome == "timeout"
    files = sum(len(names) for _, _, names in os.walk(tree))
    if not times:
        print(f"answer time during a drop of {os.path.basename(tree)[0]} ({files} files): no round trip fell "
              f"within the drop ({statistics.median(drops):.0f} ms)")
        print()
        return {}
    figures = {"max": max(times), "p99": percentile(times, 0.99), "median": statistics.median(times)}
    print(f"answer time during a drop of {os.path.basename(tree)[0]} ({files} files, {runs} drops, median "
          f"{statistics.median(drops):.0f} ms), from another process: {len(times)} round trips, "
          f"max {figures['max']:.1f} ms, p99 {figures['p99']:.1f} ms, median {figures['median']:.1f} ms"
          + (f", {timed_out} timed out" if timed_out else ""))
    print()
    return figures


def named_figures(command: list) -> dict:
    """Runs a benchmark program; its figures by name (the first word of each line it prints)."""
    out = subprocess.run(command, capture_output=True)
    if out.returncode != 0:
        raise RuntimeError(f"exit code {out.returncode}: {command}: {out.stderr.decode(errors='replace').strip()}")
    figures = {}
    for line in out.stdout.decode("utf-8", errors="replace").splitlines():
        name, _, rest = line.partition(" ")
        if name != "keystroke":
            figures[name] = rest.split()
    return figures


def history_runs(build: str, work: str, history: str, runs: int) -> list:
    """historybench.exe over the generated backups folder, runs times: the engine alone, then the
    real history window, run from a folder whose settings file names the generated backups."""
    program_dir = os.path.join(work, "history program dir")
    os.makedirs(program_dir, exist_ok=True)
    exe = shutil.copy(os.path.join(build, "bench", "historybench.exe"), program_dir)
    with open(os.path.join(program_dir, "Tallowbox.ini"), "w", encoding="utf-8", newline="\r\n") as f:
        f.write(f"[Tallowbox]\nBackupFolder={win(history)}\n")
    shutil.copy(os.path.join(build, "shell", "Tallowbox.exe"), program_dir)
    results = []
    for _ in range(runs):
        os.sync()
        figures = named_figures([WINE, exe, win(history)])
        figures.update(named_figures([WINE, exe, "--window"]))
        figures.update(outside_figures(build, program_dir, typed_counts([WINE, exe, win(history)])))
        results.append(figures)
    return results


def typed_counts(command: list) -> list:
    """The queries historybench types and the count after each key: [(text, [count, ...]), ...]."""
    out = subprocess.run(command, capture_output=True, check=True).stdout.decode("utf-8", errors="replace")
    queries = []
    for line in out.splitlines():
        if not line.startswith('keystroke "'):
            continue
        text, _, rest = line[len('keystroke "'):].rpartition('" ')
        if len(text) == 1 or not queries:
            queries.append([text, []])
        queries[-1][0] = text
        queries[-1][1].append(rest.split()[1])
    return queries


def outside_figures(build: str, program_dir: str, queries: list) -> dict:
    """The real program started from program_dir, its history window measured by historyprobe.exe
    from another process: its memory before the history is opened and once it is listed, and each
    key of the queries until the list shows the count the engine gave for it."""
    program = subprocess.Popen([WINE, os.path.join(program_dir, "Tallowbox.exe")], cwd=program_dir,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        # Measured again 10 s later: what the disk holds measured, what the reading freed reused.
        probe = [WINE, os.path.join(build, "bench", "historyprobe.exe"), "--settle-ms", "10000"]
        for text, counts in queries:
            probe += ["--query", text, "--expect", ",".join(counts)]
        figures = named_figures(probe)
        program.wait(timeout=60)
    finally:
        if program.poll() is None:
            program.kill()
            program.wait()
    return figures


def history_figures(build: str, work: str, history: str, runs: int) -> dict:
    """The history's figures over several reads: medians, except the slowest keystroke of all."""
    results = history_runs(build, work, history, runs)

    def series(name: str) -> list:
        return [float(r[name][0]) for r in results if name in r and r[name][0] != "-"]

    first = results[0]
    listed = f", the window listed {int(first['window-rows'][0]):,}" if "window-rows" in first else ""
    if "cleanup-copies" in first:
        listed += f", the cleanup plan removes {int(first['cleanup-copies'][0]):,} copies"
    print(f"history: {int(first['entries'][0]):,} entries{listed}, {first['unreadable-lines'][0]} unreadable "
          f"lines, {runs} reads; private memory from the {' '.join(first['private-bytes'][2:])}")
    print("   figure                              median      min-max")
    figures = {}
    rows = [("first day read (ms)", "first-day-ms"), ("all read (ms)", "all-ms"),
            ("private bytes per entry", "bytes-per-record"), ("slowest keystroke (ms)", "keystroke-max-ms"),
            ("median keystroke (ms)", "keystroke-median-ms"), ("cleanup plan (ms)", "cleanup-ms"),
            ("window opened to first rows (ms)", "window-first-rows-ms"),
            ("window opened to all rows (ms)", "window-all-rows-ms"),
            ("outside: slowest key (ms)", "outside-keystroke-max-ms"),
            ("outside: median key (ms)", "outside-keystroke-median-ms"),
            ("outside: resident bytes per record", "outside-bytes-per-record"),
            ("outside: resident per record, 10 s on", "outside-settled-bytes-per-record"),
            ("outside: working-set growth (MB)", "outside-growth-mb"),
            ("outside: private bytes per record", "outside-private-per-record")]
    for r in results:
        # The working set's growth beside the per-record figure, and the committed private regions'
        # share (what the program allocated and kept, pages touched or not).
        if "outside-growth" in r:
            r["outside-growth-mb"] = [str(float(r["outside-growth"][0]) / (1024 * 1024))]
        if "outside-bytes-per-record" in r and len(r["outside-bytes-per-record"]) > 2:
            r["outside-private-per-record"] = [r["outside-bytes-per-record"][2]]
    for label, name in rows:
        values = series(name)
        if not values:
            print(f"   {label:34s} {'-':>8s}      (not in this build)")
            continue
        figures[name] = statistics.median(values)
        print(f"   {label:34s} {figures[name]:8.1f}   {min(values):8.1f}-{max(values):<8.1f}")
    for slowest in ("keystroke-max-ms", "outside-keystroke-max-ms"):
        if slowest in figures:
            figures[slowest] = max(series(slowest))
    print()
    return figures


def compare_figures(build: str, compare: str, rounds: int) -> dict:
    """diffbench.exe over the compare data: two 100,000-line texts with 1 % changed (read, decoded and
    diffed), its peak private memory, two 200,000-line texts with no line in common, two of 20 distinct
    lines (the diff's fall-back), a folder version of 40,000 files against the folder now."""
    figures = named_figures([WINE, os.path.join(build, "bench", "diffbench.exe"), win(compare),
                             str(max(rounds, 5))])
    print("compare (median ms, min-max over the rounds)")
    for name, label in (("text", "100,000 lines, 1 % changed"), ("disjoint", "200,000 lines, none in common"),
                        ("repeated", "200,000 lines of 20 distinct")):
        med, low, high = (float(v) for v in figures[f"{name}-ms"])
        left, right, places, removed, added, minimal = figures[f"{name}-diff"]
        size = sum(int(b) for b in figures[f"{name}-bytes"]) / 1e6
        print(f"   {label:32s} {med:8.1f}   {low:8.1f}-{high:<8.1f}  {left}/{right} lines, {size:.1f} MB: "
              f"{places} places, {removed} removed, {added} added, {'minimal' if minimal == '1' else 'fell back'}")
    peak, held, files = (int(v) for v in figures["text-memory"][:3])
    print(f"   memory of the 1 % case: peak {peak / 2**20:.1f} MiB, its result {held / 2**20:.1f} MiB, the two "
          f"files {files / 2**20:.1f} MiB ({' '.join(figures['text-memory'][3:])})")
    med, low, high = (float(v) for v in figures["folder-ms"])
    changed, added, removed, same, unreadable = figures["folder-counts"]
    print(f"   {'folder of 40,000 files':32s} {med:8.1f}   {low:8.1f}-{high:<8.1f}  changed {changed}, added "
          f"{added}, removed {removed}, same {same}, unreadable {unreadable}")
    result = {"text-ms": float(figures["text-ms"][0]), "memory-ratio": peak / files,
              "disjoint-ms": float(figures["disjoint-ms"][0]), "folder-ms": float(figures["folder-ms"][0])}
    if "versions-ms" in figures:
        med, low, high = (float(v) for v in figures["versions-ms"])
        print(f"   {'two versions, from manifests':32s} {med:8.1f}   {low:8.1f}-{high:<8.1f}  walked "
              f"{float(figures['versions-walked-ms'][0]):.1f}, without the manifests "
              f"{float(figures['versions-unproven-ms'][0]):.1f} (one round each)")
        result["versions-ms"] = med
    # The real two-texts window on the same texts, once: the command to its first change painted,
    # its memory, and its longest answer while two texts with no line in common are diffed.
    window = named_figures([WINE, os.path.join(build, "bench", "comparewindow.exe"), win(compare)])
    peak, held, files = (int(v) for v in window["window-text-memory"][:3])
    print(f"   {'window: 1 % case, first change':32s} {float(window['window-text-ms'][0]):8.1f}   top row "
          f"{window['window-text-top'][0]}, peak {peak / 2**20:.1f} MiB, held {held / 2**20:.1f} MiB")
    print(f"   {'window: a page down painted':32s} {float(window['window-page-ms'][0]):8.1f}")
    print(f"   {'window: none in common, result':32s} {float(window['window-disjoint-ms'][0]):8.1f}   longest "
          f"answer {float(window['window-disjoint-stall-ms'][0]):.1f} ms")
    print()
    result.update({"window-text-ms": float(window["window-text-ms"][0]), "window-memory-ratio": peak / files,
                   "window-disjoint-ms": float(window["window-disjoint-ms"][0]),
                   "window-stall-ms": float(window["window-disjoint-stall-ms"][0])})
    return result


def office_figures(build: str, office: str, rounds: int) -> dict:
    """officebench.exe over two versions of a 200-page Word document and of a 10-sheet, 50,000-cell
    Excel workbook: from reading to the text diffed, and the peak private memory against the text both
    documents hold (and against their unpacked parts, for scale)."""
    figures = named_figures([WINE, os.path.join(build, "bench", "officebench.exe"), win(office), str(max(rounds, 5))])
    print("office documents compared as text (median ms, min-max over the rounds)")
    result = {}
    for kind, label in (("docx", "200-page Word document"), ("xlsx", "10 sheets, 50,000 cells")):
        med, low, high = (float(v) for v in figures[f"{kind}-ms"])
        left, right, places, removed, added, minimal = figures[f"{kind}-diff"]
        peak, text, packed = (int(v) for v in figures[f"{kind}-memory"][:3])
        unpacked = sum(sum(i.file_size for i in zipfile.ZipFile(os.path.join(office, f"{side}.{kind}")).infolist())
                       for side in ("older", "newer"))
        print(f"   {label:32s} {med:8.1f}   {low:8.1f}-{high:<8.1f}  {left}/{right} lines: {places} places, "
              f"{removed} removed, {added} added, {'minimal' if minimal == '1' else 'fell back'}")
        print(f"   {'':32s} peak {peak / 2**20:.1f} MiB: {peak / text:.2f} x the text ({text / 2**20:.1f} MiB), "
              f"{peak / unpacked:.2f} x the unpacked parts ({unpacked / 2**20:.1f} MiB), files {packed / 2**20:.1f} MiB")
        result.update({f"{kind}-ms": med, f"{kind}-memory-ratio": peak / text})
    print()
    return result


def compare_target_lines(compare: dict) -> None:
    rows = [("compare: 100,000 lines, 1 % changed (ms)", "text-ms", 500, "{:.0f}"),
            ("compare: peak memory / both files' sizes", "memory-ratio", 4, "{:.2f}"),
            ("compare: 200,000 lines, none common (ms)", "disjoint-ms", 3000, "{:.0f}"),
            ("compare: folder of 40,000 files (ms)", "folder-ms", 2000, "{:.0f}"),
            ("compare: two versions, from manifests (ms)", "versions-ms", 500, "{:.0f}"),
            ("compare window: first change shown (ms)", "window-text-ms", 500, "{:.0f}"),
            ("compare window: peak memory / files", "window-memory-ratio", 4, "{:.2f}"),
            ("compare window: none common, shown (ms)", "window-disjoint-ms", 3000, "{:.0f}"),
            ("compare window: longest answer (ms)", "window-stall-ms", 100, "{:.0f}")]
    if "docx-ms" in compare:
        rows += [("compare: 200-page .docx, diffed (ms)", "docx-ms", 1000, "{:.0f}"),
                 ("compare: .docx peak memory / its text", "docx-memory-ratio", 8, "{:.2f}"),
                 ("compare: 50,000-cell .xlsx, diffed (ms)", "xlsx-ms", 1000, "{:.0f}"),
                 ("compare: .xlsx peak memory / its text", "xlsx-memory-ratio", 8, "{:.2f}")]
    for label, name, limit, shape in rows:
        target_line(label, shape.format(compare[name]), f"<= {limit}", verdict(compare[name] <= limit))


def mirror_figures(build: str, work: str, trees: str, rounds: int) -> dict:
    """The mirror's figures from mirrorbench.exe, in-process with the engine, and their targets."""
    folder = os.path.join(work, "mirror")
    os.makedirs(folder, exist_ok=True)
    out = subprocess.run([WINE, os.path.join(build, "bench", "mirrorbench.exe"), win(folder),
                          win(os.path.join(trees, "S tree")), win(os.path.join(trees, "M tree")),
                          win(os.path.join(build, "bench", "floorcopy.exe")), str(rounds)],
                         capture_output=True, check=True)
    figures = {}
    for line in out.stdout.decode("utf-8", errors="replace").splitlines():
        name, _, value = line.partition(" ")
        figures[name] = float(value)
        print(f"   {name:44s} {float(value):10.1f}")
    print()
    for tree in ("S", "M"):
        ratio = figures[f"{tree}-catch-up-ms"] / figures[f"{tree}-floor-ms"]
        target_line(f"mirror: {tree} caught up onto an empty mirror / floor", f"{ratio:.2f}x", "<= 1.0",
                    verdict(ratio <= 1.0))
    ratio = figures["S-second-unchanged-ms"] / figures["S-floor-ms"]
    target_line("mirror: second unchanged S mirrored / floor", f"{ratio:.2f}x", "<= 0.35", verdict(ratio <= 0.35))
    local = figures["S-second-unchanged-local-ms"] / figures["S-floor-ms"]
    target_line("  (the same version backed up locally / floor)", f"{local:.2f}x", "", "for reference")
    for tree in ("S", "M"):
        ratio = figures[f"{tree}-drop-with-mirror-ms"] / figures[f"{tree}-drop-without-mirror-ms"]
        target_line(f"mirror: drop of {tree} with a mirror / without", f"{ratio:.2f}x", "<= 1.05",
                    verdict(ratio <= 1.05))
    per = figures["waiting-bytes-per-version"]
    target_line("mirror: private bytes per waiting version", f"{per:.0f}", "<= 200", verdict(per <= 200))
    return figures


def verdict(met: bool) -> str:
    return "met" if met else "missed"


def target_line(name: str, figure: str, target: str, result: str) -> None:
    print(f"   {name:44s} {figure:>8s}   {target:8s} {result}")


def history_target_lines(history: dict) -> None:
    """The history's targets; a figure missing from the build is shown as not measured."""
    rows = [("history window: opened to first rows (ms)", "window-first-rows-ms", 500, "{:.0f}"),
            ("history: slowest keystroke's filter (ms)", "keystroke-max-ms", 50, "{:.1f}"),
            ("history: private bytes per record", "bytes-per-record", 300, "{:.0f}"),
            ("history: slowest key from outside (ms)", "outside-keystroke-max-ms", 50, "{:.1f}"),
            ("history: resident bytes per record, outside", "outside-bytes-per-record", 200, "{:.0f}"),
            ("history: cleanup plan of all records (ms)", "cleanup-ms", 1000, "{:.0f}")]
    for label, name, limit, shape in rows:
        if name in history:
            target_line(label, shape.format(history[name]), f"<= {limit}", verdict(history[name] <= limit))
        else:
            target_line(label, "-", f"<= {limit}", "(not in this build)")


def target_lines(times: dict, trees: list, startup, growth, answer, history=None, compare=None) -> None:
    """Each figure the targets name, beside its target; None: not measured in this run."""
    print(f"{'targets':47s} {'figure':>8s}   target")
    empty = trees[0] if trees else None
    limits = {"S": 0.8, "M": 1.0, "L": 1.05}
    for tree in trees[1:]:
        label = os.path.basename(tree)[0]
        drop = statistics.median(times[(tree, "Tallowbox drop (visible)")])
        floor_work = statistics.median(times[(tree, "floor")]) - statistics.median(times[(empty, "floor")])
        drop_work = drop - statistics.median(times[(empty, "Tallowbox drop (visible)")])
        limit = limits[label]
        if floor_work > 0:
            ratio = drop_work / floor_work
            target_line(f"{label}: drop / floor beyond fixed cost", f"{ratio:.2f}", f"<= {limit:.2f}",
                        verdict(ratio <= limit))
        else:
            target_line(f"{label}: drop / floor beyond fixed cost", "-", f"<= {limit:.2f}",
                        "(the floor took no longer than on E: too noisy, more rounds)")
        ratio = drop / statistics.median(times[(tree, "Tallowbox /p")])
        target_line(f"{label}: drop / /p", f"{ratio:.2f}", "<= 1.05", verdict(ratio <= 1.05))
    if answer == {}:
        target_line("answer time during a drop of S (ms)", "-", "<= 50", "(no round trip fell within a drop)")
    elif answer is not None:
        target_line("answer time during a drop of S, p99 (ms)", f"{answer['p99']:.1f}", "<= 50",
                    verdict(answer["p99"] <= 50))
        target_line("answer time during a drop of S, max (ms)", f"{answer['max']:.1f}", "<= 250",
                    verdict(answer["max"] <= 250))
    if startup is not None:
        target_line("start-up / minimal window", f"{startup:.2f}", "<= 1.30", verdict(startup <= 1.3))
    if growth is not None:
        target_line("private memory growth over F (KiB)", f"{growth / 1024:.0f}", f"< {FLAT_KIB}",
                    verdict(growth < FLAT_KIB * 1024))
    if history is not None:
        history_target_lines(history)
    if compare is not None:
        compare_target_lines(compare)
    print()


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--trees", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--no-drop", action="store_true")
    parser.add_argument("--only", default="SML", help="which of the trees S, M, L to time (E always is)")
    parser.add_argument("--answer-only", action="store_true",
                        help="only the window's answer time during drops of S, one per round")
    parser.add_argument("--startup-only", action="store_true",
                        help="only the start-up, 2 x rounds starts of each program (at least 6)")
    parser.add_argument("--other-program", default="",
                        help="with --startup-only: another Tallowbox.exe timed in the same rounds")
    parser.add_argument("--language", choices=["ja", "en"], default="",
                        help="with --startup-only: Language= in every timed program's Tallowbox.ini")
    parser.add_argument("--history", default="", help="the generated backups folder the history is read from")
    parser.add_argument("--versions-only", action="store_true",
                        help="only second backups (S unchanged, M a tenth changed, a 64 MiB file unchanged)"
                             " against the floor; --other-program: another build's first backups beside")
    parser.add_argument("--compare", default="", help="the generated texts and folders the compare reads")
    parser.add_argument("--office", default="", help="the generated Word and Excel documents the compare reads")
    parser.add_argument("--compare-only", action="store_true",
                        help="only the compare of two texts and of two folders (at least 5 rounds)")
    parser.add_argument("--mirror-only", action="store_true",
                        help="only the mirror: catch-up of S and M, a second unchanged S, drops with a mirror")
    parser.add_argument("--proof-only", action="store_true",
                        help="only first backups of S and M with hashes against Hash=no and the floor, and the hash")
    parser.add_argument("--check-only", action="store_true",
                        help="only the background check: S and M read back in both places, a drop while it runs")
    parser.add_argument("--search", default="", help="the generated versions the search looks in")
    parser.add_argument("--search-only", action="store_true", help="only the search inside every version")
    parser.add_argument("--history-only", action="store_true",
                        help="only the history (one read per round, at least 3) and the start-up")
    args = parser.parse_args()
    if args.history_only and not args.history:
        parser.error("--history-only needs --history")
    if args.compare_only and not args.compare:
        parser.error("--compare-only needs --compare")

    contenders = Contenders(args.build, args.work, not args.no_drop)
    s_tree = os.path.join(args.trees, "S tree")
    if args.startup_only:
        other = ""
        if args.other_program:
            # In a folder of its own: each program puts its profile and backups beside itself.
            other_dir = os.path.join(args.work, "other program dir")
            os.makedirs(other_dir, exist_ok=True)
            other = shutil.copy(args.other_program, os.path.join(other_dir, "Tallowbox.exe"))
        if args.language:
            for program_dir in [contenders.program_dir] + ([os.path.dirname(other)] if other else []):
                write_language(program_dir, args.language)
        startup = startup_figures(args.build, contenders.program_dir, max(args.rounds, 3) * 2, other)
        target_lines({}, [], startup, None, None)
        return 0
    def launch_p(program_dir: str, item: str) -> float:
        program = win(os.path.join(program_dir, "Tallowbox.exe"))
        return float(launch(args.build, "run", f'"{program}" /p "{win(item)}"')[-1].split()[0])
    if args.versions_only:
        version_figures(contenders, args.trees, args.rounds, launch_p, args.other_program)
        return 0
    if args.proof_only:
        proof_figures(contenders, args.trees, args.rounds, launch_p, find_backup, verify)
        return 0
    if args.check_only:
        check_figures(args.build, args.work, args.trees, args.rounds, win, target_line, verdict)
        return 0
    if args.mirror_only:
        mirror_figures(args.build, args.work, args.trees, args.rounds)
        return 0
    if args.search_only:
        search_figures(args.build, args.search, args.rounds, named_figures, target_line, verdict)
        return 0
    if args.compare_only:
        compare = compare_figures(args.build, args.compare, args.rounds)
        if args.office:
            compare.update(office_figures(args.build, args.office, args.rounds))
        target_lines({}, [], None, None, None, None, compare)
        return 0
    if args.history_only:
        history = history_figures(args.build, args.work, args.history, max(args.rounds, 3))
        # The main window must still start as fast with the history behind it.
        startup = startup_figures(args.build, contenders.program_dir, max(args.rounds, 5) * 2)
        target_lines({}, [], startup, None, None, history)
        return 0
    if args.answer_only:
        if not contenders.with_drop:
            print("answer time: needs dropbench.exe (and no --no-drop)", file=sys.stderr)
            return 2
        target_lines({}, [], None, None, answer_figures(contenders, s_tree, args.rounds))
        return 0
    # E, an empty folder, measures each contender's fixed cost: starting, making its windows, ending.
    os.makedirs(os.path.join(args.trees, "E tree"), exist_ok=True)
    trees = [os.path.join(args.trees, t) for t in ("E tree", "S tree", "M tree", "L tree")
             if t[0] == "E" or t[0] in args.only]
    times = {(t, n): [] for t in trees for n in contenders.names()}
    names = contenders.names()
    for round_no in range(1, args.rounds + 1):
        for tree in trees:
            # Each round starts with another contender, so none always follows the same one.
            shift = (round_no - 1) % len(names)
            for name in names[shift:] + names[:shift]:
                # The previous copy's dirty pages are written out before, not during, a timing.
                os.sync()
                ms, copy = contenders.run(name, tree)
                verified = verify(tree, copy)
                times[(tree, name)].append(ms)
                print(f"round {round_no} {os.path.basename(tree)[0]} {name:26s} {ms:9.1f} ms  ({verified})",
                      flush=True)

    print()
    startup = startup_figures(args.build, contenders.program_dir, max(args.rounds, 3) * 2)
    growth, answer = None, None
    if contenders.with_drop:
        growth = memory_figures(contenders, os.path.join(args.trees, "F tree"), os.path.join(args.trees, "E tree"))
        answer = answer_figures(contenders, s_tree, args.rounds)
    history = history_figures(args.build, args.work, args.history, max(args.rounds, 3)) if args.history else None
    empty = trees[0]
    for tree in trees:
        label = os.path.basename(tree)[0]
        floor = statistics.median(times[(tree, "floor")])
        print(f"{label}: contender                  median ms   min-max ms        /floor  /same-UI"
              + ("" if tree == empty else "  /same-UI beyond fixed cost"))
        for name in contenders.names():
            series = times[(tree, name)]
            med = statistics.median(series)
            same_ui = "same-UI visible" if "visible" in name else "same-UI hidden"
            ui = statistics.median(times[(tree, same_ui)])
            line = (f"   {name:26s} {med:9.1f}   {min(series):8.1f}-{max(series):<8.1f}  {med / floor:6.2f}"
                    f"  {med / ui:6.2f}")
            if tree != empty:
                own_work = med - statistics.median(times[(empty, name)])
                ui_work = ui - statistics.median(times[(empty, same_ui)])
                line += f"  {own_work / ui_work:8.2f}" if ui_work > 0 else ""
            print(line)
        print()
    target_lines(times, trees if contenders.with_drop else [], startup, growth, answer, history)
    return 0


if __name__ == "__main__":
    sys.exit(main())
