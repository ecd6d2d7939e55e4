#include "engine/copy/PreviousCopy.h"

#include <algorithm>

#include "engine/base/BackupPaths.h"
#include "engine/base/ByteCompare.h"
#include "engine/journal/History.h"
#include "engine/journal/Journal.h"
#include "engine/journal/JournalLines.h"

namespace {

bool SameTime(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

} // namespace

bool MatchesCounterpart(const std::wstring& source, const FileFacts& sourceFacts,
                        const std::wstring& counterpart, const FileFacts& counterpartFacts,
                        const BOOL* stop) {
    return MatchCounterpart(source, sourceFacts, counterpart, counterpartFacts, stop) ==
           CounterpartMatch::Matches;
}

CounterpartMatch MatchCounterpart(const std::wstring& source, const FileFacts& sourceFacts,
                                  const std::wstring& counterpart, const FileFacts& counterpartFacts,
                                  const BOOL* stop, DWORD* error) {
    if (sourceFacts.size != counterpartFacts.size)
        return CounterpartMatch::Differs;
    if (SameTime(sourceFacts.modified, counterpartFacts.modified))
        return CounterpartMatch::Matches;
    return MatchBytes(source, counterpart, stop, error);
}

CounterpartMatch MatchBytes(const std::wstring& source, const std::wstring& counterpart, const BOOL* stop,
                            DWORD* error) {
    const ByteComparison bytes = CompareFileBytes(source, counterpart, stop);
    if (error != nullptr)
        *error = bytes.error;
    switch (bytes.outcome) {
    case ByteCompareOutcome::Equal:
        return CounterpartMatch::Matches;
    case ByteCompareOutcome::Different:
        return CounterpartMatch::Differs;
    case ByteCompareOutcome::Stopped:
        return CounterpartMatch::Stopped;
    default:
        return CounterpartMatch::Unreadable;
    }
}

bool MayLinkFor(const FileFacts& sourceFacts, const FileFacts& counterpartFacts) {
    constexpr DWORD kShared = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    return !((sourceFacts.attributes | counterpartFacts.attributes) & FILE_ATTRIBUTE_READONLY) &&
           (sourceFacts.attributes & kShared) == (counterpartFacts.attributes & kShared);
}

void CPreviousCopies::Forget() {
    m_read = false;
    m_byItem.clear();
}

std::wstring CPreviousCopies::Key(const std::wstring& original, bool isFolder) {
    return (isFolder ? L"D" : L"F") +
           UpperCase(WithoutTrailingSeparators(original)); // given with a separator too
}

void CPreviousCopies::ReadJournals() {
    m_read = true;
    for (const std::wstring& day : HistoryDays(m_backupRoot)) {
        struct Found {
            std::wstring key;
            SYSTEMTIME time;
            PreviousCopy copy;
        };
        std::vector<Found> found;
        unsigned unreadable = 0;
        int version = kJournalVersion;
        const std::wstring path = SystemPath(m_backupRoot + L"\\" + day + L"\\" + kJournalName);
        ForEachLine(path, &unreadable, [&](const char* text, size_t length) {
            JournalRecord record;
            // Only a record whose copy cannot lead out of the backups folder is ever opened.
            if (ParseJournalLine(text, length, &record, &version) != JournalLine::Record ||
                record.kind != JournalKind::Backup || record.outcome != RowOutcome::Succeeded ||
                !IsSafeCopyPath(record.copy) || !IsFullOriginalPath(record.original))
                return;
            found.push_back({Key(record.original, record.isFolder),
                             record.time,
                             {record.copy, record.bytes, record.modified, record.unchanged,
                              record.files + record.linked, record.hash, record.hashKnown}});
        });
        // Newest first; of one moment, the record written last.
        std::reverse(found.begin(), found.end());
        std::stable_sort(found.begin(), found.end(),
                         [](const Found& a, const Found& b) { return ToTicks(a.time) > ToTicks(b.time); });
        for (Found& item : found)
            m_byItem[item.key].push_back(std::move(item.copy));
    }
}

bool CPreviousCopies::Find(const std::wstring& original, bool isFolder, PreviousCopy* found) {
    if (!m_read)
        ReadJournals();
    const auto item = m_byItem.find(Key(original, isFolder));
    if (item == m_byItem.end())
        return false;
    for (const PreviousCopy& copy : item->second) {
        const DWORD attributes = GetFileAttributesW(SystemPath(m_backupRoot + L"\\" + copy.copy).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
            ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != isFolder)
            continue;
        *found = copy;
        return true;
    }
    return false;
}

void CPreviousCopies::Remember(const std::wstring& original, bool isFolder, const PreviousCopy& copy) {
    if (!m_read)
        return; // read with the journals, which hold it by now
    auto& copies = m_byItem[Key(original, isFolder)];
    copies.insert(copies.begin(), copy);
}
