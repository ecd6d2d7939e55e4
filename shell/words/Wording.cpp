#include "shell/words/Wording.h"

#include "engine/journal/History.h"
#include "framework/FrameworkIds.h"
#include "framework/Language.h"
#include "res/resource.h"

#include <cwchar>

namespace {

// The words of each status code. Inserts: %1 the path, %2 the other path, %3 the system's message
// for the error, %4 and %5 the counts, %6 the size.
struct StatusWords {
    StatusCode code;
    UINT id;
};

const StatusWords kStatusWords[] = {
    {StatusCode::BackingUp, IDS_BACKING_UP},
    {StatusCode::Restoring, IDS_RESTORING},
    {StatusCode::CleaningUp, IDS_CLEANING_UP},
    {StatusCode::PreparingToOpen, IDS_PREPARING_TO_OPEN},
    {StatusCode::PreparingToCompare, IDS_PREPARING_TO_COMPARE},
    {StatusCode::BackupStopped, IDS_BACKUP_STOPPED},
    {StatusCode::BackupFailed, IDS_BACKUP_FAILED},
    {StatusCode::BackupFailedEntries, IDS_BACKUP_FAILED_ENTRIES},
    {StatusCode::BackupFailedInFolder, IDS_BACKUP_FAILED_IN_FOLDER},
    {StatusCode::Unchanged, IDS_UNCHANGED},
    {StatusCode::Renamed, IDS_RENAMED},
    {StatusCode::RenamedSeveral, IDS_RENAMED_SEVERAL},
    {StatusCode::LeftOut, IDS_LEFT_OUT},
    {StatusCode::Linked, IDS_LINKED},
    {StatusCode::LinkedSomeCopied, IDS_LINKED_SOME_COPIED},
    {StatusCode::JournalUnwritten, IDS_JOURNAL_UNWRITTEN},
    {StatusCode::RestoreStopped, IDS_RESTORE_STOPPED},
    {StatusCode::RestoreElsewhereStopped, IDS_RESTORE_ELSEWHERE_STOPPED},
    {StatusCode::RestoreFailed, IDS_RESTORE_FAILED},
    {StatusCode::RestoreFailedEntries, IDS_RESTORE_FAILED_ENTRIES},
    {StatusCode::RestoreNotDone, IDS_RESTORE_NOT_DONE},
    {StatusCode::CleanupRecycled, IDS_CLEANUP_RECYCLED},
    {StatusCode::CleanupDeleted, IDS_CLEANUP_DELETED},
    {StatusCode::CleanupFailed, IDS_CLEANUP_FAILED},
    {StatusCode::CleanupStopped, IDS_CLEANUP_STOPPED},
    {StatusCode::CleanupBinRefused, IDS_CLEANUP_BIN_REFUSED},
    {StatusCode::Opened, IDS_OPENED},
    {StatusCode::OpenStopped, IDS_OPEN_STOPPED},
    {StatusCode::OpenFailed, IDS_OPEN_FAILED},
    {StatusCode::CompareToolStarted, IDS_COMPARE_TOOL_STARTED},
    {StatusCode::CompareToolStopped, IDS_COMPARE_TOOL_STOPPED},
    {StatusCode::CompareToolFailed, IDS_COMPARE_TOOL_FAILED},
    {StatusCode::CompareToolUnusable, IDS_COMPARE_TOOL_UNUSABLE},
    {StatusCode::CompareToolNoOriginal, IDS_COMPARE_TOOL_NO_ORIGINAL},
    {StatusCode::FolderUnusable, IDS_FOLDER_UNUSABLE},
    {StatusCode::FolderFellBack, IDS_FOLDER_FELL_BACK},
    {StatusCode::SettingsTooLarge, IDS_SETTINGS_TOO_LARGE},
    {StatusCode::SettingsSkipped, IDS_SETTINGS_SKIPPED},
};

struct RefusalWords {
    WatchRefusal refusal;
    UINT id;
};

const RefusalWords kRefusalWords[] = {
    {WatchRefusal::Missing, IDS_REFUSED_MISSING},
    {WatchRefusal::NotFullPath, IDS_REFUSED_NOT_FULL_PATH},
    {WatchRefusal::DriveRoot, IDS_REFUSED_DRIVE_ROOT},
    {WatchRefusal::BackupsFolder, IDS_REFUSED_BACKUPS_FOLDER},
    {WatchRefusal::InsideBackups, IDS_REFUSED_INSIDE_BACKUPS},
    {WatchRefusal::ContainsBackups, IDS_REFUSED_CONTAINS_BACKUPS},
    {WatchRefusal::TooMany, IDS_REFUSED_TOO_MANY},
    {WatchRefusal::NotSaved, IDS_REFUSED_NOT_SAVED},
};

struct DocumentWords {
    OfficeOutcome outcome;
    UINT id;
};

const DocumentWords kDocumentWords[] = {
    {OfficeOutcome::NotZip, IDS_DOCUMENT_NOT_ZIP},
    {OfficeOutcome::Truncated, IDS_DOCUMENT_TRUNCATED},
    {OfficeOutcome::Encrypted, IDS_DOCUMENT_ENCRYPTED},
    {OfficeOutcome::TooLarge, IDS_DOCUMENT_TOO_LARGE},
    {OfficeOutcome::Bomb, IDS_DOCUMENT_BOMB},
    {OfficeOutcome::Damaged, IDS_DOCUMENT_DAMAGED},
    {OfficeOutcome::BrokenXml, IDS_DOCUMENT_BROKEN_XML},
    {OfficeOutcome::Unsupported, IDS_DOCUMENT_UNSUPPORTED},
};

std::wstring Number(unsigned long long value) {
    return std::to_wstring(value);
}

// value in at least digits digits, leading zeros added.
std::wstring Padded(unsigned value, int digits) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%0*u", digits, value);
    return text;
}

std::wstring Decimal(double value, int decimals) {
    wchar_t text[32];
    std::swprintf(text, 32, L"%.*f", decimals, value);
    return text;
}

// The user's locale's short date, or its time without seconds; empty when it cannot word it.
std::wstring LocaleText(const SYSTEMTIME& time, bool date) {
    wchar_t text[80] = L"";
    const int length =
        date ? ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, text, 80, nullptr)
             : ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, TIME_NOSECONDS, &time, nullptr, text, 80);
    return length > 0 ? std::wstring(text) : std::wstring();
}

// Japanese screens show the fixed forms of the string table; English ones the locale's, with the
// string table's form where the locale cannot word the moment.
std::wstring MomentText(const SYSTEMTIME& time, bool date, UINT id,
                        std::initializer_list<std::wstring> inserts) {
    if (ScreenLanguage() != kJapanese) {
        const std::wstring text = LocaleText(time, date);
        if (!text.empty())
            return text;
    }
    return FormatResourceText(id, inserts);
}

std::wstring PartText(const StatusPart& part) {
    UINT id = 0;
    for (const StatusWords& words : kStatusWords)
        if (words.code == part.code)
            id = words.id;
    const std::wstring pattern = LoadResourceText(id);
    // The system's message is asked for only where the sentence names it.
    const bool namesError = pattern.find(L"%3") != std::wstring::npos;
    return FormatInserts(pattern,
                         {part.path, part.other, namesError ? SystemMessage(part.error) : std::wstring(),
                          Number(part.count), Number(part.second), SizeText(part.bytes)});
}

} // namespace

RowTexts RowTextsOf(const BackupRow& row) {
    RowTexts texts;
    texts.date = RowDateText(row.time);
    texts.time = RowTimeText(row.time);
    const bool restore = row.kind == RowKind::Restore;
    // A file's copy may have been named "same (2).txt": the row names the copy; an unchanged item
    // and a restore name the item itself.
    texts.name = row.isFolder ? LoadResourceText(IDS_FOLDER_NAME)
                              : LastComponent(restore || row.unchanged ? row.originalPath : row.backupPath);
    texts.source = restore        ? row.backupPath
                   : row.isFolder ? row.originalPath
                                  : WithoutLastComponent(row.originalPath);
    if (row.outcome == RowOutcome::Failed)
        texts.destination = LoadResourceText(IDS_MARK_FAILED);
    else if (row.outcome == RowOutcome::Stopped)
        texts.destination = LoadResourceText(IDS_MARK_STOPPED);
    if (restore) {
        texts.destination += LoadResourceText(IDS_MARK_RESTORE);
        texts.destination += row.restoredTo.empty() ? row.originalPath : row.restoredTo;
        return texts;
    }
    if (row.outcome == RowOutcome::Succeeded && row.unchanged)
        texts.destination += LoadResourceText(IDS_MARK_UNCHANGED);
    if (row.outcome == RowOutcome::Succeeded && row.automatic)
        texts.destination += LoadResourceText(IDS_MARK_AUTOMATIC);
    texts.destination += row.isFolder ? row.backupPath : WithoutLastComponent(row.backupPath);
    return texts;
}

std::wstring RowDateText(const SYSTEMTIME& time) {
    return MomentText(time, true, IDS_ROW_DATE, {Number(time.wMonth), Number(time.wDay), Number(time.wYear)});
}

std::wstring RowTimeText(const SYSTEMTIME& time) {
    return MomentText(time, false, IDS_ROW_TIME,
                      {Number(time.wHour), Number(time.wMinute), Padded(time.wMinute, 2)});
}

// The user's short date in either language, as Windows words it; the string table's form only
// where the locale cannot word the moment.
std::wstring HistoryDateText(const SYSTEMTIME& time) {
    const std::wstring text = LocaleText(time, true);
    return !text.empty() ? text
                         : FormatResourceText(IDS_HISTORY_DATE, {Padded(time.wYear, 4), Padded(time.wMonth, 2),
                                                                 Padded(time.wDay, 2)});
}

std::wstring HistoryTimeText(const SYSTEMTIME& time) {
    return MomentText(time, false, IDS_HISTORY_TIME, {Padded(time.wHour, 2), Padded(time.wMinute, 2)});
}

std::wstring HistoryDateText(int64_t ticks) {
    return HistoryDateText(FromTicks(ticks));
}

std::wstring HistoryTimeText(int64_t ticks) {
    return HistoryTimeText(FromTicks(ticks));
}

std::wstring SizeText(uint64_t bytes) {
    const double kilo = 1024.0;
    if (bytes < 1024) // "1 byte", "2 bytes": the count picks the form
        return FormatResourceText(bytes == 1 ? IDS_SIZE_BYTE : IDS_SIZE_BYTES, {Number(bytes)});
    if (bytes < 1024ull * 1024)
        return FormatResourceText(IDS_SIZE_KB, {Decimal(static_cast<double>(bytes) / kilo, 1)});
    if (bytes < 1024ull * 1024 * 1024)
        return FormatResourceText(IDS_SIZE_MB, {Decimal(static_cast<double>(bytes) / (kilo * kilo), 1)});
    return FormatResourceText(IDS_SIZE_GB, {Decimal(static_cast<double>(bytes) / (kilo * kilo * kilo), 2)});
}

std::wstring CountsText(unsigned files, ULONGLONG bytes) {
    return FormatResourceText(IDS_PROGRESS_COUNTS,
                              {Number(files), Decimal(static_cast<double>(bytes) / (1024.0 * 1024.0), 1)});
}

std::wstring StatusText(const StatusReport& report) {
    if (report.empty())
        return LoadResourceText(AFX_IDS_IDLEMESSAGE);
    const std::wstring join = LoadResourceText(IDS_SENTENCE_JOIN);
    std::wstring text;
    for (const StatusPart& part : report)
        text += (text.empty() ? std::wstring() : join) + PartText(part);
    return text;
}

std::wstring ActivityText(StatusCode activity, const std::wstring& path) {
    return PartText(Said(activity, path));
}

std::wstring WatchStateText(const WatchInfo& info) {
    switch (info.state) {
    case WatchState::Watching:
        return LoadResourceText(IDS_WATCH_WATCHING);
    case WatchState::Polling:
        return FormatResourceText(
            IDS_WATCH_POLLING,
            {LoadResourceText(info.reason == WatchReason::NoNotifications ? IDS_WATCH_POLLING_REASON
                                                                          : IDS_WATCH_NO_NOTIFICATIONS)});
    case WatchState::WaitingForItem:
        return LoadResourceText(IDS_WATCH_WAITING);
    case WatchState::OtherProgram:
        return LoadResourceText(IDS_WATCH_OTHER_PROGRAM);
    case WatchState::NotWatchable:
        return FormatResourceText(IDS_WATCH_NOT_WATCHABLE,
                                  {info.reason == WatchReason::CannotOpen
                                       ? FormatResourceText(IDS_WATCH_CANNOT_OPEN, {Number(info.error)})
                                       : LoadResourceText(IDS_WATCH_OUT_OF_MEMORY)});
    }
    return std::wstring();
}

std::wstring WatchRefusalText(WatchRefusal refusal) {
    for (const RefusalWords& words : kRefusalWords)
        if (words.refusal == refusal)
            return LoadResourceText(words.id);
    return std::wstring();
}

std::wstring DocumentOutcomeText(OfficeOutcome outcome) {
    for (const DocumentWords& words : kDocumentWords)
        if (words.outcome == outcome)
            return LoadResourceText(words.id);
    return std::wstring();
}
