#include "engine/compare/TextDecode.h"

#include <algorithm>
#include <cstring>

#include "engine/base/StopFlag.h"
#include "framework/FileHandle.h"

namespace {

constexpr DWORD kReadChunk = 1024 * 1024;

bool StartsWith(const char* bytes, size_t size, const char* mark, size_t markSize) {
    return size >= markSize && std::memcmp(bytes, mark, markSize) == 0;
}

// Strict: an invalid byte fails the whole text rather than being replaced.
bool DecodeMultiByte(UINT codePage, const char* bytes, size_t size, std::vector<wchar_t>* units) {
    units->assign(size, L'\0'); // never more UTF-16 units than bytes in these code pages
    if (size == 0)
        return true;
    const int converted = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, static_cast<int>(size),
                                              units->data(), static_cast<int>(size));
    if (converted <= 0)
        return false;
    units->resize(static_cast<size_t>(converted));
    return true;
}

bool DecodeUtf16(const char* bytes, size_t size, bool bigEndian, std::vector<wchar_t>* units) {
    if (size % 2 != 0)
        return false;
    units->resize(size / 2);
    for (size_t unit = 0; unit < units->size(); ++unit) {
        const unsigned char first = static_cast<unsigned char>(bytes[2 * unit]);
        const unsigned char second = static_cast<unsigned char>(bytes[2 * unit + 1]);
        (*units)[unit] = static_cast<wchar_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    }
    return true;
}

bool HasNulNearStart(const char* bytes, size_t size) {
    return size > 0 && std::memchr(bytes, '\0', std::min(size, kNulSearchBytes)) != nullptr;
}

LineEnds KindOfLineEnds(size_t crlf, size_t lf, size_t cr) {
    const int kinds = (crlf > 0) + (lf > 0) + (cr > 0);
    if (kinds == 0)
        return LineEnds::None;
    if (kinds > 1)
        return LineEnds::Mixed;
    return crlf > 0 ? LineEnds::Crlf : lf > 0 ? LineEnds::Lf : LineEnds::Cr;
}

} // namespace

void CDecodedText::Clear() {
    m_text.clear();
    m_text.shrink_to_fit();
    m_lineStarts.assign(1, 0);
    m_lineStarts.shrink_to_fit();
    lineEnds = LineEnds::None;
    endsWithLineEnd = false;
}

bool CDecodedText::SetFromUtf16(std::vector<wchar_t> units) {
    Clear();
    size_t breaks = 0;
    for (size_t at = 0; at < units.size(); ++at) {
        const wchar_t unit = units[at];
        if (IS_HIGH_SURROGATE(unit)) {
            if (at + 1 == units.size() || !IS_LOW_SURROGATE(units[at + 1]))
                return false;
            ++at;
        } else if (IS_LOW_SURROGATE(unit)) {
            return false;
        } else if (unit == L'\n' || (unit == L'\r' && (at + 1 == units.size() || units[at + 1] != L'\n'))) {
            ++breaks;
        }
    }
    m_lineStarts.reserve(breaks + 2);
    // The lines are moved down over the line ends in place: the text never needs a second buffer.
    size_t crlf = 0, lf = 0, cr = 0, kept = 0;
    for (size_t at = 0; at < units.size(); ++at) {
        const wchar_t unit = units[at];
        if (unit != L'\r' && unit != L'\n') {
            units[kept++] = unit;
            continue;
        }
        if (unit == L'\r' && at + 1 < units.size() && units[at + 1] == L'\n') {
            ++crlf;
            ++at;
        } else {
            ++(unit == L'\n' ? lf : cr);
        }
        m_lineStarts.push_back(static_cast<uint32_t>(kept));
    }
    endsWithLineEnd = !units.empty() && (units.back() == L'\r' || units.back() == L'\n');
    // A last line without its end is a line; after a final line end nothing more is.
    if (!endsWithLineEnd && !units.empty())
        m_lineStarts.push_back(static_cast<uint32_t>(kept));
    units.resize(kept);
    m_text = std::move(units);
    lineEnds = KindOfLineEnds(crlf, lf, cr);
    return true;
}

TextReadOutcome DecodeTextBytes(const char* bytes, size_t size, CDecodedText* text) {
    text->Clear();
    std::vector<wchar_t> units;
    if (StartsWith(bytes, size, "\xFF\xFE", 2) || StartsWith(bytes, size, "\xFE\xFF", 2)) {
        const bool bigEndian = bytes[0] == '\xFE';
        text->encoding = bigEndian ? TextEncoding::Utf16Be : TextEncoding::Utf16Le;
        if (DecodeUtf16(bytes + 2, size - 2, bigEndian, &units) && text->SetFromUtf16(std::move(units)))
            return TextReadOutcome::Text;
        return TextReadOutcome::NotText;
    }
    if (HasNulNearStart(bytes, size))
        return TextReadOutcome::NotText;
    if (StartsWith(bytes, size, "\xEF\xBB\xBF", 3)) {
        text->encoding = TextEncoding::Utf8WithBom;
        if (DecodeMultiByte(CP_UTF8, bytes + 3, size - 3, &units) && text->SetFromUtf16(std::move(units)))
            return TextReadOutcome::Text;
    }
    text->encoding = TextEncoding::Utf8;
    if (DecodeMultiByte(CP_UTF8, bytes, size, &units) && text->SetFromUtf16(std::move(units)))
        return TextReadOutcome::Text;
    text->encoding = TextEncoding::CodePage932;
    if (DecodeMultiByte(932, bytes, size, &units) && text->SetFromUtf16(std::move(units)))
        return TextReadOutcome::Text;
    text->Clear();
    return TextReadOutcome::NotText;
}

TextReadOutcome ReadTextFile(const std::wstring& path, CDecodedText* text, const BOOL* stop, DWORD* error) {
    text->Clear();
    *error = ERROR_SUCCESS;
    CFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size{};
    if (!file.IsOpen() || !GetFileSizeEx(file.get(), &size)) {
        *error = GetLastError();
        return TextReadOutcome::Unreadable;
    }
    if (static_cast<ULONGLONG>(size.QuadPart) > kMaxTextBytes)
        return TextReadOutcome::TooLarge;
    // Only as much as the file held when opened: one that grows meanwhile is read as it was.
    std::vector<char> bytes(static_cast<size_t>(size.QuadPart));
    size_t filled = 0;
    while (filled < bytes.size()) {
        if (IsStopRequested(stop))
            return TextReadOutcome::Stopped;
        DWORD read = 0;
        const DWORD wanted = static_cast<DWORD>(std::min<size_t>(kReadChunk, bytes.size() - filled));
        if (!ReadFile(file.get(), bytes.data() + filled, wanted, &read, nullptr)) {
            *error = GetLastError();
            return TextReadOutcome::Unreadable;
        }
        if (read == 0)
            break; // cut shorter meanwhile
        filled += read;
    }
    return DecodeTextBytes(bytes.data(), filled, text);
}
