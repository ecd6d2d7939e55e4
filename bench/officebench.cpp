// The compare of two versions of a Word and of an Excel document (make_office.py): each read as its
// text and diffed, in one process with no window (the window shows the first change as soon as the
// compare returns), and the private memory at its peak while it runs, beside the text both
// documents hold. Each line it prints is one figure: its name, then its values.
//
//     officebench.exe <office data folder> [rounds, 5]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "PrivateBytes.h"
#include "engine/compare/FileCompare.h"

namespace {

// The text a side holds, in bytes of UTF-16 with a unit for each line's end.
unsigned long long TextBytes(const CDecodedText& text) {
    unsigned long long units = 0;
    for (size_t line = 0; line < text.LineCount(); ++line)
        units += text.LineLength(line) + 1;
    return 2 * units;
}

bool CompareDocuments(const std::wstring& data, const wchar_t* extension, int rounds, const char* name) {
    const std::wstring older = data + L"\\older." + extension, newer = data + L"\\newer." + extension;
    std::vector<double> ms;
    FileComparison compared;
    for (int round = 0; round < rounds; ++round) {
        compared = FileComparison();
        const double start = NowMs();
        CompareFiles(older, newer, nullptr, &compared);
        ms.push_back(NowMs() - start);
        if (compared.outcome != FileCompareOutcome::Texts || compared.document == OfficeKind::None) {
            std::fprintf(stderr, "%s: not compared as documents (%d, %d)\n", name,
                         static_cast<int>(compared.outcome), static_cast<int>(compared.documentOutcome));
            return false;
        }
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%s-ms %.1f %.1f %.1f\n", name, ms[ms.size() / 2], ms.front(), ms.back());
    const CLineDiff& lines = compared.lines;
    std::printf("%s-diff %zu %zu %zu %zu %zu %d\n", name, compared.olderText.LineCount(),
                compared.newerText.LineCount(), lines.PlaceCount(), lines.RemovedLines(), lines.AddedLines(),
                lines.Minimal() ? 1 : 0);
    const unsigned long long text = TextBytes(compared.olderText) + TextBytes(compared.newerText);
    compared = FileComparison();
    const unsigned long long before = PrivateBytes().bytes;
    const unsigned long long peak = PeakPrivateBytes([&] { CompareFiles(older, newer, nullptr, &compared); });
    std::printf("%s-memory %llu %llu %llu %s\n", name, peak - before, text, compared.older.size + compared.newer.size,
                PrivateBytes().source);
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: officebench <office data folder> [rounds]\n");
        return 2;
    }
    const std::wstring data = argv[1];
    const int rounds = std::max(argc > 2 ? _wtoi(argv[2]) : 5, 1);
    return CompareDocuments(data, L"docx", rounds, "docx") && CompareDocuments(data, L"xlsx", rounds, "xlsx") ? 0 : 1;
}
