#include "engine/journal/Manifest.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include "engine/base/BackupPaths.h"
#include "engine/base/FolderTree.h"
#include "engine/base/TemporaryNames.h"
#include "engine/hash/ContentCopy.h"
#include "engine/journal/Journal.h"
#include "engine/journal/JournalLines.h"
#include "framework/FileHandle.h"

const wchar_t* const kManifestFolderName = L"Tallowbox-manifests";

namespace {

const char* const kManifestHeaderStart = "#Tallowbox-manifest ";
const char* const kManifestFieldNames = "path\tsize\tmodified\tattributes\thash";
constexpr ULONGLONG kManifestVersion = 1;
constexpr size_t kManifestFieldCount = 5; // version 1's; more at a line's end are a later program's
constexpr size_t kLongestPath = 32767; // in UTF-16 units: the platform takes no longer path
constexpr size_t kWriteChunk = 64 * 1024;
constexpr ULONGLONG kTicksPerSecond = 10000000;

ULONGLONG Ticks(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// "2026-12-07T01:14:59.1234567Z": UTC to the 100 ns a file time holds.
std::string TimeText(const FILETIME& time) {
    const ULONGLONG seconds = Ticks(time) / kTicksPerSecond * kTicksPerSecond;
    const FILETIME whole{static_cast<DWORD>(seconds), static_cast<DWORD>(seconds >> 32)};
    SYSTEMTIME moment{};
    if (!FileTimeToSystemTime(&whole, &moment))
        return std::string();
    char text[40];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%07uZ", moment.wYear, moment.wMonth,
                  moment.wDay, moment.wHour, moment.wMinute, moment.wSecond,
                  static_cast<unsigned>(Ticks(time) % kTicksPerSecond));
    return text;
}

bool Digits(const std::string& text, size_t at, size_t count, unsigned* value) {
    unsigned result = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        result = result * 10 + static_cast<unsigned>(text[i] - '0');
    }
    *value = result;
    return true;
}

bool ParseTime(const std::string& text, FILETIME* time) {
    if (text.size() != 28 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':' || text[19] != '.' || text[27] != 'Z')
        return false;
    unsigned parts[7];
    static const size_t kAt[] = {0, 5, 8, 11, 14, 17, 20}, kCount[] = {4, 2, 2, 2, 2, 2, 7};
    for (size_t i = 0; i < 7; ++i)
        if (!Digits(text, kAt[i], kCount[i], &parts[i]))
            return false;
    SYSTEMTIME moment{};
    moment.wYear = static_cast<WORD>(parts[0]);
    moment.wMonth = static_cast<WORD>(parts[1]);
    moment.wDay = static_cast<WORD>(parts[2]);
    moment.wHour = static_cast<WORD>(parts[3]);
    moment.wMinute = static_cast<WORD>(parts[4]);
    moment.wSecond = static_cast<WORD>(parts[5]);
    FILETIME whole;
    if (!SystemTimeToFileTime(&moment, &whole)) // refuses a 13th month or a 32nd day
        return false;
    const ULONGLONG ticks = Ticks(whole) + parts[6];
    *time = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    return true;
}

std::string EntryLine(const ManifestEntry& entry) {
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "\t%llu\t", static_cast<unsigned long long>(entry.size));
    return FieldUtf8(entry.path) + numbers + TimeText(entry.modified) + "\t" +
           std::to_string(entry.attributes) + "\t" +
           (entry.hashKnown ? HashText(entry.hash) : std::string()) + "\n";
}

bool ParseEntry(const char* text, size_t length, ManifestEntry* entry) {
    const std::vector<std::string> fields = SplitFieldTexts(text, length);
    ULONGLONG attributes = 0;
    ManifestEntry parsed;
    if (fields.size() < kManifestFieldCount || fields[0].size() > kLongestPath * 3 ||
        !FieldFromUtf8(fields[0].data(), fields[0].size(), &parsed.path) ||
        parsed.path.size() > kLongestPath || !IsSafeCopyPath(parsed.path) ||
        !ParseFieldNumber(fields[1], &parsed.size) || !ParseTime(fields[2], &parsed.modified) ||
        !ParseFieldNumber(fields[3], &attributes) || attributes > MAXDWORD)
        return false;
    parsed.attributes = static_cast<DWORD>(attributes);
    parsed.hashKnown = !fields[4].empty();
    if (parsed.hashKnown && !ParseHashText(fields[4].data(), fields[4].size(), &parsed.hash))
        return false;
    *entry = std::move(parsed);
    return true;
}

bool IsHeader(const char* text, size_t length) {
    const size_t start = std::strlen(kManifestHeaderStart);
    if (length < start || std::memcmp(text, kManifestHeaderStart, start) != 0)
        return false;
    size_t end = start;
    while (end < length && text[end] != '\t' && text[end] != '\r')
        ++end;
    ULONGLONG version = 0;
    return ParseFieldNumber(std::string(text + start, end - start), &version) && version == kManifestVersion;
}

// True when every component of relative below root is there and none is a link: a manifest is
// never read or written through a link planted in the backups folder.
bool ReachedWithoutLinks(const std::wstring& root, const std::wstring& relative) {
    std::wstring path = root;
    for (size_t start = 0; start <= relative.size();) {
        const size_t end = std::min(relative.find(L'\\', start), relative.size());
        path += L"\\" + relative.substr(start, end - start);
        const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return false;
        start = end + 1;
    }
    return true;
}

DWORD WriteText(HANDLE file, const std::string& text, CContentHasher& hasher) {
    DWORD written = 0;
    if (!WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
        return GetLastError();
    hasher.Add(text.data(), text.size());
    return written == text.size() ? ERROR_SUCCESS : ERROR_DISK_FULL;
}

// The entries into a new file at path, a chunk at a time, then to the disk.
DWORD WriteEntries(const std::wstring& path, const std::vector<ManifestEntry>& entries, ContentHash* hash) {
    CFileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen())
        return GetLastError();
    CContentHasher hasher;
    std::string text = kManifestHeaderStart + std::to_string(kManifestVersion) + "\t" + kManifestFieldNames + "\n";
    DWORD error = ERROR_SUCCESS;
    for (const ManifestEntry& entry : entries) {
        text += EntryLine(entry);
        if (text.size() >= kWriteChunk) {
            if ((error = WriteText(file.get(), text, hasher)) != ERROR_SUCCESS)
                return error;
            text.clear();
        }
    }
    if ((error = WriteText(file.get(), text, hasher)) != ERROR_SUCCESS)
        return error;
    *hash = hasher.Finish();
    return FlushFileBuffers(file.get()) ? ERROR_SUCCESS : GetLastError();
}

// The folder a manifest goes to, made when missing and reached through no link.
DWORD ManifestFolder(const std::wstring& root, const std::wstring& relative, std::wstring* folder) {
    const std::wstring relativeFolder = WithoutLastComponent(relative);
    const DWORD error = MakeFolderTree(root + L"\\" + relativeFolder);
    if (error != ERROR_SUCCESS)
        return error;
    if (!ReachedWithoutLinks(root, relativeFolder))
        return ERROR_CANT_ACCESS_FILE;
    *folder = SystemPath(root + L"\\" + relativeFolder);
    RemoveLeftoverTemporaries(*folder);
    return ERROR_SUCCESS;
}

// Copies the manifest at from below fromRoot to to below toRoot through a temporary beside it, read
// back before it takes the name: only a manifest of the expected hash is put there, over an earlier
// one when replace says so. ERROR_SUCCESS or the error code (ERROR_FILE_CORRUPT: not that manifest).
DWORD CopyManifest(const std::wstring& fromRoot, const std::wstring& from, const std::wstring& toRoot,
                   const std::wstring& to, const ContentHash& expected, bool replace) {
    std::wstring folder;
    if (!ReachedWithoutLinks(fromRoot, from))
        return ERROR_CANT_ACCESS_FILE;
    DWORD error = ManifestFolder(toRoot, to, &folder);
    if (error != ERROR_SUCCESS)
        return error;
    const std::wstring temporary = folder + L"\\" + TemporaryName();
    CopiedContent copied;
    error = CopyFileContent(SystemPath(fromRoot + L"\\" + from), temporary, nullptr, &copied, true);
    if (error != ERROR_SUCCESS)
        return error;
    if (copied.hash != expected || ReadManifest(temporary, [](ManifestEntry&) {}).hash != expected)
        error = ERROR_FILE_CORRUPT;
    else if (!MoveFileExW(temporary.c_str(), SystemPath(toRoot + L"\\" + to).c_str(),
                          replace ? MOVEFILE_REPLACE_EXISTING : 0))
        error = GetLastError();
    if (error != ERROR_SUCCESS)
        RemoveTemporary(temporary);
    return error;
}

} // namespace

std::wstring ManifestPathFor(const std::wstring& copy) {
    const size_t day = copy.find(L'\\');
    const size_t minute = day == std::wstring::npos ? day : copy.find(L'\\', day + 1);
    if (minute == std::wstring::npos || copy.find(L'\\', minute + 1) != std::wstring::npos ||
        minute + 1 == copy.size() || !IsDayFolderName(copy.substr(0, day)) ||
        !IsMinuteFolderName(copy.substr(day + 1, minute - day - 1)))
        return std::wstring();
    return copy.substr(0, day) + L"\\" + kManifestFolderName + copy.substr(day, minute - day) +
           copy.substr(minute) + L".tsv";
}

DWORD WriteManifest(const std::wstring& backupRoot, const std::wstring& copy,
                    std::vector<ManifestEntry> entries, ContentHash* hash) {
    const std::wstring relative = ManifestPathFor(copy);
    if (relative.empty())
        return ERROR_INVALID_NAME;
    std::wstring folder;
    DWORD error = ManifestFolder(backupRoot, relative, &folder);
    if (error != ERROR_SUCCESS)
        return error;
    std::sort(entries.begin(), entries.end(),
              [](const ManifestEntry& a, const ManifestEntry& b) { return a.path < b.path; });
    const std::wstring temporary = folder + L"\\" + TemporaryName();
    error = WriteEntries(temporary, entries, hash);
    if (error == ERROR_SUCCESS &&
        !MoveFileExW(temporary.c_str(), SystemPath(backupRoot + L"\\" + relative).c_str(),
                     MOVEFILE_REPLACE_EXISTING))
        error = GetLastError();
    if (error != ERROR_SUCCESS)
        RemoveTemporary(temporary);
    return error;
}

ManifestReading ReadManifest(const std::wstring& path, const std::function<void(ManifestEntry&)>& entry) {
    ManifestReading reading;
    CContentHasher hasher;
    bool first = true;
    std::unordered_set<std::wstring> listed; // upper-cased: the copy's disk takes them for one
    unsigned lost = 0;
    const bool found = ForEachLine(path, &lost, [&](const char* text, size_t length) {
        hasher.Add(text, length);
        hasher.Add("\n", 1);
        if (first) {
            first = false;
            reading.opened = IsHeader(text, length);
            return;
        }
        ManifestEntry parsed;
        if (!reading.opened || !ParseEntry(text, length, &parsed) ||
            !listed.insert(UpperCase(parsed.path)).second) {
            ++reading.refused;
            return;
        }
        entry(parsed);
    });
    reading.opened = reading.opened && found;
    reading.refused += lost;
    reading.whole = found && lost == 0;
    reading.hash = hasher.Finish();
    return reading;
}

ManifestIndex ReadTrustedManifest(const std::wstring& backupRoot, const std::wstring& copy,
                                  const ContentHash& expected) {
    ManifestIndex index;
    const std::wstring relative = ManifestPathFor(copy);
    if (relative.empty() || !ReachedWithoutLinks(backupRoot, relative))
        return index;
    const ManifestReading reading =
        ReadManifest(SystemPath(backupRoot + L"\\" + relative),
                     [&](ManifestEntry& entry) { index.emplace(UpperCase(entry.path), std::move(entry)); });
    if (!reading.opened || !reading.whole || reading.refused != 0 || reading.hash != expected)
        index.clear();
    return index;
}

std::wstring ExistingManifest(const std::wstring& backupRoot, const std::wstring& copy) {
    const std::wstring relative = ManifestPathFor(copy);
    return relative.empty() || !ReachedWithoutLinks(backupRoot, relative)
               ? std::wstring()
               : SystemPath(backupRoot + L"\\" + relative);
}

void ProveMirroredVersion(const std::wstring& backupRoot, const JournalRecord& record,
                          const std::wstring& mirror, JournalRecord& mirrored) {
    if (!record.isFolder || !record.hashKnown)
        return;
    const std::wstring from = ManifestPathFor(record.copy), to = ManifestPathFor(mirrored.copy);
    // Never over a name there: the mirror only gains what is whole.
    mirrored.hashKnown = !from.empty() && !to.empty() &&
                         CopyManifest(backupRoot, from, mirror, to, record.hash, false) == ERROR_SUCCESS;
}

DWORD HealManifest(const std::wstring& from, const std::wstring& to, const std::wstring& copy,
                   const ContentHash& expected) {
    const std::wstring relative = ManifestPathFor(copy);
    if (relative.empty())
        return ERROR_INVALID_NAME;
    const std::wstring target = SystemPath(to + L"\\" + relative);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return ERROR_CANT_ACCESS_FILE; // a link planted where the manifest was: left as it is
    return CopyManifest(from, relative, to, relative, expected, true);
}
