#include "engine/TokenExtractor.h"

#include <cstring>

void CTokenExtractor::Parse(const char* text, const char* open, const char* close) {
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
        if (opening == std::string::npos)
            return;
        const size_t begin = opening + m_open.size();
        const size_t closing = m_text.find(m_close, begin);
        if (closing == std::string::npos)
            return;
        m_pieces.emplace_back(static_cast<int>(begin), static_cast<int>(closing));
        position = closing + m_close.size();
    }
}

int CTokenExtractor::GetTokenLength(int index) const {
    if (!IsPiece(index))
        return -1;
    const auto& piece = m_pieces[index - 1];
    return piece.second - piece.first;
}

std::string CTokenExtractor::GetTokenText(int index) const {
    if (!IsPiece(index))
        return std::string();
    const auto& piece = m_pieces[index - 1];
    return m_text.substr(piece.first, piece.second - piece.first);
}

void CTokenExtractor::GetToken(int index, char* buffer, size_t bufferSize) const {
    if (bufferSize == 0)
        return;
    const int length = GetTokenLength(index);
    if (length < 0 || static_cast<size_t>(length) >= bufferSize) {
        buffer[0] = '\0';
        return;
    }
    std::memcpy(buffer, m_text.data() + m_pieces[index - 1].first, length);
    buffer[length] = '\0';
}
