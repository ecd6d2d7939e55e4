// The main window at 125, 150 and 200 %: the program's own pixel sizes (columns, margins, the
// status bar's counts pane) follow the scale, the texts are not cut, and a scale-change message
// lays everything out again. Each scale runs in a child of this test program (ScaledRun.h).
#include "RunningApp.h"
#include "WindowProbe.h"

#include "common/ScaledRun.h"
#include "common/TempFolder.h"
#include "framework/Dpi.h"
#include "res/resource.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>

namespace {

// The widths at 96 DPI, in column order.
const int kColumnWidths[] = {70, 70, 150, 150, 150};
const int kListMargin = 20;
const int kCountsPaneWidth = 160;
// What a list keeps clear around a label: a text needs its own width and this much more.
const int kLabelPadding = 12;

// Column widths and margins for dpi, the status bar's counts pane, and every date and time
// (the rows' and the widest possible) whole in its column.
void ExpectLaidOutFor(RunningApp& running, UINT dpi) {
    SCOPED_TRACE("laid out for " + std::to_string(dpi) + " DPI");
    HWND list = running.List();
    const auto textWidth = [list](const std::wstring& text) { // in the list's own font
        return ::SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text.c_str()));
    };
    for (int column = 0; column < 5; ++column) {
        const int width = static_cast<int>(::SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0));
        EXPECT_NEAR(width, Scale(kColumnWidths[column], dpi), 1) << "column " << column;
        if (column >= 2)
            continue;
        std::wstring texts[] = {column == 0 ? L"12月31日" : L"23時59分", L""};
        for (int row = 0; row < running.ItemCount(); ++row) {
            texts[1] = running.WideItemText(row, column);
            for (const std::wstring& text : texts)
                EXPECT_LE(textWidth(text) + kLabelPadding, width)
                    << "column " << column << " cuts " << ::testing::PrintToString(text);
        }
    }
    RECT client;
    ::GetClientRect(running.View(), &client);
    const RECT placed = RectInClient(list, running.View());
    EXPECT_NEAR(client.right - placed.right, Scale(kListMargin, dpi), 1) << "right margin";
    EXPECT_NEAR(client.bottom - placed.bottom, Scale(kListMargin, dpi), 1) << "bottom margin";

    int rightEdges[2] = {};
    RECT bar;
    ::GetClientRect(running.StatusBar(), &bar);
    ASSERT_EQ(::SendMessageW(running.StatusBar(), SB_GETPARTS, 2, reinterpret_cast<LPARAM>(rightEdges)), 2);
    EXPECT_NEAR(bar.right - rightEdges[0], Scale(kCountsPaneWidth, dpi), 1) << "the counts pane";
}

// The hint above the list, whole in its control, in the font of the form.
void ExpectHintWhole(HWND view) {
    HWND hint = ::GetDlgItem(view, IDC_STATIC);
    wchar_t text[128] = L"";
    ::GetWindowTextW(hint, text, 128);
    HDC hDC = ::GetDC(hint);
    const HGDIOBJ previous =
        ::SelectObject(hDC, reinterpret_cast<HFONT>(::SendMessageW(hint, WM_GETFONT, 0, 0)));
    SIZE extent = {};
    ::GetTextExtentPoint32W(hDC, text, static_cast<int>(wcslen(text)), &extent);
    ::SelectObject(hDC, previous);
    ::ReleaseDC(hint, hDC);
    RECT client;
    ::GetClientRect(hint, &client);
    EXPECT_LE(extent.cx, client.right) << "the hint's width";
    EXPECT_LE(extent.cy, client.bottom) << "the hint's height";
}

} // namespace

TEST(DisplayScale, MainWindowAtEveryScale) {
    ExpectPassingAtEveryScale("ScaledMainWindow.*:MainFrame.ASmallerWindow*");
}

// Runs only in a child at one scale: at start-up, after a resize, then after a message that
// the window moved to a display of another scale.
TEST(ScaledMainWindow, ColumnsMarginsTextsAndAScaleChange) {
    const UINT dpi = ChildRunDpi();
    if (dpi == 0)
        GTEST_SKIP() << "runs in a child at another scale";
    TempFolder sources;
    TempFolder program;
    ASSERT_TRUE(WriteFileText(sources / "note.txt", "a row to measure"));
    RunningApp running("\"" + (sources / "note.txt") + "\"", program.path());
    ASSERT_TRUE(running.started());
    running.Pump(100);
    ASSERT_EQ(running.ItemCount(), 1);
    EXPECT_EQ(DpiOfWindow(running.Frame()), dpi);
    // The form's template scales with its font: 9 points at this scale.
    EXPECT_EQ(FontHeightOf(running.View()), ::MulDiv(9, static_cast<int>(dpi), 72)) << "the form's font";

    ::SetWindowPos(running.Frame(), nullptr, 0, 0, Scale(720, dpi), Scale(540, dpi),
                   SWP_NOMOVE | SWP_NOZORDER);
    running.Pump(50);
    ExpectLaidOutFor(running, dpi);
    ExpectHintWhole(running.View());

    const UINT newDpi = dpi == 192 ? 120 : 192;
    const int listFontBefore = FontHeightOf(running.List());
    const RECT suggested = {40, 30, 40 + Scale(500, newDpi), 30 + Scale(400, newDpi)};
    ::SendMessageW(running.Frame(), WM_DPICHANGED, MAKEWPARAM(newDpi, newDpi),
                   reinterpret_cast<LPARAM>(&suggested));
    running.Pump(50);
    RECT frame;
    ::GetWindowRect(running.Frame(), &frame);
    EXPECT_TRUE(::EqualRect(&frame, &suggested)) << "the suggested rectangle is taken";
    const int scaledFont = ::MulDiv(listFontBefore, static_cast<int>(newDpi), static_cast<int>(dpi));
    for (HWND control : {running.List(), ::GetDlgItem(running.View(), IDC_STATIC)})
        EXPECT_NEAR(FontHeightOf(control), scaledFont, 1) << "the font of " << ClassNameOf(control);
    ExpectLaidOutFor(running, newDpi);
    ExpectHintWhole(running.View());
}

namespace {

// The whole form shows: the view needs no scroll bar and the list ends above the status bar.
void ExpectWholeForm(RunningApp& running, const char* when) {
    SCOPED_TRACE(when);
    const LONG style = ::GetWindowLongW(running.View(), GWL_STYLE);
    EXPECT_FALSE(style & WS_VSCROLL) << "a vertical scroll bar on the view";
    EXPECT_FALSE(style & WS_HSCROLL) << "a horizontal scroll bar on the view";
    RECT list, bar, view;
    ::GetWindowRect(running.List(), &list);
    ::GetWindowRect(running.StatusBar(), &bar);
    ::GetWindowRect(running.View(), &view);
    EXPECT_LE(list.bottom, bar.top) << "the list's bottom under the status bar";
    EXPECT_LE(view.bottom, bar.top);
}

} // namespace

// At the form's width the menu bar takes two lines: the frame is as tall as the form needs below
// it at start, and again when a fifth popup makes the bar wrap anew, its width kept.
TEST(ScaledMainWindow, TheWholeFormShowsBelowAWrappedMenuBar) {
    for (const std::string language : {"ja", "en"}) {
        SCOPED_TRACE("Language=" + language + " at " + std::to_string(ChildRunDpi()) + " DPI (0: 96)");
        TempFolder program;
        ASSERT_TRUE(WriteFileText(program / "Tallowbox.ini", "[Tallowbox]\r\nLanguage=" + language + "\r\n"));
        RunningApp running("", program.path());
        ASSERT_TRUE(running.started());
        running.Pump(100);
        ExpectWholeForm(running, "at start");

        RECT before, after;
        ::GetWindowRect(running.Frame(), &before);
        HMENU popup = ::CreatePopupMenu();
        ::AppendMenuW(popup, MF_STRING, 32829, language == "ja" ? L"今すぐ写す(&N)" : L"Copy &Now");
        ::AppendMenuW(::GetMenu(running.Frame()), MF_POPUP, reinterpret_cast<UINT_PTR>(popup),
                      language == "ja" ? L"ミラー(&M)" : L"&Mirror");
        ::DrawMenuBar(running.Frame());
        running.Pump(100);
        ExpectWholeForm(running, "with a fifth popup");
        ::GetWindowRect(running.Frame(), &after);
        EXPECT_EQ(before.right - before.left, after.right - after.left) << "the form's width kept";
    }
}
