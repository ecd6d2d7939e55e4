// The history: every record of every journal below the backups folder, and every copy in the day
// and minute folders that no journal names (its original unknown), read into compact entries
// that share their texts. Read day by day, newest day first, so a window can show the first
// rows long before a year of backups is read; within a day the newest record comes first.
//
// Journals are untrusted: lines that cannot be read are counted; a record whose copy path could
// lead out of the backups folder (or passes through a link there) or whose original is no full
// path is kept, marked damaged, and nothing may be opened, restored or written for it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/base/BackupPaths.h"
#include "engine/journal/Journal.h"
#include "engine/journal/StoredSize.h"

// Texts stored once however many entries use them (the versions of one item share its path).
class CTextPool {
public:
    static constexpr uint32_t kNone = 0; // the empty text
    CTextPool();
    CTextPool(const CTextPool&) = delete; // the index points into this object's own texts
    CTextPool& operator=(const CTextPool&) = delete;
    uint32_t Add(const std::wstring& text);
    // The text's id, or kNone when the pool does not hold it.
    uint32_t Find(const std::wstring& text) const;
    const std::wstring& Text(uint32_t id) const { return m_texts[id]; }
    size_t Count() const { return m_texts.size(); }

private:
    std::deque<std::wstring> m_texts; // a deque never moves its strings: the views stay valid
    std::unordered_map<std::wstring_view, uint32_t> m_ids;
};

// One row of the history, 72 bytes (the error fills what was padding; the hash takes 16).
struct HistoryEntry {
    enum Flags : uint8_t {
        kFolder = 1,
        kUnknownOriginal = 2, // a copy no journal names
        kDamaged = 4,         // a record whose paths cannot be trusted
        kUnchanged = 8,       // a file item found unchanged: the copy is an earlier backup's
        kAutomatic = 16,      // a watched item's version
        // The copy lies in the minute folder of the entry's own moment, as nearly every copy does:
        // its folder is told by the time, no text is kept for it (copyFolder is kNone).
        kInOwnMinute = 32,
        // The journal line gave the version's hash (a file's copy's, a folder's manifest's): the
        // copy can be proven by its content. Without it the version was made before hashes.
        kHashKnown = 64,
    };
    int64_t time = 0;        // the batch's moment as FILETIME ticks of local time
    uint64_t bytes = 0;      // written: what the record added to the disk (links and kept files aside)
    uint64_t size = 0;       // what the copy holds: what restoring it gives back
    int64_t modified = 0;    // a file's last-write time, FILETIME ticks (UTC); 0 unknown
    uint32_t original = 0;   // text ids
    uint32_t copyFolder = 0; // "2026-1207\1015", unless kInOwnMinute
    uint32_t copyName = 0;   // "report.xlsx"
    uint32_t files = 0;
    uint32_t error = 0; // a failed record's system error; 0 when it names none
    JournalKind kind = JournalKind::Backup;
    RowOutcome outcome = RowOutcome::Succeeded;
    uint8_t flags = 0;
    // Where the version is kept: this computer's backups folder, the mirror, or both.
    enum Place : uint8_t { kHere = 1, kMirror = 2, kBoth = kHere | kMirror };
    uint8_t place = kHere;
    ContentHash hash; // the journal's hash of the version, when kHashKnown
    bool Is(Flags flag) const { return (flags & flag) != 0; }
    bool IsIn(Place where) const { return (place & where) != 0; }
};

// One day folder as it was read: what its folder listing looked like then (its journal's size and
// time, its minute folders' times), so an unchanged day need not be read again, and its entries.
struct HistoryDay {
    std::wstring name; // "2026-1207"
    uint64_t signature = 0;
    uint64_t mirrorSignature = 0; // the mirror's day folder's, when it was read with it
    size_t first = 0, count = 0;
    unsigned unreadableLines = 0, unreadableJournals = 0;
};

// What the history holds: entries newest first, the texts they share, and the counts.
class CHistory {
public:
    CTextPool texts;
    std::vector<HistoryEntry> entries;
    std::vector<HistoryDay> days; // newest first, as the entries
    unsigned unreadableLines = 0; // lines of journals that could not be read
    unsigned unreadableJournals = 0;
    // What the copies take on the disk, each stored file once: measured after the journals are read.
    StoredSize stored;
    bool storedMeasured = false;

    // "2026-1207\1015\report.xlsx"
    std::wstring CopyPath(const HistoryEntry& entry) const;
    // "2026-1207\1015"
    std::wstring CopyFolder(const HistoryEntry& entry) const;
    // Sets the entry's copy folder (its time already set): by the time when it names that minute.
    void SetCopyFolder(HistoryEntry& entry, const std::wstring& folder);
    // Two entries of the same key name the same copy folder (of one day, or of any with the same pool).
    uint64_t CopyFolderKey(const HistoryEntry& entry) const;
    const std::wstring& Original(const HistoryEntry& entry) const { return texts.Text(entry.original); }
    // The entry as a row of the list's commands, with the copy's full path below backupRoot.
    BackupRow RowFor(const HistoryEntry& entry, const std::wstring& backupRoot) const;

    // What the backups take: the copies (succeeded and unknown backups), their size, the oldest.
    // Once measured, bytes is what the disk holds (a file linked into many versions counted once)
    // and savedByLinks what copies without links would take more.
    struct Totals {
        uint64_t copies = 0;
        uint64_t bytes = 0;
        int64_t oldest = 0; // FILETIME ticks of local time, 0 when there is no copy
        bool measured = false;
        uint64_t savedByLinks = 0;
        void Add(const Totals& more);
    };
    // Kept up to date as days are read, so showing it costs nothing: what the journals say.
    Totals totals;
    // The totals, with what the disk holds once it is measured.
    Totals ComputeTotals() const;
};

// The day folders below backupRoot, newest first.
std::vector<std::wstring> HistoryDays(const std::wstring& backupRoot);
// Reads one day folder's records and unnamed copies into history, newest first. When earlier
// holds the day as read from a folder that has not changed since, its entries are taken from
// there instead of the disk.
void ReadHistoryDay(const std::wstring& backupRoot, const std::wstring& day, CHistory& history,
                    const CHistory* earlier = nullptr);
// What the day folder's listing looks like now: its journal's size and time, its minute folders'
// names and times (a copy added to or removed from a minute folder changes its time).
uint64_t DaySignature(const std::wstring& backupRoot, const std::wstring& day);
// The totals of the entries from first on, this computer's copies only: a copy's path names its
// day, so the entries of different days never share a copy.
CHistory::Totals TotalsFrom(const CHistory& history, size_t first);
// Appends part's entries (read after into's) to into, their texts, days and totals with them.
void AppendHistory(CHistory& into, const CHistory& part);

// Reads the history of backupRoot into history, newest day first. After each day folder,
// dayRead is called with the index of that day's first entry (entries before it are complete);
// a non-zero *stop ends the reading early. Copies no journal names are listed after each day's
// records; removed copies are no longer listed.
void ReadHistory(const std::wstring& backupRoot, CHistory& history, const volatile LONG* stop,
                 const std::function<void(size_t firstOfDay)>& dayRead);

// Case aside, as the file system compares names: does text contain query (query upper-cased)?
bool ContainsUpper(const std::wstring& text, const std::wstring& upperQuery);

// The entries of history that match: with an exact original (case aside) when one is given,
// else those whose name or original path contains query (case aside; all when empty). From
// within, when given, instead of every entry (a query that grew only narrows).
std::vector<uint32_t> FilterHistory(const CHistory& history, const std::wstring& query,
                                    const std::wstring& exactOriginal,
                                    const std::vector<uint32_t>* within = nullptr);

// An entry's moment: FILETIME ticks of local time.
int64_t ToTicks(const SYSTEMTIME& time);
SYSTEMTIME FromTicks(int64_t ticks);
