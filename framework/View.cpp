#include "View.h"

#include "Document.h"
#include "Dpi.h"
#include "Frame.h"
#include "Language.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <vector>

const CRuntimeClass CView::runtimeClass = {"CView", nullptr, nullptr};
const CRuntimeClass CScrollView::runtimeClass = {"CScrollView", &CView::runtimeClass, nullptr};
const CRuntimeClass CFormView::runtimeClass = {"CFormView", &CScrollView::runtimeClass, nullptr};

// ---- CView

CFrameWnd* CView::GetParentFrame() const {
    for (HWND hWnd = ::GetParent(m_hWnd); hWnd != nullptr; hWnd = ::GetParent(hWnd)) {
        if (auto* pFrame = dynamic_cast<CFrameWnd*>(FromHandlePermanent(hWnd)))
            return pFrame;
    }
    return nullptr;
}

void CView::OnInitialUpdate() { OnUpdate(); }

LRESULT CView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITIALUPDATE: OnInitialUpdate(); return 0;
    default: return CWnd::WindowProc(message, wParam, lParam);
    }
}

void CView::PostNcDestroy() {
    if (m_pDocument != nullptr)
        m_pDocument->RemoveView(this);
    delete this;
}

// ---- CScrollView

void CScrollView::SetScrollSizes(SIZE sizeTotal) {
    m_totalLog = sizeTotal;
    UpdateBars();
}

SIZE CScrollView::ClientSizeWithoutBars() const {
    CRect client;
    GetClientRect(&client);
    SIZE size = {client.Width(), client.Height()};
    const LONG style = ::GetWindowLongA(m_hWnd, GWL_STYLE);
    if (style & WS_VSCROLL)
        size.cx += ::GetSystemMetrics(SM_CXVSCROLL);
    if (style & WS_HSCROLL)
        size.cy += ::GetSystemMetrics(SM_CYHSCROLL);
    return size;
}

void CScrollView::UpdateBars() {
    if (m_hWnd == nullptr || m_bInsideUpdate)
        return;
    m_bInsideUpdate = true; // showing or hiding a bar resizes the client area and comes back here
    const SIZE available = ClientSizeWithoutBars();
    // A bar is needed when the content does not fit; one bar takes room from the other side.
    bool needH = m_totalLog.cx > available.cx;
    bool needV = m_totalLog.cy > available.cy;
    if (needH && !needV)
        needV = m_totalLog.cy > available.cy - ::GetSystemMetrics(SM_CYHSCROLL);
    if (needV && !needH)
        needH = m_totalLog.cx > available.cx - ::GetSystemMetrics(SM_CXVSCROLL);
    const int pageX = available.cx - (needV ? ::GetSystemMetrics(SM_CXVSCROLL) : 0);
    const int pageY = available.cy - (needH ? ::GetSystemMetrics(SM_CYHSCROLL) : 0);

    POINT pos = m_scrollPos;
    pos.x = needH ? std::max(0L, std::min<LONG>(pos.x, m_totalLog.cx - pageX)) : 0;
    pos.y = needV ? std::max(0L, std::min<LONG>(pos.y, m_totalLog.cy - pageY)) : 0;

    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_PAGE | SIF_RANGE | SIF_POS;
    info.nMax = needH ? m_totalLog.cx - 1 : 0;
    info.nPage = needH ? static_cast<UINT>(std::max(pageX, 0)) : 0;
    info.nPos = pos.x;
    ::SetScrollInfo(m_hWnd, SB_HORZ, &info, TRUE);
    ::ShowScrollBar(m_hWnd, SB_HORZ, needH);
    info.nMax = needV ? m_totalLog.cy - 1 : 0;
    info.nPage = needV ? static_cast<UINT>(std::max(pageY, 0)) : 0;
    info.nPos = pos.y;
    ::SetScrollInfo(m_hWnd, SB_VERT, &info, TRUE);
    ::ShowScrollBar(m_hWnd, SB_VERT, needV);
    m_bInsideUpdate = false;
    ScrollTo(pos);
}

void CScrollView::ScrollTo(POINT pos) {
    const int dx = m_scrollPos.x - pos.x;
    const int dy = m_scrollPos.y - pos.y;
    if (dx == 0 && dy == 0)
        return;
    m_scrollPos = pos;
    ::ScrollWindowEx(m_hWnd, dx, dy, nullptr, nullptr, nullptr, nullptr, SW_SCROLLCHILDREN | SW_INVALIDATE | SW_ERASE);
}

void CScrollView::OnScroll(int nBar, UINT nSBCode) {
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    if (!::GetScrollInfo(m_hWnd, nBar, &info))
        return;
    int pos = info.nPos;
    const int line = Scale(16, DpiOfWindow(m_hWnd)); // one arrow click: 16 pixels at 96 DPI
    switch (nSBCode) {
    case SB_LINEUP: pos -= line; break;
    case SB_LINEDOWN: pos += line; break;
    case SB_PAGEUP: pos -= static_cast<int>(info.nPage); break;
    case SB_PAGEDOWN: pos += static_cast<int>(info.nPage); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: pos = info.nTrackPos; break;
    case SB_TOP: pos = info.nMin; break;
    case SB_BOTTOM: pos = info.nMax; break;
    default: return;
    }
    const int maxPos = info.nMax - static_cast<int>(info.nPage) + 1;
    pos = std::max(info.nMin, std::min(pos, std::max(maxPos, info.nMin)));
    ::SetScrollPos(m_hWnd, nBar, pos, TRUE);
    POINT target = m_scrollPos;
    (nBar == SB_HORZ ? target.x : target.y) = pos;
    ScrollTo(target);
}

void CScrollView::OnSize(UINT nType, int cx, int cy) {
    (void)nType;
    (void)cx;
    (void)cy;
    UpdateBars();
}

LRESULT CScrollView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE: OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam)); break;
    case WM_HSCROLL: OnScroll(SB_HORZ, LOWORD(wParam)); return 0;
    case WM_VSCROLL: OnScroll(SB_VERT, LOWORD(wParam)); return 0;
    default: break;
    }
    return CView::WindowProc(message, wParam, lParam);
}

void CScrollView::ResizeParentToFit(BOOL bShrinkOnly) {
    CFrameWnd* pFrame = GetParentFrame();
    if (pFrame == nullptr)
        return;
    pFrame->RecalcLayout();
    const SIZE client = ClientSizeWithoutBars();
    int dx = m_totalLog.cx - client.cx;
    int dy = m_totalLog.cy - client.cy;
    if (bShrinkOnly) {
        dx = std::min(dx, 0);
        dy = std::min(dy, 0);
    }
    if (dx == 0 && dy == 0)
        return;
    CRect frame;
    pFrame->GetWindowRect(&frame);
    pFrame->SetWindowPos(nullptr, 0, 0, frame.Width() + dx, frame.Height() + dy,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---- CFormView

namespace {

INT_PTR CALLBACK FormDialogProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE; // the form's object handles everything by subclassing
}

// The dialog template, copied so its styles can be made those of a view.
std::vector<BYTE> LoadFormTemplate(UINT nIDTemplate) {
    DWORD size = 0;
    const auto* bytes = reinterpret_cast<const BYTE*>(FindDialogTemplate(nIDTemplate, &size));
    return bytes != nullptr ? std::vector<BYTE>(bytes, bytes + size) : std::vector<BYTE>();
}

// A view has no border of its own: it gets the sunken client edge instead, and is a visible child.
void MakeViewStyles(std::vector<BYTE>& dialogTemplate) {
    WORD version = 0;
    WORD signature = 0;
    std::memcpy(&version, dialogTemplate.data(), sizeof version);
    std::memcpy(&signature, dialogTemplate.data() + 2, sizeof signature);
    const bool extended = version == 1 && signature == 0xFFFF;
    // DLGTEMPLATEEX: version, signature, helpID, exStyle, style. DLGTEMPLATE: style, exStyle.
    const size_t styleAt = extended ? 12 : 0;
    const size_t exStyleAt = extended ? 8 : 4;
    DWORD style = 0;
    DWORD exStyle = 0;
    std::memcpy(&style, dialogTemplate.data() + styleAt, sizeof style);
    std::memcpy(&exStyle, dialogTemplate.data() + exStyleAt, sizeof exStyle);
    style = (style & ~(WS_BORDER | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME)) | WS_CHILD | WS_VISIBLE;
    exStyle |= WS_EX_CLIENTEDGE;
    std::memcpy(dialogTemplate.data() + styleAt, &style, sizeof style);
    std::memcpy(dialogTemplate.data() + exStyleAt, &exStyle, sizeof exStyle);
}

} // namespace

BOOL CFormView::Create(CWnd* pParentWnd, UINT nID, CCreateContext* pContext) {
    (void)pContext;
    if (pParentWnd == nullptr || pParentWnd->m_hWnd == nullptr)
        return FALSE;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    std::vector<BYTE> dialogTemplate = LoadFormTemplate(m_nIDTemplate);
    if (dialogTemplate.empty())
        return FALSE;
    MakeViewStyles(dialogTemplate);
    HWND hWnd = ::CreateDialogIndirectParamA(AfxGetResourceHandle(),
                                             reinterpret_cast<LPCDLGTEMPLATEA>(dialogTemplate.data()),
                                             pParentWnd->m_hWnd, &FormDialogProc, 0);
    if (hWnd == nullptr)
        return FALSE;
    ::SetWindowLongPtrA(hWnd, GWLP_ID, static_cast<LONG_PTR>(nID));
    KeepDialogLayoutToProgram(hWnd); // OnDpiChanged scales the form
    if (!SubclassWindow(hWnd)) {
        ::DestroyWindow(hWnd);
        return FALSE;
    }
    // The form's size as laid out from the template is the content to scroll.
    CRect client;
    GetClientRect(&client);
    SetScrollSizes(SIZE{client.Width(), client.Height()});
    return TRUE;
}

BOOL CFormView::UpdateData(BOOL bSaveAndValidate) {
    CDataExchange exchange(this, bSaveAndValidate);
    DoDataExchange(&exchange);
    return TRUE;
}

void CFormView::OnInitialUpdate() {
    UpdateData(FALSE);
    CScrollView::OnInitialUpdate();
}

void CFormView::OnDpiChanged(UINT oldDpi, UINT newDpi) {
    if (oldDpi == 0 || oldDpi == newDpi)
        return;
    HFONT hCurrent = m_font.GetSafeHandle() != nullptr
                         ? m_font.GetSafeHandle()
                         : reinterpret_cast<HFONT>(::SendMessageA(m_hWnd, WM_GETFONT, 0, 0));
    CFont scaled;
    const bool fontMade = scaled.CreateScaledCopy(hCurrent, oldDpi, newDpi) != FALSE;
    auto scale = [&](LONG value) {
        return static_cast<LONG>(::MulDiv(value, static_cast<int>(newDpi), static_cast<int>(oldDpi)));
    };
    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        CRect rect;
        ::GetWindowRect(child, &rect);
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rect), 2);
        ::MoveWindow(child, scale(rect.left), scale(rect.top), scale(rect.right) - scale(rect.left),
                     scale(rect.bottom) - scale(rect.top), FALSE);
        if (fontMade)
            ::SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(scaled.GetSafeHandle()), FALSE);
    }
    if (fontMade)
        m_font.Attach(scaled.Detach()); // the old one is deleted only now that no control uses it
    const SIZE total = GetTotalSize();
    SetScrollSizes(SIZE{scale(total.cx), scale(total.cy)});
    Invalidate();
}

BOOL CFormView::PreTranslateMessage(MSG* pMsg) {
    // Tab and arrow keys move between the form's controls. System keys (Alt+letter) are left
    // to the frame, so the menu's mnemonics keep working over the form.
    const bool plainKey = pMsg->message == WM_KEYDOWN || pMsg->message == WM_KEYUP || pMsg->message == WM_CHAR;
    if (plainKey && (pMsg->hwnd == m_hWnd || ::IsChild(m_hWnd, pMsg->hwnd)))
        return ::IsDialogMessageA(m_hWnd, pMsg);
    return FALSE;
}
