// Reading a journal line by line in bounded chunks: the history and the search for an item's
// previous copy both read journals as untrusted text, never needing a whole file at once.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "framework/FileHandle.h"

namespace journal_lines {

constexpr size_t kReadChunk = 64 * 1024;
// A line longer than any record of ours could be is skipped without being held whole.
constexpr size_t kLongestLine = 11 * 32767 * 3;

// Calls line for every line ended by a line break; a last line without one was cut short and is
// counted as unreadable, as is a line too long to be ours (skipped piece by piece).
template <typename LineHandler>
bool ForEachLine(const std::wstring& path, unsigned* unreadable, LineHandler line) {
    CFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.IsOpen())
        return false;
    std::vector<char> chunk(kReadChunk);
    std::string pending;
    bool overlong = false;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr) ||
            read == 0)
            break;
        size_t begin = 0;
        for (size_t i = 0; i < read; ++i) {
            if (chunk[i] != '\n')
                continue;
            if (overlong) {
                overlong = false;
                ++*unreadable;
            } else if (pending.empty()) {
                line(chunk.data() + begin, i - begin);
            } else {
                pending.append(chunk.data() + begin, i - begin);
                line(pending.data(), pending.size());
                pending.clear();
            }
            begin = i + 1;
        }
        if (!overlong)
            pending.append(chunk.data() + begin, read - begin);
        if (pending.size() > kLongestLine) {
            pending.clear();
            overlong = true;
        }
    }
    if (overlong || !pending.empty())
        ++*unreadable;
    return true;
}

} // namespace journal_lines

using journal_lines::ForEachLine;
