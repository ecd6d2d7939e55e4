// Fuzzes the path component operations on UTF-16 text: only a whole backslash unit separates
// (a unit whose low byte is 0x5C does not), the last component and the rest give the path
// back, and the in-place operations never touch a unit past the text's own buffer (each works
// on a heap block of exactly the text and its zero, for the address sanitizer, and on a copy
// that ends where an inaccessible page begins).
#include "engine/base/BackupPaths.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const char* what, const std::wstring& path) {
    std::fprintf(stderr, "invariant broken: %s, path of %zu units\n", what, path.size());
    std::abort();
}

// The input as little-endian UTF-16 units up to the first zero unit; natively wchar_t is wider,
// so each unit is widened on its own (surrogates stay separate units, as on Windows).
std::wstring Utf16Units(const uint8_t* data, size_t size) {
    std::wstring text;
    for (size_t at = 0; at + 1 < size; at += 2) {
        const wchar_t unit = static_cast<wchar_t>(data[at] | (data[at + 1] << 8));
        if (unit == L'\0')
            break;
        text.push_back(unit);
    }
    return text;
}

// Offset of the last backslash, found unit by unit from the end; npos when there is none.
size_t LastSeparator(const std::wstring& text) {
    for (size_t i = text.size(); i > 0; --i) {
        if (text[i - 1] == L'\\')
            return i - 1;
    }
    return std::wstring::npos;
}

// A copy of the text and its zero that ends where an inaccessible page begins: the address
// sanitizer does not watch the wide C-library calls (wcsrchr, wmemmove), a page fault does.
wchar_t* CopyBeforeGuardPage(const std::wstring& text) {
    static char* region = nullptr;
    static size_t usable = 0; // bytes before the guard page
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    if (bytes > usable) {
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        if (region != nullptr)
            munmap(region, usable + page);
        usable = (bytes + page - 1) / page * page;
        void* mapped =
            mmap(nullptr, usable + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED || mprotect(static_cast<char*>(mapped) + usable, page, PROT_NONE) != 0) {
            std::perror("guard page");
            std::abort();
        }
        region = static_cast<char*>(mapped);
    }
    wchar_t* copy = reinterpret_cast<wchar_t*>(region + usable - bytes);
    std::wmemcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

// The operation applied in place to a heap copy of exactly the text and its zero, and to the
// guarded copy.
std::wstring InPlace(void (*operation)(wchar_t*), const std::wstring& text) {
    operation(CopyBeforeGuardPage(text));
    const size_t units = text.size() + 1;
    wchar_t* buffer = static_cast<wchar_t*>(std::malloc(units * sizeof(wchar_t)));
    std::wmemcpy(buffer, text.c_str(), units);
    operation(buffer);
    std::wstring result(buffer);
    std::free(buffer);
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring path = Utf16Units(data, size);
    const size_t separator = LastSeparator(path);

    const std::wstring kept = InPlace(KeepLastComponent, path);
    const std::wstring stripped = InPlace(StripLastComponent, path);
    if (separator == std::wstring::npos) {
        if (kept != path || stripped != path)
            Fail("a path without a separator was changed", path);
    } else {
        if (stripped + L"\\" + kept != path)
            Fail("the rest and the last component do not give the path back", path);
        if (stripped.size() != separator)
            Fail("the path was not split at its last separator", path);
    }
    if (LastComponent(path) != kept || WithoutLastComponent(path) != stripped)
        Fail("the string forms differ from the in-place ones", path);

    const std::wstring trimmed = WithoutTrailingSeparators(path);
    if (path.compare(0, trimmed.size(), trimmed) != 0 || EndsWithSeparator(trimmed) ||
        path.find_first_not_of(L'\\', trimmed.size()) != std::wstring::npos)
        Fail("only trailing separators may be trimmed, and all of them", path);
    if (EndsWithSeparator(path) != (separator != std::wstring::npos && separator == path.size() - 1))
        Fail("the trailing-separator test disagrees with the last separator", path);
    return 0;
}
