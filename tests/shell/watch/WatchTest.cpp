// Watching in the running program (settle time 1 s): the row command 見張る, its check mark and its
// refusals; one automatic version per save, none for a save that changes nothing; the window out of
// sight while minimized; the question before closing; the watch resumed after a restart; the
// Startup folder's shortcut.
#include "RunningApp.h"

#include "common/TempFolder.h"
#include "engine/base/BackupPaths.h"
#include "res/resource.h"
#include "shell/document/TallowboxDoc.h"
#include "shell/main/MainFrm.h"
#include "shell/main/TallowboxView.h"
#include "shell/watch/StartupShortcut.h"
#include "shell/watch/WatchListWnd.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

std::vector<std::wstring> g_questions;
int g_answer = IDYES;

class Watch : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WriteFileText(program / "Tallowbox.ini", "[Tallowbox]\r\nWatchDelay=1\r\n"));
        ASSERT_TRUE(WriteFileText(note, "first"));
        CMainFrame::s_pfnAsk = [](HWND, const std::wstring& text, UINT) {
            g_questions.push_back(text);
            return g_answer;
        };
        g_questions.clear();
        g_answer = IDYES;
        Start();
    }
    void TearDown() override {
        g_answer = IDYES;
        running.reset();
        CMainFrame::s_pfnAsk = m_ask;
    }
    void Start() {
        running = std::make_unique<RunningApp>("", program.path());
        ASSERT_TRUE(running->started());
        view = dynamic_cast<CTallowboxView*>(CWnd::FromHandlePermanent(running->View()));
        doc = &view->Doc();
    }
    void Drop(const std::string& path) {
        const int before = running->ItemCount();
        ::PostMessageA(running->View(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDropBlock({path})), 0);
        running->PumpUntilRows(before + 1);
    }
    void ChooseWatch(int item) {
        running->SelectRows({item});
        running->ChooseFromRowMenu(seams, ID_ROW_WATCH);
    }
    // The row's copy of note.txt when the row is an automatic version; "" otherwise.
    std::string AutomaticCopy(int item) {
        const std::string destination = running->ItemText(item, 4), mark = "(自動)";
        std::string content;
        if (destination.rfind(mark, 0) != 0 ||
            !ReadFileText(destination.substr(mark.size()) + "\\note.txt", &content))
            return "";
        return content;
    }

    TempFolder sources, program;
    const std::string note = sources / "note.txt";
    RowSeams seams;
    std::unique_ptr<RunningApp> running;
    CTallowboxView* view = nullptr;
    CTallowboxDoc* doc = nullptr;
    const CMainFrame::Asker m_ask = CMainFrame::s_pfnAsk;
};

TEST_F(Watch, EachSaveGivesOneAutomaticVersionTheWatchOutlivesTheProgram) {
    Drop(note);
    ChooseWatch(0);
    ASSERT_TRUE(doc->IsWatched(FromAnsiText(note)));
    running->ChooseFromRowMenu(seams, 0);
    EXPECT_TRUE(seams.checked.back()) << "checked when watched";

    ASSERT_TRUE(WriteFileText(note, "second"));
    running->PumpUntilRows(2, 8000);
    ASSERT_EQ(2, running->ItemCount());
    EXPECT_EQ("second", AutomaticCopy(1)) << running->ItemText(1, 4);

    // Fifty saves in a second give one version; a save that changes only the time gives none.
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(WriteFileText(note, "third " + std::to_string(i)));
        running->Pump(20);
    }
    running->PumpUntilRows(3, 8000);
    FILETIME later;
    ::GetSystemTimeAsFileTime(&later);
    const HANDLE file = ::CreateFileA(note.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ::SetFileTime(file, nullptr, nullptr, &later);
    ::CloseHandle(file);
    running->Pump(3000);
    ASSERT_EQ(3, running->ItemCount());
    EXPECT_EQ("third 49", AutomaticCopy(2));

    // Saved while another program holds it open for writing: said once, versioned whole once closed.
    const HANDLE writer =
        ::CreateFileA(note.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    ::WriteFile(writer, "held", 4, &written, nullptr);
    running->Pump(2500);
    EXPECT_NE(std::wstring::npos, running->WideStatusText().find(L"書き込み中")) << running->StatusText();
    view->SetStatusText(L"seen");
    running->Pump(2500);
    EXPECT_EQ(L"seen", running->WideStatusText()) << "said once, not on every try";
    ::WriteFile(writer, " whole", 6, &written, nullptr);
    ::CloseHandle(writer);
    running->PumpUntilRows(4, 8000);
    ASSERT_EQ(4, running->ItemCount());
    EXPECT_EQ("held whole", AutomaticCopy(3));
    // Minimized while watching: hidden, and the icon's left click brings it back.
    ::ShowWindow(running->Frame(), SW_MINIMIZE);
    running->Pump(50);
    EXPECT_FALSE(::IsWindowVisible(running->Frame()));
    ::SendMessageA(running->View(), WM_TRAYNOTIFY, 0, WM_LBUTTONUP);
    running->Pump(50);
    EXPECT_TRUE(::IsWindowVisible(running->Frame()));

    // Closing asks first; No keeps the program.
    g_answer = IDNO;
    ::SendMessageA(running->Frame(), WM_CLOSE, 0, 0);
    ASSERT_EQ(1u, g_questions.size());
    EXPECT_NE(std::wstring::npos, g_questions[0].find(L"次にTallowboxを起動するまで見張りは止まります"));
    EXPECT_TRUE(::IsWindow(running->Frame()));

    // At the next start the watch resumes and its newest version is read back from the journals.
    SYSTEMTIME newest = {}, readBack = {};
    ASSERT_TRUE(doc->LastVersion(FromAnsiText(note), &newest));
    g_answer = IDYES;
    running.reset();
    Start();
    const auto resumed = [&] {
        return doc->IsWatched(FromAnsiText(note)) && doc->LastVersion(FromAnsiText(note), &readBack);
    };
    for (int i = 0; i < 100 && !resumed(); ++i)
        running->Pump(50);
    ASSERT_TRUE(resumed());
    EXPECT_EQ(0, running->ItemCount()) << "nothing changed: no version";
    EXPECT_EQ(
        std::make_tuple(newest.wYear, newest.wMonth, newest.wDay, newest.wHour, newest.wMinute),
        std::make_tuple(readBack.wYear, readBack.wMonth, readBack.wDay, readBack.wHour, readBack.wMinute));

    // A change made while the program was closed is versioned at the next start.
    running.reset();
    ASSERT_TRUE(WriteFileText(note, "while closed"));
    Start();
    running->PumpUntilRows(1, 8000);
    ASSERT_EQ(1, running->ItemCount());
    EXPECT_EQ("while closed", AutomaticCopy(0));
}

// The list of watches follows an item that goes and comes back (no failed rows), stops watching
// the selected items; refusals are said and watch nothing; 起動時に開始 makes and removes a shortcut.
TEST_F(Watch, TheListOfWatchesFollowsAnItemRefusalsAreSaidStartAtLogonMakesAShortcut) {
    Drop(note);
    ChooseWatch(0);
    ::SendMessageA(running->Frame(), WM_COMMAND, MAKEWPARAM(ID_WATCH_LIST, 0), 0);
    CWatchListWnd* watches =
        dynamic_cast<CMainFrame*>(CWnd::FromHandlePermanent(running->Frame()))->WatchList();
    ASSERT_NE(watches, nullptr);
    const auto cell = [&](int column) {
        wchar_t text[512] = L"";
        LVITEMW item = {};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = 512;
        ::SendMessageW(watches->List(), LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&item));
        return std::wstring(text);
    };
    running->Pump(300);
    EXPECT_EQ(FromAnsiText(note), cell(0));
    EXPECT_EQ(0u, cell(1).rfind(L"20", 0)) << "the drop's copy, from the journal: " << cell(1).size();
    EXPECT_EQ(L"見張り中", cell(2));

    ASSERT_TRUE(::DeleteFileA(note.c_str()));
    running->Pump(2500);
    EXPECT_EQ(L"戻るのを待っています", cell(2));
    ASSERT_TRUE(WriteFileText(note, "back"));
    running->PumpUntilRows(2, 8000);
    ASSERT_EQ(2, running->ItemCount()) << "the item's absence made no row";
    EXPECT_EQ("back", AutomaticCopy(1));
    EXPECT_EQ(L"見張り中", cell(2));

    ListView_SetItemState(watches->List(), 0, LVIS_SELECTED, LVIS_SELECTED);
    ::SendMessageW(watches->GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDC_WATCH_STOP, BN_CLICKED), 0);
    EXPECT_EQ(0u, doc->WatchCount());
    EXPECT_EQ(0, ListView_GetItemCount(watches->List()));

    ASSERT_TRUE(::DeleteFileA(note.c_str()));
    ChooseWatch(0);
    ASSERT_EQ(1u, seams.questions.size());
    EXPECT_NE(std::wstring::npos, seams.questions[0].first.find(L"は見張れません（見つかりません）"));
    EXPECT_EQ(WatchRefusal::BackupsFolder, doc->ToggleWatch(doc->BackupRoot()));
    EXPECT_EQ(0u, doc->WatchCount());

    ::SendMessageA(running->Frame(), WM_COMMAND, MAKEWPARAM(ID_START_AT_LOGON, 0), 0);
    EXPECT_TRUE(HasStartupShortcut());
    ::SendMessageA(running->Frame(), WM_COMMAND, MAKEWPARAM(ID_START_AT_LOGON, 0), 0);
    EXPECT_FALSE(HasStartupShortcut());
}

} // namespace
