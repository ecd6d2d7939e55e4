#include "shell/main/MainFrm.h"

#include "engine/base/FolderTree.h"
#include "framework/Dpi.h"
#include "framework/Language.h"
#include "framework/MessageBox.h"
#include "res/resource.h"
#include "shell/history/HistoryWnd.h"
#include "shell/rows/RowActions.h"
#include "shell/main/ShellMessages.h"
#include "shell/document/TallowboxDoc.h"
#include "shell/watch/StartupShortcut.h"
#include "shell/main/TallowboxView.h"
#include "shell/watch/WatchListWnd.h"

#include <dbt.h>
#include <shellapi.h>

#include <vector>

const CRuntimeClass CMainFrame::runtimeClass = {"CMainFrame", &CFrameWnd::runtimeClass,
                                                &CreateDynamic<CMainFrame>};

CMainFrame::FolderOpener CMainFrame::s_pfnOpenFolder = &CMainFrame::OpenFolderInShell;
CMainFrame::Asker CMainFrame::s_pfnAsk = &AfxAsk;

namespace {

// The status line: one stretched pane without a border, and the running copy's counts.
const UINT kIndicators[] = {ID_SEPARATOR, ID_SEPARATOR};
// Every minute the mirror is looked at again (a share that came back sends no message).
const UINT_PTR kMirrorTimer = 0x4D31;

} // namespace

CMainFrame::CMainFrame() = default;

// The history window goes before the frame: its reading stops and its thread ends first.
CMainFrame::~CMainFrame() {
    m_history.reset();
    m_watchList.reset();
}

BOOL CMainFrame::PreCreateWindow(CREATESTRUCTA& cs) {
    if (!CFrameWnd::PreCreateWindow(cs))
        return FALSE;
    // No document name in the title, no frame extras: the plain overlapped window. It stays above
    // other windows from its creation (no reordering before it shows); a system that refuses leaves
    // a normal window that works the same.
    cs.style = WS_OVERLAPPEDWINDOW;
    cs.dwExStyle |= WS_EX_TOPMOST;
    cs.lpszName = "Tallowbox";
    return TRUE;
}

// Creation and commands come through the framework's handlers (OnCreate, OnCmdMsg); the history
// window, which the system destroys with its owner, lets its reading go first.
LRESULT CMainFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY:
        m_history.reset();
        m_watchList.reset();
        break;
    case WM_CLOSE:
        if (!MayClose())
            return 0;
        break;
    case WM_SIZE:
        if (wParam == SIZE_MINIMIZED)
            OnMinimized();
        else
            KeepViewBelowMenuBar();
        break;
    case WM_INITMENUPOPUP: {
        const HMENU menu = reinterpret_cast<HMENU>(wParam);
        ::CheckMenuItem(menu, ID_START_AT_LOGON,
                        MF_BYCOMMAND | (HasStartupShortcut() ? MF_CHECKED : MF_UNCHECKED));
        const UINT mirrored = Doc() != nullptr && Doc()->HasMirror() ? MF_ENABLED : MF_GRAYED;
        ::EnableMenuItem(menu, ID_MIRROR_STOP, MF_BYCOMMAND | mirrored);
        ::EnableMenuItem(menu, ID_MIRROR_NOW, MF_BYCOMMAND | mirrored);
        break;
    }
    case WM_TIMER:
        if (wParam != kMirrorTimer)
            break;
        if (Doc() != nullptr)
            Doc()->RetryMirror();
        return 0;
    case WM_DEVICECHANGE:
        if (wParam == DBT_DEVICEARRIVAL && Doc() != nullptr)
            Doc()->RetryMirror(); // the mirror's drive may be the one that came
        break;
    case WM_WATCHES_CHANGED:
        OnWatchesChanged();
        return 0;
    case WM_SHOW_VERSIONS:
        ShowHistory(*reinterpret_cast<const std::wstring*>(lParam));
        return 0;
    case WM_BACKUPS_CHANGED:
        OnBackupsChanged();
        return 0;
    case WM_CHECKS_CHANGED: // the history, if open, reads what the checks found again
        if (m_history && m_history->GetSafeHwnd() != nullptr)
            ::PostMessageW(m_history->GetSafeHwnd(), WM_CHECKS_CHANGED, 0, 0);
        return 0;
    case WM_AFTER_FIRST_PAINT:
        OnAfterFirstPaint();
        return 0;
    default:
        break;
    }
    return CFrameWnd::WindowProc(message, wParam, lParam);
}

void CMainFrame::KeepViewBelowMenuBar() {
    RECT window, client;
    ::GetWindowRect(m_hWnd, &window);
    ::GetClientRect(m_hWnd, &client);
    const FrameShape now = {window.right - window.left, (window.bottom - window.top) - client.bottom,
                            DpiOfWindow(m_hWnd)};
    const int grow = now.nonClientHeight - m_shape.nonClientHeight;
    const bool rewrapped =
        m_shape.width != 0 && now.width == m_shape.width && now.dpi == m_shape.dpi && grow != 0;
    m_shape = now;
    if (rewrapped && !::IsZoomed(m_hWnd))
        SetWindowPos(nullptr, 0, 0, now.width, (window.bottom - window.top) + grow,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

CTallowboxDoc* CMainFrame::Doc() const {
    return dynamic_cast<CTallowboxDoc*>(GetActiveDocument());
}

int CMainFrame::OnCreate(LPCREATESTRUCTA lpcs) {
    if (CFrameWnd::OnCreate(lpcs) == -1)
        return -1;
    if (!m_wndStatusBar.Create(this, WS_CHILD | WS_VISIBLE | CBRS_BOTTOM, AFX_IDW_STATUS_BAR))
        return -1;
    if (!m_wndStatusBar.SetIndicators(kIndicators, 2))
        return -1;
    ::SetTimer(m_hWnd, kMirrorTimer, kMirrorRetryMs, nullptr);
    return 0;
}

// The view's keys work anywhere in the window: Esc stops the running copy, Ctrl+V pastes files,
// Ctrl+H opens the history.
BOOL CMainFrame::PreTranslateMessage(MSG* pMsg) {
    auto* pView = dynamic_cast<CTallowboxView*>(GetActiveView());
    if (pView != nullptr && pView->TranslateShortcut(*pMsg))
        return TRUE;
    return CFrameWnd::PreTranslateMessage(pMsg);
}

BOOL CMainFrame::OnCmdMsg(UINT nID) {
    switch (nID) {
    case ID_OPEN_FOLDER:
        OnOpenFolder();
        return TRUE;
    case ID_HISTORY:
        ShowHistory(std::wstring());
        return TRUE;
    case ID_WATCH_LIST:
        ShowWatchList();
        return TRUE;
    case ID_START_AT_LOGON:
        ToggleStartAtLogon();
        return TRUE;
    case ID_MIRROR_SET:
    case ID_MIRROR_STOP:
    case ID_MIRROR_NOW:
        OnMirrorCommand(nID);
        return TRUE;
    default:
        return CFrameWnd::OnCmdMsg(nID);
    }
}

void CMainFrame::OnOpenFolder() {
    CTallowboxDoc* pDoc = Doc();
    if (pDoc == nullptr)
        return;
    const std::wstring backupRoot = pDoc->BackupRoot();
    if (!IsFullPath(backupRoot)) { // a setting that depends on a current folder names no folder to make
        ::MessageBeep(MB_OK);
        return;
    }
    CreateFolderTree(backupRoot); // makes the root and any missing parents; the shell reports the rest
    s_pfnOpenFolder(backupRoot);
}

void CMainFrame::OpenFolderInShell(const std::wstring& folder) {
    ::OpenFolderInShell(folder);
}

void CMainFrame::ShowHistory(const std::wstring& originalPath) {
    CTallowboxDoc* pDoc = Doc();
    if (pDoc == nullptr)
        return;
    if (!m_history || m_history->GetSafeHwnd() == nullptr) {
        m_history.reset(new CHistoryWnd(*pDoc));
        if (!m_history->Create(this)) {
            m_history.reset();
            return;
        }
    }
    if (!originalPath.empty())
        m_history->ShowVersionsOf(originalPath);
    ::ShowWindow(m_history->GetSafeHwnd(), SW_SHOWNORMAL);
    ::SetForegroundWindow(m_history->GetSafeHwnd());
}

void CMainFrame::OnBackupsChanged() {
    if (m_history && m_history->GetSafeHwnd() != nullptr)
        m_history->Reload();
    if (CTallowboxDoc* pDoc = Doc())
        pDoc->WakeCheck(); // the new versions are read back once the batch has let the disk go
}

void CMainFrame::ShowWatchList() {
    CTallowboxDoc* pDoc = Doc();
    if (pDoc == nullptr)
        return;
    if (!m_watchList || m_watchList->GetSafeHwnd() == nullptr) {
        m_watchList.reset(new CWatchListWnd(*pDoc));
        if (!m_watchList->Create(this)) {
            m_watchList.reset();
            return;
        }
    }
    ::ShowWindow(m_watchList->GetSafeHwnd(), SW_SHOWNORMAL);
    ::SetForegroundWindow(m_watchList->GetSafeHwnd());
}

std::wstring CMainFrame::TrayTip() const {
    const CTallowboxDoc* pDoc = Doc();
    const size_t count = pDoc != nullptr ? pDoc->WatchCount() : 0;
    const std::wstring mirror = pDoc != nullptr ? pDoc->MirrorTip() : std::wstring();
    const std::wstring tip = FormatResourceText(IDS_TRAY_TIP, {std::to_wstring(count)});
    return mirror.empty() ? tip : tip + L"\n" + mirror;
}

void CMainFrame::OnMinimized() {
    auto* pView = dynamic_cast<CTallowboxView*>(GetActiveView());
    CTallowboxDoc* pDoc = Doc();
    if (pView == nullptr || pDoc == nullptr || pDoc->WatchCount() == 0)
        return;
    // Hidden only once the icon is there: a shell without a notification area keeps the button.
    if (pView->TrayIcon().Show(pView->m_hWnd, TrayTip()))
        ShowWindow(SW_HIDE);
}

bool CMainFrame::MayClose() {
    const CTallowboxDoc* pDoc = Doc();
    const size_t count = pDoc != nullptr ? pDoc->WatchCount() : 0;
    auto* pView = dynamic_cast<CTallowboxView*>(GetActiveView());
    const bool seen = ::IsWindowVisible(m_hWnd) || (pView != nullptr && pView->TrayIcon().IsShown());
    if (count == 0 || !seen) // a run the user never saw (a print switch) ends as it was asked to
        return true;
    const std::wstring question = FormatResourceText(IDS_CLOSE_WHILE_WATCHING, {std::to_wstring(count)});
    return s_pfnAsk(m_hWnd, question, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

void CMainFrame::OnWatchesChanged() {
    if (m_watchList && m_watchList->GetSafeHwnd() != nullptr)
        m_watchList->Refresh();
    auto* pView = dynamic_cast<CTallowboxView*>(GetActiveView());
    if (pView != nullptr && pView->TrayIcon().IsShown())
        pView->TrayIcon().Show(pView->m_hWnd, TrayTip());
    else if (::IsIconic(m_hWnd) && ::IsWindowVisible(m_hWnd))
        OnMinimized(); // started minimized: the list was read after the window showed
}

void CMainFrame::SayInStatusLine(const std::wstring& text) {
    if (auto* pView = dynamic_cast<CTallowboxView*>(GetActiveView()))
        pView->SetStatusText(text);
}

void CMainFrame::OnMirrorCommand(UINT nID) {
    CTallowboxDoc* pDoc = Doc();
    if (pDoc == nullptr)
        return;
    if (nID == ID_MIRROR_NOW) {
        pDoc->RetryMirror();
        return;
    }
    if (nID == ID_MIRROR_STOP) {
        const DWORD error = pDoc->StopMirroring();
        SayInStatusLine(error == ERROR_SUCCESS
                            ? LoadResourceText(IDS_MIRROR_STOPPED)
                            : FormatResourceText(IDS_MIRROR_NOT_WRITTEN, {SystemMessage(error)}));
        return;
    }
    std::wstring folder;
    if (!PickFolder(m_hWnd, &folder, IDS_MIRROR_PICK_TITLE) || folder.empty())
        return;
    DWORD error = ERROR_SUCCESS;
    const MirrorFolderRefusal refusal = pDoc->SetMirrorFolder(folder, &error);
    if (refusal != MirrorFolderRefusal::None)
        SayInStatusLine(MirrorRefusalText(refusal, folder));
    else if (error != ERROR_SUCCESS)
        SayInStatusLine(FormatResourceText(IDS_MIRROR_NOT_WRITTEN, {SystemMessage(error)}));
    else
        SayInStatusLine(FormatResourceText(IDS_MIRROR_SET, {pDoc->MirrorFolder()}));
}

// Everything here waits until the user sees the window: the whole window is painted first (its
// children's paints would otherwise queue behind this work). Each call only starts what runs on
// the document's threads, so the window answers at once. Another start-up task that changes
// nothing the first picture shows belongs in this list.
void CMainFrame::OnAfterFirstPaint() {
    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    CTallowboxDoc* pDoc = Doc();
    if (pDoc == nullptr)
        return;
    pDoc->StartWatching(); // the watch list, its watches and their last versions from the journals
    pDoc->StartMirror();   // what the mirror lacks, found and copied on its own thread
    pDoc->StartCheck();    // every version read back in the background, a little later
}

// A shortcut in the Startup folder, never the registry: the user sees it and can remove it there too.
void CMainFrame::ToggleStartAtLogon() {
    CWnd* pView = GetActiveView();
    const auto say = [pView](const std::wstring& text) {
        if (auto* pTallowboxView = dynamic_cast<CTallowboxView*>(pView))
            pTallowboxView->SetStatusText(text);
    };
    if (HasStartupShortcut()) {
        const DWORD error = RemoveStartupShortcut();
        if (error != ERROR_SUCCESS)
            say(FormatResourceText(IDS_STARTUP_REMOVE_FAILED, {SystemMessage(error)}));
        return;
    }
    const HRESULT result = MakeStartupShortcut(RunningProgramPath());
    if (FAILED(result))
        say(FormatResourceText(IDS_STARTUP_MAKE_FAILED, {SystemMessage(static_cast<DWORD>(result))}));
}
