// Whether a text holds what the user searches for, as a Japanese user expects: Latin letters with
// their case aside, full-width and half-width forms alike (ＡＢＣ/ABC, ｶﾅ/カナ), hiragana and
// katakana kept apart. The system's own comparison decides: FindNLSStringEx with
// LINGUISTIC_IGNORECASE | NORM_IGNOREWIDTH (not NORM_IGNOREKANATYPE), in the user's locale.
//
// Wine's FindNLSStringEx takes time growing with the square of the text it looks in, so it is never
// given a whole text: each unit of the text is first folded (full width, then lower case, one unit
// for one) and the folded query looked for with a plain search; only where the folded text holds it
// does the system compare the piece of the line it stands on.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>

#include "engine/compare/TextDecode.h"

class CTextMatcher {
public:
    static constexpr size_t kNoLine = static_cast<size_t>(-1);

    explicit CTextMatcher(const std::wstring& query);
    CTextMatcher(const CTextMatcher&) = delete; // the searcher points into this object's query
    CTextMatcher& operator=(const CTextMatcher&) = delete;

    bool IsEmpty() const { return m_folded.empty(); }
    // The first line of text that holds the query (from 0), or kNoLine.
    size_t FirstMatchingLine(const CDecodedText& text) const;

private:
    // The system's word on the units at a place where the folded text holds the query.
    bool SystemAgrees(const wchar_t* units) const;

    const std::wstring m_query;
    const std::wstring m_folded;
    const std::boyer_moore_horspool_searcher<std::wstring::const_iterator> m_searcher;
};
