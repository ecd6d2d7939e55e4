#include "engine/journal/History.h"

#include <algorithm>
#include <cwchar>
#include <unordered_set>

#include "engine/base/TemporaryNames.h"
#include "engine/journal/CopyWay.h"
#include "engine/journal/JournalLines.h"
#include "framework/FileFind.h"
#include "framework/FileHandle.h"

namespace {

int64_t FileTimeTicks(const FILETIME& time) {
    return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

// The key a copy path is known by, case aside.
std::wstring CopyKey(const std::wstring& copy) {
    return UpperCase(copy);
}

uint64_t FolderSize(const std::wstring& folder, uint32_t* files) {
    uint64_t bytes = 0;
    CFileFind find;
    BOOL more = find.FindFile((folder + L"\\*").c_str());
    while (more) {
        more = find.FindNextFile();
        if (find.IsDots())
            continue;
        if (find.IsDirectory()) {
            if (!find.MatchesMask(FILE_ATTRIBUTE_REPARSE_POINT))
                bytes += FolderSize(folder + L"\\" + find.GetFileName(), files);
        } else {
            bytes += find.GetLength();
            ++*files;
        }
    }
    return bytes;
}

// Calls entry for each entry of folder; false when the folder could not be listed.
template <typename EntryHandler> bool ForEachEntry(const std::wstring& folder, EntryHandler entry) {
    CFileFind find;
    const BOOL listed = find.FindFile((folder + L"\\*").c_str());
    BOOL more = listed;
    while (more) {
        more = find.FindNextFile();
        if (!find.IsDots())
            entry(find);
    }
    return listed != FALSE;
}

class CDayReader {
public:
    CDayReader(const std::wstring& root, const std::wstring& day, CHistory& history)
        : m_root(root), m_day(day), m_history(history), m_ways(root) {}

    void Read() {
        m_first = m_history.entries.size();
        ReadJournal();
        ListUnnamedCopies();
        MarkCopiesBehindLinks();
        DropRemovedCopies();
        // Newest first; of two records of one moment, the one written later.
        std::reverse(m_history.entries.begin() + static_cast<std::ptrdiff_t>(m_first),
                     m_history.entries.end());
        std::stable_sort(m_history.entries.begin() + static_cast<std::ptrdiff_t>(m_first),
                         m_history.entries.end(),
                         [](const HistoryEntry& a, const HistoryEntry& b) { return a.time > b.time; });
    }

private:
    void ReadJournal() {
        int version = kJournalVersion;
        const std::wstring path = SystemPath(m_root + L"\\" + m_day + L"\\" + kJournalName);
        const bool read = ForEachLine(path, &m_history.unreadableLines, [&](const char* text, size_t length) {
            JournalRecord record;
            switch (ParseJournalLine(text, length, &record, &version)) {
            case JournalLine::Header:
                break;
            case JournalLine::Record:
                Add(record);
                break;
            default:
                ++m_history.unreadableLines;
                break;
            }
        });
        if (!read && GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_PATH_NOT_FOUND)
            ++m_history.unreadableJournals;
    }

    void Add(const JournalRecord& record) {
        const std::wstring key = CopyKey(record.copy);
        if (record.kind == JournalKind::Removed) {
            m_removed.insert(key);
            return;
        }
        m_named.insert(key);
        HistoryEntry entry;
        entry.time = ToTicks(record.time);
        entry.bytes = record.bytes;
        entry.size = record.sizeKnown ? record.size : EarlierRecordSize(record);
        entry.files = static_cast<uint32_t>(std::min<ULONGLONG>(record.files, UINT32_MAX));
        entry.modified = FileTimeTicks(record.modified);
        entry.kind = record.kind;
        entry.outcome = record.outcome;
        entry.error = record.error;
        if (record.isFolder)
            entry.flags |= HistoryEntry::kFolder;
        if (record.unchanged)
            entry.flags |= HistoryEntry::kUnchanged;
        if (record.automatic)
            entry.flags |= HistoryEntry::kAutomatic;
        if (record.hashKnown && record.kind == JournalKind::Backup) {
            entry.hash = record.hash;
            entry.flags |= HistoryEntry::kHashKnown;
        }
        const bool restoredElsewhere = record.kind == JournalKind::Restore && !record.target.empty();
        if (!IsSafeCopyPath(record.copy) || !IsFullOriginalPath(record.original) ||
            (restoredElsewhere && !IsFullOriginalPath(record.target)))
            entry.flags |= HistoryEntry::kDamaged;
        entry.original = m_history.texts.Add(record.original);
        const size_t separator = record.copy.rfind(L'\\');
        m_history.SetCopyFolder(entry, separator == std::wstring::npos ? std::wstring()
                                                                       : record.copy.substr(0, separator));
        entry.copyName = m_history.texts.Add(
            separator == std::wstring::npos ? record.copy : record.copy.substr(separator + 1));
        m_history.entries.push_back(entry);
    }

    // A record of an earlier format names only what it wrote. That is what its copy holds unless
    // it linked files or named an earlier copy: then the copy itself is measured (only such a
    // record pays for it, and only when its path is safe to open).
    ULONGLONG EarlierRecordSize(const JournalRecord& record) const {
        if (record.kind != JournalKind::Backup || (record.linked == 0 && !record.unchanged) ||
            !IsSafeCopyPath(record.copy))
            return record.bytes;
        const std::wstring copy = SystemPath(m_root + L"\\" + record.copy);
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExW(copy.c_str(), GetFileExInfoStandard, &data) ||
            (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return record.bytes;
        uint32_t files = 0;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            return FolderSize(copy, &files);
        return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }

    // Copies in this day's minute folders that no record names: made by an earlier version, or
    // their journal was lost. What the listings show of links is kept for MarkCopiesBehindLinks.
    void ListUnnamedCopies() {
        if (m_ways.HasLink(m_day))
            return; // nothing is listed through a link
        const std::wstring dayPath = SystemPath(m_root + L"\\" + m_day);
        const bool listed = ForEachEntry(dayPath, [&](const CFileFind& minute) {
            const std::wstring minuteName = minute.GetFileName(), folder = m_day + L"\\" + minuteName;
            m_ways.Saw(folder, minute.MatchesMask(FILE_ATTRIBUTE_REPARSE_POINT));
            if (!minute.IsDirectory() || minute.MatchesMask(FILE_ATTRIBUTE_REPARSE_POINT) ||
                !IsMinuteFolderName(minuteName))
                return;
            const bool whole = ForEachEntry(dayPath + L"\\" + minuteName, [&](const CFileFind& copy) {
                const std::wstring relative = folder + L"\\" + copy.GetFileName();
                m_ways.Saw(relative, copy.MatchesMask(FILE_ATTRIBUTE_REPARSE_POINT));
                if (!IsTemporaryName(copy.GetFileName()) && m_named.count(CopyKey(relative)) == 0)
                    AddUnnamed(minuteName, copy, dayPath + L"\\" + minuteName + L"\\" + copy.GetFileName());
            });
            if (whole)
                m_ways.Listed(folder);
        });
        if (listed)
            m_ways.Listed(m_day);
    }

    // A copy whose way passes through a link reads as damaged: nothing is opened through it.
    void MarkCopiesBehindLinks() {
        for (size_t index = m_first; index < m_history.entries.size(); ++index) {
            HistoryEntry& entry = m_history.entries[index];
            if (!entry.Is(HistoryEntry::kDamaged) && m_ways.HasLink(m_history.CopyPath(entry)))
                entry.flags |= HistoryEntry::kDamaged;
        }
    }

    void AddUnnamed(const std::wstring& minuteName, const CFileFind& copy, const std::wstring& path) {
        SYSTEMTIME time{};
        time.wYear = static_cast<WORD>(std::wcstoul(m_day.substr(0, 4).c_str(), nullptr, 10));
        time.wMonth = static_cast<WORD>(std::wcstoul(m_day.substr(5, 2).c_str(), nullptr, 10));
        time.wDay = static_cast<WORD>(std::wcstoul(m_day.substr(7, 2).c_str(), nullptr, 10));
        time.wHour = static_cast<WORD>(std::wcstoul(minuteName.substr(0, 2).c_str(), nullptr, 10));
        time.wMinute = static_cast<WORD>(std::wcstoul(minuteName.substr(2, 2).c_str(), nullptr, 10));
        HistoryEntry entry;
        entry.time = ToTicks(time);
        entry.flags = HistoryEntry::kUnknownOriginal;
        if (copy.IsDirectory()) {
            entry.flags |= HistoryEntry::kFolder;
            if (!copy.MatchesMask(FILE_ATTRIBUTE_REPARSE_POINT))
                entry.bytes = FolderSize(path, &entry.files);
        } else {
            entry.bytes = copy.GetLength();
            entry.files = 1;
        }
        entry.size = entry.bytes;
        m_history.SetCopyFolder(entry, m_day + L"\\" + minuteName);
        entry.copyName = m_history.texts.Add(copy.GetFileName());
        m_history.entries.push_back(entry);
    }

    // A copy the cleanup moved out is no longer listed; one put back from the Recycle Bin is.
    void DropRemovedCopies() {
        if (m_removed.empty())
            return;
        std::unordered_set<std::wstring> gone;
        for (const std::wstring& key : m_removed)
            if (!IsSafeCopyPath(key) ||
                GetFileAttributesW(SystemPath(m_root + L"\\" + key).c_str()) == INVALID_FILE_ATTRIBUTES)
                gone.insert(key);
        auto& entries = m_history.entries;
        entries.erase(std::remove_if(entries.begin() + static_cast<std::ptrdiff_t>(m_first), entries.end(),
                                     [&](const HistoryEntry& entry) {
                                         return entry.kind == JournalKind::Backup &&
                                                gone.count(CopyKey(m_history.CopyPath(entry))) != 0;
                                     }),
                      entries.end());
    }

    const std::wstring& m_root;
    const std::wstring m_day;
    CHistory& m_history;
    size_t m_first = 0;
    std::unordered_set<std::wstring> m_named;   // upper-cased copy paths the journal names
    std::unordered_set<std::wstring> m_removed; // and those it says were removed
    CCopyWays m_ways;
};

} // namespace

CTextPool::CTextPool() {
    m_texts.emplace_back();
    m_ids.emplace(std::wstring_view(m_texts.back()), kNone);
}

uint32_t CTextPool::Find(const std::wstring& text) const {
    const auto found = m_ids.find(std::wstring_view(text));
    return found != m_ids.end() ? found->second : kNone;
}

uint32_t CTextPool::Add(const std::wstring& text) {
    const auto found = m_ids.find(std::wstring_view(text));
    if (found != m_ids.end())
        return found->second;
    m_texts.push_back(text);
    const uint32_t id = static_cast<uint32_t>(m_texts.size() - 1);
    m_ids.emplace(std::wstring_view(m_texts.back()), id);
    return id;
}

std::wstring CHistory::CopyPath(const HistoryEntry& entry) const {
    const std::wstring folder = CopyFolder(entry);
    return folder.empty() ? texts.Text(entry.copyName) : folder + L"\\" + texts.Text(entry.copyName);
}

namespace {

// "2026-1207\1015": the day and minute folders of a moment.
std::wstring MinuteFolderOf(int64_t ticks) {
    return FormatTimeStampText(FromTicks(ticks)).substr(1);
}

constexpr int64_t kTicksPerMinute = 60LL * 10000000;

} // namespace

std::wstring CHistory::CopyFolder(const HistoryEntry& entry) const {
    return entry.Is(HistoryEntry::kInOwnMinute) ? MinuteFolderOf(entry.time) : texts.Text(entry.copyFolder);
}

// A year of backups has a minute folder for nearly every record: kept as a text each, they would
// take more than the entries themselves.
void CHistory::SetCopyFolder(HistoryEntry& entry, const std::wstring& folder) {
    if (folder.size() == 14 && folder == MinuteFolderOf(entry.time)) {
        entry.flags |= HistoryEntry::kInOwnMinute;
        entry.copyFolder = CTextPool::kNone;
    } else {
        entry.flags &= static_cast<uint8_t>(~HistoryEntry::kInOwnMinute);
        entry.copyFolder = texts.Add(folder);
    }
}

uint64_t CHistory::CopyFolderKey(const HistoryEntry& entry) const {
    // Minutes since 1601 stay below 2^40 for any year a SYSTEMTIME holds; text ids below 2^32.
    return entry.Is(HistoryEntry::kInOwnMinute)
               ? (1ull << 40) + static_cast<uint64_t>(entry.time / kTicksPerMinute)
               : entry.copyFolder;
}

BackupRow CHistory::RowFor(const HistoryEntry& entry, const std::wstring& backupRoot) const {
    BackupRow row;
    row.time = FromTicks(entry.time);
    row.originalPath = Original(entry);
    row.damaged = entry.Is(HistoryEntry::kDamaged);
    // A damaged record's copy path is shown as written, never joined to the root.
    row.backupPath = row.damaged ? CopyPath(entry) : backupRoot + L"\\" + CopyPath(entry);
    row.isFolder = entry.Is(HistoryEntry::kFolder);
    row.kind = entry.kind == JournalKind::Restore ? RowKind::Restore : RowKind::Backup;
    row.outcome = entry.outcome;
    row.unchanged = entry.Is(HistoryEntry::kUnchanged);
    row.automatic = entry.Is(HistoryEntry::kAutomatic);
    return row;
}

void CHistory::Totals::Add(const Totals& more) {
    copies += more.copies;
    bytes += more.bytes;
    if (more.oldest != 0 && (oldest == 0 || more.oldest < oldest))
        oldest = more.oldest;
}

CHistory::Totals CHistory::ComputeTotals() const {
    Totals shown = totals;
    if (storedMeasured) {
        shown.measured = true;
        shown.bytes = stored.bytes;
        shown.savedByLinks = stored.SavedByLinks();
    }
    return shown;
}

CHistory::Totals TotalsFrom(const CHistory& history, size_t first) {
    const std::vector<HistoryEntry>& entries = history.entries;
    CHistory::Totals totals;
    // Copy folders and names: a copy replaced in its minute counts once.
    using CopyId = std::pair<uint64_t, uint32_t>;
    struct CopyIdHash {
        size_t operator()(const CopyId& key) const {
            return std::hash<uint64_t>()(key.first * 1000003u ^ key.second);
        }
    };
    std::unordered_set<CopyId, CopyIdHash> counted;
    for (size_t index = first; index < entries.size(); ++index) {
        const HistoryEntry& entry = entries[index];
        // An unchanged record names a copy of an earlier moment, perhaps of an earlier day.
        const bool ownsCopy = entry.Is(HistoryEntry::kUnknownOriginal) ||
                              (entry.kind == JournalKind::Backup && entry.outcome == RowOutcome::Succeeded &&
                               !entry.Is(HistoryEntry::kUnchanged));
        if (!ownsCopy || entry.Is(HistoryEntry::kDamaged) || !entry.IsIn(HistoryEntry::kHere))
            continue;
        if (!counted.emplace(history.CopyFolderKey(entry), entry.copyName).second)
            continue;
        ++totals.copies;
        totals.bytes += entry.bytes;
        if (totals.oldest == 0 || entry.time < totals.oldest)
            totals.oldest = entry.time;
    }
    return totals;
}

namespace {

// The day's entries as earlier read them, their texts added to history's pool.
void CopyDay(const CHistory& earlier, const HistoryDay& day, CHistory& history) {
    for (size_t index = day.first; index < day.first + day.count; ++index) {
        HistoryEntry entry = earlier.entries[index];
        entry.original = history.texts.Add(earlier.texts.Text(entry.original));
        entry.copyFolder = history.texts.Add(earlier.texts.Text(entry.copyFolder));
        entry.copyName = history.texts.Add(earlier.texts.Text(entry.copyName));
        history.entries.push_back(entry);
    }
    history.unreadableLines += day.unreadableLines;
    history.unreadableJournals += day.unreadableJournals;
}

// The day of that name in earlier, when it was read from a listing that still looks the same.
const HistoryDay* UnchangedDay(const CHistory* earlier, const std::wstring& name, uint64_t signature) {
    if (earlier == nullptr)
        return nullptr;
    // Days are newest first: sorted by name, descending.
    const auto found =
        std::lower_bound(earlier->days.begin(), earlier->days.end(), name,
                         [](const HistoryDay& day, const std::wstring& wanted) { return day.name > wanted; });
    return found != earlier->days.end() && found->name == name && found->signature == signature ? &*found
                                                                                                : nullptr;
}

static_assert(sizeof(HistoryEntry) <= 72, "a history entry stays small: a year of backups is many");

uint64_t HashOf(const void* data, size_t size, uint64_t hash = 14695981039346656037ull) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ bytes[i]) * 1099511628211ull;
    return hash;
}

} // namespace

std::vector<std::wstring> HistoryDays(const std::wstring& backupRoot) {
    std::vector<std::wstring> days;
    ForEachEntry(SystemPath(backupRoot), [&](const CFileFind& entry) {
        if (entry.IsDirectory() && !entry.MatchesMask(FILE_ATTRIBUTE_REPARSE_POINT) &&
            IsDayFolderName(entry.GetFileName()))
            days.push_back(entry.GetFileName());
    });
    std::sort(days.begin(), days.end(), std::greater<std::wstring>());
    return days;
}

uint64_t DaySignature(const std::wstring& backupRoot, const std::wstring& day) {
    uint64_t signature = 0;
    ForEachEntry(SystemPath(backupRoot + L"\\" + day), [&](const CFileFind& entry) {
        const std::wstring name = entry.GetFileName();
        const bool minute = entry.IsDirectory() && IsMinuteFolderName(name);
        if (!minute && CompareStringOrdinal(name.c_str(), -1, kJournalName, -1, TRUE) != CSTR_EQUAL)
            return;
        const FILETIME written = entry.GetLastWriteTime();
        const ULONGLONG size = entry.GetLength();
        uint64_t hash = HashOf(name.data(), name.size() * sizeof(wchar_t));
        hash = HashOf(&written, sizeof written, hash);
        hash = HashOf(&size, sizeof size, hash);
        signature += hash; // the listing's order does not matter
    });
    return signature;
}

void ReadHistoryDay(const std::wstring& backupRoot, const std::wstring& day, CHistory& history,
                    const CHistory* earlier) {
    HistoryDay read;
    read.name = day;
    read.signature = DaySignature(backupRoot, day); // before reading: a change meanwhile shows next time
    read.first = history.entries.size();
    const unsigned linesBefore = history.unreadableLines, journalsBefore = history.unreadableJournals;
    if (const HistoryDay* unchanged = UnchangedDay(earlier, day, read.signature))
        CopyDay(*earlier, *unchanged, history);
    else
        CDayReader(backupRoot, day, history).Read();
    read.count = history.entries.size() - read.first;
    read.unreadableLines = history.unreadableLines - linesBefore;
    read.unreadableJournals = history.unreadableJournals - journalsBefore;
    history.totals.Add(TotalsFrom(history, read.first));
    history.days.push_back(std::move(read));
}

void AppendHistory(CHistory& into, const CHistory& part) {
    const size_t offset = into.entries.size();
    into.entries.reserve(into.entries.size() + part.entries.size());
    for (HistoryEntry entry : part.entries) {
        entry.original = into.texts.Add(part.texts.Text(entry.original));
        entry.copyFolder = into.texts.Add(part.texts.Text(entry.copyFolder));
        entry.copyName = into.texts.Add(part.texts.Text(entry.copyName));
        into.entries.push_back(entry);
    }
    for (HistoryDay day : part.days) {
        day.first += offset;
        into.days.push_back(std::move(day));
    }
    into.unreadableLines += part.unreadableLines;
    into.unreadableJournals += part.unreadableJournals;
    if (part.storedMeasured) {
        into.stored = part.stored;
        into.storedMeasured = true;
    }
    into.totals.Add(part.totals);
}

void ReadHistory(const std::wstring& backupRoot, CHistory& history, const volatile LONG* stop,
                 const std::function<void(size_t firstOfDay)>& dayRead) {
    for (const std::wstring& day : HistoryDays(backupRoot)) {
        if (stop != nullptr && *stop != 0)
            return;
        const size_t first = history.entries.size();
        ReadHistoryDay(backupRoot, day, history);
        if (dayRead)
            dayRead(first);
    }
}

bool ContainsUpper(const std::wstring& text, const std::wstring& upperQuery) {
    if (upperQuery.empty())
        return true;
    if (text.size() < upperQuery.size())
        return false;
    thread_local std::wstring upper;
    upper.assign(text);
    bool ascii = true;
    for (wchar_t& c : upper) {
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
        else if (c >= 0x80)
            ascii = false;
    }
    if (!ascii)
        CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
    return upper.find(upperQuery) != std::wstring::npos;
}

std::vector<uint32_t> FilterHistory(const CHistory& history, const std::wstring& query,
                                    const std::wstring& exactOriginal, const std::vector<uint32_t>* within) {
    // Each text is looked at once however many entries share it: -1 not yet, 0 no, 1 yes.
    std::vector<signed char> verdict(history.texts.Count(), -1);
    const std::wstring upperQuery = UpperCase(query);
    const auto matches = [&](uint32_t id) {
        if (verdict[id] < 0) {
            const std::wstring& text = history.texts.Text(id);
            verdict[id] =
                exactOriginal.empty()
                    ? ContainsUpper(text, upperQuery)
                    : CompareStringOrdinal(text.c_str(), static_cast<int>(text.size()), exactOriginal.c_str(),
                                           static_cast<int>(exactOriginal.size()), TRUE) == CSTR_EQUAL;
        }
        return verdict[id] != 0;
    };
    const auto keep = [&](const HistoryEntry& entry) {
        if (!exactOriginal.empty())
            return entry.original != CTextPool::kNone && matches(entry.original);
        return matches(entry.copyName) || (entry.original != CTextPool::kNone && matches(entry.original));
    };
    std::vector<uint32_t> kept;
    if (within != nullptr) {
        for (uint32_t index : *within)
            if (index < history.entries.size() && keep(history.entries[index]))
                kept.push_back(index);
        return kept;
    }
    for (size_t index = 0; index < history.entries.size(); ++index)
        if (keep(history.entries[index]))
            kept.push_back(static_cast<uint32_t>(index));
    return kept;
}

int64_t ToTicks(const SYSTEMTIME& time) {
    FILETIME file{};
    SystemTimeToFileTime(&time, &file);
    return FileTimeTicks(file);
}

SYSTEMTIME FromTicks(int64_t ticks) {
    FILETIME file;
    file.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) & 0xFFFFFFFF);
    file.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
    SYSTEMTIME time{};
    FileTimeToSystemTime(&file, &time);
    return time;
}
