// Generated inputs for the text functions, checked against invariants rather than against
// expected outputs: the quoted-piece extractor and the path component operations, on texts
// mixing quotes, spaces, backslashes, and lead and trail bytes of code page 932 (UTF-16 units
// for the paths). The seed is
// fixed, so a failure is the same on every run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "engine/base/BackupPaths.h"
#include "engine/base/TokenExtractor.h"

namespace {

constexpr int kInputs = 100000;
constexpr char kGuard = '\x7f';

// Bytes that matter: the quote, the separator, lead bytes (0x81, 0x82, 0x95), bytes that are a
// trail after a lead and a character of their own otherwise (0x5C, 0xA0, 0xB1), plain text.
const unsigned char kAlphabet[] = {'"',  '"',  '\\', '\\', ' ',  'a',  '.', ':',
                                   0x81, 0x82, 0x95, 0x5c, 0xa0, 0xb1, 0x40};

std::string RandomText(std::mt19937& random) {
    std::uniform_int_distribution<int> lengthPick(0, 99);
    const int roll = lengthPick(random);
    const size_t length = roll < 3 ? 270 + roll * 20 : static_cast<size_t>(roll % 24); // a few over-long ones
    std::uniform_int_distribution<size_t> bytePick(0, sizeof kAlphabet - 1);
    std::string text;
    for (size_t i = 0; i < length; ++i)
        text += static_cast<char>(kAlphabet[bytePick(random)]);
    return text;
}

// The quoted runs, found by toggling at each quote: a different walk from the extractor's search.
std::vector<std::string> QuotedRuns(const std::string& text) {
    std::vector<std::string> runs;
    bool inside = false;
    std::string run;
    for (char c : text) {
        if (c == '"') {
            if (inside)
                runs.push_back(run);
            run.clear();
            inside = !inside;
        } else if (inside) {
            run += c;
        }
    }
    return runs;
}

} // namespace

TEST(GeneratedInputs, ExtractorPiecesAreTheQuotedRunsAndBuffersHold) {
    std::mt19937 random(20041207);
    std::uniform_int_distribution<size_t> sizePick(0, 40);
    int failures = 0;
    for (int n = 0; n < kInputs && failures < 5; ++n) {
        const std::string text = RandomText(random);
        const std::vector<std::string> runs = QuotedRuns(text);
        CTokenExtractor extractor;
        extractor.Parse(text.c_str(), "\"", "\"");
        bool ok = extractor.GetCount() == static_cast<int>(runs.size());
        for (int i = 1; ok && i <= extractor.GetCount(); ++i) {
            const std::string& run = runs[i - 1];
            ok = extractor.GetTokenText(i) == run &&
                 extractor.GetTokenLength(i) == static_cast<int>(run.size());
            const size_t size = sizePick(random);
            char buffer[48];
            std::memset(buffer, kGuard, sizeof buffer);
            extractor.GetToken(i, buffer, size);
            for (size_t b = size; b < sizeof buffer; ++b)
                ok = ok && buffer[b] == kGuard;
            if (size > 0)
                ok = ok && std::string(buffer) == (run.size() < size ? run : std::string());
        }
        if (!ok) {
            ++failures;
            ADD_FAILURE() << "input " << n << ": [" << text << "]";
        }
    }
}

// UTF-16 paths: a backslash is always a separator, every other unit (表, whose code page 932
// trail byte is 0x5C, surrogate halves) is part of a name.
std::wstring RandomPath(std::mt19937& random) {
    static const wchar_t kUnits[] = {L'\\',  L'\\',  L'a',   L'.',   L':', 0x8868,
                                     0xFF71, 0x3042, 0xD842, 0xDFB7, 0xE9};
    std::uniform_int_distribution<int> lengthPick(0, 99);
    const int roll = lengthPick(random);
    const size_t length = roll < 3 ? 270 + roll * 20 : static_cast<size_t>(roll % 24);
    std::uniform_int_distribution<size_t> unitPick(0, sizeof kUnits / sizeof kUnits[0] - 1);
    std::wstring path;
    for (size_t i = 0; i < length; ++i)
        path += kUnits[unitPick(random)];
    return path;
}

TEST(GeneratedInputs, ComponentOperationsSplitAtTheLastBackslash) {
    std::mt19937 random(19991231);
    const wchar_t guard = 0x7f;
    int failures = 0;
    for (int n = 0; n < kInputs && failures < 5; ++n) {
        const std::wstring path = RandomPath(random);
        const size_t expected = path.rfind(L'\\');
        std::vector<wchar_t> kept(path.size() + 8, guard), stripped(path.size() + 8, guard);
        std::copy(path.c_str(), path.c_str() + path.size() + 1, kept.data());
        std::copy(path.c_str(), path.c_str() + path.size() + 1, stripped.data());
        KeepLastComponent(kept.data());
        StripLastComponent(stripped.data());
        const std::wstring last = kept.data(), rest = stripped.data();

        bool ok = expected == std::wstring::npos ? last == path && rest == path : rest + L"\\" + last == path;
        ok = ok && last.find(L'\\') == std::wstring::npos;
        ok = ok && last == LastComponent(path) && rest == WithoutLastComponent(path);
        ok = ok && EndsWithSeparator(path) == (!path.empty() && expected == path.size() - 1);
        for (size_t b = path.size() + 1; b < kept.size(); ++b)
            ok = ok && kept[b] == guard && stripped[b] == guard;
        if (!ok) {
            ++failures;
            ADD_FAILURE() << "input " << n << " of " << path.size() << " units: kept " << last.size()
                          << ", stripped " << rest.size();
        }
    }
}
