// CStatusBar: the system status-bar control along the bottom of a frame. Panes come from an
// indicator table; a first pane of ID_SEPARATOR stretches over the bar and has no border.
#pragma once

#include "Gdi.h"
#include "Wnd.h"

#include <vector>

// Control-bar style bits of the framework (low word; never passed to the control itself).
#define CBRS_BORDER_TOP 0x0200
#define CBRS_ALIGN_BOTTOM 0x8000
#define CBRS_BOTTOM (CBRS_ALIGN_BOTTOM | CBRS_BORDER_TOP)

class CStatusBar : public CWnd {
public:
    CStatusBar() = default;

    BOOL Create(CWnd* pParentWnd, DWORD dwStyle = WS_CHILD | WS_VISIBLE | CBRS_BOTTOM, UINT nID = 0xE801);
    BOOL SetIndicators(const UINT* lpIDArray, int nIDCount);
    // bUpdate: the control repaints at once rather than with the next paint.
    // Narrow texts are the code page's (resource texts); wide ones any name at all.
    BOOL SetPaneText(int nIndex, LPCSTR lpszNewText, BOOL bUpdate = TRUE);
    BOOL SetPaneText(int nIndex, LPCWSTR lpszNewText, BOOL bUpdate = TRUE);
    CString GetPaneText(int nIndex) const;
    int GetCount() const { return static_cast<int>(m_indicators.size()); }
    // The frame moved to a display of another scale: the status font and the panes' widths
    // follow; the frame places the bar again afterwards.
    void OnDpiChanged(UINT newDpi);
    // The panes' right edges for the bar's width now: later panes have a fixed width.
    BOOL LayoutPanes();

private:
    std::vector<UINT> m_indicators;
    UINT m_nDpi = 0; // 0: the window's own
    CFont m_font;    // the status font at m_nDpi, once the scale has changed
};
