// CBackgroundChecker: the background check's thread (CBackgroundCheck does the work). It starts a
// little after the program, reads at the system's background priority (low I/O priority too),
// yields while the program's CCheckPause is held (a backup, a restore, a cleanup, a compare, the
// mirror's copying) and goes on a moment after, sleeps while nothing is due, and stops between two
// pieces of a read when it goes. It never touches a window: findings and ledger changes are posted.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <thread>

// Posted to the document's window: a damaged copy found, lParam owns the CheckFinding. When the
// ledger was written, WM_CHECKS_CHANGED (TallowboxDoc.h) is posted there too.
#define WM_CHECK_FINDING (WM_APP + 74)

class CBackgroundChecker {
public:
    // Posts to window (WM_CHECK_FINDING, WM_CHECKS_CHANGED); the
    // first round begins after startDelayMs.
    CBackgroundChecker(HWND window, const std::wstring& backupRoot, const std::wstring& mirrorRoot,
                       DWORD checkDays, DWORD startDelayMs);
    // Stops the reading at once and waits a bounded time for the thread; a thread stuck in the
    // file system ends with the process (it shares nothing with anyone that goes away).
    ~CBackgroundChecker();
    CBackgroundChecker(const CBackgroundChecker&) = delete;
    CBackgroundChecker& operator=(const CBackgroundChecker&) = delete;

    // New versions were made: a sleeping check looks again now.
    void Wake();

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};
