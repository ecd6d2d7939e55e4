// Fuzzes the quoted-piece extractor, narrow and UTF-16: the pieces must be exactly the delimited
// runs, in order, and handing a piece out must never write past the caller's buffer (each buffer
// is its own heap block of exactly the given size, so the address sanitizer sees a single
// character too many). The wide extractor gets the same input twice: each byte as one unit (the
// narrow case's pieces), and byte pairs as little-endian units (characters beyond a byte).
#include "engine/base/TokenExtractor.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

template <typename Char> using Text = std::basic_string<Char>;

[[noreturn]] void Fail(const char* what, const char* form) {
    std::fprintf(stderr, "invariant broken (%s): %s\n", form, what);
    std::abort();
}

// The runs between an opening and the next closing delimiter, found the plain way.
template <typename Char>
std::vector<Text<Char>> DelimitedRuns(const Text<Char>& text, const Text<Char>& open,
                                      const Text<Char>& close) {
    std::vector<Text<Char>> runs;
    if (text.empty() || open.empty() || close.empty())
        return runs;
    size_t at = 0;
    while (at + open.size() <= text.size()) {
        if (text.compare(at, open.size(), open) != 0) {
            ++at;
            continue;
        }
        const size_t begin = at + open.size();
        size_t end = begin;
        while (end + close.size() <= text.size() && text.compare(end, close.size(), close) != 0)
            ++end;
        if (end + close.size() > text.size())
            break;
        runs.push_back(text.substr(begin, end - begin));
        at = end + close.size();
    }
    return runs;
}

// Hands piece index out into a buffer of exactly size characters and checks what arrived.
template <typename Char>
void CheckHandedOut(const CBasicTokenExtractor<Char>& extractor, int index, const Text<Char>& expected,
                    size_t size, const char* form) {
    const Char filler = static_cast<Char>(0x7f);
    if (size == 0) {
        Char untouched = filler;
        extractor.GetToken(index, &untouched, 0);
        if (untouched != filler)
            Fail("a zero-size buffer was written", form);
        return;
    }
    Char* buffer = static_cast<Char*>(std::malloc(size * sizeof(Char)));
    std::fill_n(buffer, size, filler);
    extractor.GetToken(index, buffer, size);
    const bool fits = expected.size() < size;
    if (fits && Text<Char>(buffer) != expected)
        Fail("a piece that fits arrived changed", form);
    if (!fits && buffer[0] != Char())
        Fail("a piece that does not fit was not refused with an empty text", form);
    std::free(buffer);
}

// The text as a zero-terminated text holds it: up to its first zero.
template <typename Char> Text<Char> UpToZero(const Text<Char>& text) {
    return text.substr(0, text.find(Char()));
}

// First byte: the delimiters (the double quote both ways, or short runs of the next units);
// second byte: a buffer size; the rest, read as units of width bytes up to a zero, is the text.
template <typename Char> void CheckInput(const uint8_t* data, size_t size, size_t width, const char* form) {
    const uint8_t mode = data[0];
    const size_t bufferSize = data[1];
    Text<Char> units;
    for (size_t at = 2; at + width <= size; at += width)
        units.push_back(static_cast<Char>(width == 1 ? data[at] : data[at] | (data[at + 1] << 8)));

    size_t at = 0;
    Text<Char> open(1, Char('"')), close(1, Char('"'));
    if (mode & 1) {
        const size_t openLength = 1 + (mode >> 1) % 3, closeLength = 1 + (mode >> 3) % 3;
        if (units.size() < openLength + closeLength)
            return;
        open = UpToZero(units.substr(at, openLength));
        at += openLength;
        close = UpToZero(units.substr(at, closeLength));
        at += closeLength;
    }
    const Text<Char> text = UpToZero(units.substr(at));

    CBasicTokenExtractor<Char> extractor;
    extractor.Parse(text.c_str(), open.c_str(), close.c_str());
    const std::vector<Text<Char>> runs = DelimitedRuns(text, open, close);
    if (extractor.GetCount() != static_cast<int>(runs.size()))
        Fail("the number of pieces is not the number of delimited runs", form);
    for (int i = 1; i <= extractor.GetCount(); ++i) {
        const Text<Char>& run = runs[static_cast<size_t>(i) - 1];
        if (extractor.GetTokenText(i) != run || extractor.GetTokenLength(i) != static_cast<int>(run.size()))
            Fail("a piece is not its delimited run", form);
        if (run.find(close) != Text<Char>::npos)
            Fail("a piece holds the closing delimiter", form);
        CheckHandedOut(extractor, i, run, bufferSize, form);
        CheckHandedOut(extractor, i, run, run.size(), form);
        CheckHandedOut(extractor, i, run, run.size() + 1, form);
    }
    CheckHandedOut(extractor, 0, Text<Char>(), bufferSize, form);
    CheckHandedOut(extractor, extractor.GetCount() + 1, Text<Char>(), bufferSize, form);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    CheckInput<char>(data, size, 1, "narrow");
    CheckInput<wchar_t>(data, size, 1, "wide, a unit per byte");
    CheckInput<wchar_t>(data, size, 2, "wide, a unit per byte pair");
    return 0;
}
