#include "ListCtrl.h"

#include "Dpi.h"
#include "Language.h"

#include <algorithm>
#include <string>

int CListCtrl::InsertColumn(int nCol, LPCWSTR lpszHeading, int nFormat, int nWidth, int nSubItem) {
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_TEXT;
    column.fmt = nFormat;
    column.pszText = const_cast<LPWSTR>(lpszHeading);
    if (nWidth >= 0) {
        column.mask |= LVCF_WIDTH;
        column.cx = nWidth;
    }
    if (nSubItem >= 0) {
        column.mask |= LVCF_SUBITEM;
        column.iSubItem = nSubItem;
    }
    return static_cast<int>(::SendMessageW(m_hWnd, LVM_INSERTCOLUMNW, static_cast<WPARAM>(nCol),
                                           reinterpret_cast<LPARAM>(&column)));
}

int CListCtrl::InsertItem(int nItem, LPCSTR lpszItem) {
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = nItem;
    item.pszText = const_cast<LPSTR>(lpszItem);
    return static_cast<int>(::SendMessageA(m_hWnd, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

BOOL CListCtrl::SetItemText(int nItem, int nSubItem, LPCSTR lpszText) {
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = nItem;
    item.iSubItem = nSubItem;
    item.pszText = const_cast<LPSTR>(lpszText);
    return static_cast<BOOL>(::SendMessageA(m_hWnd, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

int CListCtrl::InsertItem(int nItem, LPCWSTR lpszItem) {
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = nItem;
    item.pszText = const_cast<LPWSTR>(lpszItem);
    return static_cast<int>(::SendMessageW(m_hWnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

BOOL CListCtrl::SetItemText(int nItem, int nSubItem, LPCWSTR lpszText) {
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = nItem;
    item.iSubItem = nSubItem;
    item.pszText = const_cast<LPWSTR>(lpszText);
    return static_cast<BOOL>(::SendMessageW(m_hWnd, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

int CListCtrl::GetItemCount() const {
    return static_cast<int>(::SendMessageA(m_hWnd, LVM_GETITEMCOUNT, 0, 0));
}

CString CListCtrl::GetItemText(int nItem, int nSubItem) const {
    // Grows the buffer until the text fits (the control returns the length it copied).
    for (size_t size = 256;; size *= 2) {
        std::string buffer(size, '\0');
        LVITEMA item = {};
        item.iSubItem = nSubItem;
        item.pszText = &buffer[0];
        item.cchTextMax = static_cast<int>(size);
        const LRESULT length = ::SendMessageA(m_hWnd, LVM_GETITEMTEXTA, static_cast<WPARAM>(nItem),
                                              reinterpret_cast<LPARAM>(&item));
        if (length < 0 || static_cast<size_t>(length) < size - 1 || size >= 65536) {
            buffer.resize(std::char_traits<char>::length(buffer.c_str()));
            return CString(buffer);
        }
    }
}

int CListCtrl::GetColumnCount() const {
    HWND header = reinterpret_cast<HWND>(::SendMessageA(m_hWnd, LVM_GETHEADER, 0, 0));
    return header != nullptr ? static_cast<int>(::SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

int ColumnWidthFor(HWND list, const std::wstring& text) {
    // The header keeps three edges' width clear at each side of a heading.
    const int margins = 6 * ::GetSystemMetrics(SM_CXEDGE);
    return static_cast<int>(::SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text.c_str()))) +
           margins;
}

void InsertListColumns(HWND list, const ListColumn* columns, int count, UINT dpi) {
    for (int index = 0; index < count; ++index) {
        const std::wstring heading = LoadResourceText(columns[index].heading);
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH;
        column.fmt = columns[index].format;
        column.cx = std::max(Scale(columns[index].width, dpi), ColumnWidthFor(list, heading));
        column.pszText = const_cast<wchar_t*>(heading.c_str());
        ::SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
    }
}

void SetDispInfoText(NMLVDISPINFOW* info, const std::wstring& text) {
    const size_t room = static_cast<size_t>(info->item.cchTextMax) - 1;
    const size_t length = text.size() < room ? text.size() : room;
    text.copy(info->item.pszText, length);
    info->item.pszText[length] = L'\0';
}

int WidthShowingEveryColumn(HWND list) {
    HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
    const int count = header != nullptr ? static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    int width = 0;
    for (int column = 0; column < count; ++column)
        width += static_cast<int>(::SendMessageW(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
    RECT window, client;
    ::GetWindowRect(list, &window);
    ::GetClientRect(list, &client);
    const int scrollBar = ::GetSystemMetrics(SM_CXVSCROLL);
    const bool scrolling = (::GetWindowLongW(list, GWL_STYLE) & WS_VSCROLL) != 0;
    const int borders = (window.right - window.left) - client.right - (scrolling ? scrollBar : 0);
    return width + borders + scrollBar;
}
