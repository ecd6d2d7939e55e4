// The compare engine on the data make_compare.py writes, in one process with no window: two
// 100,000-line texts with 1 % of their lines changed (read, decoded and diffed: the first change is
// there when the compare returns), the private memory at its peak while it runs, two 200,000-line
// texts with no line in common, two of 20 distinct lines (past the diff's bound: its fall-back), and
// a folder version of 40,000 files against the folder now with 100 changed. Each line it prints is
// one figure: its name, then its values.
//
//     diffbench.exe <compare data folder> [rounds, 5]
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "BenchClock.h"
#include "PrivateBytes.h"
#include "engine/compare/FileCompare.h"
#include "engine/compare/FolderCompare.h"

namespace {

struct Series {
    std::vector<double> ms;
    void Print(const char* name) {
        std::sort(ms.begin(), ms.end());
        std::printf("%s %.1f %.1f %.1f\n", name, ms[ms.size() / 2], ms.front(), ms.back());
    }
};

bool CompareTexts(const std::wstring& data, const wchar_t* older, const wchar_t* newer, int rounds,
                  const char* name) {
    Series series;
    FileComparison compared;
    for (int round = 0; round < rounds; ++round) {
        compared = FileComparison(); // the last round's result freed first, as a window closed
        const double start = NowMs();
        CompareFiles(data + L"\\" + older, data + L"\\" + newer, nullptr, &compared);
        series.ms.push_back(NowMs() - start);
        if (compared.outcome != FileCompareOutcome::Texts) {
            std::fprintf(stderr, "%s: not compared as texts (%d)\n", name,
                         static_cast<int>(compared.outcome));
            return false;
        }
    }
    series.Print((std::string(name) + "-ms").c_str());
    const CLineDiff& lines = compared.lines;
    std::printf("%s-diff %zu %zu %zu %zu %zu %d\n", name, compared.olderText.LineCount(),
                compared.newerText.LineCount(), lines.PlaceCount(), lines.RemovedLines(), lines.AddedLines(),
                lines.Minimal() ? 1 : 0);
    std::printf("%s-bytes %llu %llu\n", name, compared.older.size, compared.newer.size);
    return true;
}

// The 1 % case's memory: at its peak while the compare runs, and what its result holds after.
void MeasureMemory(const std::wstring& data) {
    FileComparison compared;
    const unsigned long long before = PrivateBytes().bytes;
    const unsigned long long peak = PeakPrivateBytes(
        [&] { CompareFiles(data + L"\\older.txt", data + L"\\newer.txt", nullptr, &compared); });
    const unsigned long long held = PrivateBytes().bytes;
    std::printf("text-memory %llu %llu %llu %s\n", peak - before, held - before,
                compared.older.size + compared.newer.size, PrivateBytes().source);
}

bool CompareTrees(const std::wstring& data, int rounds) {
    FolderCompareOptions options;
    options.excludes = {L"*.tmp", L"node_modules"};
    Series series;
    FolderComparison compared;
    for (int round = 0; round < rounds; ++round) {
        const double start = NowMs();
        compared = CompareFolders(data + L"\\version", data + L"\\now", options);
        series.ms.push_back(NowMs() - start);
        if (compared.outcome != FolderCompareOutcome::Done) {
            std::fprintf(stderr, "folders: not compared (%d, error %lu)\n",
                         static_cast<int>(compared.outcome), compared.error);
            return false;
        }
    }
    series.Print("folder-ms");
    const FolderCompareCounts& counts = compared.counts;
    std::printf("folder-counts %llu %llu %llu %llu %llu\n", static_cast<unsigned long long>(counts.changed),
                static_cast<unsigned long long>(counts.added),
                static_cast<unsigned long long>(counts.removed), static_cast<unsigned long long>(counts.same),
                static_cast<unsigned long long>(counts.unreadable));
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: diffbench <compare data folder> [rounds]\n");
        return 2;
    }
    const std::wstring data = argv[1];
    const int rounds = std::max(argc > 2 ? _wtoi(argv[2]) : 5, 1);
    if (!CompareTexts(data, L"older.txt", L"newer.txt", rounds, "text"))
        return 1;
    MeasureMemory(data);
    if (!CompareTexts(data, L"disjoint-older.txt", L"disjoint-newer.txt", rounds, "disjoint") ||
        !CompareTexts(data, L"repeated-older.txt", L"repeated-newer.txt", std::min(rounds, 3), "repeated"))
        return 1;
    return CompareTrees(data, rounds) ? 0 : 1;
}
