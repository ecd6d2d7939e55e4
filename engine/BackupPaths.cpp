#include "engine/BackupPaths.h"

#include <cstring>
#include <vector>

int FindLastSeparator(const char* text, size_t length) {
    int last = -1;
    for (size_t i = 0; i < length; ++i) {
        const BYTE byte = static_cast<BYTE>(text[i]);
        if (byte == '\\')
            last = static_cast<int>(i);
        else if (IsDBCSLeadByte(byte) && i + 1 < length && text[i + 1] != '\0')
            ++i; // the trail byte may be 0x5C: it belongs to this character
    }
    return last;
}

bool EndsWithSeparator(const std::string& text) {
    return !text.empty() && FindLastSeparator(text.c_str(), text.size()) == static_cast<int>(text.size()) - 1;
}

void GetModuleFolder(char* buffer) {
    const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        buffer[0] = '\0'; // a cut path would name some other folder
        return;
    }
    StripLastComponent(buffer);
}

void KeepLastComponent(char* text) {
    const size_t length = std::strlen(text);
    const int separator = FindLastSeparator(text, length);
    if (separator < 0)
        return;
    std::memmove(text, text + separator + 1, length - separator); // with the terminating zero
}

void StripLastComponent(char* text) {
    const int separator = FindLastSeparator(text, std::strlen(text));
    if (separator >= 0)
        text[separator] = '\0';
}

CString FormatDateText(const SYSTEMTIME& time) {
    CString text;
    text.Format("%d月%d日", time.wMonth, time.wDay);
    return text;
}

CString FormatTimeText(const SYSTEMTIME& time) {
    CString text;
    text.Format("%d時%d分", time.wHour, time.wMinute);
    return text;
}

CString FormatTimeStampText(const SYSTEMTIME& time) {
    CString text;
    text.Format("\\%04d-%02d%02d\\%02d%02d", time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute);
    return text;
}

// The component operations work in place on a zero-terminated buffer; this gives them one of
// the text's own size, so a text of any length is handled whole.
std::string LastComponent(const std::string& path) {
    std::vector<char> buffer(path.c_str(), path.c_str() + path.size() + 1);
    KeepLastComponent(buffer.data());
    return buffer.data();
}

std::string WithoutLastComponent(const std::string& path) {
    std::vector<char> buffer(path.c_str(), path.c_str() + path.size() + 1);
    StripLastComponent(buffer.data());
    return buffer.data();
}

std::string WithoutTrailingSeparators(std::string path) {
    while (EndsWithSeparator(path))
        path.pop_back();
    return path;
}

// The name a folder item's copy is given: its last component, with "." and ".." resolved and
// a drive root named after its letter ("C:\" gives "C"). Empty when no name can be had.
std::string FolderItemName(const std::string& path) {
    const DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return std::string();
    std::vector<char> full(needed + 1);
    const DWORD length =
        GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size())
        return std::string();
    std::string name = LastComponent(WithoutTrailingSeparators(full.data()));
    if (name.size() == 2 && name[1] == ':')
        name.resize(1);
    return name;
}
