// CString: the framework's narrow string. Text is in the ANSI code page (Shift_JIS here);
// lengths are in bytes. Wraps std::string and adds printf-style formatting.
#pragma once

#include <string>

class CString {
public:
    CString() = default;
    CString(const char* text) : m_text(text ? text : "") {}
    CString(const std::string& text) : m_text(text) {}

    // Replaces the content with printf-formatted text.
    void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));

    const char* GetString() const { return m_text.c_str(); }
    const std::string& str() const { return m_text; }
    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }

    CString& operator+=(const CString& more) {
        m_text += more.m_text;
        return *this;
    }
    CString& operator+=(const char* more) {
        m_text += more ? more : "";
        return *this;
    }
    CString& operator+=(char c) {
        m_text += c;
        return *this;
    }
    friend CString operator+(CString left, const CString& right) { return left += right; }
    friend CString operator+(CString left, const char* right) { return left += right; }
    friend bool operator==(const CString& a, const CString& b) { return a.m_text == b.m_text; }
    friend bool operator!=(const CString& a, const CString& b) { return a.m_text != b.m_text; }

private:
    std::string m_text;
};
