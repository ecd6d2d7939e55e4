// CListCtrl: the system list-view control, usually bound to a dialog's control by DDX_Control;
// and the columns of every report list, sized so their headings show whole.
#pragma once

#include "Wnd.h"

#include <commctrl.h>

#include <string>

class CListCtrl : public CWnd {
public:
    CListCtrl() = default;

    // Returns the new column's index, -1 on failure. nSubItem < 0: no sub-item index is given.
    // The heading is kept whole (the wide message): it comes from the string table.
    int InsertColumn(int nCol, LPCWSTR lpszHeading, int nFormat = LVCFMT_LEFT, int nWidth = -1,
                     int nSubItem = -1);
    // Inserts an item with its first text; returns its index, -1 on failure.
    int InsertItem(int nItem, LPCSTR lpszItem);
    BOOL SetItemText(int nItem, int nSubItem, LPCSTR lpszText);
    // Rows hold any name at all: the wide messages keep every character.
    int InsertItem(int nItem, LPCWSTR lpszItem);
    BOOL SetItemText(int nItem, int nSubItem, LPCWSTR lpszText);
    int GetItemCount() const;
    CString GetItemText(int nItem, int nSubItem) const;
    int GetColumnCount() const;
    int GetColumnWidth(int nCol) const {
        return static_cast<int>(::SendMessageA(m_hWnd, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(nCol), 0));
    }
    BOOL SetColumnWidth(int nCol, int cx) {
        return static_cast<BOOL>(
            ::SendMessageA(m_hWnd, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(nCol), MAKELPARAM(cx, 0)));
    }
};

// One column of a report list: its heading's string id, its alignment, its width at 96 DPI.
struct ListColumn {
    UINT heading;
    int format;
    int width;
};

// Inserts the columns in order, each as wide as its width at dpi or as its heading needs in the
// list's font, whichever is more: no heading is cut, in either language, at any scale.
void InsertListColumns(HWND list, const ListColumn* columns, int count, UINT dpi);
// The width a column needs to show text whole, with the header's margins around it.
int ColumnWidthFor(HWND list, const std::wstring& text);
// Answers a virtual list's text callback: text copied into the list's buffer, cut to its room.
void SetDispInfoText(NMLVDISPINFOW* info, const std::wstring& text);
// How wide the list must be to show every column whole: the columns, its borders and room for a
// vertical scroll bar.
int WidthShowingEveryColumn(HWND list);
