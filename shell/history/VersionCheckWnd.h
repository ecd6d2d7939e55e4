// CVersionCheckWnd: 照合. A modeless window beside the history that reads back, on a thread of its
// own, every copy of the versions the history shows (here, on the mirror, or both) against their
// hashes, and lists each version with what each place came to (正常, 壊れている, 未確認, ...) and
// the damaged or missing files it found; below the list it says in words how far it got and what
// it found. 修復 heals the versions found damaged from a good copy, on the same kind of thread, and
// each row says where the good bytes came from or that none exists. Esc stops the work; with none
// running it closes the window. The owner (the history) is told WM_CHECKS_CHANGED after each run.
#pragma once

#include "shell/common/ToolWnd.h"
#include "shell/history/VersionCheckRun.h"

#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

// Posted by the checking thread: lParam owns a CheckPart; by the healing thread: a RepairPart.
#define WM_VERSION_CHECK_PART (WM_APP + 54)
#define WM_VERSION_CHECK_REPAIRED (WM_APP + 55)

class CVersionCheckWnd : public CToolWnd {
public:
    // Checks history's entries listed in entries (the history's rows, in their order); mirrorRoot
    // empty: the backups folder alone.
    CVersionCheckWnd(std::shared_ptr<const CHistory> history, std::vector<uint32_t> entries,
                     std::wstring backupRoot, std::wstring mirrorRoot);

    // Makes the window, owned by owner, and starts reading.
    BOOL Create(CWnd* owner);

    // For tests: the list, its rows, whether the reading (and any healing) ended, and 修復.
    HWND List() const { return m_list; }
    const std::vector<CheckedVersion>& Rows() const { return m_rows; }
    bool IsDone() const { return m_done && !m_job; }
    void Repair();

protected:
    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Layout() override;
    void OnPart(LPARAM lParam);
    void OnRepaired(LPARAM lParam);
    void ShowSummary();
    void EnableRepair();
    void OnGetDispInfo(NMLVDISPINFOW* info);
    std::wstring CellText(const CheckedVersion& version, int column) const;
    std::wstring FoundText(const CheckedVersion& version) const;
    void ChecksChanged() const;

    std::shared_ptr<const CHistory> m_history;
    std::vector<uint32_t> m_entries; // handed to the reading thread when it starts
    std::wstring m_backupRoot, m_mirrorRoot;
    std::vector<CheckedVersion> m_rows; // the list's rows, in the order they were read
    size_t m_readCount = 0, m_toRead = 0;
    bool m_done = false, m_stopped = false;
    bool m_repairing = false, m_repairStopped = false;
    std::wstring m_cellText; // the text handed to the list for the cell it asked about
};
