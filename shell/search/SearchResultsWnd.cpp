#include "shell/search/SearchResultsWnd.h"

#include "engine/mirror/MirrorHistory.h"
#include "framework/Language.h"
#include "res/resource.h"
#include "shell/compare/CompareWnd.h"
#include "shell/words/Wording.h"

#include <commctrl.h>

namespace {

// Widths at 96 DPI; a heading that needs more gets more.
const ListColumn kColumns[] = {
    {IDS_SEARCH_COLUMN_ITEM, LVCFMT_LEFT, 220}, {IDS_SEARCH_COLUMN_FIRST, LVCFMT_LEFT, 130},
    {IDS_SEARCH_COLUMN_LAST, LVCFMT_LEFT, 130}, {IDS_SEARCH_COLUMN_WENT, LVCFMT_LEFT, 150},
    {IDS_SEARCH_COLUMN_LINE, LVCFMT_LEFT, 300},
};

// The line as one row of the list shows it: tabs and other controls as spaces.
std::wstring OneRow(std::wstring text) {
    for (wchar_t& unit : text)
        if (unit < L' ')
            unit = L' ';
    return text;
}

} // namespace

CSearchResultsWnd::CSearchResultsWnd(std::shared_ptr<const CHistory> history, std::vector<uint32_t> within,
                                     std::wstring text, std::wstring backupRoot, std::wstring mirrorRoot)
    : CToolWnd(IDD_SEARCH_RESULTS, {360, 160}, Lifetime::OwnedByOpener), m_history(std::move(history)),
      m_within(std::move(within)), m_text(std::move(text)), m_backupRoot(std::move(backupRoot)),
      m_mirrorRoot(std::move(mirrorRoot)) {}

BOOL CSearchResultsWnd::Create(CWnd* owner) {
    return ShowModelessBeside(owner, IDR_MAINFRAME, 60);
}

BOOL CSearchResultsWnd::OnInitDialog() {
    BindList(IDC_SEARCH_LIST, kColumns);
    Layout();
    ::SetWindowTextW(m_hWnd, FormatResourceText(IDS_SEARCH_TITLE, {m_text}).c_str());
    m_job.reset(new CContentSearchJob(m_hWnd, m_history, std::move(m_within), m_text, m_backupRoot, m_mirrorRoot));
    ShowSummary();
    return TRUE;
}

// The summary keeps its height at the bottom; the list takes the rest. Margins in dialog units.
void CSearchResultsWnd::Layout() {
    HWND summary = GetDlgItem(IDC_SEARCH_SUMMARY);
    if (m_list == nullptr || summary == nullptr)
        return;
    const RECT margins = DialogUnits({7, 7, 0, 4}); // edge, top, -, gap
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    const RECT line = ControlRect(IDC_SEARCH_SUMMARY);
    const int width = client.right - 2 * margins.left, lineHeight = line.bottom - line.top;
    const int summaryTop = client.bottom - margins.top - lineHeight;
    PlaceControl(summary, margins.left, summaryTop, width, lineHeight);
    PlaceControl(m_list, margins.left, margins.top, width, summaryTop - margins.bottom - margins.top);
}

LRESULT CSearchResultsWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->hwndFrom == m_list && header->code == LVN_GETDISPINFOW)
            OnGetDispInfo(reinterpret_cast<NMLVDISPINFOW*>(lParam));
        else if (header->hwndFrom == m_list && header->code == NM_DBLCLK)
            OnOK();
        return 0;
    }
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) == m_list) {
            ShowMenu(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
            return 0;
        }
        break;
    case WM_SEARCH_BATCH:
        OnBatch(lParam);
        return 0;
    default:
        break;
    }
    return CToolWnd::WindowProc(message, wParam, lParam);
}

void CSearchResultsWnd::OnBatch(LPARAM lParam) {
    std::unique_ptr<SearchBatch> batch(reinterpret_cast<SearchBatch*>(lParam));
    if (!batch)
        return;
    const size_t before = m_hits.size();
    for (ContentHit& hit : batch->hits) {
        if (hit.id >= m_hits.size())
            m_hits.resize(hit.id + 1);
        m_hits[hit.id] = std::move(hit);
    }
    m_counts = batch->counts;
    if (batch->ended) {
        m_done = true;
        m_outcome = batch->outcome;
        m_job.reset();
    }
    if (m_hits.size() != before)
        ::SendMessageW(m_list, LVM_SETITEMCOUNT, m_hits.size(), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    ::InvalidateRect(m_list, nullptr, FALSE); // an item found earlier may have an older first version
    ShowSummary();
}

// How far it got and what it counted: versions looked at, items found, contents read, files skipped.
void CSearchResultsWnd::ShowSummary() {
    const UINT state = !m_done ? IDS_SEARCH_RUNNING
                       : m_outcome == ContentSearchOutcome::Stopped ? IDS_SEARCH_STOPPED
                                                                   : IDS_SEARCH_DONE;
    std::wstring text = LoadResourceText(state) +
                        FormatResourceText(IDS_SEARCH_COUNTS, {std::to_wstring(m_counts.versions),
                                                               std::to_wstring(m_counts.toLook),
                                                               std::to_wstring(m_counts.found),
                                                               std::to_wstring(m_counts.read),
                                                               std::to_wstring(m_counts.skipped)});
    if (m_counts.unreadable > 0)
        text += FormatResourceText(IDS_SEARCH_UNREADABLE, {std::to_wstring(m_counts.unreadable)});
    ::SetDlgItemTextW(m_hWnd, IDC_SEARCH_SUMMARY, text.c_str());
}

void CSearchResultsWnd::OnGetDispInfo(NMLVDISPINFOW* info) {
    if (!(info->item.mask & LVIF_TEXT) || info->item.iItem < 0 ||
        static_cast<size_t>(info->item.iItem) >= m_hits.size() || info->item.cchTextMax <= 0)
        return;
    SetDispInfoText(info, CellText(m_hits[static_cast<size_t>(info->item.iItem)], info->item.iSubItem));
}

std::wstring CSearchResultsWnd::CellText(const ContentHit& hit, int column) const {
    switch (column) {
    case 0:
        return hit.item;
    case 1:
        return VersionText(hit.first);
    case 2:
        return VersionText(hit.last);
    case 3:
        if (hit.wentTo == ContentHit::kNone)
            return LoadResourceText(IDS_SEARCH_STILL_THERE);
        return VersionText(hit.wentTo) + (hit.wentMissing ? LoadResourceText(IDS_SEARCH_FILE_GONE) : std::wstring());
    case 4:
        return FormatResourceText(IDS_SEARCH_LINE, {std::to_wstring(hit.line + 1), OneRow(hit.lineText)});
    default:
        return std::wstring();
    }
}

// A version as the history names it: its date and time.
std::wstring CSearchResultsWnd::VersionText(uint32_t entry) const {
    if (entry >= m_history->entries.size())
        return std::wstring();
    const int64_t time = m_history->entries[entry].time;
    return HistoryDateText(time) + L" " + HistoryTimeText(time);
}

int CSearchResultsWnd::FocusedRow() const {
    return ListView_GetNextItem(m_list, -1, LVNI_FOCUSED | LVNI_SELECTED);
}

// Enter and a double-click compare the focused row.
void CSearchResultsWnd::OnOK() {
    const int row = FocusedRow();
    if (row >= 0)
        CompareRow(static_cast<size_t>(row));
}

// One command, at the point clicked or (from the keyboard) at the focused row.
void CSearchResultsWnd::ShowMenu(int x, int y) {
    const int row = FocusedRow();
    if (row < 0)
        return;
    if (x == -1 && y == -1) {
        RECT rect{};
        ListView_GetItemRect(m_list, row, &rect, LVIR_LABEL);
        POINT point{rect.left, rect.bottom};
        ::ClientToScreen(m_list, &point);
        x = point.x;
        y = point.y;
    }
    HMENU menu = ::CreatePopupMenu();
    if (menu == nullptr)
        return;
    const std::wstring compare = LoadResourceText(IDS_SEARCH_COMPARE);
    ::AppendMenuW(menu, MF_STRING, 1, compare.c_str());
    ::SetMenuDefaultItem(menu, 1, FALSE);
    const UINT chosen = static_cast<UINT>(
        ::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, x, y, 0, m_hWnd, nullptr));
    ::DestroyMenu(menu);
    if (chosen == 1)
        CompareRow(static_cast<size_t>(row));
}

bool CSearchResultsWnd::CompareRow(size_t row) {
    CompareRequest request;
    if (row >= m_hits.size() || !MakeCompareRequest(m_hits[row], &request)) {
        ::MessageBeep(MB_OK);
        return false;
    }
    return CCompareWnd::Open(m_hWnd, request) != nullptr;
}

// The last version holding the text on the left, the first without it on the right (the file at its
// place now when none is without it). Only what VersionCopyOnDisk admits is opened, and below a
// folder version only a file the search found there, no link followed.
bool CSearchResultsWnd::MakeCompareRequest(const ContentHit& hit, CompareRequest* request) const {
    const auto side = [&](uint32_t entry) {
        const std::wstring copy =
            VersionCopyOnDisk(*m_history, m_history->entries[entry], m_backupRoot, m_mirrorRoot);
        const std::wstring path = copy.empty() || hit.inside.empty() ? copy : copy + L"\\" + hit.inside;
        return CompareSide{path, VersionText(entry), false};
    };
    if (hit.last >= m_history->entries.size())
        return false;
    request->older = side(hit.last);
    if (hit.wentTo != ContentHit::kNone) {
        request->newer = side(hit.wentTo);
    } else {
        const std::wstring& original = m_history->Original(m_history->entries[hit.last]);
        if (original.empty())
            return false; // a copy no journal names: nowhere to find the file now
        const std::wstring now = hit.inside.empty() ? original : original + L"\\" + hit.inside;
        request->newer = CompareSide{PlainPath(now), LoadResourceText(IDS_COMPARE_CURRENT), true};
    }
    if (request->older.path.empty() || request->newer.path.empty())
        return false;
    request->itemName = LastComponent(hit.item);
    request->backupRoot = PlainPath(m_backupRoot);
    request->olderLine = hit.line;
    return true;
}
