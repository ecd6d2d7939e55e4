#include "engine/journal/RecordedHashes.h"

#include "engine/journal/CopyWay.h"
#include "engine/journal/Journal.h"
#include "engine/journal/JournalLines.h"

const CRecordedHashes::DayHashes& CRecordedHashes::DayOf(const std::wstring& root, const std::wstring& day) {
    const std::wstring folder = UpperCase(root + L"\\" + day);
    const auto known = m_days.find(folder);
    if (known != m_days.end())
        return known->second;
    DayHashes& hashes = m_days[folder];
    unsigned unreadable = 0;
    int version = kJournalVersion;
    ForEachLine(SystemPath(root + L"\\" + day + L"\\" + kJournalName), &unreadable,
                [&](const char* text, size_t length) {
                    JournalRecord record;
                    if (ParseJournalLine(text, length, &record, &version) == JournalLine::Record &&
                        record.kind == JournalKind::Backup && record.outcome == RowOutcome::Succeeded &&
                        record.hashKnown && IsSafeCopyPath(record.copy))
                        hashes[UpperCase(record.copy)] = record.hash; // a later record of the copy wins
                });
    return hashes;
}

bool CRecordedHashes::HashOf(const std::wstring& path, ContentHash* hash) {
    std::wstring root, copy;
    if (!SplitCopyPath(path, &root, &copy))
        return false;
    const DayHashes& day = DayOf(root, copy.substr(0, copy.find(L'\\')));
    const auto found = day.find(UpperCase(copy));
    if (found == day.end())
        return false;
    *hash = found->second;
    return true;
}

ManifestIndex CRecordedHashes::TrustedManifestOf(const std::wstring& path) {
    std::wstring root, copy;
    ContentHash hash;
    if (!HashOf(path, &hash) || !SplitCopyPath(path, &root, &copy))
        return ManifestIndex();
    return ReadTrustedManifest(root, copy, hash);
}
