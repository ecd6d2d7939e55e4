"""What the background check costs: every version of S and M read back in both places against the
floor copying the same bytes, a first backup of S while the check's thread reads against one
without, and the check's private bytes per version it tracks (checkbench.exe, in-process with the
engine). Called by run.py with --check-only."""
import os
import subprocess

WINE = "/usr/lib/wine/wine64"


def check_figures(build: str, work: str, trees: str, rounds: int, win, target_line, verdict) -> dict:
    folder = os.path.join(work, "check")
    os.makedirs(folder, exist_ok=True)
    out = subprocess.run([WINE, os.path.join(build, "bench", "checkbench.exe"), win(folder),
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
        ratio = figures[f"{tree}-check-ms"] / figures[f"{tree}-check-floor-ms"]
        target_line(f"check: every version of {tree}, both places / floor", f"{ratio:.2f}x", "<= 1.0",
                    verdict(ratio <= 1.0 and figures[f"{tree}-check-findings"] == 0))
    ratio = figures["drop-with-check-ms"] / figures["drop-without-check-ms"]
    target_line("check: drop of S while it runs / without", f"{ratio:.2f}x", "<= 1.05", verdict(ratio <= 1.05))
    per = figures["memory-bytes-per-version"]
    target_line("check: private bytes per version tracked", f"{per:.0f}", "<= 64", verdict(per <= 64))
    return figures
