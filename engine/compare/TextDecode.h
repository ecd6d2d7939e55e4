// A file read as text for comparing: its encoding found as a user expects (UTF-8 with or without
// a byte-order mark, UTF-16 LE or BE with one, otherwise the Japanese ANSI code page 932), its
// lines split at CRLF, LF or CR alike, and the facts the compare's summary gives: the encoding and
// the kind of line ends. A file is not text when it has no UTF-16 byte-order mark and a NUL in its
// first 8 KB, or is invalid in every encoding above; it is then compared as bytes.
//
// A decoded text is held compactly: one UTF-16 buffer holding the lines one after another without
// their ends, and the offset where each line starts. The compare's window draws from it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

enum class TextEncoding : unsigned char { Utf8, Utf8WithBom, Utf16Le, Utf16Be, CodePage932 };
// Which line ends a text has: none (one line or empty), one kind throughout, or more than one.
enum class LineEnds : unsigned char { None, Crlf, Lf, Cr, Mixed };

class CDecodedText {
public:
    size_t LineCount() const { return m_lineStarts.size() - 1; }
    // Line index (from 0) without its line end: its first character and its length.
    const wchar_t* LineText(size_t line) const { return m_text.data() + m_lineStarts[line]; }
    size_t LineLength(size_t line) const { return m_lineStarts[line + 1] - m_lineStarts[line]; }
    std::wstring Line(size_t line) const { return std::wstring(LineText(line), LineLength(line)); }

    TextEncoding encoding = TextEncoding::Utf8;
    LineEnds lineEnds = LineEnds::None;
    bool endsWithLineEnd = false; // the last line has a line end too

    // Fills the text from UTF-16 units (a byte-order mark already taken off): false when they are not
    // valid UTF-16 (a surrogate without its other half).
    bool SetFromUtf16(std::vector<wchar_t> units);
    void Clear();

private:
    std::vector<wchar_t> m_text;
    std::vector<uint32_t> m_lineStarts{0}; // one more than the lines: the last is the text's end
};

// How reading a file as text ended.
enum class TextReadOutcome : unsigned char {
    Text,       // decoded
    NotText,    // a NUL without a UTF-16 byte-order mark, or invalid in every encoding
    TooLarge,   // more than kMaxTextBytes: compared as bytes
    Unreadable, // could not be opened or read: the error says why
    Stopped
};

// A file larger than this is compared as bytes, so two texts' buffers stay within the address space
// of the 32-bit build.
constexpr ULONGLONG kMaxTextBytes = 128ull * 1024 * 1024;
// How far the first NUL is looked for.
constexpr size_t kNulSearchBytes = 8192;

// Reads path (SystemPath's form) into text. A set *stop (read between chunks) ends it with Stopped.
// error: the system's error code for Unreadable.
TextReadOutcome ReadTextFile(const std::wstring& path, CDecodedText* text, const BOOL* stop, DWORD* error);
// The same for bytes already read: Text or NotText.
TextReadOutcome DecodeTextBytes(const char* bytes, size_t size, CDecodedText* text);
