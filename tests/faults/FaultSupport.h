// What the fault cases share: the built program started from a temporary folder with an exact
// command line, its rows read from outside, snapshots of a folder tree to prove that nothing
// outside the backup root changed and that copies are whole, and the totals the suite prints
// as its last line (scripts/faults sums them).
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "EngineTestSupport.h"

struct ListedRow {
    std::string date, time, name, source, destination;
};

// Copies the built Tallowbox.exe into folder (made if missing): its backups go beside it.
bool InstallProgram(const std::string& folder);

// The Tallowbox.exe installed in programFolder, started with "<exe>" arguments, exactly as
// given, in currentFolder. Ended by force if a case leaves it running.
class StartedTallowbox {
public:
    StartedTallowbox(const std::string& programFolder, const std::string& arguments,
                     const std::string& currentFolder);
    StartedTallowbox(const std::string& programFolder, const std::wstring& arguments,
                     const std::string& currentFolder);
    ~StartedTallowbox();
    StartedTallowbox(const StartedTallowbox&) = delete;
    StartedTallowbox& operator=(const StartedTallowbox&) = delete;

    bool started() const { return m_started; }
    // The main frame once visible; nullptr when the process ends first or the time runs out.
    HWND WaitForVisibleFrame(DWORD timeoutMs = 30000);
    // True when the process ended in time; notes whether a frame of it was ever visible.
    bool WaitForEnd(DWORD timeoutMs, bool* frameEverVisible);
    // Closes the main window and waits for the process; its exit code, or 0xDEAD.
    DWORD Close(HWND frame);
    std::vector<ListedRow> Rows(HWND frame) const;

private:
    PROCESS_INFORMATION m_process = {};
    bool m_started = false;
};

// Every entry below root by relative path (links listed, not followed).
using Tree = std::map<std::string, TreeEntry>;

// Entries added, removed or changed (content, last-write time, attributes) between two
// snapshots, leaving out everything at or below the relative path excluded. Empty when none.
std::string ChangesOutside(const Tree& before, const Tree& after, const std::string& excluded);
// The files of source that are missing or different in copy, described; counts the bytes
// compared into the suite's totals. Entries whose relative path starts with one of skipped are
// not expected in the copy.
std::string MissingFromCopy(const Tree& source, const Tree& copy,
                            const std::vector<std::string>& skipped = {});
// Relative paths of copy that have no counterpart in source.
std::string ExtraInCopy(const Tree& source, const Tree& copy);

// "backups\YYYY-MMDD\HHMM" for a moment, and for minutes later.
std::string MinuteFolderText(const SYSTEMTIME& time, int minutesLater = 0);
std::string DayFolderText(const SYSTEMTIME& time, int daysLater = 0);
SYSTEMTIME Now();

// The starts of a failed row and a failed status line, as the program writes them.
bool IsFailedDestination(const std::string& destination);
// The failure status names the path and gives a reason in full-width parentheses.
bool IsFailureStatus(const std::string& status, const std::string& path);

// Quoted for a command line.
std::string Quoted(const std::string& text);

// Totals the suite prints at its end.
void CountVerifiedBytes(uint64_t bytes);
void CountFailureShown();
