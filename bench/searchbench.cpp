// The search inside every version on the backups make_search.py writes, in one process with no
// window: the history read, then the search run several times (the first round brings the files
// into the page cache and is not counted), each timed to its first item found and to its end. Each
// line it prints is one figure: its name, then its values.
//
//     searchbench.exe <backups folder> <text> [rounds, 3]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "engine/search/ContentSearch.h"

namespace {

class CTimingHost : public CSearchHost {
public:
    explicit CTimingHost(double start) : m_start(start) {}
    void HitChanged(const ContentHit& hit) override {
        if (firstMs < 0)
            firstMs = NowMs() - m_start;
        hits[hit.id] = hit;
    }
    void Progress(const ContentSearchCounts& now) override { counts = now; }

    double firstMs = -1;
    std::map<uint32_t, ContentHit> hits;
    ContentSearchCounts counts;

private:
    double m_start;
};

void PrintSeries(const char* name, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%s %.1f %.1f %.1f\n", name, ms[ms.size() / 2], ms.front(), ms.back());
}

// A version as its minute folder names it: "2026-1207\1015".
std::string VersionName(const CHistory& history, uint32_t entry) {
    if (entry == ContentHit::kNone)
        return "-";
    const std::wstring folder = history.CopyFolder(history.entries[entry]);
    return std::string(folder.begin(), folder.end());
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: searchbench <backups folder> <text> [rounds]\n");
        return 2;
    }
    const std::wstring root = argv[1], text = argv[2];
    const int rounds = std::max(argc > 3 ? _wtoi(argv[3]) : 3, 1);
    CHistory history;
    double start = NowMs();
    ReadHistory(root, history, nullptr, {});
    std::printf("history-ms %.1f\nhistory-entries %zu\n", NowMs() - start, history.entries.size());

    ContentSearchRequest request;
    request.text = text;
    request.backupRoot = root;
    std::vector<double> first, whole;
    for (int round = 0; round <= rounds; ++round) {
        start = NowMs();
        CTimingHost host(start);
        if (SearchContent(history, request, nullptr, host) != ContentSearchOutcome::Done) {
            std::fprintf(stderr, "the search did not end as done\n");
            return 1;
        }
        const double ms = NowMs() - start;
        std::printf("round %d %.1f ms, first item %.1f ms\n", round, ms, host.firstMs);
        if (round > 0) { // the first one reads the files into the page cache
            first.push_back(host.firstMs);
            whole.push_back(ms);
        }
        if (round < rounds)
            continue;
        const ContentSearchCounts& counts = host.counts;
        std::printf("search-counts %llu %llu %llu %llu %llu\n", static_cast<unsigned long long>(counts.versions),
                    static_cast<unsigned long long>(counts.read), static_cast<unsigned long long>(counts.skipped),
                    static_cast<unsigned long long>(counts.unreadable), static_cast<unsigned long long>(counts.found));
        for (const auto& [id, hit] : host.hits)
            std::printf("search-hit %u %s %s %s %u\n", id, VersionName(history, hit.first).c_str(),
                        VersionName(history, hit.last).c_str(), VersionName(history, hit.wentTo).c_str(),
                        hit.versions);
    }
    PrintSeries("search-first-ms", first);
    PrintSeries("search-ms", whole);
    return 0;
}
