#include "shell/TallowboxView.h"

#include "engine/TokenExtractor.h"
#include "framework/App.h"
#include "framework/Frame.h"
#include "framework/StatusBar.h"
#include "res/resource.h"

#include <vector>

const CRuntimeClass CTallowboxView::runtimeClass = {"CTallowboxView", &CFormView::runtimeClass,
                                                    &CreateDynamic<CTallowboxView>};

std::wstring CTallowboxView::s_programFolderOverride;

namespace {

struct ColumnSpec {
    const char* heading;
    int format;
    int width;
};

const ColumnSpec kColumns[] = {
    {"日付", LVCFMT_CENTER, 70},  {"時間", LVCFMT_CENTER, 70},  {"ファイル名", LVCFMT_LEFT, 150},
    {"保存元", LVCFMT_LEFT, 150}, {"保存先", LVCFMT_LEFT, 150},
};

// The list keeps this many pixels to the view's right and bottom edges.
const int kListMargin = 20;

} // namespace

CTallowboxView::CTallowboxView()
    : CFormView(IDD),
      m_strProgramFolder(s_programFolderOverride.empty() ? GetModuleFolder() : s_programFolderOverride),
      m_strBackupRoot(m_strProgramFolder + L"\\backups"), m_engine(m_strProgramFolder) {}

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
    InsertColumns();
    CaptureLayout();
    m_bLayoutReady = 1;
    BackupCommandLine();
}

void CTallowboxView::InsertColumns() {
    int index = 0;
    for (const ColumnSpec& column : kColumns)
        m_list.InsertColumn(index++, column.heading, column.format, column.width);
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
    // Showing or hiding a scroll bar above has resized the client area again (and that nested
    // size change has placed the list): measure what the client area is now, not what it was.
    CRect client;
    GetClientRect(&client);
    // Width and height are passed on even when they come out zero or negative.
    m_list.MoveWindow(m_rcList.left, m_rcList.top, client.Width() - kListMargin - m_rcList.left,
                      client.Height() - kListMargin - m_rcList.top, TRUE);
}

// Every double-quoted piece of the command line, in order, with one time stamp. A piece is
// taken whole whatever its length (the backup refuses a path too long for the platform and
// says so in its row); an empty piece names nothing and is skipped.
void CTallowboxView::BackupCommandLine() {
    CWinApp* pApp = AfxGetApp();
    CTokenExtractorW extractor;
    extractor.Parse(pApp != nullptr ? pApp->m_lpCmdLineW : nullptr, L"\"", L"\"");
    const int count = extractor.GetCount();
    SYSTEMTIME time;
    ::GetLocalTime(&time);
    for (int i = 1; i <= count; ++i) {
        const std::wstring path = extractor.GetTokenText(i);
        if (path.empty())
            continue;
        BackupItem(path.c_str(), time);
    }
}

BOOL CTallowboxView::PreTranslateMessage(MSG* pMsg) {
    if (pMsg->message == WM_DROPFILES)
        HandleDropFiles(reinterpret_cast<HDROP>(pMsg->wParam));
    return CFormView::PreTranslateMessage(pMsg);
}

// One drop: one time stamp, every path in the shell's order, the handle released once. Each
// path is read whole, however long (no fixed buffer to overrun).
void CTallowboxView::HandleDropFiles(HDROP hDropInfo) {
    SYSTEMTIME time;
    ::GetLocalTime(&time);
    ::SetCursor(::LoadCursor(nullptr, IDC_WAIT));
    const UINT count = ::DragQueryFileW(hDropInfo, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        const UINT length = ::DragQueryFileW(hDropInfo, i, nullptr, 0);
        std::vector<wchar_t> path(static_cast<size_t>(length) + 1, L'\0');
        ::DragQueryFileW(hDropInfo, i, path.data(), length + 1);
        if (path[0] == L'\0')
            continue;
        BackupItem(path.data(), time);
    }
    ::DragFinish(hDropInfo);
    ::SetCursor(::LoadCursor(nullptr, IDC_ARROW));
}

int CTallowboxView::BackupItem(LPCWSTR path, SYSTEMTIME time) {
    m_engine.BackUp(*this, path != nullptr ? path : L"", time);
    return 0;
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

void CTallowboxView::RepaintView() {
    UpdateWindow();
}

void CTallowboxView::AppendRow(const BackupRow& row) {
    const int index = m_list.InsertItem(m_list.GetItemCount(), row.date.c_str());
    if (index < 0)
        return;
    m_list.SetItemText(index, 1, row.time.c_str());
    m_list.SetItemText(index, 2, row.name.c_str());
    m_list.SetItemText(index, 3, row.source.c_str());
    m_list.SetItemText(index, 4, row.destination.c_str());
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
