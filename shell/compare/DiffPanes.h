// CDiffPanes: the two texts of a compare side by side in one painted control, so both panes scroll
// together by construction: each pane has its line numbers, and the rows that differ are tinted
// (removed, added, changed) in colours blended from the system's palette; a side that has no line
// in a row shows the face colour, and within a changed row what differs shows in a stronger tint.
// Only the rows in sight are drawn, straight from the compare's rows (CLineDiff::RowAt) and the
// decoded texts, and only their changes within lines are worked out, so 200,000 lines draw as fast
// as 20. A column is a half-width character's width; a wide character takes two.
//
// The control is the dialog template's "TallowboxDiffPanes" class; the window that holds it
// attaches the object. Its vertical scroll position is the row at the top, which other programs
// read with GetScrollInfo.
#pragma once

#include <windows.h>

#include <memory>

#include "engine/compare/FileCompare.h"
#include "engine/compare/InlineDiff.h"
#include "framework/Gdi.h"

class CDiffPanes {
public:
    // The control's window class, registered once for the program's module.
    static bool RegisterClass(HINSTANCE instance);

    CDiffPanes() = default;
    ~CDiffPanes();
    CDiffPanes(const CDiffPanes&) = delete;
    CDiffPanes& operator=(const CDiffPanes&) = delete;

    // The control made from the template; the object answers its messages from now on.
    void Attach(HWND control);
    // The compare to show (texts): the panes start at the top.
    void SetComparison(std::shared_ptr<const FileComparison> comparison);

    size_t TopRow() const { return m_top; }
    // The next or the previous place that differs is brought to the top (a few rows of what is
    // the same above it); false when there is none that way.
    bool GoToPlace(bool next);
    // The place of that index is brought to the top the same way; false when there is none.
    bool ShowPlace(size_t place);

private:
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnPaint();
    void OnSize();
    void OnVScroll(WORD request);
    void OnHScroll(WORD request);
    void OnMouseWheel(short delta);
    bool OnKeyDown(WPARAM key);
    void MakeFont();
    void OnFontChange();
    void ScrollTo(size_t top, size_t leftColumn);
    void UpdateScrollBars();
    size_t RowCount() const;
    size_t VisibleRows() const;
    size_t VisibleColumns() const;
    struct Colors;
    void DrawRow(HDC dc, size_t row, int y, int paneWidth, const Colors& colors);
    void DrawSide(HDC dc, const RECT& rect, const CDecodedText& text, bool hasLine, uint32_t line,
                  COLORREF tint, const std::vector<TextRange>* marks, const Colors& colors) const;

    HWND m_hWnd = nullptr;
    std::shared_ptr<const FileComparison> m_comparison;
    CFont m_font;
    UINT m_fontDpi = 0;
    int m_rowHeight = 16, m_charWidth = 8, m_gutterWidth = 40;
    size_t m_top = 0, m_leftColumn = 0;
    size_t m_widestLine = 0;              // in columns
    CInlineDiffCache m_inline;            // the changes within the changed rows drawn last
    size_t m_place = CLineDiff::kNoPlace; // the place F8 went to last; none once scrolled by hand
    int m_wheelRemainder = 0;
};
