// CMirrorCheckWnd: the check of the mirror (照合). A small modeless window beside the history that
// reads, on a thread of its own, every version kept in both places and lists each whose two
// copies differ or whose mirror copy is missing, with which of the two still matches its journal
// record; its title says how far it got. Esc or closing stops the reading. It changes nothing.
#pragma once

#include "engine/mirror/MirrorCheck.h"
#include "shell/common/ToolWnd.h"

#include <memory>
#include <string>

// Posted by the checking thread: lParam owns a MirrorCheckResult.
#define WM_MIRROR_CHECK_DONE (WM_APP + 54)

// Its object going stops the reading and waits a bounded time; a thread stuck on an unreachable
// mirror is left to end by itself (it shares what it uses with nobody that goes away).
class CMirrorCheckWnd : public CToolWnd {
public:
    CMirrorCheckWnd(std::shared_ptr<const CHistory> history, std::wstring backupRoot,
                    std::wstring mirrorRoot);

    // Makes the window, owned by owner, and starts reading.
    BOOL Create(CWnd* owner);

    // For tests: the list, and whether the reading ended.
    HWND List() const { return m_list; }
    bool IsDone() const { return m_done; }

protected:
    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Layout() override;
    void OnDone(LPARAM lParam);
    void AddRow(const MirrorDifference& difference);

    std::shared_ptr<const CHistory> m_history;
    std::wstring m_backupRoot, m_mirrorRoot;
    bool m_done = false;
};
