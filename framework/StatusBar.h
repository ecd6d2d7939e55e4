// CStatusBar: the system status-bar control along the bottom of a frame. Panes come from an
// indicator table; a first pane of ID_SEPARATOR stretches over the bar and has no border. That
// pane is drawn by the bar itself (owner-drawn, the frame hands it the drawing): a path in its
// text is shortened in its middle when the pane is too narrow, so the words after it show, while
// the text the bar holds and gives out (SB_GETTEXT) stays whole.
#pragma once

#include "Gdi.h"
#include "Wnd.h"

#include <string>
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
    // The same, with the part of the text that may be shortened in its middle (a path it names).
    BOOL SetPaneTextWithPath(int nIndex, const std::wstring& text, const std::wstring& path, BOOL bUpdate = TRUE);
    // Draws the stretched pane (the frame's WM_DRAWITEM from the bar).
    void DrawPane(const DRAWITEMSTRUCT& item) const;
    CString GetPaneText(int nIndex) const;
    int GetCount() const { return static_cast<int>(m_indicators.size()); }
    // The frame moved to a display of another scale: the status font and the panes' widths
    // follow; the frame places the bar again afterwards.
    void OnDpiChanged(UINT newDpi);
    // The panes' right edges for the bar's width now: later panes have a fixed width.
    BOOL LayoutPanes();

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    bool IsDrawnHere(WPARAM part) const;
    // SB_SETTEXT on the stretched pane: the text is kept here, the control told to leave it to DrawPane.
    LRESULT KeepPaneText(std::wstring text, WPARAM type);
    // SB_GETTEXT and SB_GETTEXTLENGTH on it, answered from the text kept.
    LRESULT GivePaneText(bool wide, LPARAM buffer) const;

    std::vector<UINT> m_indicators;
    std::wstring m_paneText;    // the stretched pane's whole text
    std::wstring m_panePath;    // the part of it that may be shortened; empty: none
    std::wstring m_pendingPath; // the path of the text being set
    WPARAM m_paneType = 0;      // its drawing type (SBT_NOBORDERS ...) as it was set
    UINT m_nDpi = 0; // 0: the window's own
    CFont m_font;    // the status font at m_nDpi, once the scale has changed
};
