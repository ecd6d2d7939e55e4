#include "shell/main/TallowboxView.h"

#include "engine/base/CommandLineItems.h"
#include "framework/App.h"
#include "framework/Dpi.h"
#include "framework/Frame.h"
#include "framework/Language.h"
#include "framework/StatusBar.h"
#include "res/resource.h"
#include "shell/document/TallowboxDoc.h"
#include "shell/main/ShellMessages.h"
#include "shell/words/Wording.h"

#include <algorithm>
#include <iterator>
#include <vector>

const CRuntimeClass CTallowboxView::runtimeClass = {"CTallowboxView", &CFormView::runtimeClass,
                                                    &CreateDynamic<CTallowboxView>};

namespace {

// Widths at 96 DPI; each display scale widens them alike, and a heading that needs more gets more.
const ListColumn kColumns[] = {
    {IDS_COLUMN_DATE, LVCFMT_CENTER, 70},       {IDS_COLUMN_TIME, LVCFMT_CENTER, 70},
    {IDS_COLUMN_FILE_NAME, LVCFMT_LEFT, 150},   {IDS_COLUMN_SOURCE, LVCFMT_LEFT, 150},
    {IDS_COLUMN_DESTINATION, LVCFMT_LEFT, 150},
};

// The list keeps this many pixels (at 96 DPI) to the view's right and bottom edges.
const int kListMargin = 20;

// The progress is shown at most once a display frame: a text replaced within one is never seen.
const UINT_PTR kProgressTimer = 1;
const UINT kFrameMs = 16;

// Every path of a drop block, in the shell's order, each read whole however long.
std::vector<std::wstring> DroppedPaths(HDROP hDrop) {
    std::vector<std::wstring> paths;
    const UINT count = ::DragQueryFileW(hDrop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        const UINT length = ::DragQueryFileW(hDrop, i, nullptr, 0);
        std::vector<wchar_t> path(static_cast<size_t>(length) + 1, L'\0');
        ::DragQueryFileW(hDrop, i, path.data(), length + 1);
        if (path[0] != L'\0')
            paths.emplace_back(path.data());
    }
    return paths;
}

} // namespace

CTallowboxView::CTallowboxView() : CFormView(IDD) {}

CTallowboxView::~CTallowboxView() = default;

CTallowboxDoc& CTallowboxView::Doc() const {
    return *static_cast<CTallowboxDoc*>(GetDocument());
}

std::wstring CTallowboxView::GetBackupRoot() const {
    return Doc().BackupRoot();
}

void CTallowboxView::DoDataExchange(CDataExchange* pDX) {
    DDX_Control(pDX, IDC_BACKUP_LIST, m_list);
}

LRESULT CTallowboxView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != 0 && message == CTrayIcon::TaskbarCreatedMessage()) {
        m_trayIcon.OnTaskbarCreated();
        return 0;
    }
    switch (message) {
    case WM_COMMAND:
        // Commands chosen in a menu the view owns reach the main window's command chain.
        if (CWnd* pMainWnd = AfxGetMainWnd())
            pMainWnd->PostMessage(WM_COMMAND, wParam, 0);
        break;
    case WM_SIZE:
        OnSize(static_cast<UINT>(wParam), static_cast<short>(LOWORD(lParam)),
               static_cast<short>(HIWORD(lParam)));
        return Default();
    case WM_TRAYNOTIFY:
        m_trayIcon.OnNotify(lParam);
        return 0;
    case WM_BACKUP_QUEUED:
        StartProgress();
        return 0;
    case WM_WATCH_VERSION:
        OnWatchVersion(wParam, lParam);
        return 0;
    case WM_WATCHES_CHANGED:
        OnWatchesChanged();
        return 0;
    case WM_WATCH_LAST_VERSIONS:
        Doc().OnLastVersions(lParam);
        return 0;
    case WM_MIRROR_STATE:
        ShowStateText(Doc().OnMirrorState(lParam)); // the icon's tip says the mirror's state too
        return 0;
    case WM_CHECK_FINDING:
        OnCheckFinding(lParam);
        return 0;
    case WM_CHECKS_CHANGED: // posted by the background check: the main window passes it to the history
        if (CWnd* pMainWnd = AfxGetMainWnd())
            pMainWnd->SendMessage(WM_CHECKS_CHANGED);
        return 0;
    case WM_BACKUP_ROW:
        OnBackupRow(lParam);
        return 0;
    case WM_BACKUP_STATUS:
        OnBackupStatus(lParam);
        return 0;
    case WM_BACKUP_IDLE:
        OnBackupIdle();
        return 0;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->hwndFrom == m_list.m_hWnd && header->code == LVN_GETINFOTIPW &&
            OnGetInfoTip(*reinterpret_cast<NMLVGETINFOTIPW*>(lParam)))
            return 0;
        m_rowCommands.HandleListNotify(header);
        break;
    }
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) == m_list.m_hWnd) {
            m_rowCommands.ShowMenu(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
            return 0;
        }
        break;
    case WM_TIMER:
        if (wParam == kProgressTimer) {
            ShowProgress();
            return 0;
        }
        break;
    case WM_DESTROY:
        OnDestroy();
        break;
    default:
        break;
    }
    return CFormView::WindowProc(message, wParam, lParam);
}

void CTallowboxView::OnInitialUpdate() {
    CFormView::OnInitialUpdate();
    if (CFrameWnd* pFrame = GetParentFrame())
        pFrame->RecalcLayout();
    ResizeParentToFit(TRUE);
    // At the form's width the menu bar may need a second line, which the first fit could not
    // know: the frame grows by what it took until the whole form shows.
    for (int pass = 0; pass < 3; ++pass)
        ResizeParentToFit(FALSE);
    m_nDpi = DpiOfWindow(m_hWnd);
    InsertColumns();
    // A right-click or double-click anywhere on a row takes the row, not only on its date.
    // The tips say why a row failed.
    ::SendMessageW(m_list.m_hWnd, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP,
                   LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
    m_rowCommands.SetList(m_list.m_hWnd);
    CaptureLayout();
    m_bLayoutReady = 1;
    Doc().StartWork(m_hWnd);
    if (!Doc().StartNotice().empty())
        SetStatusText(
            StatusText(Doc().StartNotice())); // before the command line's items, whose texts follow it
    BackupCommandLine(); // the watches resume once the window has shown (CMainFrame::OnAfterFirstPaint)
}

void CTallowboxView::InsertColumns() {
    InsertListColumns(m_list.m_hWnd, kColumns, static_cast<int>(std::size(kColumns)), m_nDpi);
}

// The form and its controls are scaled by the base class; the columns keep any width the user
// gave them, scaled alike; the list's place is taken again for the margins at the new scale.
void CTallowboxView::OnDpiChanged(UINT oldDpi, UINT newDpi) {
    CFormView::OnDpiChanged(oldDpi, newDpi);
    if (m_bLayoutReady != 1 || oldDpi == 0 || oldDpi == newDpi)
        return;
    for (int column = 0; column < m_list.GetColumnCount(); ++column) {
        const int width = m_list.GetColumnWidth(column);
        m_list.SetColumnWidth(column, ::MulDiv(width, static_cast<int>(newDpi), static_cast<int>(oldDpi)));
    }
    m_nDpi = newDpi;
    CaptureLayout();
    PlaceList();
}

// The list's place relative to the view's window, taken once the start-up sizing is over.
void CTallowboxView::CaptureLayout() {
    GetWindowRect(&m_rcView);
    m_list.GetWindowRect(&m_rcList);
    m_rcList.left -= m_rcView.left;
    m_rcList.right -= m_rcView.left;
    m_rcList.top -= m_rcView.top;
    m_rcList.bottom -= m_rcView.top;
}

void CTallowboxView::OnSize(UINT nType, int cx, int cy) {
    CFormView::OnSize(nType, cx, cy);
    if (m_bLayoutReady != 1)
        return;
    PlaceList();
}

void CTallowboxView::PlaceList() {
    // Showing or hiding a scroll bar above has resized the client area again (and that nested
    // size change has placed the list): measure what the client area is now, not what it was.
    CRect client;
    GetClientRect(&client);
    // Width and height are passed on even when they come out zero or negative.
    const int margin = Scale(kListMargin, m_nDpi);
    m_list.MoveWindow(m_rcList.left, m_rcList.top, client.Width() - margin - m_rcList.left,
                      client.Height() - margin - m_rcList.top, TRUE);
}

// Every item of the command line (double-quoted pieces and unquoted full paths, as the shell
// hands over files dropped on the program's icon or sent to it), in order, with one time stamp.
// A piece is taken whole whatever its length (the backup refuses a path too long for the
// platform and says so in its row).
void CTallowboxView::BackupCommandLine() {
    CWinApp* pApp = AfxGetApp();
    std::vector<std::wstring> paths =
        CommandLineItems(pApp != nullptr && pApp->m_lpCmdLineW != nullptr ? pApp->m_lpCmdLineW : L"");
    if (paths.empty())
        return;
    SYSTEMTIME time;
    ::GetLocalTime(&time);
    QueueBackup(std::move(paths), time);
    WaitForBackups();
}

void CTallowboxView::WaitForBackups() {
    MSG msg;
    for (;;) {
        // Only what the worker posts to this view, and messages other programs send: nothing a
        // user does reaches a window that is not shown yet.
        while (::PeekMessageW(&msg, m_hWnd, WM_BACKUP_ROW, WM_BACKUP_IDLE, PM_REMOVE))
            ::DispatchMessageW(&msg);
        if (!IsBackingUp() && !::PeekMessageW(&msg, m_hWnd, WM_BACKUP_ROW, WM_BACKUP_IDLE, PM_NOREMOVE))
            break;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, kFrameMs, QS_SENDMESSAGE | QS_POSTMESSAGE);
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE); // answers sent messages
    }
}

void CTallowboxView::QueueBackup(std::vector<std::wstring> paths, SYSTEMTIME time) {
    Doc().QueueBackup(std::move(paths), time);
    StartProgress(); // at once: the command line's wait shows its progress before the window
}

void CTallowboxView::StartProgress() {
    if (!IsBackingUp())
        return; // told of work that has ended meanwhile
    ::SetTimer(m_hWnd, kProgressTimer, kFrameMs, nullptr);
    ::SetCursor(::LoadCursor(nullptr, IDC_APPSTARTING)); // working, and the window still answers
}

void CTallowboxView::StopBackups() {
    Doc().StopBackups();
}

bool CTallowboxView::IsBackingUp() const {
    return Doc().IsBackingUp();
}

void CTallowboxView::OnDestroy() {
    ::KillTimer(m_hWnd, kProgressTimer);
    m_trayIcon.Remove();
    Doc().EndWork(); // stops the copy before the window it posts to goes
}

// The running copy's file and counts, when they changed since the last frame.
void CTallowboxView::ShowProgress() {
    const BackupProgress progress = Doc().Progress();
    if (progress.changes == m_shownChanges)
        return;
    m_shownChanges = progress.changes;
    CWnd* pMainWnd = AfxGetMainWnd();
    auto* pBar = pMainWnd == nullptr ? nullptr
                                     : dynamic_cast<CStatusBar*>(CWnd::FromHandlePermanent(
                                           pMainWnd->GetDescendantWindow(AFX_IDW_STATUS_BAR)));
    if (pBar == nullptr)
        return;
    if (!progress.path.empty())
        pBar->SetPaneTextWithPath(0, ActivityText(progress.activity, progress.path), progress.path, TRUE);
    if (pBar->GetCount() > 1)
        pBar->SetPaneText(1, CountsText(progress.files, progress.bytes).c_str(), TRUE);
}

void CTallowboxView::OnBackupRow(LPARAM lParam) {
    std::unique_ptr<BackupRow> row(reinterpret_cast<BackupRow*>(lParam));
    ShowProgress(); // the item's last file is shown before its row
    AppendRow(*row);
}

// Said on the status line, and in a balloon when the window is out of sight behind its icon.
void CTallowboxView::OnCheckFinding(LPARAM lParam) {
    const std::wstring text = Doc().OnCheckFinding(lParam);
    SetStatusText(text);
    if (m_trayIcon.IsShown())
        m_trayIcon.ShowBalloon(LoadResourceText(IDS_BGCHECK_BALLOON_TITLE), text);
}

void CTallowboxView::OnBackupStatus(LPARAM lParam) {
    std::unique_ptr<StatusReport> report(reinterpret_cast<StatusReport*>(lParam));
    ShowProgress(); // caught up first, so a later frame never writes an older text over this one
    SetStatusText(StatusText(*report), report->empty() ? std::wstring() : report->front().path);
}

bool CTallowboxView::OnGetInfoTip(NMLVGETINFOTIPW& tip) const {
    if (tip.iItem < 0 || static_cast<size_t>(tip.iItem) >= m_rows.size() || tip.pszText == nullptr ||
        tip.cchTextMax <= 0)
        return false;
    const BackupRow& row = m_rows[static_cast<size_t>(tip.iItem)];
    if (row.outcome != RowOutcome::Failed || row.failure.empty())
        return false;
    const std::wstring text = StatusText(row.failure);
    const size_t length = std::min(text.size(), static_cast<size_t>(tip.cchTextMax) - 1);
    text.copy(tip.pszText, length);
    tip.pszText[length] = L'\0';
    return true;
}

void CTallowboxView::OnBackupIdle() {
    if (IsBackingUp())
        return;
    ::KillTimer(m_hWnd, kProgressTimer);
    ShowProgress();
    ::SetCursor(::LoadCursor(nullptr, IDC_ARROW));
    if (CWnd* pMainWnd = AfxGetMainWnd())
        pMainWnd->SendMessage(WM_BACKUPS_CHANGED);
}

BOOL CTallowboxView::PreTranslateMessage(MSG* pMsg) {
    if (pMsg->message == WM_DROPFILES)
        HandleDropFiles(reinterpret_cast<HDROP>(pMsg->wParam));
    // Taken before the form's dialog keys would make Esc "cancel" and swallow the rest.
    if (m_rowCommands.HandleListKey(*pMsg) || TranslateShortcut(*pMsg))
        return TRUE;
    return CFormView::PreTranslateMessage(pMsg);
}

BOOL CTallowboxView::TranslateShortcut(const MSG& msg) {
    if (msg.message != WM_KEYDOWN)
        return FALSE;
    const bool control = ::GetKeyState(VK_CONTROL) < 0, shift = ::GetKeyState(VK_SHIFT) < 0,
               alt = ::GetKeyState(VK_MENU) < 0;
    // Esc stops a running copy.
    if (msg.wParam == VK_ESCAPE && IsBackingUp()) {
        StopBackups();
        return TRUE;
    }
    // Ctrl+V, and the older Shift+Insert, paste the files the shell's copy or cut left.
    if ((msg.wParam == 'V' && control && !shift && !alt) ||
        (msg.wParam == VK_INSERT && shift && !control && !alt)) {
        PasteFiles();
        return TRUE;
    }
    if (msg.wParam == 'H' && control && !shift && !alt) {
        if (CWnd* pMainWnd = AfxGetMainWnd())
            pMainWnd->SendMessage(WM_COMMAND, MAKEWPARAM(ID_HISTORY, 0));
        return TRUE;
    }
    return FALSE;
}

// One drop: one time stamp, every path in the shell's order, the handle released once.
void CTallowboxView::HandleDropFiles(HDROP hDropInfo) {
    SYSTEMTIME time;
    ::GetLocalTime(&time);
    std::vector<std::wstring> paths = DroppedPaths(hDropInfo);
    ::DragFinish(hDropInfo);
    if (!paths.empty())
        QueueBackup(std::move(paths), time); // after any copy still running, with its own stamp
}

// The files on the clipboard, backed up as a drop of them would be. The clipboard keeps its
// block; with no files on it, the system's beep says so.
void CTallowboxView::PasteFiles() {
    SYSTEMTIME time;
    ::GetLocalTime(&time);
    std::vector<std::wstring> paths;
    if (::OpenClipboard(m_hWnd)) {
        if (HANDLE hDrop = ::GetClipboardData(CF_HDROP))
            paths = DroppedPaths(static_cast<HDROP>(hDrop));
        ::CloseClipboard();
    }
    if (paths.empty())
        ::MessageBeep(MB_OK);
    else
        QueueBackup(std::move(paths), time);
}

void CTallowboxView::SetStatusText(const std::wstring& text) {
    SetStatusText(text, std::wstring());
}

void CTallowboxView::SetStatusText(const std::wstring& text, const std::wstring& path) {
    CWnd* pMainWnd = AfxGetMainWnd();
    if (pMainWnd == nullptr)
        return;
    auto* pBar = dynamic_cast<CStatusBar*>(
        CWnd::FromHandlePermanent(pMainWnd->GetDescendantWindow(AFX_IDW_STATUS_BAR)));
    if (pBar != nullptr)
        pBar->SetPaneTextWithPath(0, text, path, TRUE);
}

void CTallowboxView::AppendRow(const BackupRow& row) {
    const RowTexts texts = RowTextsOf(row);
    const int index = m_list.InsertItem(m_list.GetItemCount(), texts.date.c_str());
    if (index < 0)
        return;
    m_list.SetItemText(index, 1, texts.time.c_str());
    m_list.SetItemText(index, 2, texts.name.c_str());
    m_list.SetItemText(index, 3, texts.source.c_str());
    m_list.SetItemText(index, 4, texts.destination.c_str());
    m_rows.push_back(row); // rows are only ever appended: the item's index is its place here
}

// ---- The rows' commands ----

std::wstring CTallowboxView::MomentText(const BackupRow& row) const {
    return RowDateText(row.time) + L" " + RowTimeText(row.time);
}

std::vector<BackupRow> CTallowboxView::SelectedRows(bool focusedFirst) const {
    std::vector<BackupRow> rows;
    const int focused =
        focusedFirst ? ListView_GetNextItem(m_list.m_hWnd, -1, LVNI_FOCUSED | LVNI_SELECTED) : -1;
    if (focused >= 0 && static_cast<size_t>(focused) < m_rows.size())
        rows.push_back(m_rows[static_cast<size_t>(focused)]);
    int item = -1;
    while ((item = ListView_GetNextItem(m_list.m_hWnd, item, LVNI_SELECTED)) >= 0)
        if (item != focused && static_cast<size_t>(item) < m_rows.size())
            rows.push_back(m_rows[static_cast<size_t>(item)]);
    return rows;
}

void CTallowboxView::ShowVersions(const BackupRow& row) {
    if (CWnd* pMainWnd = AfxGetMainWnd())
        pMainWnd->SendMessage(WM_SHOW_VERSIONS, 0, reinterpret_cast<LPARAM>(&row.originalPath));
}

void CTallowboxView::QueueRestore(std::vector<BackupRow> rows, const std::wstring& folder) {
    Doc().QueueRestore(std::move(rows), folder);
}

void CTallowboxView::QueueTask(CBackupWorker::Task task) {
    Doc().QueueTask(std::move(task));
}

std::wstring CTallowboxView::DiffToolPattern() const {
    return Doc().DiffToolPattern();
}

std::vector<std::wstring> CTallowboxView::LeftOutPatterns() const {
    return Doc().LeftOutPatterns();
}

bool CTallowboxView::IsWatched(const std::wstring& path) const {
    return Doc().IsWatched(path);
}

WatchRefusal CTallowboxView::ToggleWatch(const std::wstring& path) {
    return Doc().ToggleWatch(path);
}

// The status line says what the user must know (a file that stays locked, once); the list of
// watches shows the version's time.
void CTallowboxView::OnWatchVersion(WPARAM wParam, LPARAM lParam) {
    ShowStateText(Doc().OnVersionOutcome(wParam, lParam));
}

void CTallowboxView::ShowStateText(const std::wstring& text) {
    if (!text.empty())
        SetStatusText(text);
    OnWatchesChanged();
}

void CTallowboxView::OnWatchesChanged() {
    if (CWnd* pMainWnd = AfxGetMainWnd())
        pMainWnd->SendMessage(WM_WATCHES_CHANGED);
}
