"""What proving every version costs: first backups of S and M with hashes (a hash a file, a
manifest a folder version) against the same build with `Hash=no`, and `/p` of S against the
floor; then the hash's candidates on 256 MiB in memory and what a flush costs a file
(hashbench.exe). Called by run.py with --proof-only."""
import os
import shutil
import statistics
import subprocess

WINE = "/usr/lib/wine/wine64"


def no_hash_program(contenders) -> str:
    """A folder of its own holding the same Tallowbox.exe with Hash=no in its settings."""
    folder = os.path.join(contenders.work, "program dir, no hashes")
    os.makedirs(folder, exist_ok=True)
    shutil.copy(os.path.join(contenders.program_dir, "Tallowbox.exe"), folder)
    with open(os.path.join(folder, "Tallowbox.ini"), "w", encoding="utf-8", newline="\r\n") as f:
        f.write("[Tallowbox]\nHash=no\n")
    return folder


def hash_figures(build: str, work: str) -> None:
    flush = os.path.join(work, "flush")
    shutil.rmtree(flush, ignore_errors=True)
    os.makedirs(flush)
    bench = os.path.join(build, "bench")
    for exe, extra in (("hashbench.exe", ["--flush-folder", "Z:" + flush.replace("/", "\\")]),
                       ("hashbench_sse2.exe", ["--xxh3-only", "1"])):
        out = subprocess.run([WINE, os.path.join(bench, exe), "--rounds", "5"] + extra,
                             capture_output=True, text=True, check=True).stdout
        for line in out.splitlines():
            parts = line.split()
            if line.startswith("hash-"):
                name = parts[0][5:] + (" (SSE2 only)" if "sse2" in exe else "")
                print(f"   hash {name:28s} {float(parts[1]):8.0f} MB/s  ({float(parts[2]):.1f} ms for 256 MiB)")
            elif line.startswith("flush-"):
                print(f"   {parts[2]:>7s}-byte file written {parts[0][6:]:7s} a flush: {float(parts[3]):6.2f} ms/file")
    shutil.rmtree(flush, ignore_errors=True)


def proof_figures(contenders, trees: str, rounds: int, launch_p, find_backup, verify) -> None:
    plain = no_hash_program(contenders)
    programs = {"Tallowbox /p": contenders.program_dir, "Tallowbox /p, Hash=no": plain}
    names = ["floor"] + list(programs)
    times = {}
    for round_no in range(1, rounds + 1):
        for label in ("S", "M"):
            tree = os.path.join(trees, f"{label} tree")
            shift = (round_no - 1) % len(names)
            for name in names[shift:] + names[:shift]:
                os.sync()
                if name == "floor":
                    ms, copy = contenders.run(name, tree)
                else:
                    shutil.rmtree(os.path.join(programs[name], "backups"), ignore_errors=True)
                    ms = launch_p(programs[name], tree)
                    copy = find_backup(programs[name], os.path.basename(tree))
                verify(tree, copy)
                times.setdefault((label, name), []).append(ms)
                print(f"round {round_no} {label} {name:24s} {ms:9.1f} ms", flush=True)
    print()
    for label in ("S", "M"):
        floor = statistics.median(times[(label, "floor")])
        proven = statistics.median(times[(label, "Tallowbox /p")])
        plain_ms = statistics.median(times[(label, "Tallowbox /p, Hash=no")])
        print(f"{label}: floor {floor:.1f} ms, /p with hashes {proven:.1f} ms, /p with Hash=no {plain_ms:.1f} ms")
        print(f"   {label}: first backup with hashes / Hash=no   {proven / plain_ms:6.3f}   <= 1.03  "
              f"{'met' if proven <= 1.03 * plain_ms else 'missed'}")
        print(f"   {label}: /p with hashes / floor              {proven / floor:6.3f}   "
              + ("<= 0.85  " + ("met" if proven <= 0.85 * floor else "missed") if label == "S" else "(reference)"))
    print()
    hash_figures(contenders.build, contenders.work)
