#include "shell/compare/CompareFoldersWnd.h"

#include "framework/App.h"
#include "framework/Language.h"
#include "res/resource.h"
#include "shell/words/Wording.h"

namespace {

// Widths at 96 DPI; a heading that needs more gets more.
const ListColumn kColumns[] = {
    {IDS_COLUMN_RELATIVE_PATH, LVCFMT_LEFT, 240}, {IDS_COLUMN_DIFFERENCE, LVCFMT_LEFT, 60},
    {IDS_COLUMN_OLDER_SIZE, LVCFMT_RIGHT, 80},    {IDS_COLUMN_OLDER_TIME, LVCFMT_LEFT, 125},
    {IDS_COLUMN_NEWER_SIZE, LVCFMT_RIGHT, 80},    {IDS_COLUMN_NEWER_TIME, LVCFMT_LEFT, 125},
};

UINT StateText(FolderEntryState state) {
    switch (state) {
    case FolderEntryState::Changed:
        return IDS_FOLDER_CHANGED;
    case FolderEntryState::Added:
        return IDS_FOLDER_ADDED;
    case FolderEntryState::Removed:
        return IDS_FOLDER_REMOVED;
    case FolderEntryState::Same:
        return IDS_FOLDER_SAME;
    case FolderEntryState::Unreadable:
        return IDS_FOLDER_UNREADABLE;
    }
    return IDS_FOLDER_SAME;
}

bool HasOlder(const FolderEntry& entry) {
    return entry.state != FolderEntryState::Added && !entry.folder;
}

bool HasNewer(const FolderEntry& entry) {
    return entry.state != FolderEntryState::Removed && !entry.folder;
}

} // namespace

CCompareFoldersWnd* CCompareFoldersWnd::Open(HWND owner, const CompareRequest& request) {
    if (!RegisterCompareClasses())
        return nullptr;
    auto* window = new CCompareFoldersWnd(request);
    return ShowOwnedBeside(window, owner, IDR_MAINFRAME, 60) ? window : nullptr;
}

CCompareFoldersWnd::CCompareFoldersWnd(const CompareRequest& request)
    : CToolWnd(IDD_COMPARE_FOLDERS, {360, 200}, Lifetime::OwnsItself), m_request(request) {}

BOOL CCompareFoldersWnd::OnInitDialog() {
    ::SetWindowTextW(m_hWnd, FormatResourceText(IDS_FOLDERS_TITLE, {m_request.itemName}).c_str());
    BindList(IDC_FOLDERS_LIST, kColumns);
    Layout();
    WidenToShowColumns(m_list);
    ::SetDlgItemTextW(m_hWnd, IDC_FOLDERS_SUMMARY, LoadResourceText(IDS_COMPARE_READING).c_str());
    // The same files are always counted; they are kept too, so the box shows them without reading again.
    FolderCompareOptions options;
    options.excludes = m_request.excludes;
    options.backupRoot = m_request.backupRoot;
    options.listSame = true;
    const std::wstring older = m_request.older.path, newer = m_request.newer.path;
    m_job.reset(new CWindowJob<FolderComparison>(
        m_hWnd, WM_COMPARE_FOLDERS_DONE, [older, newer, options](const BOOL* stop, FolderComparison* result) {
            FolderCompareOptions withStop = options;
            withStop.stop = stop;
            *result = CompareFolders(older, newer, withStop);
        }));
    return TRUE;
}

// The check box and the summary keep their heights; the list takes the rest.
void CCompareFoldersWnd::Layout() {
    if (m_list == nullptr)
        return;
    const RECT margins = DialogUnits({7, 6, 0, 0});
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    const RECT box = ControlRect(IDC_FOLDERS_SHOW_SAME), summary = ControlRect(IDC_FOLDERS_SUMMARY);
    const int width = client.right - 2 * margins.left;
    const int summaryHeight = summary.bottom - summary.top;
    const int summaryTop = client.bottom - margins.top - summaryHeight;
    PlaceControl(GetDlgItem(IDC_FOLDERS_SUMMARY), margins.left, summaryTop, width, summaryHeight);
    const int listTop = box.bottom + margins.top / 2;
    PlaceControl(m_list, margins.left, listTop, width, summaryTop - margins.top - listTop);
}

LRESULT CCompareFoldersWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->hwndFrom == m_list && header->code == LVN_GETDISPINFOW)
            OnGetDispInfo(reinterpret_cast<NMLVDISPINFOW*>(lParam));
        else if (header->hwndFrom == m_list && header->code == NM_DBLCLK)
            OpenPair(reinterpret_cast<const NMITEMACTIVATE*>(lParam)->iItem);
        return 0;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_FOLDERS_SHOW_SAME && HIWORD(wParam) == BN_CLICKED) {
            ShowEntries();
            return 0;
        }
        break;
    case WM_COMPARE_FOLDERS_DONE:
        OnCompareDone(lParam);
        return 0;
    default:
        break;
    }
    return CToolWnd::WindowProc(message, wParam, lParam);
}

// Enter on a row opens its pair, as a double-click does.
BOOL CCompareFoldersWnd::PreTranslateMessage(MSG* pMsg) {
    if (pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_RETURN && pMsg->hwnd == m_list) {
        OpenPair(ListView_GetNextItem(m_list, -1, LVNI_FOCUSED | LVNI_SELECTED));
        return TRUE;
    }
    return CToolWnd::PreTranslateMessage(pMsg);
}

void CCompareFoldersWnd::OnCompareDone(LPARAM lParam) {
    m_comparison.reset(reinterpret_cast<FolderComparison*>(lParam));
    m_job.reset();
    m_done = true;
    ShowEntries();
}

void CCompareFoldersWnd::ShowEntries() {
    m_shown.clear();
    const bool showSame = ::IsDlgButtonChecked(m_hWnd, IDC_FOLDERS_SHOW_SAME) == BST_CHECKED;
    if (m_comparison)
        for (size_t index = 0; index < m_comparison->entries.size(); ++index)
            if (showSame || m_comparison->entries[index].state != FolderEntryState::Same)
                m_shown.push_back(static_cast<uint32_t>(index));
    ::SendMessageW(m_list, LVM_SETITEMCOUNT, 0, 0);
    ::SendMessageW(m_list, LVM_SETITEMCOUNT, m_shown.size(), 0);
    ::InvalidateRect(m_list, nullptr, TRUE);
    ShowSummary();
}

void CCompareFoldersWnd::ShowSummary() {
    std::wstring text;
    if (!m_comparison) {
        text = FormatResourceText(IDS_COMPARE_UNREADABLE,
                                  {m_request.older.path, SystemMessage(ERROR_NOT_ENOUGH_MEMORY)});
    } else {
        const FolderComparison& compare = *m_comparison;
        switch (compare.outcome) {
        case FolderCompareOutcome::Done:
        case FolderCompareOutcome::Stopped: {
            const FolderCompareCounts& counts = compare.counts;
            text = FormatResourceText(IDS_FOLDERS_SUMMARY,
                                      {std::to_wstring(counts.changed), std::to_wstring(counts.added),
                                       std::to_wstring(counts.removed), std::to_wstring(counts.same)});
            if (counts.unreadable > 0)
                text += FormatResourceText(IDS_FOLDERS_UNREADABLE, {std::to_wstring(counts.unreadable)});
            if (compare.outcome == FolderCompareOutcome::Stopped)
                text += LoadResourceText(IDS_FOLDERS_STOPPED);
            break;
        }
        case FolderCompareOutcome::OlderMissing:
            text = FormatResourceText(IDS_COMPARE_COPY_MISSING, {m_request.older.path});
            break;
        case FolderCompareOutcome::NewerMissing:
            text = FormatResourceText(m_request.newer.current ? IDS_COMPARE_FOLDER_MISSING
                                                              : IDS_COMPARE_COPY_MISSING,
                                      {m_request.newer.path});
            break;
        case FolderCompareOutcome::OlderUnreadable:
            text = FormatResourceText(IDS_COMPARE_UNREADABLE,
                                      {m_request.older.path, SystemMessage(compare.error)});
            break;
        case FolderCompareOutcome::NewerUnreadable:
            text = FormatResourceText(IDS_COMPARE_UNREADABLE,
                                      {m_request.newer.path, SystemMessage(compare.error)});
            break;
        }
    }
    ::SetDlgItemTextW(m_hWnd, IDC_FOLDERS_SUMMARY, text.c_str());
}

void CCompareFoldersWnd::OnGetDispInfo(NMLVDISPINFOW* info) {
    if (!(info->item.mask & LVIF_TEXT) || !m_comparison || info->item.iItem < 0 ||
        static_cast<size_t>(info->item.iItem) >= m_shown.size() || info->item.cchTextMax <= 0)
        return;
    m_cellText =
        CellText(m_comparison->entries[m_shown[static_cast<size_t>(info->item.iItem)]], info->item.iSubItem);
    SetDispInfoText(info, m_cellText);
}

std::wstring CCompareFoldersWnd::CellText(const FolderEntry& entry, int column) const {
    switch (column) {
    case 0:
        return entry.path;
    case 1:
        return entry.state == FolderEntryState::Unreadable && entry.error != ERROR_SUCCESS
                   ? FormatResourceText(IDS_FOLDER_UNREADABLE_WHY, {SystemMessage(entry.error)})
                   : LoadResourceText(StateText(entry.state));
    case 2:
        return HasOlder(entry) ? SizeText(entry.older.size) : std::wstring();
    case 3:
        return HasOlder(entry) ? FactsTimeText(entry.older.modified) : std::wstring();
    case 4:
        return HasNewer(entry) ? SizeText(entry.newer.size) : std::wstring();
    case 5:
        return HasNewer(entry) ? FactsTimeText(entry.newer.modified) : std::wstring();
    default:
        return std::wstring();
    }
}

// Each side's file below its folder, under the headers of the folders' own sides.
void CCompareFoldersWnd::OpenPair(int item) {
    if (!m_comparison || item < 0 || static_cast<size_t>(item) >= m_shown.size())
        return;
    const FolderEntry& entry = m_comparison->entries[m_shown[static_cast<size_t>(item)]];
    if (entry.state != FolderEntryState::Changed || entry.folder)
        return;
    CompareRequest pair;
    pair.older = m_request.older;
    pair.newer = m_request.newer;
    pair.older.path += L"\\" + entry.path;
    pair.newer.path += L"\\" + entry.path;
    pair.itemName = LastComponent(entry.path);
    CCompareWnd::Open(m_hWnd, pair);
}
