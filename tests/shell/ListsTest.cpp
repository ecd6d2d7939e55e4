// Every list of the running program in both languages: each column at least as wide as its
// heading needs in the list's own font (at 96 DPI here, at 144 in a child); the history at its own
// size shows every column whole on a 1280-pixel screen, dates its rows as the user's short date,
// and words a failed backup's result with the reason its record keeps.
#include "RunningApp.h"

#include "common/ScaledRun.h"
#include "common/TempFolder.h"
#include "framework/Language.h"
#include "res/resource.h"
#include "shell/CompareFoldersWnd.h"
#include "shell/HistoryWnd.h"
#include "shell/MainFrm.h"
#include "shell/MirrorCheckWnd.h"
#include "shell/WatchListWnd.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>

namespace {

// What a header keeps clear around a heading: three edges at each side.
int HeadingMargins() {
    return 6 * ::GetSystemMetrics(SM_CXEDGE);
}

std::wstring HeadingOf(HWND list, int column) {
    wchar_t text[256] = L"";
    HDITEMW item = {};
    item.mask = HDI_TEXT;
    item.pszText = text;
    item.cchTextMax = 256;
    ::SendMessageW(ListView_GetHeader(list), HDM_GETITEMW, static_cast<WPARAM>(column),
                   reinterpret_cast<LPARAM>(&item));
    return text;
}

std::wstring CellOf(HWND list, int item, int column) {
    wchar_t text[1024] = L"";
    LVITEMW cell = {};
    cell.iSubItem = column;
    cell.pszText = text;
    cell.cchTextMax = 1024;
    ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&cell));
    return text;
}

// Each heading whole in its column; the columns' total width.
int ExpectHeadingsWhole(HWND list, const char* which) {
    EXPECT_NE(nullptr, list) << which;
    int total = 0;
    for (int column = 0; column < Header_GetItemCount(ListView_GetHeader(list)); ++column) {
        const std::wstring heading = HeadingOf(list, column);
        const int needed = static_cast<int>(::SendMessageW(list, LVM_GETSTRINGWIDTHW, 0,
                                                           reinterpret_cast<LPARAM>(heading.c_str()))) +
                           HeadingMargins();
        const int width = ListView_GetColumnWidth(list, column);
        EXPECT_LE(needed, width) << which << ": " << ToAnsiText(heading) << " is cut";
        total += width;
    }
    return total;
}

// The history at its own size: every column inside the list, the window on a 1280-pixel screen.
void ExpectEveryColumnShown(HWND history, HWND list, int columns) {
    RECT client, window;
    ::GetClientRect(list, &client);
    ::GetWindowRect(history, &window);
    EXPECT_LE(columns, client.right) << "the history's last columns lie outside it";
    EXPECT_LE(window.right - window.left, 1280);
    EXPECT_GE(window.left, 0);
    EXPECT_LE(window.right, ::GetSystemMetrics(SM_CXSCREEN)) << "the history reaches off the screen";
}

} // namespace

TEST(Lists, EveryHeadingWholeAt144Dpi) {
    ExpectPassingAtScales("Lists.EveryHeadingWhole*Dates*", {144u});
}

TEST(Lists, EveryHeadingWholeTheHistorysColumnsWithinItsSizeAndItsDates) {
    for (const std::string language : {"ja", "en"}) {
        SCOPED_TRACE("Language=" + language + " at " + std::to_string(ChildRunDpi()) + " DPI (0: 96)");
        TempFolder program, sources, mirror;
        ASSERT_TRUE(WriteFileText(program / "Tallowbox.ini",
                                  "[Tallowbox]\r\nLanguage=" + language + "\r\nMirrorFolder=" + mirror.path()));
        ASSERT_TRUE(WriteFileText(sources / "note.txt", "kept"));
        RunningApp running("\"" + (sources / "note.txt") + "\" \"" + (sources / "missing.txt") + "\"",
                           program.path());
        ASSERT_TRUE(running.started());
        running.PumpUntilRows(2);
        ExpectHeadingsWhole(running.List(), "the main list");

        auto* frame = dynamic_cast<CMainFrame*>(CWnd::FromHandlePermanent(running.Frame()));
        ASSERT_NE(nullptr, frame);
        running.PressKey(WM_KEYDOWN, 'H', VK_CONTROL);
        CHistoryWnd* history = frame->History();
        for (int i = 0; i < 250 && history != nullptr && !history->IsLoaded(); ++i)
            running.Pump(20);
        ASSERT_TRUE(history != nullptr && history->IsLoaded() && history->ShownCount() == 2);
        HWND list = ::GetDlgItem(history->GetSafeHwnd(), IDC_HISTORY_LIST);
        const int columns = ExpectHeadingsWhole(list, "the history");
        if (ChildRunDpi() == 0)
            ExpectEveryColumnShown(history->GetSafeHwnd(), list, columns);

        SYSTEMTIME now;
        ::GetLocalTime(&now);
        wchar_t today[80] = L"";
        ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, today, 80, nullptr);
        const std::wstring reason = SystemMessage(ERROR_FILE_NOT_FOUND);
        int failed = 0;
        for (int item = 0; item < 2; ++item) {
            EXPECT_EQ(today, CellOf(list, item, 0)) << "the user's short date";
            failed += CellOf(list, item, 6).find(reason) != std::wstring::npos;
        }
        EXPECT_EQ(1, failed) << "the failed backup's result says why";

        ::SendMessageW(history->GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDC_HISTORY_VERIFY, BN_CLICKED), 0);
        ASSERT_NE(nullptr, history->MirrorCheck());
        ExpectHeadingsWhole(history->MirrorCheck()->List(), "the mirror's check");
        ::SendMessageW(running.Frame(), WM_COMMAND, MAKEWPARAM(ID_WATCH_LIST, 0), 0);
        ASSERT_NE(nullptr, frame->WatchList());
        ExpectHeadingsWhole(frame->WatchList()->List(), "the watches");
        CompareRequest request;
        request.older.path = request.newer.path = FromAnsiText(sources.path());
        request.itemName = L"sources";
        CCompareFoldersWnd* folders = CCompareFoldersWnd::Open(running.Frame(), request);
        ASSERT_NE(nullptr, folders);
        ExpectHeadingsWhole(::GetDlgItem(folders->GetSafeHwnd(), IDC_FOLDERS_LIST), "the folder compare");
        ::DestroyWindow(folders->GetSafeHwnd());
        running.Pump(50);
    }
}
