#include "engine/mirror/MirrorJournals.h"

#include <cstring>
#include <vector>

#include "engine/journal/CopyWay.h"
#include "engine/journal/JournalLines.h"
#include "framework/FileHandle.h"

bool IsMirroredKind(const JournalRecord& record) {
    return record.kind == JournalKind::Backup && record.outcome == RowOutcome::Succeeded &&
           !record.unchanged && IsSafeCopyPath(record.copy) && IsFullOriginalPath(record.original);
}

bool HasMinuteShape(const std::wstring& copy) {
    const size_t day = copy.find(L'\\');
    const size_t minute = day == std::wstring::npos ? day : copy.find(L'\\', day + 1);
    return minute != std::wstring::npos && copy.find(L'\\', minute + 1) == std::wstring::npos &&
           IsDayFolderName(copy.substr(0, day)) && IsMinuteFolderName(copy.substr(day + 1, minute - day - 1));
}

uint64_t VersionKey(const JournalRecord& record) {
    uint64_t hash = 1469598103934665603ULL;
    const auto add = [&hash](const void* data, size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < size; ++i)
            hash = (hash ^ bytes[i]) * 1099511628211ULL;
    };
    const SYSTEMTIME& t = record.time;
    const WORD moment[] = {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
    add(moment, sizeof moment);
    const std::wstring original = UpperCase(WithoutTrailingSeparators(record.original));
    add(original.data(), original.size() * sizeof(wchar_t));
    add(&record.isFolder, sizeof record.isFolder);
    // Two backups of one file within the same second (a drop and a restore's safety backup) are two
    // versions: their hashes tell them apart. Only a file's hash is kept as it is in the mirror's
    // record (a folder's goes when its manifest cannot be copied; a size is given where none was).
    if (!record.isFolder && record.hashKnown) {
        add(&record.hash.high, sizeof record.hash.high);
        add(&record.hash.low, sizeof record.hash.low);
    }
    return hash;
}

std::wstring JournalOf(const std::wstring& root, const std::wstring& day) {
    return SystemPath(root + L"\\" + day + L"\\" + kJournalName);
}

uint64_t ScanJournalFrom(const std::wstring& path, uint64_t from, const JournalLineAt& line) {
    CFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(from);
    if (!file.IsOpen() || !SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN))
        return from;
    std::vector<char> chunk(journal_lines::kReadChunk);
    std::string partial;
    uint64_t lineStart = from, position = from;
    bool overlong = false;
    DWORD read = 0;
    while (ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr) && read > 0) {
        size_t begin = 0;
        for (size_t i = 0; i < read; ++i) {
            if (chunk[i] != '\n')
                continue;
            if (!overlong && partial.empty())
                line(chunk.data() + begin, i - begin, lineStart);
            else if (!overlong) {
                partial.append(chunk.data() + begin, i - begin);
                line(partial.data(), partial.size(), lineStart);
            }
            partial.clear();
            overlong = false;
            begin = i + 1;
            lineStart = position + begin;
        }
        if (!overlong)
            partial.append(chunk.data() + begin, read - begin);
        if (partial.size() > journal_lines::kLongestLine) {
            partial.clear();
            overlong = true;
        }
        position += read;
    }
    return lineStart;
}

bool ReadRecordAt(const std::wstring& path, uint64_t offset, int version, JournalRecord* record) {
    bool found = false;
    bool first = true;
    CFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen())
        return false;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN))
        return false;
    std::string text;
    char chunk[4096];
    DWORD read = 0;
    while (first && text.size() <= journal_lines::kLongestLine &&
           ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) && read > 0) {
        const char* end = static_cast<const char*>(memchr(chunk, '\n', read));
        text.append(chunk, end != nullptr ? static_cast<size_t>(end - chunk) : read);
        if (end != nullptr) {
            first = false;
            found = ParseJournalLine(text.data(), text.size(), record, &version) == JournalLine::Record;
        }
    }
    return found;
}
