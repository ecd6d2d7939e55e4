#include "engine/journal/Journal.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/base/FolderTree.h"

const wchar_t* const kJournalName = L"Tallowbox-journal.tsv";

namespace {

const char* const kHeaderStart = "#Tallowbox-journal ";
const char* const kFieldNames = "time\tkind\toutcome\ttype\tbytes\tfiles\tleft-out\tmodified\toriginal\tcopy"
                                "\ttarget\tlinked\tby\tsize\terror\thash";
constexpr size_t kVersion1FieldCount = 11;
constexpr size_t kVersion2FieldCount = 13;
constexpr size_t kFieldCount = 14; // version 3's; its lines may carry more, which are skipped
constexpr size_t kErrorField = 14; // added to version 3 by 0.15: a failed record's error code
constexpr size_t kHashField = 15;  // added to version 3 by 0.16, which 0.15 reads past
// Enough of the journal's end is read at a time to find its last header without reading it whole.
constexpr DWORD kTailChunk = 16 * 1024;
// Longer than any path the platform takes, in UTF-8: a longer field is no record of ours.
constexpr size_t kLongestField = 32767 * 3;

// The journal's lock: one byte far past any journal's end, so it never stands in a reader's way.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;
constexpr DWORD kLockTries = 200; // 10 ms apart: an appending program holds it for a moment only

const char* KindWord(JournalKind kind) {
    switch (kind) {
    case JournalKind::Restore:
        return "restore";
    case JournalKind::Removed:
        return "removed";
    default:
        return "backup";
    }
}

const char* OutcomeWord(RowOutcome outcome, bool unchanged) {
    if (unchanged && outcome == RowOutcome::Succeeded)
        return "unchanged";
    switch (outcome) {
    case RowOutcome::Failed:
        return "failed";
    case RowOutcome::Stopped:
        return "stopped";
    default:
        return "ok";
    }
}

std::string Utf8(const std::wstring& text) {
    if (text.empty())
        return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr,
                            nullptr);
    return bytes;
}

// False for bytes that are not UTF-8 (an unpaired surrogate included).
bool FromUtf8(const char* text, size_t length, std::wstring* wide) {
    wide->clear();
    if (length == 0)
        return true;
    const int size =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, static_cast<int>(length), nullptr, 0);
    if (size <= 0)
        return false;
    wide->resize(static_cast<size_t>(size));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, static_cast<int>(length), &(*wide)[0], size);
    // No control character belongs in a path or a field of ours.
    for (wchar_t c : *wide)
        if (c < 0x20)
            return false;
    return true;
}

std::string Number(ULONGLONG value) {
    char text[32];
    std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(value));
    return text;
}

bool ParseNumber(const std::string& text, ULONGLONG* value) {
    if (text.empty() || text.size() > 19)
        return false;
    ULONGLONG result = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        result = result * 10 + static_cast<ULONGLONG>(c - '0');
    }
    *value = result;
    return true;
}

// Reads exactly the digits of a field of fixed width.
bool Digits(const std::string& text, size_t at, size_t count, WORD* value) {
    WORD result = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return false;
        result = static_cast<WORD>(result * 10 + (text[i] - '0'));
    }
    *value = result;
    return true;
}

// "2026-12-07 10:15:30" (separator ' ') or "2026-12-07T01:14:59Z" (separator 'T', a 'Z' after).
bool ParseMoment(const std::string& text, char separator, SYSTEMTIME* time) {
    const size_t length = separator == 'T' ? 20 : 19;
    if (text.size() != length || text[4] != '-' || text[7] != '-' || text[10] != separator ||
        text[13] != ':' || text[16] != ':' || (separator == 'T' && text[19] != 'Z'))
        return false;
    SYSTEMTIME moment{};
    if (!Digits(text, 0, 4, &moment.wYear) || !Digits(text, 5, 2, &moment.wMonth) ||
        !Digits(text, 8, 2, &moment.wDay) || !Digits(text, 11, 2, &moment.wHour) ||
        !Digits(text, 14, 2, &moment.wMinute) || !Digits(text, 17, 2, &moment.wSecond))
        return false;
    FILETIME check;
    if (!SystemTimeToFileTime(&moment, &check)) // refuses a 13th month or a 32nd day
        return false;
    *time = moment;
    return true;
}

std::string MomentText(const SYSTEMTIME& time, char separator) {
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u%c%02u:%02u:%02u%s", time.wYear, time.wMonth, time.wDay,
                  separator, time.wHour, time.wMinute, time.wSecond, separator == 'T' ? "Z" : "");
    return text;
}

bool IsZero(const FILETIME& time) {
    return time.dwLowDateTime == 0 && time.dwHighDateTime == 0;
}

std::vector<std::string> SplitFields(const char* text, size_t length) {
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == '\t')
            fields.emplace_back();
        else
            fields.back() += text[i];
    }
    return fields;
}

bool ParseWord(const std::string& text, const char* const* words, int count, int* index) {
    for (int i = 0; i < count; ++i)
        if (text == words[i]) {
            *index = i;
            return true;
        }
    return false;
}

// The two fields version 2 adds: the linked count and who asked for the backup.
bool ParseVersion2Fields(const std::vector<std::string>& fields, JournalRecord* record) {
    static const char* const kBy[] = {"user", "watch"};
    int by = 0;
    if (!ParseNumber(fields[11], &record->linked) || !ParseWord(fields[12], kBy, 2, &by))
        return false;
    record->automatic = by == 1;
    return true;
}

// The form a line under a header of this version is read in: 1, 2, 3, or 0 (unreadable). A later
// header also covers the 11 fields of version 1 (an earlier program appending below it never knew
// of the header, and its lines cannot be taken for ours); version 3 lines may end in fields a later
// program added.
int LineForm(int version, size_t fieldCount) {
    if (version < 1 || version > kJournalVersion)
        return 0;
    if (fieldCount == kVersion1FieldCount)
        return 1;
    if (version == 2 && fieldCount == kVersion2FieldCount)
        return 2;
    if (version == 3 && fieldCount >= kFieldCount)
        return 3;
    return 0;
}

// The fields version 3 adds: what the copy holds, a failed record's error when it names one (what
// no error code can be says nothing: the record is read without it), and the hash after them. A
// hash that is not one (a later program's other kind, a damaged field) proves nothing, yet costs
// the record nothing.
bool ParseVersion3Fields(const std::vector<std::string>& fields, JournalRecord* record) {
    if (!ParseNumber(fields[13], &record->size))
        return false;
    record->sizeKnown = true;
    ULONGLONG error = ERROR_SUCCESS;
    if (fields.size() > kErrorField && ParseNumber(fields[kErrorField], &error) && error <= MAXDWORD)
        record->error = static_cast<DWORD>(error);
    record->hashKnown = fields.size() > kHashField &&
                        ParseHashText(fields[kHashField].data(), fields[kHashField].size(), &record->hash);
    return true;
}

bool ParseRecord(const std::vector<std::string>& fields, int version, JournalRecord* record) {
    static const char* const kKinds[] = {"backup", "restore", "removed"};
    static const char* const kOutcomes[] = {"ok", "failed", "stopped", "unchanged"};
    static const char* const kTypes[] = {"file", "folder"};
    JournalRecord parsed;
    int kind = 0, outcome = 0, type = 0;
    const int form = LineForm(version, fields.size());
    const bool version2 = form >= 2;
    if (form == 0 || !ParseMoment(fields[0], ' ', &parsed.time) || !ParseWord(fields[1], kKinds, 3, &kind) ||
        !ParseWord(fields[2], kOutcomes, version2 ? 4 : 3, &outcome) ||
        !ParseWord(fields[3], kTypes, 2, &type) || !ParseNumber(fields[4], &parsed.bytes) ||
        !ParseNumber(fields[5], &parsed.files) || !ParseNumber(fields[6], &parsed.leftOut))
        return false;
    if (!fields[7].empty()) {
        SYSTEMTIME modified;
        if (!ParseMoment(fields[7], 'T', &modified) || !SystemTimeToFileTime(&modified, &parsed.modified))
            return false;
    }
    for (size_t i = 8; i < kVersion1FieldCount; ++i)
        if (fields[i].size() > kLongestField)
            return false;
    if ((version2 && !ParseVersion2Fields(fields, &parsed)) ||
        (form == 3 && !ParseVersion3Fields(fields, &parsed)))
        return false;
    if (!FromUtf8(fields[8].data(), fields[8].size(), &parsed.original) ||
        !FromUtf8(fields[9].data(), fields[9].size(), &parsed.copy) ||
        !FromUtf8(fields[10].data(), fields[10].size(), &parsed.target) || parsed.copy.empty())
        return false;
    parsed.kind = static_cast<JournalKind>(kind);
    parsed.unchanged = outcome == 3;
    parsed.outcome = parsed.unchanged ? RowOutcome::Succeeded : static_cast<RowOutcome>(outcome);
    parsed.isFolder = type == 1;
    *record = std::move(parsed);
    return true;
}

bool IsDriveLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// A name the platform takes for a device whatever folder it is in: "CON", "con.txt", "NUL.tar.gz",
// "COM1" to "COM9" and "LPT1" to "LPT9" (superscript digits too), "CON ." (trailing dots and
// spaces are dropped), case aside. Opening one reads or writes the device, never a file.
bool IsDeviceName(const std::wstring& name) {
    std::wstring base = name.substr(0, name.find(L'.'));
    while (!base.empty() && base.back() == L' ')
        base.pop_back();
    base = UpperCase(base);
    if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL" || base == L"CONIN$" ||
        base == L"CONOUT$")
        return true;
    if (base.size() != 4 || (base.compare(0, 3, L"COM") != 0 && base.compare(0, 3, L"LPT") != 0))
        return false;
    const wchar_t digit = base[3];
    return (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
}

// Every component between separators, from index start on, is a plain name (no device).
bool HasOnlyPlainComponents(const std::wstring& path, size_t start) {
    size_t begin = start;
    for (;;) {
        const size_t end = path.find(L'\\', begin);
        const std::wstring component =
            path.substr(begin, end == std::wstring::npos ? std::wstring::npos : end - begin);
        if (component.empty() || component == L"." || component == L".." || IsDeviceName(component))
            return false;
        if (end == std::wstring::npos)
            return true;
        begin = end + 1;
    }
}

// Closes the handle and releases the journal's lock it holds, if any.
class CJournalFile {
public:
    explicit CJournalFile(const std::wstring& path)
        : m_file(CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~CJournalFile() {
        if (m_locked) {
            OVERLAPPED place = LockPlace();
            UnlockFileEx(m_file, 0, 1, 0, &place);
        }
        if (m_file != INVALID_HANDLE_VALUE)
            CloseHandle(m_file);
    }
    CJournalFile(const CJournalFile&) = delete;
    CJournalFile& operator=(const CJournalFile&) = delete;

    HANDLE Handle() const { return m_file; }
    bool IsOpen() const { return m_file != INVALID_HANDLE_VALUE; }

    // Waits a bounded time for the other programs appending to this journal.
    DWORD Lock() {
        for (DWORD attempt = 0; attempt < kLockTries; ++attempt) {
            OVERLAPPED place = LockPlace();
            if (LockFileEx(m_file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &place)) {
                m_locked = true;
                return ERROR_SUCCESS;
            }
            const DWORD error = GetLastError();
            if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING)
                return error;
            Sleep(10);
        }
        return ERROR_LOCK_VIOLATION;
    }

private:
    static OVERLAPPED LockPlace() {
        OVERLAPPED place{};
        place.OffsetHigh = kLockOffsetHigh;
        return place;
    }

    HANDLE m_file;
    bool m_locked = false;
};

DWORD ReadAt(HANDLE file, LONGLONG offset, char* buffer, DWORD size) {
    OVERLAPPED place{};
    place.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    place.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    if (!ReadFile(file, buffer, size, &read, &place))
        return GetLastError();
    return read == size ? ERROR_SUCCESS : ERROR_READ_FAULT;
}

// The version the last header line of the journal's first size bytes names: read backwards a
// chunk at a time, so a day's journal is never held whole. -1 when no header line is found or
// the last one names no version.
DWORD LastHeaderVersion(HANDLE file, LONGLONG size, int* version) {
    *version = -1;
    const std::string marker = std::string("\n") + kHeaderStart;
    std::string window; // the chunk read and the start of the one after it, for a marker across both
    for (LONGLONG end = size; end > 0;) {
        const LONGLONG begin = end > kTailChunk ? end - kTailChunk : 0;
        std::string chunk(static_cast<size_t>(end - begin), '\0');
        const DWORD error = ReadAt(file, begin, &chunk[0], static_cast<DWORD>(chunk.size()));
        if (error != ERROR_SUCCESS)
            return error;
        window =
            (begin == 0 ? "\n" : "") + chunk + window.substr(0, std::min(window.size(), marker.size() + 8));
        const size_t found = window.rfind(marker);
        if (found != std::string::npos) {
            // The header's number may run into the next chunk: read the line from the file itself.
            const LONGLONG lineStart = begin + static_cast<LONGLONG>(found) + (begin == 0 ? 0 : 1);
            char line[40] = {};
            const DWORD length = static_cast<DWORD>(std::min<LONGLONG>(sizeof line - 1, size - lineStart));
            if (ReadAt(file, lineStart, line, length) == ERROR_SUCCESS) {
                JournalRecord unused;
                int named = -1;
                const size_t lineLength = std::strcspn(line, "\t\r\n");
                if (ParseJournalLine(line, lineLength, &unused, &named) == JournalLine::Header)
                    *version = named;
            }
            return ERROR_SUCCESS;
        }
        end = begin;
    }
    return ERROR_SUCCESS;
}

// What must come before the record: a line break after a line left cut short, and this
// version's header in a new journal or one whose last header names another version.
DWORD TextBeforeRecord(HANDLE file, std::string* text) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size))
        return GetLastError();
    if (size.QuadPart == 0) {
        *text = JournalHeaderLine();
        return ERROR_SUCCESS;
    }
    char byte = 0;
    DWORD error = ReadAt(file, size.QuadPart - 1, &byte, 1);
    if (error != ERROR_SUCCESS)
        return error;
    if (byte != '\n')
        *text = "\n";
    int version = -1;
    if ((error = LastHeaderVersion(file, size.QuadPart, &version)) != ERROR_SUCCESS)
        return error;
    if (version != kJournalVersion)
        *text += JournalHeaderLine();
    return ERROR_SUCCESS;
}

} // namespace

std::string FieldUtf8(const std::wstring& text) {
    return Utf8(text);
}

bool FieldFromUtf8(const char* text, size_t length, std::wstring* wide) {
    return FromUtf8(text, length, wide);
}

bool ParseFieldNumber(const std::string& text, ULONGLONG* value) {
    return ParseNumber(text, value);
}

std::vector<std::string> SplitFieldTexts(const char* text, size_t length) {
    return SplitFields(text, length);
}

std::string JournalHeaderLine() {
    return std::string(kHeaderStart) + std::to_string(kJournalVersion) + "\t" + kFieldNames + "\n";
}

std::string FormatJournalLine(const JournalRecord& record) {
    // A record given no size of its own (a restore, a removal, a copy made without links) holds
    // what it wrote.
    const ULONGLONG size = record.sizeKnown ? record.size : record.bytes;
    std::string line = MomentText(record.time, ' ');
    line += std::string("\t") + KindWord(record.kind) + "\t" + OutcomeWord(record.outcome, record.unchanged) +
            "\t" + (record.isFolder ? "folder" : "file");
    line += "\t" + Number(record.bytes) + "\t" + Number(record.files) + "\t" + Number(record.leftOut) + "\t";
    SYSTEMTIME modified;
    if (!IsZero(record.modified) && FileTimeToSystemTime(&record.modified, &modified))
        line += MomentText(modified, 'T');
    line += "\t" + Utf8(record.original) + "\t" + Utf8(record.copy) + "\t" + Utf8(record.target) + "\t" +
            Number(record.linked) + "\t" + (record.automatic ? "watch" : "user") + "\t" + Number(size);
    // Only a failed record says why; the error's field stays empty on every other line.
    line += "\t";
    if (record.outcome == RowOutcome::Failed && record.error != ERROR_SUCCESS)
        line += Number(record.error);
    line += "\t" + (record.hashKnown ? HashText(record.hash) : std::string()) + "\n";
    return line;
}

JournalLine ParseJournalLine(const char* text, size_t length, JournalRecord* record, int* version) {
    if (length > 0 && text[length - 1] == '\r')
        --length;
    const size_t headerLength = std::strlen(kHeaderStart);
    if (length >= headerLength && std::memcmp(text, kHeaderStart, headerLength) == 0) {
        ULONGLONG number = 0;
        size_t end = headerLength;
        while (end < length && text[end] != '\t')
            ++end;
        if (!ParseNumber(std::string(text + headerLength, end - headerLength), &number) || number > 1000000)
            return JournalLine::Unreadable;
        *version = static_cast<int>(number);
        return JournalLine::Header;
    }
    return ParseRecord(SplitFields(text, length), *version, record) ? JournalLine::Record
                                                                    : JournalLine::Unreadable;
}

std::wstring DayFolderName(const SYSTEMTIME& time) {
    const std::wstring stamp = FormatTimeStampText(time); // "\2004-0307\1405"
    return stamp.substr(1, stamp.find(L'\\', 1) - 1);
}

bool IsDayFolderName(const std::wstring& name) {
    if (name.size() != 9 || name[4] != L'-')
        return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (i != 4 && (name[i] < L'0' || name[i] > L'9'))
            return false;
    return true;
}

bool IsMinuteFolderName(const std::wstring& name) {
    if (name.size() != 4)
        return false;
    for (wchar_t c : name)
        if (c < L'0' || c > L'9')
            return false;
    return true;
}

std::wstring RelativeToRoot(const std::wstring& backupRoot, const std::wstring& path) {
    if (path.size() > backupRoot.size() + 1 && path[backupRoot.size()] == L'\\' &&
        CompareStringOrdinal(path.c_str(), static_cast<int>(backupRoot.size()), backupRoot.c_str(),
                             static_cast<int>(backupRoot.size()), TRUE) == CSTR_EQUAL)
        return path.substr(backupRoot.size() + 1);
    return path;
}

bool IsSafeCopyPath(const std::wstring& copy) {
    if (copy.empty() || copy.find_first_of(L":/") != std::wstring::npos)
        return false;
    return HasOnlyPlainComponents(copy, 0); // a leading "\" makes an empty first component
}

std::wstring CopyPathInItsBackupsFolder(const std::wstring& path) {
    const size_t nameStart = path.rfind(L'\\');
    if (nameStart == std::wstring::npos || nameStart == 0)
        return path;
    const size_t minuteStart = path.rfind(L'\\', nameStart - 1);
    const size_t dayStart = minuteStart == std::wstring::npos || minuteStart == 0
                                ? std::wstring::npos
                                : path.rfind(L'\\', minuteStart - 1);
    if (dayStart == std::wstring::npos ||
        !IsMinuteFolderName(path.substr(minuteStart + 1, nameStart - minuteStart - 1)) ||
        !IsDayFolderName(path.substr(dayStart + 1, minuteStart - dayStart - 1)))
        return path;
    const std::wstring copy = path.substr(dayStart + 1);
    return IsSafeCopyPath(copy) ? copy : path;
}

bool IsFullOriginalPath(const std::wstring& path) {
    if (path.find(L'/') != std::wstring::npos)
        return false;
    if (path.size() > 3 && IsDriveLetter(path[0]) && path[1] == L':' && path[2] == L'\\')
        return path.find(L':', 2) == std::wstring::npos && HasOnlyPlainComponents(path, 3);
    // "\\server\share\...", never a device or long-path form ("\\?\", "\\.\").
    if (path.size() > 2 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'?' && path[2] != L'.')
        return path.find(L':') == std::wstring::npos && HasOnlyPlainComponents(path, 2) &&
               path.find(L'\\', path.find(L'\\', 2) + 1) != std::wstring::npos;
    return false;
}

DWORD AppendJournalRecord(const std::wstring& backupRoot, const std::wstring& dayFolder,
                          const JournalRecord& record) {
    const std::wstring folder = backupRoot + L"\\" + dayFolder;
    DWORD error = MakeFolderTree(folder);
    if (error != ERROR_SUCCESS)
        return error;
    const std::wstring path = SystemPath(folder + L"\\" + kJournalName);
    // The platform refuses to append to a read-only file; some emulations do not: refused alike.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return ERROR_ACCESS_DENIED;
    CJournalFile journal(path);
    if (!journal.IsOpen())
        return GetLastError();
    if ((error = journal.Lock()) != ERROR_SUCCESS)
        return error;
    std::string text;
    if ((error = TextBeforeRecord(journal.Handle(), &text)) != ERROR_SUCCESS)
        return error;
    text += FormatJournalLine(record);
    // One write: with append access it lands whole at the end, after any other program's line.
    DWORD written = 0;
    if (!WriteFile(journal.Handle(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
        return GetLastError();
    return written == text.size() ? ERROR_SUCCESS : ERROR_DISK_FULL;
}
