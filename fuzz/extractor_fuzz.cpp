// Fuzzes the quoted-piece extractor: the pieces must be exactly the delimited runs, in order,
// and handing a piece out must never write past the caller's buffer (each buffer is its own
// heap block of exactly the given size, so the address sanitizer sees a single byte too many).
#include "engine/TokenExtractor.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// The runs between an opening and the next closing delimiter, found the plain way.
std::vector<std::string> DelimitedRuns(const std::string& text, const std::string& open,
                                       const std::string& close) {
    std::vector<std::string> runs;
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

// Hands piece index out into a buffer of exactly size bytes and checks what arrived.
void CheckHandedOut(const CTokenExtractor& extractor, int index, const std::string& expected, size_t size) {
    std::vector<char> buffer(size == 0 ? 1 : size, '\x7f');
    char* start = size == 0 ? nullptr : static_cast<char*>(std::malloc(size));
    if (size != 0)
        std::memset(start, '\x7f', size);
    extractor.GetToken(index, size == 0 ? buffer.data() : start, size);
    if (size == 0) {
        if (buffer[0] != '\x7f')
            Fail("a zero-size buffer was written");
        return;
    }
    const bool fits = expected.size() < size;
    if (fits && std::string(start) != expected)
        Fail("a piece that fits arrived changed");
    if (!fits && start[0] != '\0')
        Fail("a piece that does not fit was not refused with an empty text");
    std::free(start);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    // First byte: the delimiters (the double quote both ways, or short runs of the next bytes);
    // second byte: a buffer size; the rest, up to a zero byte, is the text.
    const uint8_t mode = data[0];
    const size_t bufferSize = data[1];
    size_t at = 2;
    std::string open = "\"", close = "\"";
    if (mode & 1) {
        const size_t openLength = 1 + (mode >> 1) % 3, closeLength = 1 + (mode >> 3) % 3;
        if (size < at + openLength + closeLength)
            return 0;
        open.assign(reinterpret_cast<const char*>(data + at), openLength);
        at += openLength;
        close.assign(reinterpret_cast<const char*>(data + at), closeLength);
        at += closeLength;
        open = open.c_str(); // the delimiters are zero-terminated texts too
        close = close.c_str();
    }
    const std::string text(reinterpret_cast<const char*>(data + at),
                           strnlen(reinterpret_cast<const char*>(data + at), size - at));

    CTokenExtractor extractor;
    extractor.Parse(text.c_str(), open.c_str(), close.c_str());
    const std::vector<std::string> runs = DelimitedRuns(text, open, close);
    if (extractor.GetCount() != static_cast<int>(runs.size()))
        Fail("the number of pieces is not the number of delimited runs");
    for (int i = 1; i <= extractor.GetCount(); ++i) {
        const std::string& run = runs[static_cast<size_t>(i) - 1];
        if (extractor.GetTokenText(i) != run || extractor.GetTokenLength(i) != static_cast<int>(run.size()))
            Fail("a piece is not its delimited run");
        if (run.find(close) != std::string::npos)
            Fail("a piece holds the closing delimiter");
        CheckHandedOut(extractor, i, run, bufferSize);
        CheckHandedOut(extractor, i, run, run.size());
        CheckHandedOut(extractor, i, run, run.size() + 1);
    }
    CheckHandedOut(extractor, 0, "", bufferSize);
    CheckHandedOut(extractor, extractor.GetCount() + 1, "", bufferSize);
    return 0;
}
