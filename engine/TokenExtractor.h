// CTokenExtractor: finds every piece of a text that stands between an opening and a closing
// delimiter (the program uses the double quote for both, on its command line) and hands the
// pieces out by number, counted from 1.
#pragma once

#include <string>
#include <utility>
#include <vector>

class CTokenExtractor {
public:
    CTokenExtractor() = default;
    virtual ~CTokenExtractor() = default;

    // Scans text and adds its pieces. Nothing happens when any of the three is empty (or null).
    void Parse(const char* text, const char* open, const char* close);
    int GetCount() const { return static_cast<int>(m_pieces.size()); }
    // Copies piece index (1..GetCount()) with its terminating zero into buffer, which holds
    // bufferSize bytes. A piece that does not fit whole, or an index out of range, writes an
    // empty text: a cut path would name some other file. Nothing is written when bufferSize is 0.
    void GetToken(int index, char* buffer, size_t bufferSize) const;
    // Length in bytes of piece index, or -1 when there is no such piece.
    int GetTokenLength(int index) const;
    // Piece index as a string of any length; empty when there is no such piece.
    std::string GetTokenText(int index) const;

private:
    bool IsPiece(int index) const { return index >= 1 && index <= GetCount(); }

    std::string m_text;
    std::string m_open;
    std::string m_close;
    std::vector<std::pair<int, int>> m_pieces; // begin, end (the closing delimiter's offset)
};
