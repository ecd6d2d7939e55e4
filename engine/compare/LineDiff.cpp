#include "engine/compare/LineDiff.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cwchar>

#include "engine/base/StopFlag.h"

namespace {

// Past the first bound, every later part of the search gets this smaller one (or the square root of
// its diagonals, when larger), so a fall-back costs about the texts' lines times this.
constexpr int kFallBackBound = 256;

uint64_t HashLine(const wchar_t* text, size_t length) {
    uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (size_t at = 0; at < length; ++at) {
        hash ^= static_cast<uint16_t>(text[at]);
        hash *= 1099511628211ull;
    }
    return hash;
}

// Gives every distinct line a number: equal lines (their text compared, not only their hash) one.
class CLineNumbering {
public:
    explicit CLineNumbering(size_t lines) {
        size_t buckets = 16;
        while (buckets < lines)
            buckets *= 2;
        m_buckets.assign(buckets, kNone);
        m_classes.reserve(std::min<size_t>(lines, 1u << 16));
    }
    uint32_t NumberOf(const wchar_t* text, size_t length) {
        const uint64_t hash = HashLine(text, length);
        uint32_t& bucket = m_buckets[static_cast<size_t>(hash) & (m_buckets.size() - 1)];
        for (uint32_t at = bucket; at != kNone; at = m_classes[at].next) {
            const Class& line = m_classes[at];
            if (line.hash == hash && line.length == length && std::wmemcmp(line.text, text, length) == 0)
                return at;
        }
        m_classes.push_back({hash, text, static_cast<uint32_t>(length), bucket});
        bucket = static_cast<uint32_t>(m_classes.size() - 1);
        return bucket;
    }
    size_t Count() const { return m_classes.size(); }

private:
    static constexpr uint32_t kNone = UINT32_MAX;
    struct Class {
        uint64_t hash;
        const wchar_t* text;
        uint32_t length;
        uint32_t next; // the bucket's next class
    };
    std::vector<uint32_t> m_buckets;
    std::vector<Class> m_classes;
};

std::vector<uint32_t> NumberLines(const CDecodedText& text, CLineNumbering& numbering) {
    std::vector<uint32_t> numbers(text.LineCount());
    for (size_t line = 0; line < numbers.size(); ++line)
        numbers[line] = numbering.NumberOf(text.LineText(line), text.LineLength(line));
    return numbers;
}

// One side of the search: the numbers of the lines kept for it, and where each stands in its text.
struct SearchSide {
    std::vector<uint32_t> numbers;
    std::vector<uint32_t> lines;
};

// Myers' search over two sequences of numbers, from both ends at once, dividing at each middle
// snake (a part of an optimal path) until each part is all removed or all added. The parts wait on
// a stack of their own, so a long run of uneven splits never deepens the call stack.
class CMyersSearch {
public:
    CMyersSearch(const SearchSide& a, const SearchSide& b, std::vector<uint8_t>& aChanged,
                 std::vector<uint8_t>& bChanged, const BOOL* stop, int bound)
        : m_a(a.numbers.data()), m_b(b.numbers.data()), m_aLines(a.lines.data()), m_bLines(b.lines.data()),
          m_aChanged(aChanged), m_bChanged(bChanged), m_stop(stop), m_bound(std::max(bound, 1)),
          m_offset(static_cast<int>(b.numbers.size()) + 1),
          m_forward(a.numbers.size() + b.numbers.size() + 3),
          m_backward(a.numbers.size() + b.numbers.size() + 3) {}

    // False when stopped.
    bool Run(int aSize, int bSize) {
        std::vector<Part> parts{{0, aSize, 0, bSize}};
        while (!parts.empty()) {
            Part part = parts.back();
            parts.pop_back();
            TrimEqualEnds(part);
            if (part.aLo == part.aHi || part.bLo == part.bHi) {
                MarkChanged(part);
                continue;
            }
            int x = 0, y = 0;
            if (!FindSplit(part, &x, &y))
                return false;
            if ((x == part.aLo && y == part.bLo) || (x == part.aHi && y == part.bHi)) {
                MarkChanged(part); // never met: a split at a corner would not divide the part
                continue;
            }
            parts.push_back({part.aLo, x, part.bLo, y});
            parts.push_back({x, part.aHi, y, part.bHi});
        }
        return true;
    }
    bool FellBack() const { return m_fellBack; }

private:
    struct Part {
        int aLo, aHi, bLo, bHi;
    };
    static constexpr int kUnreachedForward = -1;
    static constexpr int kUnreachedBackward = INT_MAX;

    void TrimEqualEnds(Part& part) const {
        while (part.aLo < part.aHi && part.bLo < part.bHi && m_a[part.aLo] == m_b[part.bLo])
            ++part.aLo, ++part.bLo;
        while (part.aLo < part.aHi && part.bLo < part.bHi && m_a[part.aHi - 1] == m_b[part.bHi - 1])
            --part.aHi, --part.bHi;
    }
    void MarkChanged(const Part& part) {
        for (int x = part.aLo; x < part.aHi; ++x)
            m_aChanged[m_aLines[x]] = 1;
        for (int y = part.bLo; y < part.bHi; ++y)
            m_bChanged[m_bLines[y]] = 1;
    }

    // A point (x, y) on an optimal path through the part (both sides non-empty, their first and last
    // lines different), or past the bound a point as far along as the search got. Diagonal k holds
    // the points with x - y = k; forward[k] is the furthest x a path from the part's start reached on
    // it, backward[k] the least x a path from its end reached.
    bool FindSplit(const Part& part, int* x, int* y) {
        int* forward = m_forward.data() + m_offset;
        int* backward = m_backward.data() + m_offset;
        const int kMin = part.aLo - part.bHi, kMax = part.aHi - part.bLo;
        const int forwardMid = part.aLo - part.bLo, backwardMid = part.aHi - part.bHi;
        const bool odd = ((forwardMid - backwardMid) & 1) != 0;
        int fLo = forwardMid, fHi = forwardMid, bLo = backwardMid, bHi = backwardMid;
        forward[forwardMid] = part.aLo;
        backward[backwardMid] = part.aHi;
        for (int d = 1;; ++d) {
            if (IsStopRequested(m_stop))
                return false;
            // One more diagonal each way while the part has one; the new outer neighbours unreached.
            if (fLo > kMin)
                forward[--fLo - 1] = kUnreachedForward;
            else
                ++fLo;
            if (fHi < kMax)
                forward[++fHi + 1] = kUnreachedForward;
            else
                --fHi;
            for (int k = fHi; k >= fLo; k -= 2) {
                const int across = forward[k - 1] != kUnreachedForward && forward[k - 1] < part.aHi
                                       ? forward[k - 1] + 1 // a line of a removed
                                       : kUnreachedForward;
                const int down = forward[k + 1] != kUnreachedForward && forward[k + 1] - (k + 1) < part.bHi
                                     ? forward[k + 1] // a line of b added
                                     : kUnreachedForward;
                int fx = std::max(across, down);
                if (fx == kUnreachedForward) {
                    forward[k] = kUnreachedForward;
                    continue;
                }
                int fy = fx - k;
                while (fx < part.aHi && fy < part.bHi && m_a[fx] == m_b[fy])
                    ++fx, ++fy;
                forward[k] = fx;
                if (odd && bLo <= k && k <= bHi && backward[k] <= fx) {
                    *x = fx, *y = fy;
                    return true;
                }
            }
            if (bLo > kMin)
                backward[--bLo - 1] = kUnreachedBackward;
            else
                ++bLo;
            if (bHi < kMax)
                backward[++bHi + 1] = kUnreachedBackward;
            else
                --bHi;
            for (int k = bHi; k >= bLo; k -= 2) {
                const int across = backward[k + 1] != kUnreachedBackward && backward[k + 1] > part.aLo
                                       ? backward[k + 1] - 1
                                       : kUnreachedBackward;
                const int up = backward[k - 1] != kUnreachedBackward && backward[k - 1] - (k - 1) > part.bLo
                                   ? backward[k - 1]
                                   : kUnreachedBackward;
                int bx = std::min(across, up);
                if (bx == kUnreachedBackward) {
                    backward[k] = kUnreachedBackward;
                    continue;
                }
                int by = bx - k;
                while (bx > part.aLo && by > part.bLo && m_a[bx - 1] == m_b[by - 1])
                    --bx, --by;
                backward[k] = bx;
                if (!odd && fLo <= k && k <= fHi && bx <= forward[k]) {
                    *x = bx, *y = by;
                    return true;
                }
            }
            if (d >= m_bound) {
                FurthestPoint(part, fLo, fHi, bLo, bHi, x, y);
                FallBack(kMax - kMin + 1);
                return true;
            }
        }
    }

    // The point of either search that got furthest from where it started.
    void FurthestPoint(const Part& part, int fLo, int fHi, int bLo, int bHi, int* x, int* y) const {
        const int* forward = m_forward.data() + m_offset;
        const int* backward = m_backward.data() + m_offset;
        long long best = -1;
        for (int k = fHi; k >= fLo; k -= 2) {
            if (forward[k] == kUnreachedForward)
                continue;
            const long long gone = 2ll * forward[k] - k - part.aLo - part.bLo;
            if (gone > best)
                best = gone, *x = forward[k], *y = forward[k] - k;
        }
        for (int k = bHi; k >= bLo; k -= 2) {
            if (backward[k] == kUnreachedBackward)
                continue;
            const long long gone = part.aHi + part.bHi - (2ll * backward[k] - k);
            if (gone > best)
                best = gone, *x = backward[k], *y = backward[k] - k;
        }
    }
    void FallBack(int diagonals) {
        m_fellBack = true;
        m_bound = std::min(m_bound, std::max(kFallBackBound, static_cast<int>(std::sqrt(diagonals))));
    }

    const uint32_t* const m_a;
    const uint32_t* const m_b;
    const uint32_t* const m_aLines;
    const uint32_t* const m_bLines;
    std::vector<uint8_t>& m_aChanged;
    std::vector<uint8_t>& m_bChanged;
    const BOOL* const m_stop;
    int m_bound;
    bool m_fellBack = false;
    const int m_offset; // diagonals run from -(b's size + 1) to a's size + 1
    std::vector<int> m_forward, m_backward;
};

// The lines between the common head and tail that occur on the other side's too go to the search;
// the others are changed whatever it finds.
void SetAside(const std::vector<uint32_t>& left, const std::vector<uint32_t>& right, size_t head, size_t tail,
              size_t numbers, std::vector<uint8_t>& leftChanged, std::vector<uint8_t>& rightChanged,
              SearchSide* a, SearchSide* b) {
    constexpr uint8_t kOnLeft = 1, kOnRight = 2;
    std::vector<uint8_t> sides(numbers, 0);
    for (size_t line = head; line + tail < left.size(); ++line)
        sides[left[line]] |= kOnLeft;
    for (size_t line = head; line + tail < right.size(); ++line)
        sides[right[line]] |= kOnRight;
    auto keep = [&](const std::vector<uint32_t>& numbered, uint8_t other, std::vector<uint8_t>& changed,
                    SearchSide* side) {
        for (size_t line = head; line + tail < numbered.size(); ++line) {
            if (sides[numbered[line]] & other) {
                side->numbers.push_back(numbered[line]);
                side->lines.push_back(static_cast<uint32_t>(line));
            } else {
                changed[line] = 1;
            }
        }
    };
    keep(left, kOnRight, leftChanged, a);
    keep(right, kOnLeft, rightChanged, b);
}

} // namespace

void DiffLines(const CDecodedText& left, const CDecodedText& right, const BOOL* stop, CLineDiff* result,
               uint32_t editBound) {
    CLineNumbering numbering(left.LineCount() + right.LineCount());
    const std::vector<uint32_t> leftNumbers = NumberLines(left, numbering);
    const std::vector<uint32_t> rightNumbers = NumberLines(right, numbering);
    size_t head = 0, tail = 0;
    const size_t shorter = std::min(leftNumbers.size(), rightNumbers.size());
    while (head < shorter && leftNumbers[head] == rightNumbers[head])
        ++head;
    while (tail < shorter - head &&
           leftNumbers[leftNumbers.size() - 1 - tail] == rightNumbers[rightNumbers.size() - 1 - tail])
        ++tail;
    std::vector<uint8_t> leftChanged(leftNumbers.size(), 0), rightChanged(rightNumbers.size(), 0);
    SearchSide a, b;
    SetAside(leftNumbers, rightNumbers, head, tail, numbering.Count(), leftChanged, rightChanged, &a, &b);
    // Each half of the search goes about half the edits deep before the halves meet.
    const int bound = static_cast<int>(std::min<uint32_t>(editBound / 2 + 1, INT_MAX));
    CMyersSearch search(a, b, leftChanged, rightChanged, stop, bound);
    if (IsStopRequested(stop) ||
        !search.Run(static_cast<int>(a.numbers.size()), static_cast<int>(b.numbers.size()))) {
        result->SetStopped();
        return;
    }
    result->Build(leftChanged, rightChanged, !search.FellBack());
}

void CLineDiff::SetStopped() {
    *this = CLineDiff();
    m_stopped = true;
}

void CLineDiff::AddRun(DiffRunKind kind, uint32_t leftFirst, uint32_t leftCount, uint32_t rightFirst,
                       uint32_t rightCount) {
    if (leftCount + rightCount > 0)
        m_runs.push_back({kind, leftFirst, leftCount, rightFirst, rightCount});
}

void CLineDiff::Build(const std::vector<uint8_t>& leftChanged, const std::vector<uint8_t>& rightChanged,
                      bool minimal) {
    *this = CLineDiff();
    m_minimal = minimal;
    const size_t leftLines = leftChanged.size(), rightLines = rightChanged.size();
    size_t i = 0, j = 0;
    while (i < leftLines || j < rightLines) {
        const size_t equalFrom = i, equalRight = j;
        while (i < leftLines && j < rightLines && !leftChanged[i] && !rightChanged[j])
            ++i, ++j;
        AddRun(DiffRunKind::Equal, static_cast<uint32_t>(equalFrom), static_cast<uint32_t>(i - equalFrom),
               static_cast<uint32_t>(equalRight), static_cast<uint32_t>(j - equalRight));
        m_rows += i - equalFrom;
        // Whatever follows up to the next pair of unchanged lines is one place.
        const size_t removedFrom = i, addedFrom = j;
        while (i < leftLines && (leftChanged[i] || j == rightLines))
            ++i;
        while (j < rightLines && (rightChanged[j] || i == leftLines))
            ++j;
        if (i == removedFrom && j == addedFrom)
            continue;
        DiffPlace place;
        place.leftFirst = static_cast<uint32_t>(removedFrom);
        place.leftCount = static_cast<uint32_t>(i - removedFrom);
        place.rightFirst = static_cast<uint32_t>(addedFrom);
        place.rightCount = static_cast<uint32_t>(j - addedFrom);
        place.firstRow = static_cast<uint32_t>(m_rows);
        AddRun(DiffRunKind::Removed, place.leftFirst, place.leftCount, place.rightFirst, 0);
        AddRun(DiffRunKind::Added, place.leftFirst + place.leftCount, 0, place.rightFirst, place.rightCount);
        m_places.push_back(place);
        m_removed += place.leftCount;
        m_added += place.rightCount;
        m_rows += place.Rows();
    }
}

DiffRow CLineDiff::RowAt(size_t row) const {
    const auto after =
        std::upper_bound(m_places.begin(), m_places.end(), row,
                         [](size_t at, const DiffPlace& place) { return at < place.firstRow; });
    DiffRow shown;
    if (after == m_places.begin()) { // above the first place the lines stand side by side
        shown.hasLeft = shown.hasRight = true;
        shown.leftLine = shown.rightLine = static_cast<uint32_t>(row);
        return shown;
    }
    const DiffPlace& place = *(after - 1);
    const uint32_t inside = static_cast<uint32_t>(row - place.firstRow);
    if (inside >= place.Rows()) { // in the equal lines after it
        const uint32_t beyond = inside - place.Rows();
        shown.hasLeft = shown.hasRight = true;
        shown.leftLine = place.leftFirst + place.leftCount + beyond;
        shown.rightLine = place.rightFirst + place.rightCount + beyond;
        return shown;
    }
    static const DiffRowState kStates[] = {DiffRowState::Removed, DiffRowState::Added, DiffRowState::Changed};
    shown.state = kStates[static_cast<int>(place.Kind())];
    shown.place = static_cast<size_t>(after - 1 - m_places.begin());
    shown.hasLeft = inside < place.leftCount;
    shown.hasRight = inside < place.rightCount;
    shown.leftLine = place.leftFirst + std::min(inside, place.leftCount);
    shown.rightLine = place.rightFirst + std::min(inside, place.rightCount);
    return shown;
}

size_t CLineDiff::NextPlace(size_t row) const {
    const auto next = std::upper_bound(m_places.begin(), m_places.end(), row,
                                       [](size_t at, const DiffPlace& place) { return at < place.firstRow; });
    return next == m_places.end() ? kNoPlace : static_cast<size_t>(next - m_places.begin());
}

size_t CLineDiff::PreviousPlace(size_t row) const {
    const auto first =
        std::lower_bound(m_places.begin(), m_places.end(), row,
                         [](const DiffPlace& place, size_t at) { return place.firstRow < at; });
    return first == m_places.begin() ? kNoPlace : static_cast<size_t>(first - m_places.begin() - 1);
}
