// The change within a line: what differs between a removed line and the added line facing it,
// found among the lines' tokens: a run of letters and digits is one token (a Latin word, a number),
// each ideograph and kana stands alone (Japanese runs its words together), and every other
// character is a token of its own; a surrogate pair is one character. The common tokens at both
// ends are cut first; what lies between goes to Myers' search, bounded: past the bound all of it
// counts as changed.
//
// The compare window asks only for the rows it draws, and keeps the last few in a CInlineDiffCache,
// so a long text costs nothing here until its changed rows come into sight.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// UTF-16 units [first, first + count) of a line.
struct TextRange {
    uint32_t first = 0, count = 0;
};

struct InlineDiff {
    // What differs on each side, in order; two ranges never touch.
    std::vector<TextRange> left, right;
    // False when the search passed its bound (or, on long lines, a bound on its work): all between
    // the common start and end is marked.
    bool withinBound = true;
};

// With this many tokens removed plus added or fewer, the tokens marked are the fewest possible.
constexpr uint32_t kInlineEditBound = 256;

void DiffWithinLine(const wchar_t* left, size_t leftLength, const wchar_t* right, size_t rightLength,
                    InlineDiff* result, uint32_t editBound = kInlineEditBound);

// The changes within the lines of the rows drawn last, by row; Clear when the rows change.
class CInlineDiffCache {
public:
    const InlineDiff& For(size_t row, const wchar_t* left, size_t leftLength, const wchar_t* right,
                          size_t rightLength);
    void Clear();

private:
    static constexpr size_t kRows = 128; // more than a screen shows, so a repaint computes nothing
    struct Entry {
        size_t row;
        InlineDiff diff;
    };
    std::vector<Entry> m_entries;
    size_t m_oldest = 0; // the entry replaced next once all are taken
};
