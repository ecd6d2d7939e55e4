// Appends records to one day's journal as another running program would.
// Usage: journal_appender <backups folder> <tag> <count>; exit code = records that failed.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "engine/journal/Journal.h"

int main(int argc, char** argv) {
    if (argc != 4)
        return -1;
    JournalRecord record;
    record.time = {2004, 3, 0, 7, 14, 5, 0, 0};
    int failed = 0;
    for (int i = 0; i < std::atoi(argv[3]); ++i) {
        // Long lines, so that two writers' lines would interleave if appends were not whole.
        record.original =
            L"C:\\" + FromAnsiText(argv[2]) + L"\\" + std::wstring(400, L'x') + std::to_wstring(i);
        record.copy = L"2004-0307\\1405\\" + std::to_wstring(i);
        failed += AppendJournalRecord(FromAnsiText(argv[1]), L"2004-0307", record) != ERROR_SUCCESS;
    }
    return failed;
}
