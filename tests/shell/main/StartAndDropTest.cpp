// The running program in this process: start-up with quoted paths, drops, the status line.
#include "RunningApp.h"
#include "WindowProbe.h"

#include "common/TempFolder.h"
#include "framework/FrameworkIds.h"
#include "res/resource.h"
#include "shell/main/TallowboxView.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

// Records the list's row count at the moment the main frame is first shown.
int g_rowsAtFirstShow = -1;
HHOOK g_showHook = nullptr;

LRESULT CALLBACK WatchFirstShow(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_SHOWWINDOW && call->wParam && g_rowsAtFirstShow < 0 &&
        ::GetDlgItem(call->hwnd, AFX_IDW_PANE_FIRST) != nullptr) {
        HWND list = ::GetDlgItem(::GetDlgItem(call->hwnd, AFX_IDW_PANE_FIRST), IDC_BACKUP_LIST);
        g_rowsAtFirstShow = static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    }
    return ::CallNextHookEx(g_showHook, code, wParam, lParam);
}

// The one folder below backups\<day>\ of a batch, found on disk.
std::string OnlyMinuteFolder(const std::string& backups) {
    std::vector<std::string> found;
    WIN32_FIND_DATAA day;
    HANDLE days = ::FindFirstFileA((backups + "\\*").c_str(), &day);
    if (days == INVALID_HANDLE_VALUE)
        return "";
    do {
        if (day.cFileName[0] == '.')
            continue;
        WIN32_FIND_DATAA minute;
        const std::string dayFolder = backups + "\\" + day.cFileName;
        HANDLE minutes = ::FindFirstFileA((dayFolder + "\\*").c_str(), &minute);
        if (minutes == INVALID_HANDLE_VALUE)
            continue;
        do {
            if (minute.cFileName[0] != '.' && (minute.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                std::strlen(minute.cFileName) == 4) // "HHMM": the day's journal and manifests aside
                found.push_back(dayFolder + "\\" + minute.cFileName);
        } while (::FindNextFileA(minutes, &minute));
        ::FindClose(minutes);
    } while (::FindNextFileA(days, &day));
    ::FindClose(days);
    return found.size() == 1 ? found[0] : "";
}

class StartUp : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WriteFileText(sources / "note.txt", "first file"));
        ASSERT_TRUE(WriteFileText(sources / "album\\inner\\deep.txt", "deep"));
        ASSERT_TRUE(WriteFileText(sources / "album\\top.txt", "top"));
        ASSERT_TRUE(WriteFileText(sources / "second.txt", "second file"));
    }
    TempFolder sources;
    TempFolder program;
};

TEST_F(StartUp, QuotedPathsAreBackedUpBeforeTheWindowFirstShows) {
    g_rowsAtFirstShow = -1;
    g_showHook = ::SetWindowsHookExA(WH_CALLWNDPROC, &WatchFirstShow, nullptr, ::GetCurrentThreadId());
    RunningApp running(Quoted(sources / "note.txt") + " " + Quoted(sources / "album") + " bare.txt",
                       program.path());
    ::UnhookWindowsHookEx(g_showHook);
    ASSERT_TRUE(running.started());
    ASSERT_NE(running.Frame(), nullptr);

    EXPECT_EQ(g_rowsAtFirstShow, 2) << "rows already listed when the frame is first shown";
    EXPECT_TRUE(::IsWindowVisible(running.Frame()));
    ASSERT_EQ(running.ItemCount(), 2);
    EXPECT_EQ(running.ItemText(0, 2), "note.txt");
    EXPECT_EQ(running.ItemText(0, 3), sources.path());
    EXPECT_EQ(running.ItemText(1, 2), "(フォルダ)");
    EXPECT_EQ(running.ItemText(1, 3), sources / "album");
    EXPECT_EQ(running.ItemText(0, 1), running.ItemText(1, 1)) << "one time stamp for the batch";

    const std::string minute = OnlyMinuteFolder(program / "backups");
    ASSERT_FALSE(minute.empty()) << "exactly one time-stamped folder below " << program / "backups";
    EXPECT_EQ(running.ItemText(0, 4), minute);
    EXPECT_EQ(running.ItemText(1, 4), minute + "\\album");
    std::string content;
    EXPECT_TRUE(ReadFileText(minute + "\\note.txt", &content));
    EXPECT_EQ(content, "first file");
    EXPECT_TRUE(ReadFileText(minute + "\\album\\inner\\deep.txt", &content));
    EXPECT_EQ(content, "deep");
    EXPECT_FALSE(FileExists(minute + "\\bare.txt")) << "an unquoted piece is not backed up";
}

TEST_F(StartUp, FrameIsTheFixedTopmostWindowWithAFiveColumnList) {
    RunningApp running("", program.path());
    ASSERT_TRUE(running.started());
    HWND frame = running.Frame();
    EXPECT_EQ(WindowText(frame), "Tallowbox");
    const LONG style = ::GetWindowLongA(frame, GWL_STYLE);
    EXPECT_EQ(style & ~(WS_VISIBLE | WS_CLIPSIBLINGS), static_cast<LONG>(WS_OVERLAPPEDWINDOW));
    const LONG exStyle = ::GetWindowLongA(frame, GWL_EXSTYLE);
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
    EXPECT_TRUE(exStyle & WS_EX_CLIENTEDGE);
    EXPECT_FALSE(exStyle & WS_EX_ACCEPTFILES) << "only the view takes drops";
    EXPECT_TRUE(::GetWindowLongA(running.View(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    EXPECT_TRUE(::GetWindowLongA(running.View(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    EXPECT_FALSE(::GetWindowLongA(running.View(), GWL_STYLE) & WS_BORDER);
    EXPECT_EQ(ClassNameOf(running.StatusBar()), "msctls_statusbar32");
    EXPECT_EQ(::SendMessageA(running.StatusBar(), SB_GETPARTS, 0, 0), 2) << "the status line and the counts";

    struct Column {
        const char* heading;
        int format;
        int width;
    };
    const Column expected[] = {{"日付", LVCFMT_CENTER, 70},
                               {"時間", LVCFMT_CENTER, 70},
                               {"ファイル名", LVCFMT_LEFT, 150},
                               {"保存元", LVCFMT_LEFT, 150},
                               {"保存先", LVCFMT_LEFT, 150}};
    HWND header = reinterpret_cast<HWND>(::SendMessageA(running.List(), LVM_GETHEADER, 0, 0));
    EXPECT_EQ(::SendMessageA(header, HDM_GETITEMCOUNT, 0, 0), 5);
    for (int i = 0; i < 5; ++i) {
        char heading[64] = "";
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH;
        column.pszText = heading;
        column.cchTextMax = sizeof heading;
        ASSERT_TRUE(::SendMessageA(running.List(), LVM_GETCOLUMNA, static_cast<WPARAM>(i),
                                   reinterpret_cast<LPARAM>(&column)));
        EXPECT_STREQ(heading, expected[i].heading) << "column " << i;
        EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, expected[i].format) << "column " << i;
        EXPECT_EQ(column.cx, expected[i].width) << "column " << i;
    }
    EXPECT_EQ(running.ItemCount(), 0);
}

TEST_F(StartUp, IdleTextIsPostedAtCreationAndShownOnceTheLoopRuns) {
    RunningApp running("", program.path());
    ASSERT_TRUE(running.started());
    EXPECT_EQ(running.StatusText(), "") << "nothing before the loop takes the posted request";
    running.Pump();
    EXPECT_EQ(running.StatusText(), "ready");
}

class Drop : public StartUp {};

TEST_F(Drop, EachDropIsOneBatchAndASecondDropAppends) {
    RunningApp running("", program.path());
    ASSERT_TRUE(running.started());
    running.Pump();

    ::SetCursor(::LoadCursor(nullptr, IDC_CROSS));
    HGLOBAL first = MakeDropBlock({sources / "note.txt", sources / "album"});
    ASSERT_TRUE(::PostMessageA(running.View(), WM_DROPFILES, reinterpret_cast<WPARAM>(first), 0));
    running.PumpUntilRows(2);
    EXPECT_EQ(::GetCursor(), ::LoadCursor(nullptr, IDC_ARROW)) << "the arrow after the batch";
    ASSERT_EQ(running.ItemCount(), 2);
    EXPECT_EQ(running.ItemText(0, 2), "note.txt");
    EXPECT_EQ(running.ItemText(1, 2), "(フォルダ)");
    EXPECT_EQ(running.ItemText(0, 1), running.ItemText(1, 1));
    EXPECT_EQ(running.StatusText(), "ready") << "the engine's last text";
    const std::string minute = OnlyMinuteFolder(program / "backups");
    ASSERT_FALSE(minute.empty());
    EXPECT_TRUE(FileExists(minute + "\\note.txt"));
    EXPECT_TRUE(FileExists(minute + "\\album\\top.txt"));

    HGLOBAL second = MakeDropBlock({sources / "second.txt"});
    ASSERT_TRUE(::PostMessageA(running.View(), WM_DROPFILES, reinterpret_cast<WPARAM>(second), 0));
    running.PumpUntilRows(3);
    ASSERT_EQ(running.ItemCount(), 3) << "a second drop appends";
    EXPECT_EQ(running.ItemText(2, 2), "second.txt");
    EXPECT_EQ(running.ItemText(0, 2), "note.txt") << "earlier rows stay";
    EXPECT_TRUE(FileExists(running.ItemText(2, 4) + "\\second.txt"));
}

// A long copy runs off the window's thread: the window answers other threads' messages, a drop
// made meanwhile waits its turn, Esc stops both (listed as stopped, no part left), and a later
// drop backs up as usual.
TEST_F(Drop, ALongCopyKeepsTheWindowLiveQueuesDropsAndStopsOnEsc) {
    ASSERT_TRUE(MakeFolders(sources / "many"));
    for (int i = 0; i < 3000; ++i)
        ASSERT_TRUE(
            WriteFileText(sources / ("many\\f" + std::to_string(i) + ".txt"), std::string(2000, 'x')));
    RunningApp running("", program.path());
    ASSERT_TRUE(running.started());
    auto* view = dynamic_cast<CTallowboxView*>(CWnd::FromHandlePermanent(running.View()));
    ASSERT_NE(view, nullptr);
    ::PostMessageA(running.View(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDropBlock({sources / "many"})),
                   0);
    ::PostMessageA(running.View(), WM_DROPFILES,
                   reinterpret_cast<WPARAM>(MakeDropBlock({sources / "note.txt"})), 0);
    running.Pump(20);
    ASSERT_TRUE(view->IsBackingUp());
    int answered = 0;
    std::thread other([&] {
        for (int i = 0; i < 10; ++i) {
            DWORD_PTR result = 0;
            answered += ::SendMessageTimeoutW(running.Frame(), WM_NULL, 0, 0, SMTO_NORMAL, 250, &result) != 0;
        }
    });
    running.Pump(300);
    other.join();
    EXPECT_EQ(10, answered) << "the window answers while the copy runs";
    EXPECT_EQ(0, running.ItemCount()) << "a row is listed when its item ends";
    ASSERT_TRUE(view->IsBackingUp());

    ::PostMessageA(running.List(), WM_KEYDOWN, VK_ESCAPE, 0);
    for (int wait = 0; wait < 100 && view->IsBackingUp(); ++wait)
        running.Pump(100);
    running.Pump(100);
    ASSERT_EQ(2, running.ItemCount());
    EXPECT_EQ(0u, running.ItemText(0, 4).rfind("(中止)", 0)) << running.ItemText(0, 4);
    EXPECT_EQ(0u, running.ItemText(1, 4).rfind("(中止)", 0)) << "the waiting drop is listed as stopped";
    EXPECT_EQ(sources / "note.txtのバックアップを中止しました", running.StatusText());
    const std::string minute = OnlyMinuteFolder(program / "backups");
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA((minute + "\\many\\*").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    size_t copied = 0;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        ++copied;
        std::string content;
        EXPECT_TRUE(ReadFileText(minute + "\\many\\" + name, &content) && content == std::string(2000, 'x'))
            << name << ": no part, no temporary left";
    } while (::FindNextFileA(find, &found));
    ::FindClose(find);
    EXPECT_LT(copied, 3000u) << "stopped before the end";

    ::PostMessageA(running.View(), WM_DROPFILES,
                   reinterpret_cast<WPARAM>(MakeDropBlock({sources / "second.txt"})), 0);
    for (int wait = 0; wait < 50 && running.ItemCount() < 3; ++wait)
        running.Pump(50);
    ASSERT_EQ(3, running.ItemCount());
    EXPECT_EQ("second.txt", running.ItemText(2, 2));
    EXPECT_EQ(std::string::npos, running.ItemText(2, 4).find("(中止)"));
}

TEST_F(Drop, AnEmptyDropAddsNoRow) {
    RunningApp running("", program.path());
    ASSERT_TRUE(running.started());
    HGLOBAL empty = MakeDropBlock(std::vector<std::wstring>{});
    ASSERT_TRUE(::PostMessageA(running.View(), WM_DROPFILES, reinterpret_cast<WPARAM>(empty), 0));
    running.Pump();
    EXPECT_EQ(running.ItemCount(), 0);
    EXPECT_FALSE(FolderExists(program / "backups"));
    EXPECT_TRUE(::IsWindow(running.Frame()));
}

// Puts data on the clipboard under format, in place of what was there.
bool PutOnClipboard(UINT format, HGLOBAL data) {
    if (!::OpenClipboard(nullptr))
        return false;
    ::EmptyClipboard();
    const bool put = ::SetClipboardData(format, data) != nullptr;
    ::CloseClipboard();
    return put;
}

HGLOBAL TextBlock(const std::wstring& text) {
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    std::wcscpy(static_cast<wchar_t*>(::GlobalLock(block)), text.c_str());
    ::GlobalUnlock(block);
    return block;
}

// What the shell's copy leaves on the clipboard is backed up as a drop of it: one stamp, rows in
// order, the clipboard kept. Text on the clipboard names no file.
TEST_F(Drop, CtrlVBacksUpTheFilesOnTheClipboardAsADrop) {
    RunningApp running("", program.path());
    ASSERT_TRUE(running.started());
    running.Pump();
    ASSERT_TRUE(PutOnClipboard(CF_UNICODETEXT, TextBlock(L"C:\\windows\\win.ini")));
    running.PressKey(WM_KEYDOWN, 'V', VK_CONTROL);
    running.Pump();
    EXPECT_EQ(running.ItemCount(), 0);
    EXPECT_FALSE(FolderExists(program / "backups")) << "text on the clipboard is no item";

    ASSERT_TRUE(PutOnClipboard(CF_HDROP, MakeDropBlock({sources / "second.txt", sources / "album"})));
    running.PressKey(WM_KEYDOWN, 'V', VK_CONTROL);
    running.PumpUntilRows(2);
    ASSERT_EQ(running.ItemCount(), 2);
    EXPECT_EQ(running.ItemText(0, 2), "second.txt");
    EXPECT_EQ(running.ItemText(1, 3), sources / "album");
    EXPECT_EQ(running.ItemText(0, 1), running.ItemText(1, 1)) << "one time stamp";
    EXPECT_TRUE(FileExists(running.ItemText(1, 4) + "\\inner\\deep.txt"));
    EXPECT_TRUE(::IsClipboardFormatAvailable(CF_HDROP)) << "the clipboard keeps its files";
}

TEST_F(Drop, APathLongerThanTheBuffersIsNeverCutButFailsVisibly) {
    RunningApp running("", program.path());
    ASSERT_TRUE(running.started());
    const std::string longPath = sources.path() + "\\" + std::string(300, 'x') + ".txt";
    HGLOBAL drop = MakeDropBlock({longPath, sources / "note.txt"});
    ASSERT_TRUE(::PostMessageA(running.View(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0));
    running.PumpUntilRows(2);
    ASSERT_EQ(running.ItemCount(), 2) << "the batch goes on after the long path";
    EXPECT_EQ(running.ItemText(0, 2), std::string(300, 'x') + ".txt") << "the whole name, not a cut one";
    EXPECT_EQ(running.ItemText(0, 4).rfind("(失敗)", 0), 0u) << running.ItemText(0, 4);
    EXPECT_EQ(running.ItemText(1, 2), "note.txt");
}

TEST_F(StartUp, EmptyAndOverlongQuotedPiecesAreSkippedOrFailWhole) {
    const std::string longPath = sources.path() + "\\" + std::string(280, 'y');
    RunningApp running("\"\" " + Quoted(longPath) + " " + Quoted(sources / "second.txt"), program.path());
    ASSERT_TRUE(running.started());
    ASSERT_EQ(running.ItemCount(), 2) << "no row for the empty piece";
    EXPECT_EQ(running.ItemText(0, 2), std::string(280, 'y'));
    EXPECT_EQ(running.ItemText(0, 4).rfind("(失敗)", 0), 0u) << running.ItemText(0, 4);
    EXPECT_EQ(running.ItemText(1, 2), "second.txt");
}

} // namespace
