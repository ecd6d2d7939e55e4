#include "Wnd.h"

#include <unordered_map>

namespace {

// Every live CWnd by its window. The program has one user-interface thread.
std::unordered_map<HWND, CWnd*>& PermanentMap() {
    static std::unordered_map<HWND, CWnd*> map;
    return map;
}

} // namespace

CWnd::~CWnd() {
    // A window that outlives its object must not call into freed memory.
    if (m_hWnd != nullptr) {
        if (m_bSubclassed) {
            UnsubclassWindow();
        } else {
            HWND hWnd = m_hWnd;
            Detach();
            ::DestroyWindow(hWnd);
        }
    }
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
    if (hWnd == nullptr)
        return nullptr;
    auto found = PermanentMap().find(hWnd);
    return found == PermanentMap().end() ? nullptr : found->second;
}

void CWnd::Attach(HWND hWnd, WNDPROC pfnSuper) {
    m_hWnd = hWnd;
    m_pfnSuper = pfnSuper;
    PermanentMap()[hWnd] = this;
}

void CWnd::Detach() {
    if (m_hWnd != nullptr)
        PermanentMap().erase(m_hWnd);
    m_hWnd = nullptr;
    m_pfnSuper = nullptr;
    m_bSubclassed = false;
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
    if (hWnd == nullptr || m_hWnd != nullptr || FromHandlePermanent(hWnd) != nullptr)
        return FALSE;
    auto previous = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::StdWndProc)));
    if (previous == nullptr)
        return FALSE;
    Attach(hWnd, previous);
    m_bSubclassed = true;
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd* pParent) {
    if (pParent == nullptr || pParent->m_hWnd == nullptr)
        return FALSE;
    return SubclassWindow(::GetDlgItem(pParent->m_hWnd, static_cast<int>(nID)));
}

HWND CWnd::UnsubclassWindow() {
    HWND hWnd = m_hWnd;
    if (hWnd != nullptr && m_bSubclassed)
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    Detach();
    return hWnd;
}

BOOL CWnd::DestroyWindow() {
    if (m_hWnd == nullptr)
        return FALSE;
    return ::DestroyWindow(m_hWnd);
}

BOOL CWnd::PreTranslateMessage(MSG* pMsg) {
    (void)pMsg;
    return FALSE;
}

BOOL CWnd::WalkPreTranslateTree(HWND hWndStop, MSG* pMsg) {
    for (HWND hWnd = pMsg->hwnd; hWnd != nullptr; hWnd = ::GetParent(hWnd)) {
        if (CWnd* pWnd = FromHandlePermanent(hWnd)) {
            if (pWnd->PreTranslateMessage(pMsg))
                return TRUE;
        }
        if (hWnd == hWndStop)
            break;
    }
    return FALSE;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    (void)message;
    (void)wParam;
    (void)lParam;
    return Default();
}

LRESULT CWnd::Default() {
    if (m_pfnSuper == nullptr)
        return 0;
    return ::CallWindowProcA(m_pfnSuper, m_hWnd, m_current.message, m_current.wParam, m_current.lParam);
}

HWND CWnd::GetDescendantWindow(int nID) const {
    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (::GetDlgCtrlID(child) == nID)
            return child;
    }
    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        CWnd borrowed; // never attached: only used for the search
        borrowed.m_hWnd = child;
        HWND found = borrowed.GetDescendantWindow(nID);
        borrowed.m_hWnd = nullptr;
        if (found != nullptr)
            return found;
    }
    return nullptr;
}

BOOL CWnd::CreateEx(DWORD dwExStyle, LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, int x, int y,
                    int cx, int cy, HWND hWndParent, HMENU hMenu) {
    HWND hWnd = ::CreateWindowExA(dwExStyle, lpszClassName, lpszWindowName, dwStyle, x, y, cx, cy, hWndParent,
                                  hMenu, AfxGetInstanceHandle(), this);
    return hWnd != nullptr;
}

LPCSTR CWnd::RegisterFrameworkClass(LPCSTR lpszClassName, UINT style, HICON hIcon, HBRUSH hbrBackground) {
    WNDCLASSA existing;
    if (::GetClassInfoA(AfxGetInstanceHandle(), lpszClassName, &existing))
        return lpszClassName;
    WNDCLASSA wc = {};
    wc.style = style;
    wc.lpfnWndProc = &CWnd::StdWndProc;
    wc.hInstance = AfxGetInstanceHandle();
    wc.hIcon = hIcon;
    wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = hbrBackground;
    wc.lpszClassName = lpszClassName;
    if (!::RegisterClassA(&wc))
        AfxThrowResourceException();
    return lpszClassName;
}

LRESULT CWnd::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    // Messages nest (SendMessage from a handler): keep the outer one for its Default().
    const CurrentMessage outer = m_current;
    m_current = {message, wParam, lParam};
    ++m_nDispatchDepth;
    LRESULT result = 0;
    try {
        result = WindowProc(message, wParam, lParam);
    } catch (const std::exception& error) {
        AfxReportException(error);
    }
    m_current = outer;
    if (--m_nDispatchDepth == 0 && m_bPostNcDestroyPending) {
        m_bPostNcDestroyPending = false;
        PostNcDestroy(); // may delete this: nothing below may touch a member
    }
    return result;
}

LRESULT CALLBACK CWnd::StdWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* pWnd = FromHandlePermanent(hWnd);
    if (pWnd == nullptr && message == WM_NCCREATE) {
        auto create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        pWnd = static_cast<CWnd*>(create->lpCreateParams);
        if (pWnd != nullptr)
            pWnd->Attach(hWnd, &::DefWindowProcA);
    }
    if (pWnd == nullptr) // messages before WM_NCCREATE (WM_GETMINMAXINFO) and after detaching
        return ::DefWindowProcA(hWnd, message, wParam, lParam);

    LRESULT result = pWnd->Dispatch(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // Last message: give a subclassed window its own procedure back, then let the owner go.
        if (pWnd->m_bSubclassed)
            pWnd->UnsubclassWindow();
        else
            pWnd->Detach();
        if (pWnd->m_nDispatchDepth > 0)
            pWnd->m_bPostNcDestroyPending = true; // an outer handler of this window is still running
        else
            pWnd->PostNcDestroy();
    }
    return result;
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
    if (rControl.m_hWnd != nullptr)
        return;
    if (!rControl.SubclassDlgItem(static_cast<UINT>(nIDC), pDX->m_pDlgWnd))
        AfxThrowResourceException();
}
