#include "shell/watch/WatchListWnd.h"

#include "framework/App.h"
#include "framework/Language.h"
#include "res/resource.h"
#include "shell/document/TallowboxDoc.h"
#include "shell/words/Wording.h"

#include <commctrl.h>

#include <algorithm>

namespace {

// Widths at 96 DPI; a heading that needs more gets more.
const ListColumn kColumns[] = {{IDS_COLUMN_ITEM, LVCFMT_LEFT, 280},
                               {IDS_COLUMN_LAST_VERSION, LVCFMT_LEFT, 110},
                               {IDS_COLUMN_STATE, LVCFMT_LEFT, 200}};

void SetCell(HWND list, int item, int column, const std::wstring& text) {
    LVITEMW cell = {};
    cell.iSubItem = column;
    cell.pszText = const_cast<wchar_t*>(text.c_str());
    ::SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&cell));
}

// The minute of the item's newest version, as the history shows moments.
std::wstring LastVersionText(const CTallowboxDoc& doc, const std::wstring& path) {
    SYSTEMTIME time;
    if (!doc.LastVersion(path, &time))
        return LoadResourceText(IDS_NO_VERSION);
    return HistoryDateText(time) + L" " + HistoryTimeText(time);
}

} // namespace

CWatchListWnd::CWatchListWnd(CTallowboxDoc& doc)
    : CToolWnd(IDD_WATCH_LIST, {300, 160}, Lifetime::OwnedByOpener), m_doc(doc) {}

// Opens a little below and to the right of the main window, so neither hides the other's title.
BOOL CWatchListWnd::Create(CWnd* owner) {
    return ShowModelessBeside(owner, IDR_MAINFRAME, 60);
}

BOOL CWatchListWnd::OnInitDialog() {
    BindList(IDC_WATCH_LIST, kColumns);
    Layout();
    WidenToShowColumns(m_list);
    Refresh();
    return TRUE;
}

// The button keeps its size at the bottom right; the list takes the rest.
void CWatchListWnd::Layout() {
    if (m_list == nullptr)
        return;
    const RECT margins = DialogUnits({7, 6, 0, 0}); // edge, gap
    RECT client, button;
    ::GetClientRect(m_hWnd, &client);
    HWND stop = GetDlgItem(IDC_WATCH_STOP);
    ::GetWindowRect(stop, &button);
    const int buttonWidth = button.right - button.left, buttonHeight = button.bottom - button.top;
    const int buttonTop = client.bottom - margins.left - buttonHeight;
    ::SetWindowPos(stop, nullptr, client.right - margins.left - buttonWidth, buttonTop, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    PlaceControl(m_list, margins.left, margins.left, client.right - 2 * margins.left,
                 buttonTop - margins.top - margins.left);
}

// The selection is kept by path, so a refresh while the user picks items keeps what was picked.
void CWatchListWnd::Refresh() {
    if (m_list == nullptr)
        return;
    std::vector<std::wstring> selected;
    int item = -1;
    while ((item = ListView_GetNextItem(m_list, item, LVNI_SELECTED)) >= 0)
        if (static_cast<size_t>(item) < m_paths.size())
            selected.push_back(UpperCase(m_paths[static_cast<size_t>(item)]));
    ::SendMessageW(m_list, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(m_list, LVM_DELETEALLITEMS, 0, 0);
    m_paths.clear();
    for (const WatchInfo& info : m_doc.WatchStates()) {
        LVITEMW row = {};
        row.mask = LVIF_TEXT;
        row.iItem = static_cast<int>(m_paths.size());
        row.pszText = const_cast<wchar_t*>(info.path.c_str());
        const int index =
            static_cast<int>(::SendMessageW(m_list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row)));
        if (index < 0)
            continue;
        SetCell(m_list, index, 1, LastVersionText(m_doc, info.path));
        SetCell(m_list, index, 2, WatchStateText(info));
        if (std::find(selected.begin(), selected.end(), UpperCase(info.path)) != selected.end())
            ListView_SetItemState(m_list, index, LVIS_SELECTED, LVIS_SELECTED);
        m_paths.push_back(info.path);
    }
    ::SendMessageW(m_list, WM_SETREDRAW, TRUE, 0);
    ::EnableWindow(GetDlgItem(IDC_WATCH_STOP), !m_paths.empty());
}

void CWatchListWnd::StopSelected() {
    std::vector<std::wstring> paths;
    int item = -1;
    while ((item = ListView_GetNextItem(m_list, item, LVNI_SELECTED)) >= 0)
        if (static_cast<size_t>(item) < m_paths.size())
            paths.push_back(m_paths[static_cast<size_t>(item)]);
    for (const std::wstring& path : paths)
        m_doc.StopWatching(path);
    Refresh();
}

LRESULT CWatchListWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_WATCH_STOP && HIWORD(wParam) == BN_CLICKED) {
            StopSelected();
            return 0;
        }
        break;
    default:
        break;
    }
    return CToolWnd::WindowProc(message, wParam, lParam);
}
