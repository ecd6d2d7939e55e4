#include "shell/common/ToolWnd.h"

#include "framework/Dpi.h"

#include <commctrl.h>

CToolWnd::CToolWnd(UINT templateId, SIZE minTrack, Lifetime lifetime)
    : CDialog(templateId), m_minTrack(minTrack), m_lifetime(lifetime) {}

// The job stops before the window goes; a window still open goes with its object.
CToolWnd::~CToolWnd() {
    m_job.reset();
    if (m_hWnd != nullptr)
        ::DestroyWindow(m_hWnd);
}

bool CToolWnd::ShowOwnedBeside(CToolWnd* window, HWND owner, UINT iconId, int offset) {
    if (window->ShowModelessBeside(CWnd::FromHandlePermanent(owner), iconId, offset))
        return true;
    delete window;
    return false;
}

void CToolWnd::BindList(int id, const ListColumn* columns, int count) {
    m_list = GetDlgItem(id);
    ::SendMessageW(m_list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    InsertListColumns(m_list, columns, count, DpiOfWindow(m_hWnd));
}

// Esc stops the running job (what it found so far stays shown); with none running it closes.
void CToolWnd::OnCancel() {
    if (m_job) {
        m_job->Stop();
        return;
    }
    ::DestroyWindow(m_hWnd);
}

LRESULT CToolWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        Layout();
        return 0;
    case WM_GETMINMAXINFO:
        if (m_minTrack.cx == 0 && m_minTrack.cy == 0)
            break;
        {
            const UINT dpi = DpiOfWindow(m_hWnd);
            reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {Scale(m_minTrack.cx, dpi),
                                                                     Scale(m_minTrack.cy, dpi)};
        }
        return 0;
    case WM_CLOSE: // closing stops a job still running, within the job's bound
        ::DestroyWindow(m_hWnd);
        return 0;
    case WM_DESTROY:
        m_job.reset();
        break;
    default:
        break;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

void CToolWnd::PostNcDestroy() {
    m_list = nullptr;
    if (m_lifetime == Lifetime::OwnsItself)
        delete this;
}
