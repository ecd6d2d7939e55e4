#include "StatusBar.h"

#include "Dpi.h"

#include <commctrl.h>

#include <string>

BOOL CStatusBar::Create(CWnd* pParentWnd, DWORD dwStyle, UINT nID) {
    if (pParentWnd == nullptr || pParentWnd->m_hWnd == nullptr || m_hWnd != nullptr)
        return FALSE;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&controls);
    // The low word holds the framework's bar styles; the control gets only the window styles,
    // and a sizing grip when the parent can be resized.
    DWORD controlStyle = dwStyle & 0xFFFF0000;
    if (::GetWindowLongA(pParentWnd->m_hWnd, GWL_STYLE) & WS_THICKFRAME)
        controlStyle |= SBARS_SIZEGRIP;
    HWND hWnd = ::CreateWindowExW(0, STATUSCLASSNAMEW, L"", controlStyle, 0, 0, 0, 0, pParentWnd->m_hWnd,
                                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nID)), AfxGetInstanceHandle(),
                                  nullptr);
    if (hWnd == nullptr)
        return FALSE;
    if (!SubclassWindow(hWnd)) {
        ::DestroyWindow(hWnd);
        return FALSE;
    }
    return TRUE;
}

BOOL CStatusBar::SetIndicators(const UINT* lpIDArray, int nIDCount) {
    if (m_hWnd == nullptr || lpIDArray == nullptr || nIDCount <= 0 || nIDCount > 255)
        return FALSE;
    m_indicators.assign(lpIDArray, lpIDArray + nIDCount);
    if (!LayoutPanes())
        return FALSE;
    for (int i = 0; i < nIDCount; ++i)
        SetPaneText(i, L"", FALSE);
    return TRUE;
}

BOOL CStatusBar::LayoutPanes() {
    const int count = GetCount();
    if (m_hWnd == nullptr || count == 0)
        return FALSE;
    // The first pane stretches; later panes get a fixed width at the right.
    const int fixedWidth = Scale(160, m_nDpi != 0 ? m_nDpi : DpiOfWindow(m_hWnd));
    CRect client;
    GetClientRect(&client);
    std::vector<int> rightEdges(static_cast<size_t>(count));
    for (int i = count - 1, right = -1; i >= 0; --i) {
        rightEdges[static_cast<size_t>(i)] = right;
        right = (right == -1 ? client.right : right) - fixedWidth;
    }
    return SendMessage(SB_SETPARTS, static_cast<WPARAM>(count),
                       reinterpret_cast<LPARAM>(rightEdges.data())) != 0;
}

void CStatusBar::OnDpiChanged(UINT newDpi) {
    if (m_hWnd == nullptr)
        return;
    // The control draws with the system's status font at the system DPI until told otherwise.
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        CFont systemFont;
        CFont scaled;
        if (systemFont.Attach(::CreateFontIndirectW(&metrics.lfStatusFont)) &&
            scaled.CreateScaledCopy(systemFont.GetSafeHandle(), DpiOfWindow(nullptr), newDpi)) {
            ::SendMessageW(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(scaled.GetSafeHandle()), FALSE);
            m_font.Attach(scaled.Detach()); // the old one goes once the control no longer uses it
        }
    }
    m_nDpi = newDpi;
    LayoutPanes();
}

BOOL CStatusBar::SetPaneText(int nIndex, LPCSTR lpszNewText, BOOL bUpdate) {
    const std::string narrow = lpszNewText != nullptr ? lpszNewText : "";
    std::wstring wide(narrow.size(), L'\0');
    const int length = ::MultiByteToWideChar(CP_ACP, 0, narrow.data(), static_cast<int>(narrow.size()),
                                             &wide[0], static_cast<int>(wide.size()));
    wide.resize(static_cast<size_t>(length));
    return SetPaneText(nIndex, wide.c_str(), bUpdate);
}

BOOL CStatusBar::SetPaneText(int nIndex, LPCWSTR lpszNewText, BOOL bUpdate) {
    if (m_hWnd == nullptr || nIndex < 0 || nIndex >= GetCount())
        return FALSE;
    // A first pane of ID_SEPARATOR is drawn without a border.
    const bool noBorders = nIndex == 0 && m_indicators[0] == 0;
    const WPARAM part = static_cast<WPARAM>(nIndex) | (noBorders ? SBT_NOBORDERS : 0);
    if (!::SendMessageW(m_hWnd, SB_SETTEXTW, part,
                        reinterpret_cast<LPARAM>(lpszNewText != nullptr ? lpszNewText : L"")))
        return FALSE;
    if (bUpdate)
        UpdateWindow();
    return TRUE;
}

CString CStatusBar::GetPaneText(int nIndex) const {
    if (m_hWnd == nullptr || nIndex < 0 || nIndex >= GetCount())
        return CString();
    const LRESULT lengthAndType = ::SendMessageA(m_hWnd, SB_GETTEXTLENGTHA, static_cast<WPARAM>(nIndex), 0);
    std::string text(static_cast<size_t>(LOWORD(lengthAndType)) + 1, '\0');
    ::SendMessageA(m_hWnd, SB_GETTEXTA, static_cast<WPARAM>(nIndex), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(std::char_traits<char>::length(text.c_str()));
    return CString(text);
}
