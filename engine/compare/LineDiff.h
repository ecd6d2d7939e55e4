// The line diff of two decoded texts: a longest common subsequence of lines, as Myers' O(ND)
// algorithm finds it searching from both ends at once in linear space. Lines are hashed to numbers
// once; the common head and tail are cut first, and lines that occur on one side only are set aside
// before the search (they can be in no common subsequence, so the result stays minimal). Past a
// bound on the search's work it takes a good split instead of the best one, and says so.
//
// The result is a list of runs (equal, removed, added) with their line ranges on both sides, the
// places where the texts differ (a run of removed lines beside a run of added lines is one place),
// and the texts side by side as rows: an equal line beside its equal, a place as many rows as its
// longer side.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "engine/compare/TextDecode.h"

enum class DiffRunKind : unsigned char { Equal, Removed, Added };

// Lines [leftFirst, leftFirst + leftCount) of the left text and the same of the right. A removed run
// has no right lines, an added run no left lines (their first line says where they stand).
struct DiffRun {
    DiffRunKind kind = DiffRunKind::Equal;
    uint32_t leftFirst = 0, leftCount = 0;
    uint32_t rightFirst = 0, rightCount = 0;
};

// A place with lines on both sides is changed.
enum class DiffPlaceKind : unsigned char { Removed, Added, Changed };

struct DiffPlace {
    uint32_t leftFirst = 0, leftCount = 0;
    uint32_t rightFirst = 0, rightCount = 0;
    uint32_t firstRow = 0; // where it starts side by side
    uint32_t Rows() const { return leftCount > rightCount ? leftCount : rightCount; }
    DiffPlaceKind Kind() const {
        return leftCount == 0    ? DiffPlaceKind::Added
               : rightCount == 0 ? DiffPlaceKind::Removed
                                 : DiffPlaceKind::Changed;
    }
};

// One row side by side: the line on each side (when it has one) and how it is tinted.
enum class DiffRowState : unsigned char { Equal, Removed, Added, Changed };
struct DiffRow {
    DiffRowState state = DiffRowState::Equal;
    bool hasLeft = false, hasRight = false;
    uint32_t leftLine = 0, rightLine = 0;
    size_t place = 0; // the place's index, for a row that is not equal
};

// With this many edits or fewer (removed lines plus added lines, after the lines found on one side
// only are set aside), the diff is always minimal.
constexpr uint32_t kMinimalEditBound = 20000;

class CLineDiff {
public:
    static constexpr size_t kNoPlace = static_cast<size_t>(-1);

    const std::vector<DiffRun>& Runs() const { return m_runs; }
    const std::vector<DiffPlace>& Places() const { return m_places; }
    // D: left lines not in the common subsequence; A: the same of the right; N: the places.
    size_t RemovedLines() const { return m_removed; }
    size_t AddedLines() const { return m_added; }
    size_t PlaceCount() const { return m_places.size(); }
    // False when the search passed its bound and took good splits instead of the best.
    bool Minimal() const { return m_minimal; }
    // True when a set stop ended it: nothing else is said.
    bool Stopped() const { return m_stopped; }

    size_t RowCount() const { return m_rows; }
    DiffRow RowAt(size_t row) const;
    // The first place that starts after row, and the last that starts before it; kNoPlace: none.
    size_t NextPlace(size_t row) const;
    size_t PreviousPlace(size_t row) const;

    // The runs and places of two texts of these lengths whose changed lines are flagged.
    void Build(const std::vector<uint8_t>& leftChanged, const std::vector<uint8_t>& rightChanged,
               bool minimal);
    void SetStopped();

private:
    void AddRun(DiffRunKind kind, uint32_t leftFirst, uint32_t leftCount, uint32_t rightFirst,
                uint32_t rightCount);

    std::vector<DiffRun> m_runs;
    std::vector<DiffPlace> m_places;
    size_t m_removed = 0, m_added = 0, m_rows = 0;
    bool m_minimal = true;
    bool m_stopped = false;
};

// Compares the lines of left and right (their ends aside). A set *stop (read as the search goes)
// ends it with a stopped result. editBound: the edits up to which the result is always minimal.
void DiffLines(const CDecodedText& left, const CDecodedText& right, const BOOL* stop, CLineDiff* result,
               uint32_t editBound = kMinimalEditBound);
