#include "engine/base/TokenExtractor.h"

#include <algorithm>

template <typename Char>
void CBasicTokenExtractor<Char>::Parse(const Char* text, const Char* open, const Char* close) {
    if (!text || !open || !close || !*text || !*open || !*close)
        return;
    // Pieces of an earlier scan point into the text they were found in: a new scan replaces them.
    m_pieces.clear();
    m_text = text;
    m_open = open;
    m_close = close;
    size_t position = 0;
    for (;;) {
        const size_t opening = m_text.find(m_open, position);
        if (opening == Text::npos)
            return;
        const size_t begin = opening + m_open.size();
        const size_t closing = m_text.find(m_close, begin);
        if (closing == Text::npos)
            return;
        m_pieces.emplace_back(static_cast<int>(begin), static_cast<int>(closing));
        position = closing + m_close.size();
    }
}

template <typename Char> int CBasicTokenExtractor<Char>::GetTokenLength(int index) const {
    if (!IsPiece(index))
        return -1;
    const auto& piece = m_pieces[index - 1];
    return piece.second - piece.first;
}

template <typename Char>
typename CBasicTokenExtractor<Char>::Text CBasicTokenExtractor<Char>::GetTokenText(int index) const {
    if (!IsPiece(index))
        return Text();
    const auto& piece = m_pieces[index - 1];
    return m_text.substr(piece.first, piece.second - piece.first);
}

template <typename Char>
void CBasicTokenExtractor<Char>::GetToken(int index, Char* buffer, size_t bufferSize) const {
    if (bufferSize == 0)
        return;
    const int length = GetTokenLength(index);
    if (length < 0 || static_cast<size_t>(length) >= bufferSize) {
        buffer[0] = Char();
        return;
    }
    std::copy_n(m_text.data() + m_pieces[index - 1].first, length, buffer);
    buffer[length] = Char();
}

template class CBasicTokenExtractor<char>;
template class CBasicTokenExtractor<wchar_t>;
