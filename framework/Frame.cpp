#include "Frame.h"

#include "App.h"
#include "DocTemplate.h"
#include "Document.h"
#include "Dpi.h"
#include "FrameworkIds.h"
#include "Language.h"
#include "StatusBar.h"
#include "View.h"

#include <commctrl.h>

#include <string>
#include <vector>

const CRuntimeClass CFrameWnd::runtimeClass = {"CFrameWnd", nullptr, nullptr};

namespace {

const char kFrameClassName[] = "TallowboxFrame";

// Every descendant window that has an object of ours, parents before children.
void CollectDescendants(HWND hWnd, std::vector<HWND>& found) {
    for (HWND child = ::GetWindow(hWnd, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        found.push_back(child);
        CollectDescendants(child, found);
    }
}

} // namespace

CString LoadMenuPrompt(UINT nID) {
    if (nID == 0)
        return CString();
    std::string text = LoadResourceTextA(nID);
    const size_t newline = text.find('\n');
    if (newline != std::string::npos)
        text.resize(newline);
    return CString(text);
}

UINT MenuPromptId(UINT nItemID, UINT nFlags) {
    if (nFlags & (MF_POPUP | MF_SEPARATOR))
        return 0;
    if (nItemID >= 0xF000 && nItemID < 0xF1F0) // system commands share one string per 16 ids
        return AFX_IDS_SCFIRST + (nItemID - 0xF000) / 16;
    return nItemID;
}

LPCSTR CFrameWnd::RegisterFrameClass(UINT nIDResource) {
    HICON hIcon = ::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(nIDResource));
    return RegisterFrameworkClass(kFrameClassName, CS_DBLCLKS, hIcon, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
}

BOOL CFrameWnd::PreCreateWindow(CREATESTRUCTA& cs) {
    if (cs.lpszClass == nullptr)
        cs.lpszClass = RegisterFrameworkClass(kFrameClassName, CS_DBLCLKS, nullptr,
                                              reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    cs.dwExStyle |= WS_EX_CLIENTEDGE;
    return TRUE;
}

BOOL CFrameWnd::LoadFrame(UINT nIDResource, DWORD dwDefaultStyle, CWnd* pParentWnd, CCreateContext* pContext,
                          LPCSTR lpszTitle) {
    bool deleted = false;
    m_pbDeleted = &deleted;
    BOOL created = FALSE;
    HMENU hMenu = LoadMenuInLanguage(nIDResource);
    if (hMenu != nullptr) {
        CREATESTRUCTA cs = {};
        cs.style = dwDefaultStyle;
        cs.x = cs.y = cs.cx = cs.cy = CW_USEDEFAULT;
        cs.hwndParent = pParentWnd != nullptr ? pParentWnd->m_hWnd : nullptr;
        cs.hMenu = hMenu;
        cs.lpszName = lpszTitle;
        cs.hInstance = AfxGetInstanceHandle();
        try {
            if (cs.lpszClass == nullptr)
                cs.lpszClass = RegisterFrameClass(nIDResource);
            if (PreCreateWindow(cs)) {
                m_dwFrameStyle = cs.style & FWS_FRAME_BITS;
                m_pCreateContext = pContext;
                created = CreateEx(cs.dwExStyle, cs.lpszClass, cs.lpszName, cs.style & ~FWS_FRAME_BITS, cs.x, cs.y,
                                   cs.cx, cs.cy, cs.hwndParent, cs.hMenu);
            }
        } catch (const std::exception& error) {
            AfxReportException(error);
        }
        if (!created && !deleted)
            ::DestroyMenu(hMenu); // a window that was never made does not own its menu
    }
    if (deleted)
        return FALSE; // the failed window's last message already freed this object
    m_pbDeleted = nullptr;
    m_pCreateContext = nullptr;
    if (!created) {
        delete this;
        return FALSE;
    }
    OnUpdateFrameTitle(TRUE);
    return TRUE;
}

CDocument* CFrameWnd::GetActiveDocument() const {
    return m_pViewActive != nullptr ? m_pViewActive->GetDocument() : nullptr;
}

LRESULT CFrameWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: return OnCreate(reinterpret_cast<LPCREATESTRUCTA>(lParam));
    case WM_SIZE: OnSize(); return 0;
    case WM_DPICHANGED:
        OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_SETFOCUS: OnSetFocus(); return 0;
    case WM_DRAWITEM:
        if (OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)))
            return TRUE;
        break;
    case WM_COMMAND:
        if (OnCommand(wParam, lParam))
            return 0;
        break;
    case WM_MENUSELECT: OnMenuSelect(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HMENU>(lParam)); return 0;
    case WM_EXITMENULOOP: SetMessageText(AFX_IDS_IDLEMESSAGE); return 0;
    case WM_SETMESSAGESTRING: OnSetMessageString(wParam, lParam); return 0;
    case WM_CLOSE: OnClose(); return 0;
    case WM_NCDESTROY: OnNcDestroy(); break;
    default: break;
    }
    return Default();
}

int CFrameWnd::OnCreate(LPCREATESTRUCTA lpcs) {
    if (Default() == -1)
        return -1;
    m_nDpi = DpiOfWindow(m_hWnd);
    if (m_pCreateContext != nullptr && !OnCreateClient(lpcs, m_pCreateContext))
        return -1;
    PostMessage(WM_SETMESSAGESTRING, AFX_IDS_IDLEMESSAGE);
    RecalcLayout();
    return 0;
}

BOOL CFrameWnd::OnCreateClient(LPCREATESTRUCTA lpcs, CCreateContext* pContext) {
    (void)lpcs;
    if (pContext->m_pNewViewClass == nullptr)
        return TRUE;
    return CreateView(pContext, AFX_IDW_PANE_FIRST) != nullptr;
}

CView* CFrameWnd::CreateView(CCreateContext* pContext, UINT nID) {
    CCmdTarget* pObject = pContext->m_pNewViewClass->CreateObject();
    auto* pView = dynamic_cast<CView*>(pObject);
    if (pView == nullptr) {
        delete pObject;
        return nullptr;
    }
    if (pContext->m_pCurrentDoc != nullptr)
        pContext->m_pCurrentDoc->AddView(pView);
    if (!pView->Create(this, nID, pContext)) {
        // Its window never came to be, so it will not delete itself.
        if (pView->GetDocument() != nullptr)
            pView->GetDocument()->RemoveView(pView);
        delete pView;
        return nullptr;
    }
    return pView;
}

void CFrameWnd::RecalcLayout(BOOL bNotify) {
    (void)bNotify;
    if (m_hWnd == nullptr)
        return;
    CRect client;
    GetClientRect(&client);
    HWND hBar = GetDlgItem(AFX_IDW_STATUS_BAR);
    if (hBar != nullptr && (::GetWindowLongA(hBar, GWL_STYLE) & WS_VISIBLE)) {
        ::SendMessageA(hBar, WM_SIZE, 0, 0); // the control takes its own height along the bottom
        CRect bar;
        ::GetWindowRect(hBar, &bar);
        const int height = bar.Height();
        ::MoveWindow(hBar, 0, client.bottom - height, client.Width(), height, TRUE);
        if (auto* pBar = dynamic_cast<CStatusBar*>(FromHandlePermanent(hBar)))
            pBar->LayoutPanes(); // the fixed-width panes stay at the right edge of the new width
        client.bottom -= height;
    }
    if (HWND hPane = GetDlgItem(AFX_IDW_PANE_FIRST))
        ::MoveWindow(hPane, client.left, client.top, client.Width(), client.Height() > 0 ? client.Height() : 0, TRUE);
}

void CFrameWnd::OnSize() { RecalcLayout(); }

void CFrameWnd::OnDpiChanged(UINT newDpi, const RECT& suggested) {
    const UINT oldDpi = m_nDpi != 0 ? m_nDpi : DpiOfWindow(m_hWnd);
    m_nDpi = newDpi;
    auto* pBar = dynamic_cast<CStatusBar*>(FromHandlePermanent(GetDlgItem(AFX_IDW_STATUS_BAR)));
    if (pBar != nullptr)
        pBar->OnDpiChanged(newDpi);
    if (auto* pView = dynamic_cast<CView*>(FromHandlePermanent(GetDlgItem(AFX_IDW_PANE_FIRST))))
        pView->OnDpiChanged(oldDpi, newDpi);
    SetWindowPos(nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    RecalcLayout(); // also when the suggested size is the size it had
    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
}

BOOL CFrameWnd::OnDrawItem(const DRAWITEMSTRUCT& item) {
    auto* pBar = dynamic_cast<CStatusBar*>(FromHandlePermanent(item.hwndItem));
    if (pBar == nullptr)
        return FALSE;
    pBar->DrawPane(item);
    return TRUE;
}

void CFrameWnd::OnSetFocus() {
    if (m_pViewActive != nullptr && m_pViewActive->m_hWnd != nullptr)
        ::SetFocus(m_pViewActive->m_hWnd);
}

void CFrameWnd::InitialUpdateFrame(CDocument* pDoc, BOOL bMakeVisible) {
    (void)pDoc;
    if (m_pViewActive == nullptr) {
        if (auto* pView = dynamic_cast<CView*>(FromHandlePermanent(GetDlgItem(AFX_IDW_PANE_FIRST))))
            SetActiveView(pView);
    }
    std::vector<HWND> descendants;
    CollectDescendants(m_hWnd, descendants);
    for (HWND hWnd : descendants) {
        if (FromHandlePermanent(hWnd) != nullptr && ::IsWindow(hWnd))
            ::SendMessageA(hWnd, WM_INITIALUPDATE, 0, 0);
    }
    if (!bMakeVisible)
        return;
    int nCmdShow = -1;
    CWinApp* pApp = AfxGetApp();
    if (pApp != nullptr && pApp->m_pMainWnd == this) {
        nCmdShow = pApp->m_nCmdShow; // the start-up show command is used once
        pApp->m_nCmdShow = -1;
    }
    ActivateFrame(nCmdShow);
}

void CFrameWnd::ActivateFrame(int nCmdShow) {
    ShowWindow(nCmdShow == -1 ? SW_SHOW : nCmdShow);
    if (nCmdShow != SW_HIDE && nCmdShow != SW_MINIMIZE && nCmdShow != SW_SHOWMINNOACTIVE)
        ::BringWindowToTop(m_hWnd);
}

void CFrameWnd::OnUpdateFrameTitle(BOOL bAddToTitle) {
    // Only a frame that asked for it shows the document's title; ours keep theirs.
    if (!bAddToTitle || !(m_dwFrameStyle & FWS_ADDTOTITLE))
        return;
    CDocument* pDoc = GetActiveDocument();
    if (pDoc == nullptr || pDoc->GetTitle().IsEmpty())
        return;
    char title[256] = "";
    ::GetWindowTextA(m_hWnd, title, sizeof title);
    const CString text = (m_dwFrameStyle & FWS_PREFIXTITLE) ? pDoc->GetTitle() + " - " + title
                                                            : CString(title) + " - " + pDoc->GetTitle();
    ::SetWindowTextA(m_hWnd, text.GetString());
}

void CFrameWnd::SetMessageText(LPCSTR lpszText) {
    HWND hBar = GetDlgItem(AFX_IDW_STATUS_BAR);
    if (hBar == nullptr)
        return;
    ::SendMessageA(hBar, SB_SETTEXTA, 0 | SBT_NOBORDERS, reinterpret_cast<LPARAM>(lpszText));
    ::UpdateWindow(hBar);
}

void CFrameWnd::SetMessageText(UINT nID) { SetMessageText(LoadMenuPrompt(nID).GetString()); }

void CFrameWnd::OnSetMessageString(WPARAM wParam, LPARAM lParam) {
    if (wParam != 0)
        SetMessageText(static_cast<UINT>(wParam));
    else
        SetMessageText(reinterpret_cast<LPCSTR>(lParam));
}

void CFrameWnd::OnMenuSelect(UINT nItemID, UINT nFlags, HMENU hMenu) {
    if (nFlags == 0xFFFF && hMenu == nullptr) { // the menu closed
        m_nIDTracking = AFX_IDS_IDLEMESSAGE;
        SetMessageText(AFX_IDS_IDLEMESSAGE);
        return;
    }
    m_nIDTracking = MenuPromptId(nItemID, nFlags);
    SetMessageText(m_nIDTracking);
}

BOOL CFrameWnd::RouteCommand(UINT nID) {
    try {
        if (m_pViewActive != nullptr && m_pViewActive->OnCmdMsg(nID))
            return TRUE;
        if (CDocument* pDoc = GetActiveDocument(); pDoc != nullptr && pDoc->OnCmdMsg(nID))
            return TRUE;
        if (OnCmdMsg(nID))
            return TRUE;
        CWinApp* pApp = AfxGetApp();
        return pApp != nullptr && pApp->OnCmdMsg(nID);
    } catch (const std::exception& error) {
        AfxReportException(error);
        return TRUE; // the command was taken; its handler failed and said so
    }
}

BOOL CFrameWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
    // Menu items and accelerators (lParam 0) and button clicks are commands.
    if (lParam != 0 && HIWORD(wParam) != BN_CLICKED)
        return FALSE;
    return RouteCommand(LOWORD(wParam));
}

void CFrameWnd::OnClose() {
    CDocument* pDoc = GetActiveDocument();
    if (pDoc != nullptr && !pDoc->CanCloseFrame(this))
        return;
    CWinApp* pApp = AfxGetApp();
    if (pApp != nullptr && pApp->m_pMainWnd == this)
        ShowWindow(SW_HIDE); // gone from the screen at once, before the teardown
    if (pDoc != nullptr)
        pDoc->OnCloseDocument(); // destroys this frame with the view
    else
        DestroyWindow();
}

void CFrameWnd::OnNcDestroy() {
    CWinApp* pApp = AfxGetApp();
    if (pApp != nullptr && pApp->m_pMainWnd == this) {
        pApp->m_pMainWnd = nullptr;
        ::PostQuitMessage(0);
    }
}

void CFrameWnd::PostNcDestroy() {
    if (m_pbDeleted != nullptr)
        *m_pbDeleted = true;
    delete this;
}
