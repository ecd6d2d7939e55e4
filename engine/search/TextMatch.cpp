#include "engine/search/TextMatch.h"

#include <algorithm>
#include <vector>

namespace {

constexpr DWORD kMatchFlags = LINGUISTIC_IGNORECASE | NORM_IGNOREWIDTH;

// One unit for each UTF-16 unit: its full-width form in lower case, where the system maps it to one
// unit (surrogates and what maps to more are kept). Made once, on first use.
const std::vector<wchar_t>& FoldTable() {
    static const std::vector<wchar_t> table = [] {
        std::vector<wchar_t> folded(0x10000);
        for (size_t unit = 0; unit < folded.size(); ++unit) {
            wchar_t c = static_cast<wchar_t>(unit);
            if (!IS_HIGH_SURROGATE(c) && !IS_LOW_SURROGATE(c)) {
                wchar_t mapped[4];
                for (DWORD map : {static_cast<DWORD>(LCMAP_FULLWIDTH), static_cast<DWORD>(LCMAP_LOWERCASE)})
                    if (LCMapStringEx(LOCALE_NAME_INVARIANT, map, &c, 1, mapped, 4, nullptr, nullptr, 0) == 1)
                        c = mapped[0];
            }
            folded[unit] = c;
        }
        return folded;
    }();
    return table;
}

void FoldInto(const wchar_t* units, size_t length, std::wstring* folded) {
    const std::vector<wchar_t>& table = FoldTable();
    folded->resize(length);
    for (size_t at = 0; at < length; ++at)
        (*folded)[at] = table[static_cast<unsigned short>(units[at])];
}

std::wstring Folded(const std::wstring& text) {
    std::wstring folded;
    FoldInto(text.data(), text.size(), &folded);
    return folded;
}

} // namespace

CTextMatcher::CTextMatcher(const std::wstring& query)
    : m_query(query), m_folded(Folded(query)),
      m_searcher(m_folded.begin(), m_folded.end()) {}

bool CTextMatcher::SystemAgrees(const wchar_t* units) const {
    int found = 0;
    return FindNLSStringEx(LOCALE_NAME_USER_DEFAULT, FIND_FROMSTART | kMatchFlags, units,
                           static_cast<int>(m_folded.size()), m_query.c_str(), static_cast<int>(m_query.size()),
                           &found, nullptr, nullptr, 0) >= 0;
}

// The lines lie one after another in one buffer, without their ends: it is folded and searched
// whole, and a place that runs over the end of its line is no match.
size_t CTextMatcher::FirstMatchingLine(const CDecodedText& text) const {
    const size_t lines = text.LineCount();
    if (m_folded.empty() || lines == 0)
        return kNoLine;
    const wchar_t* const units = text.LineText(0);
    const size_t length = static_cast<size_t>(text.LineText(lines - 1) - units) + text.LineLength(lines - 1);
    thread_local std::wstring folded;
    FoldInto(units, length, &folded);
    size_t line = 0;
    for (auto from = folded.cbegin();;) {
        const auto hit = std::search(from, folded.cend(), m_searcher);
        if (hit == folded.cend())
            return kNoLine;
        const size_t at = static_cast<size_t>(hit - folded.cbegin());
        while (line + 1 < lines && static_cast<size_t>(text.LineText(line + 1) - units) <= at)
            ++line;
        const size_t lineEnd = static_cast<size_t>(text.LineText(line) - units) + text.LineLength(line);
        if (at + m_folded.size() <= lineEnd && SystemAgrees(units + at))
            return line;
        from = hit + 1;
    }
}
