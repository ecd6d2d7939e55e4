"""The search inside every version: searchbench.exe over the versions make_search.py writes (10,000
versions of a watched folder, 1 GB in all, most of it links), its time to the first item found and
to its end with the files in the page cache, against their targets. Called by run.py with
--search-only."""
import os

QUERY = "見積の前提条件"


def search_figures(build: str, search: str, rounds: int, named_figures, target_line, verdict) -> None:
    exe = os.path.join(build, "bench", "searchbench.exe")
    figures = named_figures(["/usr/lib/wine/wine64", exe, "Z:" + search.replace("/", "\\"), QUERY,
                             str(max(rounds, 3))])
    versions, read, skipped, unreadable, found = figures["search-counts"]
    print("search inside every version (median ms, min-max over the rounds; a first round filled the page cache)")
    print(f"   history read once: {int(figures['history-entries'][0]):,} versions in "
          f"{float(figures['history-ms'][0]):.0f} ms")
    for name, label in (("search-first-ms", "first item found"), ("search-ms", "the whole search")):
        med, low, high = (float(v) for v in figures[name])
        print(f"   {label:32s} {med:8.1f}   {low:8.1f}-{high:<8.1f}")
    print(f"   versions {versions}, contents read {read}, skipped {skipped}, unreadable {unreadable}, "
          f"items found {found}")
    print()
    for label, name, limit in (("search: first item found (ms)", "search-first-ms", 1000),
                               ("search: 10,000 versions, 1 GB (ms)", "search-ms", 10000)):
        med = float(figures[name][0])
        target_line(label, f"{med:.0f}", f"<= {limit}", verdict(med <= limit))
