#include "Dialog.h"

#include "App.h"
#include "Dpi.h"
#include "Language.h"
#include "ListCtrl.h"
#include "MessageBox.h"

#include <algorithm>

namespace {

RECT WorkAreaOf(HWND hWnd) {
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (!::GetMonitorInfoW(::MonitorFromWindow(hWnd, MONITOR_DEFAULTTONEAREST), &monitor))
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &monitor.rcWork, 0);
    return monitor.rcWork;
}

// Moved left and up as far as it reaches past the work area's right and bottom, never past its left and top.
void KeepOnWorkArea(HWND hWnd) {
    RECT window;
    if (!::GetWindowRect(hWnd, &window))
        return;
    const RECT work = WorkAreaOf(hWnd);
    const LONG x = std::max(work.left, std::min(window.left, work.right - (window.right - window.left)));
    const LONG y = std::max(work.top, std::min(window.top, work.bottom - (window.bottom - window.top)));
    if (x != window.left || y != window.top)
        ::SetWindowPos(hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd) : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog() {
    // Normally gone already (DoModal destroys it); never leave a dialog without its object.
    if (m_hWnd != nullptr)
        ::DestroyWindow(m_hWnd);
}

HWND CDialog::FindOwner() const {
    CWnd* pOwner = m_pParentWnd != nullptr ? m_pParentWnd : AfxGetMainWnd();
    if (pOwner == nullptr || pOwner->GetSafeHwnd() == nullptr)
        return nullptr;
    // A child cannot own a popup: the window that is disabled is its top-level one.
    return ::GetAncestor(pOwner->GetSafeHwnd(), GA_ROOT);
}

INT_PTR CDialog::DoModal() {
    m_bEndModal = false;
    m_nModalResult = -1;
    HWND hOwner = FindOwner();

    const DLGTEMPLATE* dialogTemplate = FindDialogTemplate(m_nIDTemplate);
    HWND hDlg = dialogTemplate == nullptr
                    ? nullptr
                    : ::CreateDialogIndirectParamA(AfxGetResourceHandle(), dialogTemplate, hOwner,
                                                   &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    if (hDlg == nullptr || m_hWnd == nullptr) {
        if (hDlg != nullptr)
            ::DestroyWindow(hDlg);
        return -1;
    }

    // Only an owner we disabled is enabled again.
    const bool disabledOwner = hOwner != nullptr && ::IsWindowEnabled(hOwner);
    if (disabledOwner)
        ::EnableWindow(hOwner, FALSE);

    if (!m_bEndModal) {
        ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
        RunModalLoop();
    }

    // Owner first, so activation goes back to it rather than to another application.
    if (disabledOwner)
        ::EnableWindow(hOwner, TRUE);
    if (m_hWnd != nullptr) {
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
        ::DestroyWindow(m_hWnd);
    }
    return m_nModalResult;
}

BOOL CDialog::CreateModeless(CWnd* pParentWnd) {
    m_pParentWnd = pParentWnd;
    const DLGTEMPLATE* dialogTemplate = FindDialogTemplate(m_nIDTemplate);
    HWND hDlg = dialogTemplate == nullptr
                    ? nullptr
                    : ::CreateDialogIndirectParamW(AfxGetResourceHandle(), dialogTemplate, FindOwner(),
                                                   &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    if (hDlg != nullptr && m_hWnd == nullptr)
        ::DestroyWindow(hDlg); // it failed to initialise
    return m_hWnd != nullptr;
}

BOOL CDialog::ShowModelessBeside(CWnd* owner, UINT iconId, int offset) {
    if (!CreateModeless(owner))
        return FALSE;
    const HICON icon = ::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(iconId));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    RECT ownerRect;
    if (owner != nullptr && ::GetWindowRect(owner->GetSafeHwnd(), &ownerRect)) {
        const int scaled = Scale(offset, DpiOfWindow(m_hWnd));
        ::SetWindowPos(m_hWnd, nullptr, ownerRect.left + scaled, ownerRect.top + scaled, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    KeepOnWorkArea(m_hWnd);
    ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
    return TRUE;
}

void CDialog::WidenToShowColumns(HWND list) {
    RECT listRect, dialog;
    if (!::GetWindowRect(list, &listRect) || !::GetWindowRect(m_hWnd, &dialog))
        return;
    const int more = WidthShowingEveryColumn(list) - (listRect.right - listRect.left);
    if (more <= 0)
        return;
    const RECT work = WorkAreaOf(m_hWnd);
    const int width = std::min<int>(dialog.right - dialog.left + more, work.right - work.left);
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, width, dialog.bottom - dialog.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT CDialog::DialogUnits(RECT rect) const {
    ::MapDialogRect(m_hWnd, &rect);
    return rect;
}

RECT CDialog::ControlRect(int id) const {
    RECT rect;
    ::GetWindowRect(GetDlgItem(id), &rect);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void CDialog::PlaceControl(HWND control, int x, int y, int cx, int cy) {
    ::SetWindowPos(control, nullptr, x, y, cx > 0 ? cx : 0, cy > 0 ? cy : 0, SWP_NOZORDER | SWP_NOACTIVATE);
}

void CDialog::EndDialog(int nResult) {
    m_nModalResult = nResult;
    m_bEndModal = true;
}

void CDialog::RunModalLoop() {
    MSG msg;
    while (!m_bEndModal && m_hWnd != nullptr) {
        const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == -1)
            break;
        if (got == 0) {
            // WM_QUIT belongs to the application's loop: end the dialog and hand it on.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        try {
            if (PreTranslateModalMessage(&msg))
                continue;
        } catch (const std::exception& error) {
            AfxReportException(error);
            continue;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

BOOL CDialog::PreTranslateModalMessage(MSG* pMsg) {
    // Only messages for the dialog and its descendants are ours to pre-translate.
    if (pMsg->hwnd != m_hWnd && !::IsChild(m_hWnd, pMsg->hwnd))
        return FALSE;
    return WalkPreTranslateTree(m_hWnd, pMsg);
}

BOOL CDialog::PreTranslateMessage(MSG* pMsg) {
    if (CWnd::PreTranslateMessage(pMsg))
        return TRUE;
    // Tab, Enter, Esc and arrows move around the dialog; IsDialogMessage dispatches what it takes.
    return ::IsDialogMessageA(m_hWnd, pMsg);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)wParam;
    if (message != WM_INITDIALOG)
        return FALSE; // everything else reaches the object through its subclassed window procedure
    auto pDialog = reinterpret_cast<CDialog*>(lParam);
    if (pDialog == nullptr)
        return TRUE;
    try {
        return pDialog->HandleInitDialog(hDlg);
    } catch (const std::exception& error) {
        AfxReportException(error);
        pDialog->EndDialog(-1);
        return TRUE;
    }
}

INT_PTR CDialog::HandleInitDialog(HWND hDlg) {
    if (!SubclassWindow(hDlg)) {
        EndDialog(-1);
        return TRUE;
    }
    return OnInitDialog();
}

BOOL CDialog::OnInitDialog() {
    if (!UpdateData(FALSE))
        EndDialog(-1);
    return TRUE;
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
    CDataExchange dx(this, bSaveAndValidate);
    try {
        DoDataExchange(&dx);
    } catch (const std::exception& error) {
        AfxReportException(error);
        return FALSE;
    }
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange* pDX) {
    (void)pDX;
}

void CDialog::OnOK() {
    if (UpdateData(TRUE))
        EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

bool CDialog::OnCommand(WPARAM wParam) {
    switch (LOWORD(wParam)) {
    case IDOK:
        OnOK();
        return true;
    case IDCANCEL: // Esc and the close box arrive here too
        OnCancel();
        return true;
    default:
        return false;
    }
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (OnCommand(wParam))
            return 0;
        break;
    default:
        break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}
