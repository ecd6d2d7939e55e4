// Fuzzes the path component operations with the Japanese code page's lead bytes: a separator
// is never the second byte of a double-byte character, the last component and the rest give
// the path back, and the in-place operations never touch a byte past the text's own buffer
// (each works on a heap block of exactly the text's size, for the address sanitizer).
#include "engine/BackupPaths.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Fail(const char* what, const std::string& path) {
    std::fprintf(stderr, "invariant broken: %s, path of %zu bytes\n", what, path.size());
    std::abort();
}

// Offsets where a character starts, reading the text from its first byte.
std::vector<bool> CharacterStarts(const std::string& text) {
    std::vector<bool> starts(text.size(), false);
    for (size_t i = 0; i < text.size(); ++i) {
        starts[i] = true;
        if (IsDBCSLeadByte(static_cast<BYTE>(text[i])) && i + 1 < text.size())
            ++i;
    }
    return starts;
}

// The operation applied in place to a heap copy of exactly the text and its zero.
std::string InPlace(void (*operation)(char*), const std::string& text) {
    char* buffer = static_cast<char*>(std::malloc(text.size() + 1));
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    operation(buffer);
    std::string result(buffer);
    std::free(buffer);
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path(reinterpret_cast<const char*>(data),
                           strnlen(reinterpret_cast<const char*>(data), size));

    const int separator = FindLastSeparator(path.c_str(), path.size());
    const std::vector<bool> starts = CharacterStarts(path);
    for (size_t i = 0; i < path.size(); ++i) {
        const bool isSeparator = starts[i] && path[i] == '\\';
        if (static_cast<int>(i) == separator && !isSeparator)
            Fail("the separator found is not a backslash character of its own", path);
        if (static_cast<int>(i) > separator && isSeparator)
            Fail("a later separator was missed", path);
    }

    const std::string kept = InPlace(KeepLastComponent, path);
    const std::string stripped = InPlace(StripLastComponent, path);
    if (separator < 0) {
        if (kept != path || stripped != path)
            Fail("a path without a separator was changed", path);
    } else if (stripped + "\\" + kept != path) {
        Fail("the rest and the last component do not give the path back", path);
    }
    if (LastComponent(path) != kept || WithoutLastComponent(path) != stripped)
        Fail("the string forms differ from the in-place ones", path);

    const std::string trimmed = WithoutTrailingSeparators(path);
    if (path.compare(0, trimmed.size(), trimmed) != 0 || EndsWithSeparator(trimmed) ||
        path.find_first_not_of('\\', trimmed.size()) != std::string::npos)
        Fail("only trailing separators may be trimmed, and all of them", path);
    if (EndsWithSeparator(path) != (separator >= 0 && separator == static_cast<int>(path.size()) - 1))
        Fail("the trailing-separator test disagrees with the separator scan", path);
    return 0;
}
