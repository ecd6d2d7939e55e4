#include "shell/TallowboxView.h"

#include "engine/CommandLineItems.h"
#include "engine/Restore.h"
#include "engine/Settings.h"
#include "framework/App.h"
#include "framework/Dpi.h"
#include "framework/Frame.h"
#include "framework/StatusBar.h"
#include "res/resource.h"
#include "shell/RowActions.h"

#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <cwchar>
#include <vector>

namespace {

int AskWithMessageBox(HWND owner, const std::wstring& text, UINT type) {
    return ::MessageBoxW(owner, text.c_str(), L"Tallowbox", type);
}

UINT TrackRowMenu(HMENU menu, int x, int y, HWND owner) {
    return static_cast<UINT>(
        ::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, x, y, 0, owner, nullptr));
}

} // namespace

const CRuntimeClass CTallowboxView::runtimeClass = {"CTallowboxView", &CFormView::runtimeClass,
                                                    &CreateDynamic<CTallowboxView>};

std::wstring CTallowboxView::s_programFolderOverride;
CTallowboxView::ItemShower CTallowboxView::s_pfnShowItems = &ShowItemsInShell;
CTallowboxView::Asker CTallowboxView::s_pfnAsk = &AskWithMessageBox;
CTallowboxView::MenuTracker CTallowboxView::s_pfnTrackMenu = &TrackRowMenu;

namespace {

struct ColumnSpec {
    const char* heading;
    int format;
    int width;
};

// Widths at 96 DPI; each display scale widens them alike.
const ColumnSpec kColumns[] = {
    {"日付", LVCFMT_CENTER, 70},  {"時間", LVCFMT_CENTER, 70},  {"ファイル名", LVCFMT_LEFT, 150},
    {"保存元", LVCFMT_LEFT, 150}, {"保存先", LVCFMT_LEFT, 150},
};

// The list keeps this many pixels (at 96 DPI) to the view's right and bottom edges.
const int kListMargin = 20;

// The progress is shown at most once a display frame: a text replaced within one is never seen.
const UINT_PTR kProgressTimer = 1;
const UINT kFrameMs = 16;

// Files copied at once by a folder item: the file system's waits overlap.
const unsigned kCopiers = 4;

// "12 ファイル, 3.4 MB": what the running item has copied so far.
std::wstring CountsText(const BackupProgress& progress) {
    wchar_t text[64];
    const double megabytes = static_cast<double>(progress.bytes) / (1024.0 * 1024.0);
    std::swprintf(text, 64, L"%u ファイル, %.1f MB", progress.files, megabytes);
    return text;
}

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

namespace {

// %LOCALAPPDATA%: where backups go when the program's folder cannot be written. Empty when unknown.
std::wstring LocalAppDataFolder() {
    std::wstring folder;
    wchar_t* known = nullptr;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &known)) && known != nullptr)
        folder = known;
    ::CoTaskMemFree(known);
    if (folder.empty()) {
        std::vector<wchar_t> buffer(32768);
        const DWORD length =
            ::GetEnvironmentVariableW(L"LOCALAPPDATA", buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length > 0 && length < buffer.size())
            folder.assign(buffer.data(), length);
    }
    return folder;
}

// What the user is told once at start: the backups folder when it is not the usual one or cannot
// be used, and a settings file that was not read whole. Empty when there is nothing to say.
std::wstring StartNotice(const BackupFolderChoice& choice, const TallowboxSettings& settings) {
    std::vector<std::wstring> parts;
    if (choice.error != ERROR_SUCCESS)
        parts.push_back(L"バックアップフォルダ " + choice.root + L" に保存できません（" +
                        SystemMessage(choice.error) + L"）");
    else if (choice.source == BackupFolderChoice::Source::FellBack)
        parts.push_back(L"バックアップは " + choice.root +
                        L" に保存します（プログラムのフォルダに書き込めないため）");
    if (settings.tooLarge)
        parts.push_back(std::wstring(kSettingsFileName) + L" は大きすぎるため読みませんでした");
    if (settings.skippedLines > 0)
        parts.push_back(std::wstring(kSettingsFileName) + L" の" + std::to_wstring(settings.skippedLines) +
                        L"行を読み取れませんでした");
    std::wstring notice;
    for (const std::wstring& part : parts)
        notice += (notice.empty() ? L"" : L"。") + part;
    return notice;
}

} // namespace

CTallowboxView::CTallowboxView()
    : CFormView(IDD),
      m_strProgramFolder(s_programFolderOverride.empty() ? GetModuleFolder() : s_programFolderOverride) {
    const TallowboxSettings settings = ReadSettings(m_strProgramFolder);
    const BackupFolderChoice choice = ChooseBackupFolder(m_strProgramFolder, settings, LocalAppDataFolder());
    m_strBackupRoot = choice.root;
    m_leftOutPatterns = settings.excludes;
    m_strStartNotice = StartNotice(choice, settings);
}

CTallowboxView::~CTallowboxView() {
    RemoveTrayIcon();
}

void CTallowboxView::DoDataExchange(CDataExchange* pDX) {
    DDX_Control(pDX, IDC_BACKUP_LIST, m_list);
}

LRESULT CTallowboxView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
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
        OnTrayNotify(lParam);
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
    case WM_NOTIFY:
        OnListNotify(reinterpret_cast<const NMHDR*>(lParam));
        break;
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) == m_list.m_hWnd) {
            ShowRowMenu(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
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
    m_nDpi = DpiOfWindow(m_hWnd);
    InsertColumns();
    // A right-click or double-click anywhere on a row takes the row, not only on its date.
    ::SendMessageW(m_list.m_hWnd, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    CaptureLayout();
    m_bLayoutReady = 1;
    m_worker.reset(
        new CBackupWorker(m_hWnd, m_strProgramFolder, kCopiers, m_strBackupRoot, m_leftOutPatterns));
    if (!m_strStartNotice.empty())
        SetStatusText(m_strStartNotice); // before the command line's items, whose texts follow it
    BackupCommandLine();
}

void CTallowboxView::InsertColumns() {
    int index = 0;
    for (const ColumnSpec& column : kColumns)
        m_list.InsertColumn(index++, column.heading, column.format, Scale(column.width, m_nDpi));
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
    if (!m_worker)
        return;
    m_worker->Queue(std::move(paths), time);
    ::SetTimer(m_hWnd, kProgressTimer, kFrameMs, nullptr);
    ::SetCursor(::LoadCursor(nullptr, IDC_APPSTARTING)); // working, and the window still answers
}

void CTallowboxView::StopBackups() {
    if (m_worker)
        m_worker->StopAll();
}

bool CTallowboxView::IsBackingUp() const {
    return m_worker && m_worker->IsBusy();
}

void CTallowboxView::OnDestroy() {
    ::KillTimer(m_hWnd, kProgressTimer);
    m_worker.reset(); // stops the copy; the thread ends before what it uses goes
}

// The running copy's file and counts, when they changed since the last frame.
void CTallowboxView::ShowProgress() {
    if (!m_worker)
        return;
    const BackupProgress progress = m_worker->Progress();
    if (progress.changes == m_shownChanges)
        return;
    m_shownChanges = progress.changes;
    CWnd* pMainWnd = AfxGetMainWnd();
    auto* pBar = pMainWnd == nullptr ? nullptr
                                     : dynamic_cast<CStatusBar*>(CWnd::FromHandlePermanent(
                                           pMainWnd->GetDescendantWindow(AFX_IDW_STATUS_BAR)));
    if (pBar == nullptr)
        return;
    if (!progress.text.empty())
        pBar->SetPaneText(0, progress.text.c_str(), TRUE);
    if (pBar->GetCount() > 1)
        pBar->SetPaneText(1, CountsText(progress).c_str(), TRUE);
}

void CTallowboxView::OnBackupRow(LPARAM lParam) {
    std::unique_ptr<BackupRow> row(reinterpret_cast<BackupRow*>(lParam));
    ShowProgress(); // the item's last file is shown before its row
    AppendRow(*row);
}

void CTallowboxView::OnBackupStatus(LPARAM lParam) {
    std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lParam));
    SetStatusText(*text);
}

void CTallowboxView::OnBackupIdle() {
    if (IsBackingUp())
        return;
    ::KillTimer(m_hWnd, kProgressTimer);
    ShowProgress();
    ::SetCursor(::LoadCursor(nullptr, IDC_ARROW));
}

BOOL CTallowboxView::PreTranslateMessage(MSG* pMsg) {
    if (pMsg->message == WM_DROPFILES)
        HandleDropFiles(reinterpret_cast<HDROP>(pMsg->wParam));
    // Taken before the form's dialog keys would make Esc "cancel" and swallow the rest.
    if (HandleListKey(pMsg) || TranslateShortcut(*pMsg))
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
    CWnd* pMainWnd = AfxGetMainWnd();
    if (pMainWnd == nullptr)
        return;
    auto* pBar = dynamic_cast<CStatusBar*>(
        CWnd::FromHandlePermanent(pMainWnd->GetDescendantWindow(AFX_IDW_STATUS_BAR)));
    if (pBar != nullptr)
        pBar->SetPaneText(0, text.c_str(), TRUE);
}

void CTallowboxView::AppendRow(const BackupRow& row) {
    const int index = m_list.InsertItem(m_list.GetItemCount(), row.date.c_str());
    if (index < 0)
        return;
    m_list.SetItemText(index, 1, row.time.c_str());
    m_list.SetItemText(index, 2, row.name.c_str());
    m_list.SetItemText(index, 3, row.source.c_str());
    m_list.SetItemText(index, 4, row.destination.c_str());
    m_rows.push_back(row); // rows are only ever appended: the item's index is its place here
}

// The notification icon is never added by this program; these keep what its callback does
// should one be shown, and never touch an icon that was not set.
void CTallowboxView::OnTrayNotify(LPARAM lParam) {
    switch (static_cast<UINT>(lParam)) {
    case WM_LBUTTONDOWN:
        RemoveTrayIcon();
        if (CWnd* pMainWnd = AfxGetMainWnd())
            pMainWnd->PostMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
        break;
    case WM_RBUTTONDOWN:
        ShowTrayMenu();
        break;
    default:
        break;
    }
}

void CTallowboxView::RemoveTrayIcon() {
    if (!m_bTrayIcon)
        return;
    ::Shell_NotifyIconA(NIM_DELETE, &m_nid);
    m_bTrayIcon = 0;
}

// The menu's first entry is a command, not a popup: then there is nothing to track.
void CTallowboxView::ShowTrayMenu() {
    POINT cursor;
    ::GetCursorPos(&cursor);
    ::SetForegroundWindow(m_hWnd);
    HMENU hMenu = ::LoadMenuA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME));
    if (hMenu == nullptr)
        return;
    if (HMENU hPopup = ::GetSubMenu(hMenu, 0))
        ::TrackPopupMenu(hPopup, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, m_hWnd, nullptr);
    PostMessage(WM_NULL);
    ::DestroyMenu(hMenu);
}

// ---- The rows' commands ----

namespace {

class CScopedMenu {
public:
    explicit CScopedMenu(HMENU menu) : m_menu(menu) {}
    ~CScopedMenu() {
        if (m_menu != nullptr)
            ::DestroyMenu(m_menu);
    }
    CScopedMenu(const CScopedMenu&) = delete;
    CScopedMenu& operator=(const CScopedMenu&) = delete;
    HMENU get() const { return m_menu; }

private:
    HMENU m_menu;
};

} // namespace

BOOL CTallowboxView::HandleListKey(const MSG* pMsg) {
    if (pMsg->hwnd != m_list.m_hWnd)
        return FALSE;
    // The menu key, on its release as the system does; taken here so the menu opens once even
    // where the default handling makes no WM_CONTEXTMENU of it.
    if (pMsg->message == WM_KEYUP && pMsg->wParam == VK_APPS) {
        ShowRowMenu(-1, -1);
        return TRUE;
    }
    if (pMsg->message != WM_KEYDOWN)
        return FALSE;
    // Taken before the form's dialog keys would make Enter its default button.
    if (pMsg->wParam == VK_RETURN) {
        ShowSelectedBackups();
        return TRUE;
    }
    if (pMsg->wParam == 'C' && ::GetKeyState(VK_CONTROL) < 0) {
        CopySelectedBackupPaths();
        return TRUE;
    }
    return FALSE;
}

void CTallowboxView::OnListNotify(const NMHDR* pHeader) {
    if (pHeader->hwndFrom != m_list.m_hWnd || pHeader->code != NM_DBLCLK)
        return;
    if (reinterpret_cast<const NMITEMACTIVATE*>(pHeader)->iItem >= 0)
        ShowSelectedBackups();
}

std::vector<BackupRow> CTallowboxView::SelectedRows() const {
    std::vector<BackupRow> rows;
    int item = -1;
    while ((item = ListView_GetNextItem(m_list.m_hWnd, item, LVNI_SELECTED)) >= 0)
        if (static_cast<size_t>(item) < m_rows.size())
            rows.push_back(m_rows[static_cast<size_t>(item)]);
    return rows;
}

void CTallowboxView::ShowRowMenu(int x, int y) {
    const std::vector<BackupRow> rows = SelectedRows();
    if (rows.empty())
        return;
    if (x == -1 && y == -1) {
        int item = ListView_GetNextItem(m_list.m_hWnd, -1, LVNI_FOCUSED | LVNI_SELECTED);
        if (item < 0)
            item = ListView_GetNextItem(m_list.m_hWnd, -1, LVNI_SELECTED);
        RECT rect = {};
        ListView_GetItemRect(m_list.m_hWnd, item, &rect, LVIR_LABEL);
        POINT corner = {rect.left, rect.bottom};
        ::ClientToScreen(m_list.m_hWnd, &corner);
        x = corner.x;
        y = corner.y;
    }
    CScopedMenu menu(::LoadMenuW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_ROW_MENU)));
    HMENU popup = menu.get() != nullptr ? ::GetSubMenu(menu.get(), 0) : nullptr;
    if (popup == nullptr)
        return;
    ::SetMenuDefaultItem(popup, ID_ROW_SHOW_BACKUP, FALSE);
    const bool restorable = std::all_of(rows.begin(), rows.end(), &CanRestore);
    ::EnableMenuItem(popup, ID_ROW_RESTORE, MF_BYCOMMAND | (restorable ? MF_ENABLED : MF_GRAYED));
    RunRowCommand(s_pfnTrackMenu(popup, x, y, m_hWnd));
}

void CTallowboxView::RunRowCommand(UINT command) {
    switch (command) {
    case ID_ROW_SHOW_BACKUP:
        ShowSelectedBackups();
        break;
    case ID_ROW_SHOW_ORIGINAL:
        ShowSelectedOriginals();
        break;
    case ID_ROW_COPY_PATH:
        CopySelectedBackupPaths();
        break;
    case ID_ROW_RESTORE:
        RestoreSelected();
        break;
    default:
        break; // the menu was closed without a choice
    }
}

// What is left of each backup inside the backup root: a failed or stopped copy shows the
// nearest folder of it that was made.
void CTallowboxView::ShowSelectedBackups() {
    const std::wstring root = PlainPath(m_strBackupRoot);
    std::vector<std::wstring> items;
    for (const BackupRow& row : SelectedRows()) {
        const std::wstring part = NearestExistingPart(PlainPath(row.backupPath), root);
        if (part.empty())
            SetStatusText(row.originalPath + L"のバックアップは見つかりませんでした");
        else
            items.push_back(part);
    }
    ShowInShell(items);
}

void CTallowboxView::ShowSelectedOriginals() {
    std::vector<std::wstring> items;
    for (const BackupRow& row : SelectedRows()) {
        const std::wstring part = NearestExistingPart(PlainPath(row.originalPath), std::wstring());
        if (part.empty())
            SetStatusText(row.originalPath + L"は見つかりませんでした");
        else
            items.push_back(part);
    }
    ShowInShell(items);
}

void CTallowboxView::ShowInShell(const std::vector<std::wstring>& items) {
    std::vector<std::pair<std::wstring, std::vector<std::wstring>>> folders; // in the rows' order
    for (const std::wstring& item : items) {
        const std::wstring folder = FolderToShow(item);
        auto entry = std::find_if(folders.begin(), folders.end(),
                                  [&](const auto& known) { return known.first == folder; });
        if (entry == folders.end())
            entry = folders.insert(folders.end(), {folder, {}});
        if (std::find(entry->second.begin(), entry->second.end(), item) == entry->second.end())
            entry->second.push_back(item);
    }
    for (const auto& folder : folders)
        s_pfnShowItems(folder.first, folder.second);
}

void CTallowboxView::CopySelectedBackupPaths() {
    const std::vector<BackupRow> rows = SelectedRows();
    if (rows.empty())
        return;
    if (!PutTextOnClipboard(m_hWnd, BackupPathsText(rows)))
        SetStatusText(L"クリップボードに書き込めませんでした");
}

// One question for every selected row; on Yes the worker backs up what is there now and puts
// each backup back, in the rows' order, with one time stamp.
void CTallowboxView::RestoreSelected() {
    std::vector<BackupRow> rows = SelectedRows();
    if (rows.empty() || !std::all_of(rows.begin(), rows.end(), &CanRestore) || !m_worker)
        return;
    CWnd* pMainWnd = AfxGetMainWnd();
    const HWND owner = pMainWnd != nullptr ? pMainWnd->m_hWnd : m_hWnd;
    if (s_pfnAsk(owner, RestoreQuestion(rows), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;
    SYSTEMTIME time;
    ::GetLocalTime(&time);
    m_worker->QueueRestore(std::move(rows), time);
    ::SetTimer(m_hWnd, kProgressTimer, kFrameMs, nullptr);
    ::SetCursor(::LoadCursor(nullptr, IDC_APPSTARTING));
}
