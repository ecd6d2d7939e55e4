// Writing one key of Tallowbox.ini for the program's own pickers: the user's file is theirs, so
// every line but the key's own is written back byte for byte, in the file's own encoding.
#include "engine/base/Settings.h"

#include "engine/base/BackupPaths.h"
#include "engine/base/TemporaryNames.h"
#include "framework/FileHandle.h"

namespace {

// One line of the file as its bytes, without its '\n' (a '\r' before it stays with the line).
struct RawLine {
    std::string bytes;
};

// The file's encoding: UTF-16 LE with its mark, or UTF-8 (with its mark, or none).
struct Encoding {
    bool utf16 = false;
    size_t markLength = 0;
};

std::wstring Trim(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L" \t\r");
    if (first == std::wstring::npos)
        return std::wstring();
    return text.substr(first, text.find_last_not_of(L" \t\r") - first + 1);
}

// The line as text, or empty when it is not valid in its encoding (then it is nobody's key).
std::wstring Decode(const RawLine& line, const Encoding& encoding) {
    if (encoding.utf16) {
        std::wstring text;
        for (size_t at = 0; at + 1 < line.bytes.size(); at += 2)
            text += static_cast<wchar_t>(static_cast<unsigned char>(line.bytes[at]) |
                                         (static_cast<unsigned char>(line.bytes[at + 1]) << 8));
        return text;
    }
    if (line.bytes.empty())
        return std::wstring();
    const int length = static_cast<int>(line.bytes.size());
    std::wstring text(line.bytes.size(), L'\0');
    const int converted =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, line.bytes.data(), length, &text[0], length);
    text.resize(converted > 0 ? static_cast<size_t>(converted) : 0);
    return text;
}

std::string Encode(const std::wstring& text, const Encoding& encoding) {
    std::string bytes;
    if (encoding.utf16) {
        for (wchar_t unit : text) {
            bytes += static_cast<char>(unit & 0xFF);
            bytes += static_cast<char>((unit >> 8) & 0xFF);
        }
        return bytes;
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    bytes.resize(static_cast<size_t>(size > 0 ? size : 0));
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr,
                            nullptr);
    return bytes;
}

size_t UnitSize(const Encoding& encoding) {
    return encoding.utf16 ? 2 : 1;
}

bool IsLineBreakAt(const std::string& bytes, size_t at, const Encoding& encoding) {
    return bytes[at] == '\n' && (!encoding.utf16 || bytes[at + 1] == '\0');
}

// The lines after the mark; endsWithBreak tells whether the last one had its '\n'.
std::vector<RawLine> SplitLines(const std::string& bytes, const Encoding& encoding, bool* endsWithBreak) {
    std::vector<RawLine> lines;
    const size_t unit = UnitSize(encoding);
    size_t start = encoding.markLength;
    *endsWithBreak = false;
    for (size_t at = start; at + unit <= bytes.size(); at += unit) {
        if (!IsLineBreakAt(bytes, at, encoding))
            continue;
        lines.push_back({bytes.substr(start, at - start)});
        start = at + unit;
    }
    if (start < bytes.size())
        lines.push_back({bytes.substr(start)});
    else
        *endsWithBreak = !lines.empty();
    return lines;
}

bool IsKeyLine(const std::wstring& text, const wchar_t* key) {
    const size_t equals = text.find(L'=');
    return equals != std::wstring::npos && UpperCase(Trim(text.substr(0, equals))) == UpperCase(key);
}

// The section a header line opens: "TALLOWBOX" for "[Tallowbox]"; empty for a line that is none.
std::wstring SectionOf(const std::wstring& text) {
    const std::wstring line = Trim(text);
    if (line.size() < 2 || line.front() != L'[' || line.back() != L']')
        return std::wstring();
    return UpperCase(Trim(line.substr(1, line.size() - 2)));
}

// The lines with key's line replaced, dropped or added in the program's section.
std::vector<RawLine> WithKey(std::vector<RawLine> lines, const Encoding& encoding, const wchar_t* key,
                             const std::wstring& value, const std::string& lineEnd) {
    const std::string newLine =
        value.empty() ? std::string() : Encode(std::wstring(key) + L"=" + value, encoding);
    std::vector<RawLine> result;
    bool inOurs = false, written = value.empty(), sectionSeen = false;
    size_t sectionEnd = 0; // after the last non-blank line of the program's section
    for (RawLine& line : lines) {
        const std::wstring text = Decode(line, encoding);
        const std::wstring section = SectionOf(text);
        if (!section.empty()) {
            inOurs = section == L"TALLOWBOX";
            sectionSeen = sectionSeen || inOurs;
        }
        if (inOurs && section.empty() && IsKeyLine(text, key)) {
            if (!written)
                result.push_back({newLine + lineEnd});
            written = true;
            continue;
        }
        result.push_back(std::move(line));
        if (inOurs && !Trim(text).empty())
            sectionEnd = result.size();
    }
    if (written)
        return result;
    if (!sectionSeen) {
        result.push_back({Encode(L"[Tallowbox]", encoding) + lineEnd});
        sectionEnd = result.size();
    }
    result.insert(result.begin() + static_cast<std::ptrdiff_t>(sectionEnd), RawLine{newLine + lineEnd});
    return result;
}

DWORD ReadWhole(const std::wstring& path, std::string* bytes) {
    CFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error; // none yet: one is made
    }
    char chunk[16384];
    DWORD read = 0;
    while (ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) && read > 0) {
        if (bytes->size() + read > kMaxSettingsBytes)
            return ERROR_INVALID_DATA; // not settings: left alone
        bytes->append(chunk, read);
    }
    return ERROR_SUCCESS;
}

DWORD WriteThroughTemporary(const std::wstring& folder, const std::wstring& path, const std::string& bytes) {
    const std::wstring temporary = folder + L"\\" + TemporaryName();
    {
        CFileHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.IsOpen())
            return GetLastError();
        DWORD written = 0;
        const bool whole =
            WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size() && FlushFileBuffers(file.get());
        if (!whole) {
            const DWORD error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_DISK_FULL;
            DeleteFileW(temporary.c_str());
            return error;
        }
    }
    if (MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    DeleteFileW(temporary.c_str());
    return error;
}

} // namespace

DWORD WriteSettingValue(const std::wstring& programFolder, const wchar_t* key, const std::wstring& value) {
    if (programFolder.empty())
        return ERROR_PATH_NOT_FOUND;
    if (value.find_first_of(L"\r\n") != std::wstring::npos || value.find(L'\0') != std::wstring::npos)
        return ERROR_INVALID_DATA;
    const std::wstring folder = SystemPath(programFolder);
    const std::wstring path = folder + L"\\" + kSettingsFileName;
    std::string bytes;
    DWORD error = ReadWhole(path, &bytes);
    if (error != ERROR_SUCCESS)
        return error;
    Encoding encoding;
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE')
        encoding = {true, 2};
    else if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        encoding = {false, 3};
    bool endsWithBreak = false;
    std::vector<RawLine> lines = SplitLines(bytes, encoding, &endsWithBreak);
    // The file's own line ends: "\r\n" unless its first ended line ends in a bare "\n".
    bool bare = false;
    if (lines.size() > 1 || (lines.size() == 1 && endsWithBreak)) {
        const std::wstring first = Decode(lines[0], encoding);
        bare = first.empty() || first.back() != L'\r';
    }
    const std::string lineEnd = Encode(bare ? L"" : L"\r", encoding);
    if (!lines.empty() && !endsWithBreak)
        lines.back().bytes += lineEnd; // it gets its line break: a line may follow it now
    lines = WithKey(std::move(lines), encoding, key, value, lineEnd);
    std::string written = bytes.substr(0, encoding.markLength);
    const std::string lineBreak = Encode(L"\n", encoding);
    for (const RawLine& line : lines)
        written += line.bytes + lineBreak;
    return WriteThroughTemporary(folder, path, written);
}
