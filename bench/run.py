#!/usr/bin/env python3
"""Times Tallowbox against the floor copier, the same-UI copier, xcopy and cp -r, in one run,
interleaved round by round, and prints medians, ranges and ratios. Every copy is verified
(names, sizes, SHA-256) before its time counts. Called by bench/run, which sets up Wine."""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
WINE = "/usr/lib/wine/wine64"


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


def startup_figures(build: str, program_dir: str, runs: int) -> None:
    """Start-up to a visible, idle main window: Tallowbox against a minimal window program."""
    programs = {"minimal window": win(os.path.join(build, "bench", "minwin.exe")),
                "Tallowbox": win(os.path.join(program_dir, "Tallowbox.exe"))}
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


def memory_figures(contenders: "Contenders", folder: str) -> None:
    """Private bytes before and after one drop of a folder of many small files."""
    shutil.rmtree(os.path.join(contenders.program_dir, "backups"), ignore_errors=True)
    lines = launch(contenders.build, "run", f'"{contenders.dropbench()}" "{win(folder)}"')
    ms, before, after = lines[-2].split()
    files = len(os.listdir(folder))
    verified = verify(folder, find_backup(contenders.program_dir, os.path.basename(folder)))
    growth = int(after) - int(before)
    print(f"memory: one drop of {files} files ({verified}) in {float(ms):.0f} ms: private bytes "
          f"{int(before) / 2**20:.1f} MiB -> {int(after) / 2**20:.1f} MiB, growth {growth / 1024:.0f} KiB "
          f"({growth / files:.1f} bytes per file)")
    print()


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--trees", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--no-drop", action="store_true")
    parser.add_argument("--only", default="SML", help="which of the trees S, M, L to time (E always is)")
    args = parser.parse_args()

    contenders = Contenders(args.build, args.work, not args.no_drop)
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
    startup_figures(args.build, contenders.program_dir, max(args.rounds, 3) * 2)
    if contenders.with_drop:
        memory_figures(contenders, os.path.join(args.trees, "F tree"))
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
    return 0


if __name__ == "__main__":
    sys.exit(main())
