#include "shell/history/MirrorCheckWnd.h"

#include "framework/Language.h"
#include "res/resource.h"
#include "engine/base/BackupPaths.h"
#include "shell/words/Wording.h"

#include <commctrl.h>

namespace {

// Widths at 96 DPI; a heading that needs more gets more.
const ListColumn kColumns[] = {
    {IDS_COLUMN_DATE, LVCFMT_LEFT, 90},         {IDS_COLUMN_TIME, LVCFMT_LEFT, 50},
    {IDS_COLUMN_NAME, LVCFMT_LEFT, 150},        {IDS_COLUMN_ORIGINAL_FOLDER, LVCFMT_LEFT, 180},
    {IDS_CHECK_COLUMN_FOUND, LVCFMT_LEFT, 110}, {IDS_CHECK_COLUMN_RECORD, LVCFMT_LEFT, 110},
};

// Which copy still matches the version's journal record.
UINT RecordMatchText(const MirrorDifference& difference) {
    const bool local = difference.local == RecordMatch::Matches,
               mirror = difference.mirror == RecordMatch::Matches;
    if (local && mirror)
        return IDS_PLACE_BOTH;
    if (local)
        return IDS_PLACE_HERE;
    if (mirror)
        return IDS_PLACE_MIRROR;
    const bool unknown =
        difference.local == RecordMatch::Unknown || difference.mirror == RecordMatch::Unknown;
    return unknown ? IDS_CHECK_RECORD_UNKNOWN : IDS_CHECK_RECORD_NEITHER;
}

} // namespace

CMirrorCheckWnd::CMirrorCheckWnd(std::shared_ptr<const CHistory> history, std::wstring backupRoot,
                                 std::wstring mirrorRoot)
    : CToolWnd(IDD_MIRROR_CHECK, {0, 0}, Lifetime::OwnedByOpener), m_history(std::move(history)),
      m_backupRoot(std::move(backupRoot)), m_mirrorRoot(std::move(mirrorRoot)) {}

BOOL CMirrorCheckWnd::Create(CWnd* owner) {
    return ShowModelessBeside(owner, IDR_MAINFRAME, 40);
}

BOOL CMirrorCheckWnd::OnInitDialog() {
    BindList(IDC_CHECK_LIST, kColumns);
    Layout();
    WidenToShowColumns(m_list);
    ::SetWindowTextW(m_hWnd, LoadResourceText(IDS_CHECK_READING).c_str());
    // The thread holds the history it reads: a check left to end by itself keeps it.
    std::shared_ptr<const CHistory> history = m_history;
    const std::wstring backupRoot = m_backupRoot, mirrorRoot = m_mirrorRoot;
    m_job.reset(new CWindowJob<MirrorCheckResult>(
        m_hWnd, WM_MIRROR_CHECK_DONE,
        [history, backupRoot, mirrorRoot](const BOOL* stop, MirrorCheckResult* result) {
            *result = CheckMirror(*history, backupRoot, mirrorRoot, stop);
        }));
    return TRUE;
}

// The list fills the window within the dialog's margin.
void CMirrorCheckWnd::Layout() {
    if (m_list == nullptr)
        return;
    const RECT margin = DialogUnits({7, 7, 0, 0});
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    PlaceControl(m_list, margin.left, margin.top, client.right - 2 * margin.left,
                 client.bottom - 2 * margin.top);
}

LRESULT CMirrorCheckWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_MIRROR_CHECK_DONE:
        OnDone(lParam);
        return 0;
    default:
        break;
    }
    return CToolWnd::WindowProc(message, wParam, lParam);
}

// The reading ended (or was stopped): what it found is listed, and Esc closes from now on.
void CMirrorCheckWnd::OnDone(LPARAM lParam) {
    std::unique_ptr<MirrorCheckResult> result(reinterpret_cast<MirrorCheckResult*>(lParam));
    m_job.reset();
    if (!result)
        return;
    m_done = true;
    for (const MirrorDifference& difference : result->differences)
        AddRow(difference);
    const std::wstring summary =
        FormatResourceText(result->stopped ? IDS_CHECK_STOPPED : IDS_CHECK_SUMMARY,
                           {std::to_wstring(result->checked), std::to_wstring(result->differences.size())});
    ::SetWindowTextW(m_hWnd, summary.c_str());
}

void CMirrorCheckWnd::AddRow(const MirrorDifference& difference) {
    const HistoryEntry& entry = m_history->entries[difference.entry];
    const std::wstring& original = m_history->Original(entry);
    const std::wstring texts[] = {
        HistoryDateText(entry.time),
        HistoryTimeText(entry.time),
        original.empty() ? m_history->texts.Text(entry.copyName) : LastComponent(original),
        original.empty() ? LoadResourceText(IDS_HISTORY_UNKNOWN_FOLDER) : WithoutLastComponent(original),
        LoadResourceText(difference.mirrorMissing ? IDS_CHECK_MIRROR_MISSING : IDS_CHECK_DIFFERENT),
        LoadResourceText(RecordMatchText(difference)),
    };
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(::SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<wchar_t*>(texts[0].c_str());
    item.iItem =
        static_cast<int>(::SendMessageW(m_list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    for (int column = 1; column < static_cast<int>(sizeof texts / sizeof texts[0]); ++column) {
        item.iSubItem = column;
        item.pszText = const_cast<wchar_t*>(texts[column].c_str());
        ::SendMessageW(m_list, LVM_SETITEMTEXTW, static_cast<WPARAM>(item.iItem),
                       reinterpret_cast<LPARAM>(&item));
    }
}
