#include "StatusBar.h"

#include "Dpi.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

namespace {

const wchar_t kEllipsis[] = L"...";

// The code page's text (the narrow messages') as UTF-16, and back.
std::wstring Wide(const std::string& narrow) {
    std::wstring wide(narrow.size(), L'\0');
    const int length = ::MultiByteToWideChar(CP_ACP, 0, narrow.data(), static_cast<int>(narrow.size()),
                                             &wide[0], static_cast<int>(wide.size()));
    wide.resize(static_cast<size_t>(length > 0 ? length : 0));
    return wide;
}

std::string Narrow(const std::wstring& wide) {
    const int size = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string narrow(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &narrow[0], size, nullptr,
                              nullptr);
    return narrow;
}

int TextWidth(HDC hdc, const std::wstring& text) {
    SIZE extent = {};
    ::GetTextExtentPoint32W(hdc, text.c_str(), static_cast<int>(text.size()), &extent);
    return extent.cx;
}

// path with its middle left out, keeping kept characters: its last component first, then its beginning.
std::wstring PathKeeping(const std::wstring& path, size_t kept) {
    const size_t separator = path.rfind(L'\\');
    const size_t lastComponent = separator == std::wstring::npos ? path.size() / 2 : path.size() - separator;
    const size_t tail = kept < lastComponent ? kept : lastComponent;
    return path.substr(0, kept - tail) + kEllipsis + path.substr(path.size() - tail);
}

// text as it is drawn width wide: when it does not fit, its path (when it names one) is shortened
// in its middle as far as it must be, down to the ellipsis alone; the words around it are kept.
std::wstring FittedText(HDC hdc, const std::wstring& text, const std::wstring& path, int width) {
    const size_t at = path.empty() ? std::wstring::npos : text.find(path);
    if (at == std::wstring::npos || TextWidth(hdc, text) <= width)
        return text;
    const std::wstring before = text.substr(0, at), after = text.substr(at + path.size());
    const auto fits = [&](size_t kept) {
        return TextWidth(hdc, before + PathKeeping(path, kept) + after) <= width;
    };
    size_t low = 0, high = path.size(); // the most characters kept that fit lies in [low, high)
    while (high - low > 1) {
        const size_t middle = low + (high - low) / 2;
        (fits(middle) ? low : high) = middle;
    }
    return before + PathKeeping(path, low) + after;
}

} // namespace

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
    return SetPaneText(nIndex, Wide(lpszNewText != nullptr ? lpszNewText : "").c_str(), bUpdate);
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

BOOL CStatusBar::SetPaneTextWithPath(int nIndex, const std::wstring& text, const std::wstring& path,
                                     BOOL bUpdate) {
    m_pendingPath = path;
    const BOOL set = SetPaneText(nIndex, text.c_str(), bUpdate);
    m_pendingPath.clear();
    return set;
}

bool CStatusBar::IsDrawnHere(WPARAM part) const {
    return (part & 0xFF) == 0 && !m_indicators.empty() && m_indicators[0] == 0;
}

// Every text of the stretched pane passes here, the frame's menu prompts too.
LRESULT CStatusBar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case SB_SETTEXTW:
    case SB_SETTEXTA:
        if (!IsDrawnHere(wParam) || (wParam & SBT_OWNERDRAW))
            break;
        if (message == SB_SETTEXTW)
            return KeepPaneText(lParam != 0 ? reinterpret_cast<LPCWSTR>(lParam) : L"", wParam);
        return KeepPaneText(Wide(lParam != 0 ? reinterpret_cast<LPCSTR>(lParam) : ""), wParam);
    case SB_GETTEXTW:
    case SB_GETTEXTA:
        if (IsDrawnHere(wParam))
            return GivePaneText(message == SB_GETTEXTW, lParam);
        break;
    case SB_GETTEXTLENGTHW:
    case SB_GETTEXTLENGTHA:
        if (IsDrawnHere(wParam))
            return GivePaneText(message == SB_GETTEXTLENGTHW, 0);
        break;
    default:
        break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

LRESULT CStatusBar::KeepPaneText(std::wstring text, WPARAM type) {
    m_paneText = std::move(text);
    m_panePath = m_pendingPath;
    m_paneType = type & 0xFF00;
    // The control keeps a pointer to the text kept here as the pane's data (it draws nothing itself).
    return ::SendMessageW(m_hWnd, SB_SETTEXTW, type | SBT_OWNERDRAW, reinterpret_cast<LPARAM>(m_paneText.c_str()));
}

// The length in characters (bytes of the code page for the narrow messages) and the drawing type;
// the text, ended by a null, into a buffer the caller made long enough.
LRESULT CStatusBar::GivePaneText(bool wide, LPARAM buffer) const {
    const std::string narrow = wide ? std::string() : Narrow(m_paneText);
    const size_t length = wide ? m_paneText.size() : narrow.size();
    if (buffer != 0 && wide)
        std::copy(m_paneText.c_str(), m_paneText.c_str() + length + 1, reinterpret_cast<wchar_t*>(buffer));
    else if (buffer != 0)
        std::copy(narrow.c_str(), narrow.c_str() + length + 1, reinterpret_cast<char*>(buffer));
    return MAKELRESULT(static_cast<WORD>(length), static_cast<WORD>(m_paneType));
}

void CStatusBar::DrawPane(const DRAWITEMSTRUCT& item) const {
    const UINT dpi = m_nDpi != 0 ? m_nDpi : DpiOfWindow(m_hWnd);
    RECT room = item.rcItem;
    room.left += Scale(3, dpi); // where the control starts a text of its own
    const std::wstring shown = FittedText(item.hDC, m_paneText, m_panePath, room.right - room.left);
    const int mode = ::SetBkMode(item.hDC, TRANSPARENT);
    const COLORREF color = ::SetTextColor(item.hDC, ::GetSysColor(COLOR_BTNTEXT));
    ::DrawTextW(item.hDC, shown.c_str(), static_cast<int>(shown.size()), &room,
                DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    ::SetTextColor(item.hDC, color);
    ::SetBkMode(item.hDC, mode);
}
