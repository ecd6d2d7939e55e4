#include "Language.h"

#include "Afx.h"

#include <atomic>
#include <cwchar>

namespace {

// 0 until set: the user's language is asked for at the first look-up.
std::atomic<LANGID> g_language{0};

// The resource in the screen language; in the module's only language when it lacks that one.
HRSRC FindInLanguage(LPCWSTR type, LPCWSTR name) {
    const HMODULE module = AfxGetResourceHandle();
    const HRSRC found = ::FindResourceExW(module, type, name, ScreenLanguage());
    return found != nullptr ? found : ::FindResourceW(module, name, type);
}

// The resource's bytes and size; nullptr when there is none.
const void* ResourceData(HRSRC resource, DWORD* size) {
    const HMODULE module = AfxGetResourceHandle();
    const HGLOBAL loaded = resource != nullptr ? ::LoadResource(module, resource) : nullptr;
    const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    *size = data != nullptr ? ::SizeofResource(module, resource) : 0;
    return data;
}

} // namespace

LANGID UserScreenLanguage() {
    return PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_JAPANESE ? kJapanese : kEnglish;
}

LANGID ScreenLanguage() {
    const LANGID language = g_language.load();
    return language != 0 ? language : UserScreenLanguage();
}

void SetScreenLanguage(LANGID language) {
    g_language.store(language);
}

std::wstring LoadResourceText(UINT nID) {
    // Strings come in blocks of sixteen, each a length and that many UTF-16 units.
    DWORD size = 0;
    const auto* unit = static_cast<const WCHAR*>(ResourceData(
        FindInLanguage(MAKEINTRESOURCEW(6) /* RT_STRING */, MAKEINTRESOURCEW(nID / 16 + 1)), &size));
    if (unit == nullptr)
        return std::wstring();
    const WCHAR* const end = unit + size / sizeof(WCHAR);
    for (UINT skip = nID % 16; skip > 0 && unit < end; --skip)
        unit += 1 + *unit;
    if (unit >= end || unit + 1 + *unit > end)
        return std::wstring();
    return std::wstring(unit + 1, *unit);
}

std::string LoadResourceTextA(UINT nID) {
    const std::wstring wide = LoadResourceText(nID);
    if (wide.empty())
        return std::string();
    const int length = static_cast<int>(wide.size());
    const int size = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        ::WideCharToMultiByte(CP_ACP, 0, wide.data(), length, &narrow[0], size, nullptr, nullptr);
    return narrow;
}

std::wstring FormatInserts(const std::wstring& pattern, std::initializer_list<std::wstring> inserts) {
    std::wstring text;
    text.reserve(pattern.size());
    for (size_t i = 0; i < pattern.size(); ++i) {
        const wchar_t next = i + 1 < pattern.size() ? pattern[i + 1] : L'\0';
        if (pattern[i] != L'%' || (next != L'%' && (next < L'1' || next > L'9'))) {
            text += pattern[i];
            continue;
        }
        ++i;
        if (next == L'%')
            text += L'%';
        else if (static_cast<size_t>(next - L'1') < inserts.size())
            text += inserts.begin()[next - L'1'];
    }
    return text;
}

std::wstring FormatResourceText(UINT nID, std::initializer_list<std::wstring> inserts) {
    return FormatInserts(LoadResourceText(nID), inserts);
}

HMENU LoadMenuInLanguage(UINT nID) {
    DWORD size = 0;
    const void* data =
        ResourceData(FindInLanguage(MAKEINTRESOURCEW(4) /* RT_MENU */, MAKEINTRESOURCEW(nID)), &size);
    return data != nullptr ? ::LoadMenuIndirectW(data) : nullptr;
}

const DLGTEMPLATE* FindDialogTemplate(UINT nID, DWORD* size) {
    DWORD found = 0;
    const void* data =
        ResourceData(FindInLanguage(MAKEINTRESOURCEW(5) /* RT_DIALOG */, MAKEINTRESOURCEW(nID)), &found);
    if (size != nullptr)
        *size = found;
    return found >= sizeof(DLGTEMPLATE) ? static_cast<const DLGTEMPLATE*>(data) : nullptr;
}

std::wstring SystemMessage(DWORD error) {
    const auto format = [error](LANGID language, wchar_t** buffer) {
        return ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                    FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, error, language, reinterpret_cast<wchar_t*>(buffer), 0, nullptr);
    };
    wchar_t* buffer = nullptr;
    DWORD length = format(ScreenLanguage(), &buffer);
    if (length == 0 && ::GetLastError() == ERROR_RESOURCE_LANG_NOT_FOUND)
        length = format(0, &buffer); // the system has no text in that language
    std::wstring text = length > 0 && buffer != nullptr ? std::wstring(buffer, length) : std::wstring();
    if (buffer != nullptr)
        ::LocalFree(buffer);
    for (wchar_t& c : text)
        if (c == L'\r' || c == L'\n' || c == L'\t')
            c = L' ';
    const size_t end = text.find_last_not_of(L' ');
    text.erase(end == std::wstring::npos ? 0 : end + 1);
    if (text.empty()) {
        wchar_t hex[16];
        std::swprintf(hex, 16, L"0x%08lX", static_cast<unsigned long>(error));
        text = hex;
    }
    return text;
}
