// CHistoryWnd, the window: its creation, layout and messages, Esc, and the cleanup and 照合
// buttons. The reading of the history is HistoryReading.cpp; the list's text, the search and
// the answers to the row commands are HistoryListNotify.cpp.
#include "shell/history/HistoryWnd.h"

#include "engine/copy/Restore.h"
#include "engine/journal/Cleanup.h"
#include "res/resource.h"
#include "shell/document/TallowboxDoc.h"
#include "shell/history/CleanupDlg.h"
#include "shell/history/VersionCheckWnd.h"
#include "shell/search/SearchResultsWnd.h"

#include <commctrl.h>

namespace {

// Widths at 96 DPI; a heading that needs more gets more.
const ListColumn kHistoryColumns[] = {
    {IDS_COLUMN_DATE, LVCFMT_LEFT, 90},    {IDS_COLUMN_TIME, LVCFMT_LEFT, 50},
    {IDS_COLUMN_NAME, LVCFMT_LEFT, 150},   {IDS_COLUMN_ORIGINAL_FOLDER, LVCFMT_LEFT, 220},
    {IDS_COLUMN_SIZE, LVCFMT_RIGHT, 80},   {IDS_COLUMN_ADDED, LVCFMT_RIGHT, 80},
    {IDS_COLUMN_RESULT, LVCFMT_LEFT, 110}, {IDS_COLUMN_PLACE, LVCFMT_LEFT, 60},
    {IDS_COLUMN_CHECKED, LVCFMT_LEFT, 90},
};

} // namespace

CHistoryWnd::CHistoryWnd(CTallowboxDoc& doc)
    : CToolWnd(IDD_HISTORY, {360, 200}, Lifetime::OwnedByOpener), m_doc(doc) {}

CHistoryWnd::~CHistoryWnd() {
    m_searchResults.reset();
    m_versionCheck.reset();
    m_ledgerJob.reset();
    m_loader.reset();
    if (m_hWnd != nullptr)
        ::DestroyWindow(m_hWnd);
}

// Opens a little below and to the right of the main window, so neither hides the other's title.
BOOL CHistoryWnd::Create(CWnd* owner) {
    return ShowModelessBeside(owner, IDR_MAINFRAME, 40);
}

BOOL CHistoryWnd::OnInitDialog() {
    BindList(IDC_HISTORY_LIST, kHistoryColumns);
    // A version found damaged says which files in its tip.
    ::SendMessageW(m_list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_INFOTIP, LVS_EX_INFOTIP);
    m_commands.SetList(m_list);
    ::EnableWindow(GetDlgItem(IDC_HISTORY_CLEANUP), FALSE); // until the history is read
    ::EnableWindow(GetDlgItem(IDC_HISTORY_VERIFY), FALSE);
    Layout();
    WidenToShowColumns(m_list); // every column, 結果, 場所 and 確認 too, whole at the window's own size
    Reload();
    return TRUE;
}

// The search box and the summary keep their heights; the list takes the rest. Margins are
// dialog units, so they grow with the font at every scale.
void CHistoryWnd::Layout() {
    if (m_list == nullptr)
        return;
    const RECT margins = DialogUnits({7, 7, 6, 4}); // edge, top, gap, summary height's extra
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    const RECT button = ControlRect(IDC_HISTORY_CLEANUP), search = ControlRect(IDC_HISTORY_SEARCH),
               summary = ControlRect(IDC_HISTORY_SUMMARY);
    const int buttonWidth = button.right - button.left;
    PlaceControl(GetDlgItem(IDC_HISTORY_CLEANUP), client.right - margins.left - buttonWidth, button.top,
                 buttonWidth, button.bottom - button.top);
    PlaceControl(GetDlgItem(IDC_HISTORY_SEARCH), search.left, search.top,
                 client.right - margins.left - buttonWidth - margins.right - search.left,
                 search.bottom - search.top);
    const int summaryHeight = summary.bottom - summary.top;
    const int summaryTop = client.bottom - margins.bottom - summaryHeight;
    PlaceControl(GetDlgItem(IDC_HISTORY_SUMMARY), margins.left, summaryTop, client.right - 2 * margins.left,
                 summaryHeight);
    const int listTop = search.bottom + margins.bottom;
    PlaceControl(m_list, margins.left, listTop, client.right - 2 * margins.left,
                 summaryTop - margins.bottom - listTop);
    PlaceMirrorCheckButton();
}

// 照合 stands left of 整理, the search box ending before it.
void CHistoryWnd::PlaceMirrorCheckButton() {
    const RECT gap = DialogUnits({6, 0, 0, 0});
    const RECT cleanup = ControlRect(IDC_HISTORY_CLEANUP), check = ControlRect(IDC_HISTORY_VERIFY),
               search = ControlRect(IDC_HISTORY_SEARCH);
    const int width = check.right - check.left, left = cleanup.left - gap.left - width;
    PlaceControl(GetDlgItem(IDC_HISTORY_VERIFY), left, cleanup.top, width, cleanup.bottom - cleanup.top);
    const RECT content = ControlRect(IDC_HISTORY_CONTENT); // 内容 just left of 照合
    const int contentLeft = left - gap.left - (content.right - content.left);
    ::SetWindowPos(GetDlgItem(IDC_HISTORY_CONTENT), nullptr, contentLeft, content.top, 0, 0,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
    const int searchWidth = contentLeft - gap.left - search.left;
    ::SetWindowPos(GetDlgItem(IDC_HISTORY_SEARCH), nullptr, 0, 0, searchWidth > 0 ? searchWidth : 0,
                   search.bottom - search.top, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
}

LRESULT CHistoryWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->hwndFrom == m_list && header->code == LVN_GETDISPINFOW)
            OnGetDispInfo(reinterpret_cast<NMLVDISPINFOW*>(lParam));
        else if (header->hwndFrom == m_list && header->code == LVN_GETINFOTIPW)
            OnGetInfoTip(reinterpret_cast<NMLVGETINFOTIPW*>(lParam));
        else
            m_commands.HandleListNotify(header);
        return 0;
    }
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) == m_list) {
            m_commands.ShowMenu(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
            return 0;
        }
        break;
    case WM_COMMAND:
        if ((LOWORD(wParam) == IDC_HISTORY_SEARCH && HIWORD(wParam) == EN_CHANGE) ||
            (LOWORD(wParam) == IDC_HISTORY_CONTENT && HIWORD(wParam) == BN_CLICKED)) {
            OnSearchChanged();
            return 0;
        }
        if (LOWORD(wParam) == IDC_HISTORY_CLEANUP && HIWORD(wParam) == BN_CLICKED) {
            OnCleanup();
            return 0;
        }
        if (LOWORD(wParam) == IDC_HISTORY_VERIFY && HIWORD(wParam) == BN_CLICKED) {
            OnVersionCheck();
            return 0;
        }
        break;
    case WM_HISTORY_PART:
        OnHistoryPart(wParam, lParam);
        return 0;
    case WM_HISTORY_STORED:
        OnHistoryStored(wParam, lParam);
        return 0;
    case WM_HISTORY_DONE:
        OnHistoryDone(wParam);
        return 0;
    case WM_HISTORY_MIRROR:
        OnMirrorRead(wParam, lParam);
        return 0;
    case WM_CHECKS_CHANGED:
        ReadLedger();
        return 0;
    case WM_HISTORY_LEDGER:
        OnLedgerRead(lParam);
        return 0;
    case WM_HISTORY_REPAIRED:
        OnRowRepaired(lParam);
        return 0;
    case WM_DESTROY:
        m_searchResults.reset();
        m_versionCheck.reset();
        m_ledgerJob.reset();
        m_loader.reset();
        break;
    default:
        break;
    }
    return CToolWnd::WindowProc(message, wParam, lParam);
}

BOOL CHistoryWnd::PreTranslateMessage(MSG* pMsg) {
    if (m_commands.HandleListKey(*pMsg))
        return TRUE;
    // Esc stops the running work, as in the main window; with nothing running it closes.
    if (pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_ESCAPE && m_doc.IsBackingUp()) {
        m_doc.StopBackups();
        return TRUE;
    }
    return CToolWnd::PreTranslateMessage(pMsg);
}

// 照合 reads the versions the list shows, of the history as it was read now, on a thread of its
// own, in a window of its own.
void CHistoryWnd::OnVersionCheck() {
    if (!m_loaded)
        return;
    m_versionCheck.reset(new CVersionCheckWnd(m_history, m_shown, BackupRoot(), MirrorRoot()));
    if (!m_versionCheck->Create(this))
        m_versionCheck.reset();
}

// The dialog shows what would go; on OK the copies go on the backup worker (Esc stops it), from
// the history as it was read: a reading started meanwhile fills a history of its own.
void CHistoryWnd::OnCleanup() {
    if (!m_loaded)
        return;
    CCleanupDlg dialog(*m_history, BackupRoot(), this);
    if (dialog.DoModal() != IDOK || dialog.Plan().entries.empty())
        return;
    std::shared_ptr<const CHistory> history = m_history;
    const CleanupPlan plan = dialog.Plan();
    const std::wstring root = BackupRoot();
    m_doc.QueueTask([history, plan, root](CBackupEngine& engine, CBackupHost& host) {
        SYSTEMTIME now;
        ::GetLocalTime(&now);
        RunCleanup(host, root, *history, plan, engine.StopFlag(), now);
    });
}

// The search reads a history no reading changes: the one shown once whole, else a copy of it so far.
void CHistoryWnd::OnOK() {
    if (::IsDlgButtonChecked(m_hWnd, IDC_HISTORY_CONTENT) != BST_CHECKED || SearchText().empty())
        return;
    std::shared_ptr<CHistory> history = m_history;
    if (!m_loaded) {
        history = std::make_shared<CHistory>();
        AppendHistory(*history, *m_history);
    }
    m_searchResults.reset(new CSearchResultsWnd(history, m_shown, SearchText(), BackupRoot(), MirrorRoot()));
    if (!m_searchResults->Create(this))
        m_searchResults.reset();
}
