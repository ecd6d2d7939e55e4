// The shell's words for what the engine reports: the sentences of a status report, the five texts
// of a list row, the moments, sizes and counts the windows show, the watches' states and the
// reasons an item cannot be watched. Every word comes from the string table in the screen
// language (framework/Language.h); the status codes find theirs in one table. The main list's
// moments and the history's times are the fixed Japanese forms on Japanese screens ("3月7日",
// "14時5分", "10:15") and the user's locale's short forms on English ones; the history's dates are
// the user's short date in both.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "engine/base/BackupPaths.h"
#include "engine/base/StatusReport.h"
#include "engine/watch/Watcher.h"
#include "engine/office/OfficeText.h"

// What the main list shows of a row: date, time, name (or the folder mark), source and
// destination (its marks in front).
struct RowTexts {
    std::wstring date, time, name, source, destination;
};
RowTexts RowTextsOf(const BackupRow& row);

// The main list's date and time of a moment.
std::wstring RowDateText(const SYSTEMTIME& time);
std::wstring RowTimeText(const SYSTEMTIME& time);
// The history's date and time of a moment (FILETIME ticks of local time, or as a SYSTEMTIME).
std::wstring HistoryDateText(const SYSTEMTIME& time);
std::wstring HistoryTimeText(const SYSTEMTIME& time);
std::wstring HistoryDateText(int64_t ticks);
std::wstring HistoryTimeText(int64_t ticks);
// "12.3 MB" for a size.
std::wstring SizeText(uint64_t bytes);
// "12 ファイル, 3.4 MB": what the running item has copied so far.
std::wstring CountsText(unsigned files, ULONGLONG bytes);

// The report's sentences one after the other; "ready" for an empty one.
std::wstring StatusText(const StatusReport& report);
// The status line while a file is worked on: activity's sentence about path.
std::wstring ActivityText(StatusCode activity, const std::wstring& path);

// The watch list's state column: 見張り中, 定期確認中 (...), 戻るのを待っています, ...
std::wstring WatchStateText(const WatchInfo& info);
// Why an item cannot be watched (empty for None).
std::wstring WatchRefusalText(WatchRefusal refusal);
// Why a Word, Excel or PowerPoint file could not be read as a document (empty for Ok).
std::wstring DocumentOutcomeText(OfficeOutcome outcome);
