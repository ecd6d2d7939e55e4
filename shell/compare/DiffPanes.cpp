#include "shell/compare/DiffPanes.h"

#include "framework/Dpi.h"

#include <algorithm>
#include <climits>
#include <string>

namespace {

const wchar_t kClassName[] = L"TallowboxDiffPanes";
const int kTabColumns = 4;
const size_t kContextRows = 3;     // rows of what is the same above a place brought to the top
const size_t kDrawnColumns = 2048; // beyond this a line is not drawn further in one row

// a and b mixed: share parts in 256 of b; past 256, b taken further away from a.
COLORREF Blend(COLORREF a, COLORREF b, int share) {
    const auto mix = [share](int x, int y) {
        return std::clamp((x * (256 - share) + y * share) / 256, 0, 255);
    };
    return RGB(mix(GetRValue(a), GetRValue(b)), mix(GetGValue(a), GetGValue(b)),
               mix(GetBValue(a), GetBValue(b)));
}

bool HighContrast() {
    HIGHCONTRASTW contrast = {};
    contrast.cbSize = sizeof(contrast);
    return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

} // namespace

// The tints, from the system's colours so a high-contrast scheme keeps them readable: each one a
// blend of the window's background with a colour of its own hue, the text on it unchanged.
struct CDiffPanes::Colors {
    COLORREF window, text, face, number, removed, added, changed;
    COLORREF mark, markText; // what differs within a changed line
    Colors() {
        window = ::GetSysColor(COLOR_WINDOW);
        text = ::GetSysColor(COLOR_WINDOWTEXT);
        face = ::GetSysColor(COLOR_3DFACE);
        number = ::GetSysColor(COLOR_GRAYTEXT);
        removed = Blend(window, ::GetSysColor(COLOR_GRAYTEXT), 88);
        added = Blend(window, ::GetSysColor(COLOR_HIGHLIGHT), 72);
        // The tooltip's background holds the palette's warm hue; a little of the selection's
        // makes it read apart from the window's background on a light scheme.
        changed = Blend(::GetSysColor(COLOR_INFOBK), ::GetSysColor(COLOR_HIGHLIGHT), 40);
        // The changed tint taken further from the background; a high-contrast scheme's own pair
        // for selected text instead, as no blend is sure to stay readable there.
        const bool highContrast = HighContrast();
        mark = highContrast ? ::GetSysColor(COLOR_HIGHLIGHT) : Blend(window, changed, 640);
        markText = highContrast ? ::GetSysColor(COLOR_HIGHLIGHTTEXT) : text;
    }
};

namespace {

// How many units a character holds and how many columns it takes from column on, as a fixed-pitch
// font draws it: a tab to the next stop; ideographs, kana, full-width forms and surrogate pairs
// (mostly ideographs and pictographs) two.
struct Step {
    size_t units, columns;
};
Step StepAt(const wchar_t* text, size_t length, size_t at, size_t column) {
    static const struct {
        wchar_t first, last;
    } kWide[] = {{0x1100, 0x115F}, {0x2E80, 0x303E}, {0x3041, 0x33FF}, {0x3400, 0x4DBF},
                 {0x4E00, 0x9FFF}, {0xA000, 0xA4CF}, {0xAC00, 0xD7A3}, {0xF900, 0xFAFF},
                 {0xFE30, 0xFE4F}, {0xFF00, 0xFF60}, {0xFFE0, 0xFFE6}};
    const wchar_t c = text[at];
    if (c == L'\t')
        return {1, kTabColumns - column % kTabColumns};
    if (IS_HIGH_SURROGATE(c) && at + 1 < length && IS_LOW_SURROGATE(text[at + 1]))
        return {2, 2};
    if (c >= 0x1100)
        for (const auto& wide : kWide)
            if (c >= wide.first && c <= wide.last)
                return {1, 2};
    return {1, 1};
}

// The columns a line takes, counted up to limit.
size_t ColumnsOf(const wchar_t* text, size_t length, size_t limit) {
    size_t column = 0;
    for (size_t at = 0; at < length && column < limit;) {
        const Step step = StepAt(text, length, at, column);
        column += step.columns;
        at += step.units;
    }
    return std::min(column, limit);
}

// The part of a line in sight from column first on: tabs made spaces, and so the columns of a wide
// character cut by the left edge. With marks (the line's ranges, in order), marked[i] says whether
// shown[i] is in one.
std::wstring VisiblePart(const wchar_t* text, size_t length, size_t first,
                         const std::vector<TextRange>* marks, std::vector<uint8_t>* marked) {
    std::wstring shown;
    size_t column = 0, range = 0;
    for (size_t at = 0; at < length && shown.size() < kDrawnColumns;) {
        const Step step = StepAt(text, length, at, column);
        const size_t before = shown.size();
        if (column >= first && text[at] != L'\t')
            shown.append(text + at, step.units);
        else if (column + step.columns > first)
            shown.append(column + step.columns - std::max(column, first), L' ');
        if (marks != nullptr) {
            while (range < marks->size() && (*marks)[range].first + (*marks)[range].count <= at)
                ++range;
            const bool inside = range < marks->size() && (*marks)[range].first <= at;
            marked->insert(marked->end(), shown.size() - before, inside ? 1 : 0);
        }
        column += step.columns;
        at += step.units;
    }
    return shown;
}

// The marked runs of a drawn part drawn again over it in the mark's colours, each where the font
// put it: measured rather than counted in columns, so they stay on their text whatever its widths.
void DrawMarks(HDC dc, const RECT& body, int x, const std::wstring& part, const std::vector<uint8_t>& marked,
               COLORREF text, COLORREF back) {
    CColorsScope scope(dc, text, back);
    for (size_t at = 0, end = 0; at < part.size() && x < body.right; at = end) {
        for (end = at; end < part.size() && marked[end] == marked[at];)
            ++end;
        SIZE extent = {};
        ::GetTextExtentPoint32W(dc, part.c_str() + at, static_cast<int>(end - at), &extent);
        const RECT run = {std::max<LONG>(x, body.left), body.top, std::min<LONG>(x + extent.cx, body.right),
                          body.bottom};
        if (marked[at] && run.left < run.right)
            ::ExtTextOutW(dc, x, body.top, ETO_OPAQUE | ETO_CLIPPED, &run, part.c_str() + at,
                          static_cast<UINT>(end - at), nullptr);
        x += extent.cx;
    }
}

SCROLLINFO ScrollInfo(UINT mask) {
    SCROLLINFO info = {};
    info.cbSize = sizeof(info);
    info.fMask = mask;
    return info;
}

size_t DigitsOf(size_t value) {
    size_t digits = 1;
    for (; value >= 10; value /= 10)
        ++digits;
    return digits;
}

} // namespace

bool CDiffPanes::RegisterClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass = {};
    if (::GetClassInfoExW(instance, kClassName, &windowClass))
        return true;
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    windowClass.lpfnWndProc = &CDiffPanes::WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kClassName;
    return ::RegisterClassExW(&windowClass) != 0;
}

CDiffPanes::~CDiffPanes() {
    if (m_hWnd != nullptr)
        ::SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
}

void CDiffPanes::Attach(HWND control) {
    m_hWnd = control;
    ::SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    MakeFont();
    UpdateScrollBars();
}

void CDiffPanes::SetComparison(std::shared_ptr<const FileComparison> comparison) {
    m_comparison = std::move(comparison);
    m_top = m_leftColumn = 0;
    m_place = CLineDiff::kNoPlace;
    m_inline.Clear();
    m_widestLine = 0;
    size_t lines = 1;
    if (m_comparison) {
        for (const CDecodedText* text : {&m_comparison->olderText, &m_comparison->newerText}) {
            for (size_t line = 0; line < text->LineCount(); ++line)
                if (text->LineLength(line) * kTabColumns > m_widestLine) // else it cannot be wider
                    m_widestLine = std::max(
                        m_widestLine, ColumnsOf(text->LineText(line), text->LineLength(line), kDrawnColumns));
            lines = std::max(lines, text->LineCount());
        }
    }
    m_gutterWidth = static_cast<int>(DigitsOf(lines) + 1) * m_charWidth + Scale(6, m_fontDpi);
    UpdateScrollBars();
    ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

size_t CDiffPanes::RowCount() const {
    return m_comparison ? m_comparison->lines.RowCount() : 0;
}

size_t CDiffPanes::VisibleRows() const {
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    const int rows = (client.bottom - client.top) / m_rowHeight;
    return rows > 1 ? static_cast<size_t>(rows) : 1;
}

// The columns of text one pane shows beside its line numbers.
size_t CDiffPanes::VisibleColumns() const {
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    const int text = (client.right - Scale(4, m_fontDpi)) / 2 - m_gutterWidth;
    return text > m_charWidth ? static_cast<size_t>(text / m_charWidth) : 1;
}

bool CDiffPanes::GoToPlace(bool next) {
    if (!m_comparison)
        return false;
    const CLineDiff& diff = m_comparison->lines;
    // From the place gone to last, else from the row the user sees the top of.
    size_t found = CLineDiff::kNoPlace;
    if (m_place != CLineDiff::kNoPlace)
        found = next ? (m_place + 1 < diff.PlaceCount() ? m_place + 1 : CLineDiff::kNoPlace)
                     : (m_place > 0 ? m_place - 1 : CLineDiff::kNoPlace);
    else if (next)
        found = m_top == 0 && diff.PlaceCount() > 0 && diff.Places()[0].firstRow <= kContextRows
                    ? 0
                    : diff.NextPlace(m_top + kContextRows);
    else
        found = diff.PreviousPlace(m_top + kContextRows);
    return ShowPlace(found);
}

bool CDiffPanes::ShowPlace(size_t place) {
    if (!m_comparison || place >= m_comparison->lines.PlaceCount())
        return false;
    const size_t row = m_comparison->lines.Places()[place].firstRow;
    ScrollTo(row > kContextRows ? row - kContextRows : 0, m_leftColumn);
    m_place = place;
    return true;
}

void CDiffPanes::ScrollTo(size_t top, size_t leftColumn) {
    const size_t rows = RowCount(), visible = VisibleRows();
    const size_t lastTop = rows > visible ? rows - visible : 0;
    top = std::min(top, lastTop);
    const size_t columns = VisibleColumns();
    leftColumn = std::min(leftColumn, m_widestLine > columns ? m_widestLine - columns : 0);
    m_place = CLineDiff::kNoPlace;
    if (top == m_top && leftColumn == m_leftColumn)
        return;
    m_top = top;
    m_leftColumn = leftColumn;
    UpdateScrollBars();
    ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CDiffPanes::UpdateScrollBars() {
    if (m_hWnd == nullptr)
        return;
    SCROLLINFO info = ScrollInfo(SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL);
    const size_t rows = RowCount();
    info.nMax = rows > 0 ? static_cast<int>(std::min<size_t>(rows - 1, INT_MAX)) : 0;
    info.nPage = static_cast<UINT>(VisibleRows());
    info.nPos = static_cast<int>(m_top);
    ::SetScrollInfo(m_hWnd, SB_VERT, &info, TRUE);
    info.nMax = m_widestLine > 0 ? static_cast<int>(m_widestLine - 1) : 0;
    info.nPage = static_cast<UINT>(VisibleColumns());
    info.nPos = static_cast<int>(m_leftColumn);
    ::SetScrollInfo(m_hWnd, SB_HORZ, &info, TRUE);
}

// A fixed-pitch font at the control's DPI, so columns line up in both panes.
void CDiffPanes::MakeFont() {
    m_fontDpi = DpiOfWindow(m_hWnd);
    LOGFONTW font = {};
    font.lfHeight = -Scale(13, m_fontDpi);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    lstrcpynW(font.lfFaceName, L"MS Gothic", LF_FACESIZE);
    m_font.Attach(::CreateFontIndirectW(&font));
    CClientDC dc(m_hWnd);
    CSelection selection(dc.GetSafeHdc(), m_font.GetSafeHandle());
    TEXTMETRICW metrics = {};
    if (::GetTextMetricsW(dc.GetSafeHdc(), &metrics)) {
        m_rowHeight = metrics.tmHeight + Scale(2, m_fontDpi);
        m_charWidth = metrics.tmAveCharWidth > 0 ? metrics.tmAveCharWidth : 8;
    }
}

// The font made again at the new scale; the rows in sight stay where they were.
void CDiffPanes::OnFontChange() {
    const size_t top = m_top, left = m_leftColumn;
    MakeFont();
    SetComparison(m_comparison);
    ScrollTo(top, left);
}

LRESULT CALLBACK CDiffPanes::WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* panes = reinterpret_cast<CDiffPanes*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (panes == nullptr) // before the window attaches it, and after it lets it go
        return ::DefWindowProcW(hWnd, message, wParam, lParam);
    try {
        return panes->HandleMessage(message, wParam, lParam);
    } catch (...) {
        return ::DefWindowProcW(hWnd, message, wParam, lParam);
    }
}

LRESULT CDiffPanes::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_ERASEBKGND:
        return 1; // every pixel is painted
    case WM_SIZE:
        OnSize();
        return 0;
    case WM_VSCROLL:
        OnVScroll(LOWORD(wParam));
        return 0;
    case WM_HSCROLL:
        OnHScroll(LOWORD(wParam));
        return 0;
    case WM_MOUSEWHEEL:
        OnMouseWheel(static_cast<short>(HIWORD(wParam)));
        return 0;
    case WM_LBUTTONDOWN:
        ::SetFocus(m_hWnd);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS;
    case WM_KEYDOWN:
        if (OnKeyDown(wParam))
            return 0;
        break;
    case WM_DPICHANGED_AFTERPARENT:
    case WM_SETTINGCHANGE:
        OnFontChange();
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

void CDiffPanes::OnSize() {
    ScrollTo(m_top, m_leftColumn); // a taller window may show the end with fewer rows above
    UpdateScrollBars();
    ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CDiffPanes::OnVScroll(WORD request) {
    SCROLLINFO info = ScrollInfo(SIF_TRACKPOS);
    ::GetScrollInfo(m_hWnd, SB_VERT, &info);
    const size_t page = VisibleRows() > 1 ? VisibleRows() - 1 : 1;
    size_t top = m_top;
    switch (request) {
    case SB_LINEUP:
        top = top > 0 ? top - 1 : 0;
        break;
    case SB_LINEDOWN:
        top += 1;
        break;
    case SB_PAGEUP:
        top = top > page ? top - page : 0;
        break;
    case SB_PAGEDOWN:
        top += page;
        break;
    case SB_TOP:
        top = 0;
        break;
    case SB_BOTTOM:
        top = RowCount();
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
        top = static_cast<size_t>(info.nTrackPos > 0 ? info.nTrackPos : 0);
        break;
    default:
        return;
    }
    ScrollTo(top, m_leftColumn);
}

void CDiffPanes::OnHScroll(WORD request) {
    SCROLLINFO info = ScrollInfo(SIF_TRACKPOS);
    ::GetScrollInfo(m_hWnd, SB_HORZ, &info);
    size_t left = m_leftColumn;
    switch (request) {
    case SB_LINELEFT:
        left = left > 0 ? left - 1 : 0;
        break;
    case SB_LINERIGHT:
        left += 1;
        break;
    case SB_PAGELEFT:
        left = left > VisibleColumns() ? left - VisibleColumns() : 0;
        break;
    case SB_PAGERIGHT:
        left += VisibleColumns();
        break;
    case SB_LEFT:
        left = 0;
        break;
    case SB_RIGHT:
        left = m_widestLine;
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
        left = static_cast<size_t>(info.nTrackPos > 0 ? info.nTrackPos : 0);
        break;
    default:
        return;
    }
    ScrollTo(m_top, left);
}

void CDiffPanes::OnMouseWheel(short delta) {
    m_wheelRemainder += delta;
    const int notches = m_wheelRemainder / WHEEL_DELTA;
    m_wheelRemainder %= WHEEL_DELTA;
    const long long top = static_cast<long long>(m_top) - notches * 3;
    ScrollTo(top > 0 ? static_cast<size_t>(top) : 0, m_leftColumn);
}

bool CDiffPanes::OnKeyDown(WPARAM key) {
    switch (key) {
    case VK_UP:
        OnVScroll(SB_LINEUP);
        return true;
    case VK_DOWN:
        OnVScroll(SB_LINEDOWN);
        return true;
    case VK_PRIOR:
        OnVScroll(SB_PAGEUP);
        return true;
    case VK_NEXT:
        OnVScroll(SB_PAGEDOWN);
        return true;
    case VK_HOME:
        OnVScroll(SB_TOP);
        return true;
    case VK_END:
        OnVScroll(SB_BOTTOM);
        return true;
    case VK_LEFT:
        OnHScroll(SB_LINELEFT);
        return true;
    case VK_RIGHT:
        OnHScroll(SB_LINERIGHT);
        return true;
    default:
        return false;
    }
}

// Drawn into a bitmap first, so scrolling never flickers.
void CDiffPanes::OnPaint() {
    CPaintDC paint(m_hWnd);
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    const int width = client.right, height = client.bottom;
    if (width <= 0 || height <= 0)
        return;
    CDC memory;
    CBitmap bitmap;
    if (!memory.CreateCompatibleDC(paint.GetSafeHdc()) ||
        !bitmap.CreateCompatibleBitmap(paint.GetSafeHdc(), width, height))
        return;
    CSelection bitmapSelection(memory.GetSafeHdc(), bitmap.GetSafeHandle());
    CSelection fontSelection(memory.GetSafeHdc(), m_font.GetSafeHandle());
    const Colors colors;
    CBrush background(colors.window);
    memory.FillRect(client, background.GetSafeHandle());
    const int divider = Scale(4, m_fontDpi);
    const int paneWidth = (width - divider) / 2;
    const size_t rows = RowCount();
    int y = 0;
    for (size_t row = m_top; row < rows && y < height; ++row, y += m_rowHeight)
        DrawRow(memory.GetSafeHdc(), row, y, paneWidth, colors);
    RECT between = {paneWidth, 0, width - paneWidth, height};
    CBrush face(colors.face);
    memory.FillRect(between, face.GetSafeHandle());
    ::BitBlt(paint.GetSafeHdc(), 0, 0, width, height, memory.GetSafeHdc(), 0, 0, SRCCOPY);
}

void CDiffPanes::DrawRow(HDC dc, size_t row, int y, int paneWidth, const Colors& colors) {
    const DiffRow shown = m_comparison->lines.RowAt(row);
    COLORREF tint = colors.window;
    if (shown.state == DiffRowState::Removed)
        tint = colors.removed;
    else if (shown.state == DiffRowState::Added)
        tint = colors.added;
    else if (shown.state == DiffRowState::Changed)
        tint = colors.changed;
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    const RECT left = {0, y, paneWidth, y + m_rowHeight};
    const RECT right = {client.right - paneWidth, y, client.right, y + m_rowHeight};
    const CDecodedText &older = m_comparison->olderText, &newer = m_comparison->newerText;
    const InlineDiff* marks = nullptr; // worked out for the changed rows in sight only
    if (shown.state == DiffRowState::Changed && shown.hasLeft && shown.hasRight &&
        shown.leftLine < older.LineCount() && shown.rightLine < newer.LineCount())
        marks = &m_inline.For(row, older.LineText(shown.leftLine), older.LineLength(shown.leftLine),
                              newer.LineText(shown.rightLine), newer.LineLength(shown.rightLine));
    DrawSide(dc, left, older, shown.hasLeft, shown.leftLine, tint, marks ? &marks->left : nullptr, colors);
    DrawSide(dc, right, newer, shown.hasRight, shown.rightLine, tint, marks ? &marks->right : nullptr,
             colors);
}

// One side of a row: its line number in the gutter, then its text from the scrolled-to column.
void CDiffPanes::DrawSide(HDC dc, const RECT& rect, const CDecodedText& text, bool hasLine, uint32_t line,
                          COLORREF tint, const std::vector<TextRange>* marks, const Colors& colors) const {
    RECT gutter = {rect.left, rect.top, std::min<LONG>(rect.left + m_gutterWidth, rect.right), rect.bottom};
    RECT body = {gutter.right, rect.top, rect.right, rect.bottom};
    const int inset = Scale(3, m_fontDpi);
    if (!hasLine || line >= text.LineCount()) {
        CColorsScope scope(dc, colors.text, colors.face);
        ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, L"", 0, nullptr);
        return;
    }
    const std::wstring number = std::to_wstring(line + 1);
    {
        CColorsScope scope(dc, colors.number, colors.face);
        const int numberWidth = static_cast<int>(number.size()) * m_charWidth;
        ::ExtTextOutW(dc, gutter.right - inset - numberWidth, gutter.top, ETO_OPAQUE | ETO_CLIPPED, &gutter,
                      number.c_str(), static_cast<UINT>(number.size()), nullptr);
    }
    std::vector<uint8_t> marked;
    const std::wstring part =
        VisiblePart(text.LineText(line), text.LineLength(line), m_leftColumn, marks, &marked);
    {
        CColorsScope scope(dc, colors.text, tint);
        ::ExtTextOutW(dc, body.left + inset, body.top, ETO_OPAQUE | ETO_CLIPPED, &body, part.c_str(),
                      static_cast<UINT>(part.size()), nullptr);
    }
    if (marks != nullptr)
        DrawMarks(dc, body, body.left + inset, part, marked, colors.markText, colors.mark);
}
