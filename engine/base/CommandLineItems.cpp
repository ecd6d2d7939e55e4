#include "engine/base/CommandLineItems.h"

#include <windows.h>

#include "engine/base/BackupPaths.h"

namespace {

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

bool IsDriveLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// Adds the full-path words of text, which holds no quote.
void AddFullPathWords(const std::wstring& text, std::vector<std::wstring>* items) {
    size_t position = 0;
    while (position < text.size()) {
        while (position < text.size() && IsBlank(text[position]))
            ++position;
        size_t end = position;
        while (end < text.size() && !IsBlank(text[end]))
            ++end;
        const std::wstring word = text.substr(position, end - position);
        if (IsFullPathWord(word))
            items->push_back(WithLongNames(word));
        position = end;
    }
}

// A short name holds a tilde ("REPORT~1.TXT"; some file systems make "LONG~LMQ.TXT"): a path
// without one has nothing to ask the file system.
bool HoldsShortName(const std::wstring& path) {
    return path.find(L'~') != std::wstring::npos;
}

// "\\?\C:\x" or "\\?\UNC\server\share\x" back to the form the user gave.
std::wstring WithoutLongPrefix(const std::wstring& path) {
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        return L"\\\\" + path.substr(8);
    if (path.compare(0, 4, L"\\\\?\\") == 0)
        return path.substr(4);
    return path;
}

} // namespace

bool IsFullPathWord(const std::wstring& word) {
    if (word.size() >= 3 && IsDriveLetter(word[0]) && word[1] == L':' && word[2] == L'\\')
        return true;
    if (word.size() < 5 || word.compare(0, 2, L"\\\\") != 0)
        return false;
    // "\\server\share": a server name and a share name, each not empty. "\\?\" and "\\.\" name
    // devices and system namespaces, never an item a user hands over.
    const size_t serverEnd = word.find(L'\\', 2);
    if (serverEnd == std::wstring::npos || serverEnd == 2 || serverEnd + 1 >= word.size() ||
        word[serverEnd + 1] == L'\\')
        return false;
    const std::wstring server = word.substr(2, serverEnd - 2);
    return server != L"?" && server != L".";
}

std::wstring WithLongNames(const std::wstring& path) {
    if (!HoldsShortName(path))
        return path;
    // The long-path form only where it is needed: some systems expand nothing behind its prefix.
    const std::wstring system = path.size() < MAX_PATH ? path : SystemPath(path);
    if (system.empty())
        return path;
    const DWORD length = GetLongPathNameW(system.c_str(), nullptr, 0);
    if (length == 0)
        return path;
    std::wstring longForm(length, L'\0');
    const DWORD written = GetLongPathNameW(system.c_str(), &longForm[0], length);
    if (written == 0 || written >= length)
        return path;
    longForm.resize(written);
    return WithoutLongPrefix(longForm);
}

std::vector<std::wstring> CommandLineItems(const std::wstring& line) {
    std::vector<std::wstring> items;
    size_t position = 0;
    for (;;) {
        const size_t opening = line.find(L'"', position);
        AddFullPathWords(
            line.substr(position, opening == std::wstring::npos ? std::wstring::npos : opening - position),
            &items);
        if (opening == std::wstring::npos)
            break;
        const size_t closing = line.find(L'"', opening + 1);
        if (closing == std::wstring::npos)
            break;
        if (closing > opening + 1)
            items.push_back(WithLongNames(line.substr(opening + 1, closing - opening - 1)));
        position = closing + 1;
    }
    return items;
}
