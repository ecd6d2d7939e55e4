// The compare engine on the data make_compare.py writes, in one process with no window: two
// 100,000-line texts with 1 % of their lines changed (read, decoded and diffed: the first change is
// there when the compare returns), the private memory at its peak while it runs, two 200,000-line
// texts with no line in common, two of 20 distinct lines (past the diff's bound: its fall-back), and
// a folder version of 40,000 files against the folder now with 100 changed, and two versions of such
// a folder compared from their manifests (made here once, under versions\: every file of the newer
// written anew, so without the manifests each one would be read). Each line it prints is one figure:
// its name, then its values.
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
#include "engine/base/FileFacts.h"
#include "engine/base/FolderTree.h"
#include "engine/compare/FolderCompare.h"
#include "engine/journal/Manifest.h"

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

const int kVersionFiles = 40000, kVersionChanged = 100;

// One folder version of the bench's: its files written, its manifest and its journal line.
bool WriteVersion(const std::wstring& root, const std::wstring& minute, int changedFrom) {
    const std::wstring copy = L"2026-1207\\" + minute + L"\\big";
    std::vector<ManifestEntry> entries;
    for (int i = 0; i < kVersionFiles; ++i) {
        const std::wstring relative = L"d" + std::to_wstring(i / 400) + L"\\f" + std::to_wstring(i) + L".txt";
        const std::wstring path = root + L"\\" + copy + L"\\" + relative;
        const std::string content = "file " + std::to_string(i) + (i >= changedFrom ? " changed" : " as it was");
        if (i % 400 == 0)
            MakeFolderTree(WithoutLastComponent(path));
        HANDLE file = CreateFileW(SystemPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        const bool done = file != INVALID_HANDLE_VALUE &&
                          WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        CloseHandle(file);
        FileFacts facts;
        if (!done || !ReadFileFacts(SystemPath(path), &facts))
            return false;
        entries.push_back({relative, facts.size, facts.modified, facts.attributes,
                           HashOfBytes(content.data(), content.size()), true});
    }
    std::sort(entries.begin(), entries.end(), [](const ManifestEntry& a, const ManifestEntry& b) { return a.path < b.path; });
    JournalRecord record;
    record.time = {2026, 12, 0, 7, static_cast<WORD>(_wtoi(minute.substr(0, 2).c_str())),
                   static_cast<WORD>(_wtoi(minute.substr(2).c_str())), 0, 0};
    record.isFolder = true;
    record.original = L"C:\\big";
    record.copy = copy;
    record.files = kVersionFiles;
    record.hashKnown = WriteManifest(root, copy, std::move(entries), &record.hash) == ERROR_SUCCESS;
    return record.hashKnown && AppendJournalRecord(root, L"2026-1207", record) == ERROR_SUCCESS;
}

// Two versions of a 40,000-file folder with 100 files changed: to the full list, from the manifests;
// then one round with both folders walked (the hashes still from the manifests: the same run's
// reference) and one without the manifests.
bool CompareVersions(const std::wstring& data, int rounds) {
    const std::wstring root = data + L"\\versions";
    const std::wstring older = root + L"\\2026-1207\\1000\\big", newer = root + L"\\2026-1207\\1100\\big";
    if (GetFileAttributesW(SystemPath(newer).c_str()) == INVALID_FILE_ATTRIBUTES &&
        (!WriteVersion(root, L"1000", kVersionFiles) || !WriteVersion(root, L"1100", kVersionFiles - kVersionChanged)))
        return false;
    const ManifestIndex none;
    Series proven, walked, unproven;
    FolderComparison compared;
    for (int round = 0; round < rounds + 2; ++round) {
        FolderCompareOptions options;
        options.listFromManifests = round < rounds;
        if (round == rounds + 1)
            options.olderHashes = options.newerHashes = &none;
        const double start = NowMs();
        compared = CompareFolders(older, newer, options);
        (round < rounds ? proven : round == rounds ? walked : unproven).ms.push_back(NowMs() - start);
        if (compared.outcome != FolderCompareOutcome::Done || compared.counts.changed != kVersionChanged) {
            std::fprintf(stderr, "versions: %llu changed\n", static_cast<unsigned long long>(compared.counts.changed));
            return false;
        }
    }
    proven.Print("versions-ms");
    walked.Print("versions-walked-ms");
    unproven.Print("versions-unproven-ms");
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
    return CompareTrees(data, rounds) && CompareVersions(data, rounds) ? 0 : 1;
}
