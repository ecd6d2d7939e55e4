// CTokenExtractor: finds every piece of a text that stands between an opening and a closing
// delimiter (the program uses the double quote for both, on its command line) and hands the
// pieces out by number, counted from 1. The same rules for narrow text and for UTF-16 text
// (the command line as the system holds it).
#pragma once

#include <string>
#include <utility>
#include <vector>

template <typename Char> class CBasicTokenExtractor {
public:
    using Text = std::basic_string<Char>;

    CBasicTokenExtractor() = default;
    virtual ~CBasicTokenExtractor() = default;

    // Scans text and adds its pieces. Nothing happens when any of the three is empty (or null).
    void Parse(const Char* text, const Char* open, const Char* close);
    int GetCount() const { return static_cast<int>(m_pieces.size()); }
    // Copies piece index (1..GetCount()) with its terminating zero into buffer, which holds
    // bufferSize characters. A piece that does not fit whole, or an index out of range, writes an
    // empty text: a cut path would name some other file. Nothing is written when bufferSize is 0.
    void GetToken(int index, Char* buffer, size_t bufferSize) const;
    // Length in characters of piece index, or -1 when there is no such piece.
    int GetTokenLength(int index) const;
    // Piece index as a string of any length; empty when there is no such piece.
    Text GetTokenText(int index) const;

private:
    bool IsPiece(int index) const { return index >= 1 && index <= GetCount(); }

    Text m_text;
    Text m_open;
    Text m_close;
    std::vector<std::pair<int, int>> m_pieces; // begin, end (the closing delimiter's offset)
};

using CTokenExtractor = CBasicTokenExtractor<char>;
using CTokenExtractorW = CBasicTokenExtractor<wchar_t>;
