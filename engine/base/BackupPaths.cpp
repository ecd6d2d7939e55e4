#include "engine/base/BackupPaths.h"

#include <cstring>
#include <cwchar>
#include <vector>

namespace {

const wchar_t* const kLongPrefix = L"\\\\?\\";
const wchar_t* const kDevicePrefix = L"\\\\.\\";

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, std::wcslen(prefix), prefix) == 0;
}

} // namespace

bool EndsWithSeparator(const std::wstring& text) {
    return !text.empty() && text.back() == L'\\';
}

std::wstring GetModuleFolder() {
    // The name may pass MAX_PATH: grow until it fits (a cut path would name some other folder).
    for (DWORD size = MAX_PATH;; size *= 2) {
        std::vector<wchar_t> buffer(size);
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
        if (length == 0)
            return std::wstring();
        if (length < size)
            return WithoutLastComponent(std::wstring(buffer.data(), length));
        if (size >= 32768)
            return std::wstring();
    }
}

void KeepLastComponent(wchar_t* text) {
    const wchar_t* separator = std::wcsrchr(text, L'\\');
    if (separator != nullptr)
        std::wmemmove(text, separator + 1, std::wcslen(separator + 1) + 1);
}

void StripLastComponent(wchar_t* text) {
    if (wchar_t* separator = std::wcsrchr(text, L'\\'))
        *separator = L'\0';
}

std::wstring LastComponent(const std::wstring& path) {
    const size_t separator = path.rfind(L'\\');
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

std::wstring WithoutLastComponent(const std::wstring& path) {
    const size_t separator = path.rfind(L'\\');
    return separator == std::wstring::npos ? path : path.substr(0, separator);
}

std::wstring WithoutTrailingSeparators(std::wstring path) {
    while (EndsWithSeparator(path))
        path.pop_back();
    return path;
}

std::wstring UpperCase(std::wstring text) {
    if (!text.empty())
        CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

std::wstring NumberedName(const std::wstring& name, unsigned number, bool isFolder) {
    const std::wstring mark = L" (" + std::to_wstring(number) + L")";
    const size_t dot = isFolder ? std::wstring::npos : name.rfind(L'.');
    if (dot == std::wstring::npos || dot == 0)
        return name + mark;
    return name.substr(0, dot) + mark + name.substr(dot);
}

namespace {

std::wstring FullPath(const std::wstring& path) {
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return std::wstring();
    std::vector<wchar_t> full(needed + 1);
    const DWORD length =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size())
        return std::wstring();
    return std::wstring(full.data(), length);
}

} // namespace

std::wstring FolderItemName(const std::wstring& path) {
    const std::wstring full = FullPath(path);
    if (full.empty())
        return std::wstring();
    std::wstring name = LastComponent(WithoutTrailingSeparators(full));
    if (name.size() == 2 && name[1] == L':')
        name.resize(1);
    return name;
}

bool IsFullPath(const std::wstring& path) {
    return path.compare(0, 2, L"\\\\") == 0 || (path.size() >= 3 && path[1] == L':' && path[2] == L'\\');
}

std::wstring SystemPath(const std::wstring& path) {
    if (path.empty() || StartsWith(path, kLongPrefix) || StartsWith(path, kDevicePrefix))
        return path;
    const std::wstring full = FullPath(path);
    if (full.empty() || StartsWith(full, kDevicePrefix) || StartsWith(full, kLongPrefix))
        return full;
    if (StartsWith(full, L"\\\\"))
        return std::wstring(kLongPrefix) + L"UNC\\" + full.substr(2);
    return kLongPrefix + full;
}

std::wstring PlainPath(const std::wstring& path) {
    const std::wstring full = SystemPath(path);
    if (full.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        return L"\\\\" + full.substr(8);
    if (full.compare(0, 4, L"\\\\?\\") == 0)
        return full.substr(4);
    return full;
}

std::wstring FormatTimeStampText(const SYSTEMTIME& time) {
    wchar_t text[64];
    std::swprintf(text, 64, L"\\%04d-%02d%02d\\%02d%02d", time.wYear, time.wMonth, time.wDay, time.wHour,
                  time.wMinute);
    return text;
}

std::string ToAnsiText(const std::wstring& text) {
    if (text.empty())
        return std::string();
    // No best fit: "é" must not come out as "e", nor "𠮷" as some other character.
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(),
                                         static_cast<int>(text.size()), nullptr, 0, "?", nullptr);
    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), &narrow[0],
                        size, "?", nullptr);
    return narrow;
}

std::wstring FromAnsiText(const std::string& text) {
    if (text.empty())
        return std::wstring();
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], size);
    return wide;
}
