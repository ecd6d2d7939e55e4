// Every list in both languages: no heading cut (at 96 DPI, at 144 in a child); the history at its own
// size shows every column on a 1280-pixel screen, the user's short date and why a backup failed.
#include "RunningApp.h"

#include "common/ScaledRun.h"
#include "common/TempFolder.h"
#include "framework/Language.h"
#include "res/resource.h"
#include "shell/compare/CompareFoldersWnd.h"
#include "shell/history/HistoryWnd.h"
#include "shell/history/VersionCheckWnd.h"
#include "shell/main/MainFrm.h"
#include "shell/watch/WatchListWnd.h"

#include <commctrl.h>
#include <gtest/gtest.h>

namespace {

// Each heading whole in its column (a header keeps three edges clear at each side); the total width.
int ExpectHeadingsWhole(HWND list, const char* which) {
    int total = 0;
    for (int column = 0; column < Header_GetItemCount(ListView_GetHeader(list)); ++column) {
        wchar_t heading[256] = L"";
        LVCOLUMNW asked = {LVCF_TEXT, 0, 0, heading, 256, 0, 0, 0, 0, 0, 0};
        ListView_GetColumn(list, column, &asked);
        total += ListView_GetColumnWidth(list, column);
        EXPECT_LE(ListView_GetStringWidth(list, heading) + 6 * ::GetSystemMetrics(SM_CXEDGE),
                  ListView_GetColumnWidth(list, column))
            << which << ": " << ToAnsiText(heading) << " is cut";
    }
    return total;
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
        running.PressKey(WM_KEYDOWN, 'H', VK_CONTROL);
        CHistoryWnd* history = frame->History();
        for (int i = 0; i < 250 && history != nullptr && !history->IsLoaded(); ++i)
            running.Pump(20);
        ASSERT_TRUE(history != nullptr && history->IsLoaded() && history->ShownCount() == 2);
        HWND list = ::GetDlgItem(history->GetSafeHwnd(), IDC_HISTORY_LIST);
        const int columns = ExpectHeadingsWhole(list, "the history");
        RECT client, window;
        ::GetClientRect(list, &client);
        ::GetWindowRect(history->GetSafeHwnd(), &window);
        if (ChildRunDpi() == 0) {
            EXPECT_LE(columns, client.right) << "the history's last columns lie outside it";
            EXPECT_TRUE(window.left >= 0 && window.right <= 1280) << window.left << " to " << window.right;
        }

        wchar_t today[80] = L"";
        ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, today, 80, nullptr);
        int failed = 0;
        for (int item = 0; item < 2; ++item) {
            EXPECT_EQ(ToAnsiText(today), running.ItemText(item, 0, list)) << "the user's short date";
            failed += running.ItemText(item, 6, list).find(ToAnsiText(SystemMessage(ERROR_FILE_NOT_FOUND))) !=
                      std::string::npos;
        }
        EXPECT_EQ(1, failed) << "the failed backup's result says why";

        ::SendMessageW(history->GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDC_HISTORY_VERIFY, BN_CLICKED), 0);
        ::SendMessageW(running.Frame(), WM_COMMAND, MAKEWPARAM(ID_WATCH_LIST, 0), 0);
        CompareRequest request;
        request.older.path = request.newer.path = FromAnsiText(sources.path());
        const HWND folders = CCompareFoldersWnd::Open(running.Frame(), request)->GetSafeHwnd();
        for (HWND other : {history->VersionCheck()->List(), frame->WatchList()->List(),
                           ::GetDlgItem(folders, IDC_FOLDERS_LIST)})
            ExpectHeadingsWhole(other, "another window");
        ::DestroyWindow(folders);
    }
}
