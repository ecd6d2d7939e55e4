// Generated inputs for the text functions, checked against invariants rather than against
// expected outputs: the quoted-piece extractor and the path component operations, on texts
// mixing quotes, spaces, backslashes, and lead and trail bytes of code page 932. The seed is
// fixed, so a failure is the same on every run.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "engine/BackupPaths.h"
#include "engine/TokenExtractor.h"

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

// Offsets at which a character starts, as the platform's own code-page walk sees them.
std::vector<size_t> CharacterStarts(const std::string& text) {
    std::vector<size_t> starts;
    const char* begin = text.c_str();
    for (const char* p = begin; *p; p = CharNextExA(932, p, 0))
        starts.push_back(static_cast<size_t>(p - begin));
    return starts;
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

TEST(GeneratedInputs, ComponentOperationsSplitAtCharacterBoundaries) {
    std::mt19937 random(19991231);
    int failures = 0;
    for (int n = 0; n < kInputs && failures < 5; ++n) {
        const std::string path = RandomText(random);
        const std::vector<size_t> starts = CharacterStarts(path);
        // The last separator as the platform's walk sees it.
        int expected = -1;
        for (size_t start : starts)
            if (path[start] == '\\')
                expected = static_cast<int>(start);

        std::vector<char> kept(path.size() + 8, kGuard), stripped(path.size() + 8, kGuard);
        std::memcpy(kept.data(), path.c_str(), path.size() + 1);
        std::memcpy(stripped.data(), path.c_str(), path.size() + 1);
        KeepLastComponent(kept.data());
        StripLastComponent(stripped.data());
        const std::string last = kept.data(), rest = stripped.data();

        bool ok = FindLastSeparator(path.c_str(), path.size()) == expected;
        ok = ok && (expected < 0 ? last == path && rest == path : rest + "\\" + last == path);
        ok = ok && FindLastSeparator(last.c_str(), last.size()) == -1;
        ok =
            ok && EndsWithSeparator(path) == (expected >= 0 && expected == static_cast<int>(path.size()) - 1);
        for (size_t b = path.size() + 1; b < kept.size(); ++b)
            ok = ok && kept[b] == kGuard && stripped[b] == kGuard;
        if (!ok) {
            ++failures;
            ADD_FAILURE() << "input " << n << ": [" << path << "] separator "
                          << FindLastSeparator(path.c_str(), path.size()) << " expected " << expected
                          << " kept [" << last << "] stripped [" << rest << "]";
        }
    }
}
