#include "engine/compare/InlineDiff.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

namespace {

// The search's work grows with the tokens between the common start and end times the edits; past
// this much it stops (a few hundred microseconds), so a screen of long rewritten lines draws at once.
constexpr long long kMostWork = 1 << 18;

struct Token {
    uint32_t first, length;
};

// Ideographs, kana and the marks between them: each its own token.
bool StandsAlone(wchar_t c) {
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF66 && c <= 0xFF9F);
}

// The line cut into tokens, in order, covering all of it.
std::vector<Token> Tokenize(const wchar_t* text, size_t length) {
    std::vector<WORD> types(length);
    if (length > 0 && !::GetStringTypeW(CT_CTYPE1, text, static_cast<int>(length), types.data()))
        types.assign(length, 0); // every character a token of its own: still a sound diff
    const auto inWord = [&](size_t at) {
        return (types[at] & (C1_ALPHA | C1_DIGIT)) != 0 && !StandsAlone(text[at]) &&
               (text[at] & 0xF800) != 0xD800;
    };
    std::vector<Token> tokens;
    for (size_t at = 0; at < length;) {
        size_t end = at + 1;
        if (IS_HIGH_SURROGATE(text[at]) && end < length && IS_LOW_SURROGATE(text[end]))
            ++end;
        else if (inWord(at))
            while (end < length && inWord(end))
                ++end;
        tokens.push_back({static_cast<uint32_t>(at), static_cast<uint32_t>(end - at)});
        at = end;
    }
    return tokens;
}

// The tokens of one side between the common start and end, and which of them are changed.
struct Side {
    const wchar_t* text;
    std::vector<Token> tokens;
    size_t lo, hi;
    std::vector<uint8_t> changed;
};

bool SameToken(const Side& a, size_t x, const Side& b, size_t y) {
    const Token& s = a.tokens[a.lo + x];
    const Token& t = b.tokens[b.lo + y];
    return s.length == t.length && std::wmemcmp(a.text + s.first, b.text + t.first, s.length) == 0;
}

// Myers' greedy search from the start, keeping each round's furthest points on the diagonals
// (diagonal k holds x - y = k) so the path can be walked back from the end; small lines make this
// simpler than the line diff's linear-space search. False past the bound or the work's, nothing
// marked.
bool SearchEdits(Side& a, Side& b, int bound) {
    const int n = static_cast<int>(a.hi - a.lo), m = static_cast<int>(b.hi - b.lo);
    const int most = static_cast<int>(std::min<long long>({bound, n + m, kMostWork / std::max(n + m, 1)}));
    std::vector<int> furthest(2 * static_cast<size_t>(most) + 3, 0);
    int* v = furthest.data() + most + 1;
    std::vector<int> rounds; // round d's v[-d..d] from d * d on
    const auto down = [](const int* w, int k, int d) { return k == -d || (k != d && w[k - 1] < w[k + 1]); };
    int d = 0;
    for (;; ++d) {
        if (d > most)
            return false;
        bool reached = false;
        for (int k = -d; k <= d && !reached; k += 2) {
            int x = down(v, k, d) ? v[k + 1] : v[k - 1] + 1;
            int y = x - k;
            while (x < n && y < m && SameToken(a, x, b, y))
                ++x, ++y;
            v[k] = x;
            reached = x >= n && y >= m;
        }
        if (reached)
            break;
        rounds.insert(rounds.end(), v - d, v + d + 1);
    }
    // Back from the end: each round's step came from the diagonal beside it.
    for (int x = n, y = m; d > 0; --d) {
        const int* w = rounds.data() + static_cast<size_t>(d - 1) * (d - 1) + (d - 1);
        const int k = x - y;
        const int before = down(w, k, d) ? k + 1 : k - 1;
        x = w[before];
        y = x - before;
        if (before == k + 1)
            b.changed[b.lo + y] = 1; // the step down took b's token y
        else
            a.changed[a.lo + x] = 1;
    }
    return true;
}

// The changed tokens of a side as ranges of its text, neighbours joined.
std::vector<TextRange> Ranges(const Side& side) {
    std::vector<TextRange> ranges;
    for (size_t at = 0; at < side.tokens.size(); ++at) {
        if (!side.changed[at])
            continue;
        const Token& token = side.tokens[at];
        if (!ranges.empty() && ranges.back().first + ranges.back().count == token.first)
            ranges.back().count += token.length;
        else
            ranges.push_back({token.first, token.length});
    }
    return ranges;
}

} // namespace

void DiffWithinLine(const wchar_t* left, size_t leftLength, const wchar_t* right, size_t rightLength,
                    InlineDiff* result, uint32_t editBound) {
    Side a{left, Tokenize(left, leftLength), 0, 0, {}};
    Side b{right, Tokenize(right, rightLength), 0, 0, {}};
    a.hi = a.tokens.size();
    b.hi = b.tokens.size();
    while (a.lo < a.hi && b.lo < b.hi && SameToken(a, 0, b, 0))
        ++a.lo, ++b.lo;
    while (a.lo < a.hi && b.lo < b.hi && SameToken(a, a.hi - a.lo - 1, b, b.hi - b.lo - 1))
        --a.hi, --b.hi;
    a.changed.assign(a.tokens.size(), 0);
    b.changed.assign(b.tokens.size(), 0);
    const int bound = static_cast<int>(std::min<uint32_t>(editBound, 1u << 20));
    result->withinBound = SearchEdits(a, b, bound);
    if (!result->withinBound) {
        std::fill(a.changed.begin() + a.lo, a.changed.begin() + a.hi, 1);
        std::fill(b.changed.begin() + b.lo, b.changed.begin() + b.hi, 1);
    }
    result->left = Ranges(a);
    result->right = Ranges(b);
}

const InlineDiff& CInlineDiffCache::For(size_t row, const wchar_t* left, size_t leftLength,
                                        const wchar_t* right, size_t rightLength) {
    for (const Entry& entry : m_entries)
        if (entry.row == row)
            return entry.diff;
    Entry* entry = nullptr;
    m_entries.reserve(kRows); // what For returned stays where it is
    if (m_entries.size() < kRows) {
        m_entries.push_back({row, {}});
        entry = &m_entries.back();
    } else {
        entry = &m_entries[m_oldest];
        m_oldest = (m_oldest + 1) % kRows;
        entry->row = row;
    }
    DiffWithinLine(left, leftLength, right, rightLength, &entry->diff);
    return entry->diff;
}

void CInlineDiffCache::Clear() {
    m_entries.clear();
    m_oldest = 0;
}
