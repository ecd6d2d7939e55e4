// The history window of the running program: after a restart it lists the earlier backups and the
// copies no journal names; the search box filters; a row's versions; restore, look at a version
// and restore to another place from it; 照合 without a mirror and a row's 修復. The shell, the
// question, the menu and the folder picker are recorders.
#include "RunningApp.h"

#include "common/TempFolder.h"
#include "engine/base/BackupPaths.h"
#include "engine/journal/Journal.h"
#include "framework/FileHandle.h"
#include "res/resource.h"
#include "shell/history/HistoryWnd.h"
#include "shell/history/VersionCheckWnd.h"
#include "framework/Language.h"
#include "shell/main/MainFrm.h"

#include <commctrl.h>
#include <gtest/gtest.h>

namespace {

class History : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WriteFileText(sources / "note.txt", "first"));
        ASSERT_TRUE(WriteFileText(sources / "album\\top.txt", "top"));
        // The background check off: it would heal what a test damages before 照合 reads it.
        ASSERT_TRUE(WriteFileText(program / "Tallowbox.ini", "[Tallowbox]\r\nCheckDays=0\r\n"));
        Start();
    }
    void Start() {
        running = std::make_unique<RunningApp>("", program.path());
        ASSERT_TRUE(running->started());
    }
    void Drop(const std::vector<std::string>& paths) {
        const int before = running->ItemCount();
        ::PostMessageA(running->View(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDropBlock(paths)), 0);
        running->PumpUntilRows(before + static_cast<int>(paths.size()));
    }
    // Opens the history with Ctrl+H, as the user does, and waits until it is read.
    CHistoryWnd* Open() {
        running->PressKey(WM_KEYDOWN, 'H', VK_CONTROL);
        auto* frame = dynamic_cast<CMainFrame*>(CWnd::FromHandlePermanent(running->Frame()));
        CHistoryWnd* history = frame != nullptr ? frame->History() : nullptr;
        for (int i = 0; i < 250 && history != nullptr && !history->IsLoaded(); ++i)
            running->Pump(20);
        return history;
    }
    // A batch that ended makes the history read again.
    void WaitUntilRead(CHistoryWnd* history, size_t entries) {
        for (int i = 0; i < 250 && !(history->IsLoaded() && history->History().entries.size() == entries);
             ++i)
            running->Pump(20);
    }
    HWND ListOf(CHistoryWnd* history) { return ::GetDlgItem(history->GetSafeHwnd(), IDC_HISTORY_LIST); }
    void Search(CHistoryWnd* history, const wchar_t* text) {
        ::SetDlgItemTextW(history->GetSafeHwnd(), IDC_HISTORY_SEARCH, text);
        running->Pump(20);
    }

    TempFolder sources;
    TempFolder program;
    RowSeams seams;
    std::unique_ptr<RunningApp> running;
};

} // namespace

TEST_F(History, AfterARestartItListsEveryBackupSearchesAndNarrowsToOneItem) {
    Drop({sources / "note.txt", sources / "album"});
    WriteFileText(sources / "note.txt", "second");
    Drop({sources / "note.txt"});
    ASSERT_TRUE(WriteFileText(program / "backups\\2001-0101\\0101\\stray.txt", "from an earlier version"));
    running.reset();
    Start();

    CHistoryWnd* history = Open();
    ASSERT_TRUE(history != nullptr && history->IsLoaded());
    ASSERT_EQ(4u, history->ShownCount()) << "three backups and a copy no journal names";
    Search(history, L"NOTE");
    EXPECT_EQ(2u, history->ShownCount()) << "case aside";
    Search(history, L"");
    EXPECT_EQ(4u, history->ShownCount());

    // The copy no journal names: last (oldest); no restore to an unknown place, but elsewhere.
    running->SelectRows({3}, ListOf(history));
    running->ChooseFromRowMenu(seams, 0, ListOf(history));
    ASSERT_EQ(12u, seams.menu.size()) << "the history's rows offer 修復 too";
    EXPECT_TRUE(seams.menu[7].second) << "restore greyed";
    EXPECT_FALSE(seams.menu[8].second) << "restore to another place offered";

    // The versions of one item, from a row of the history, and from the main list's row.
    running->SelectRows({0}, ListOf(history));
    running->ChooseFromRowMenu(seams, ID_ROW_VERSIONS, ListOf(history));
    EXPECT_EQ(2u, history->ShownCount());
    Drop({sources / "album"});
    WaitUntilRead(history, 5);
    running->SelectRows({0});
    running->ChooseFromRowMenu(seams, ID_ROW_VERSIONS);
    EXPECT_EQ(2u, history->ShownCount()) << "the album's two versions";
    // The later one, nothing changed, wrote nothing, yet holds the album: its size, and 0 added.
    EXPECT_EQ("3 バイト", running->ItemText(0, 4, ListOf(history)));
    EXPECT_EQ("0 バイト", running->ItemText(0, 5, ListOf(history)));
    EXPECT_EQ("3 バイト", running->ItemText(1, 5, ListOf(history)));
}

TEST_F(History, RestoreLookAtAVersionAndRestoreToAnotherPlace) {
    Drop({sources / "note.txt"});
    WriteFileText(sources / "note.txt", "changed");
    CHistoryWnd* history = Open();
    ASSERT_TRUE(history != nullptr && history->IsLoaded());
    ASSERT_EQ(1u, history->ShownCount());
    const std::string backup = running->ItemText(0, 4) + "\\note.txt";

    // Look: a read-only copy with the same bytes, somewhere else; the backup stays as it was.
    running->SelectRows({0}, ListOf(history));
    running->ChooseFromRowMenu(seams, ID_ROW_OPEN_VERSION, ListOf(history));
    running->PumpUntilIdle();
    ASSERT_EQ(1u, seams.opened.size());
    std::string content;
    EXPECT_TRUE(ReadFileText(ToAnsiText(seams.opened[0]), &content) && content == "first");
    EXPECT_TRUE(::GetFileAttributesW(seams.opened[0].c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(std::string::npos, ToAnsiText(seams.opened[0]).find(program.path()));
    EXPECT_FALSE(::GetFileAttributesA(backup.c_str()) & FILE_ATTRIBUTE_READONLY);

    // Restore to another place whose folder holds that name already: beside it, nothing replaced.
    ASSERT_TRUE(WriteFileText(sources / "elsewhere\\note.txt", "taken"));
    seams.folderToPick = FromAnsiText(sources / "elsewhere");
    running->ChooseFromRowMenu(seams, ID_ROW_RESTORE_ELSEWHERE, ListOf(history));
    running->PumpUntilRows(2);
    EXPECT_TRUE(ReadFileText(sources / "elsewhere\\note (2).txt", &content) && content == "first");
    EXPECT_TRUE(ReadFileText(sources / "elsewhere\\note.txt", &content) && content == "taken");
    EXPECT_EQ("(復元)" + sources / "elsewhere\\note (2).txt", running->ItemText(1, 4));

    // Restore in place: asked first, what is there is backed up, then the version comes back. The
    // history read again keeps the row selected and focused, below the restore listed first now.
    WaitUntilRead(history, 2);
    EXPECT_EQ(1, ListView_GetNextItem(ListOf(history), -1, LVNI_SELECTED));
    EXPECT_EQ(1, ListView_GetNextItem(ListOf(history), -1, LVNI_FOCUSED));
    EXPECT_EQ(-1, ListView_GetNextItem(ListOf(history), 1, LVNI_SELECTED));
    seams.answer = IDYES;
    running->ChooseFromRowMenu(seams, ID_ROW_RESTORE, ListOf(history));
    running->PumpUntilRows(4);
    ASSERT_EQ(1u, seams.questions.size());
    EXPECT_NE(std::wstring::npos, seams.questions[0].first.find(FromAnsiText(sources / "note.txt")));
    EXPECT_TRUE(ReadFileText(sources / "note.txt", &content) && content == "first");
    EXPECT_TRUE(ReadFileText(running->ItemText(2, 4) + "\\" + running->ItemText(2, 2), &content) &&
                content == "changed")
        << "what was there, backed up first";
}

// A large version is copied on the worker: the command returns at once, Esc stops the copy and
// nothing is opened; asked again, the whole copy is opened.
TEST_F(History, LookingAtALargeVersionLeavesTheWindowAnsweringAndEscStopsIt) {
    const std::string big = sources / "big.bin";
    {
        CFileHandle file(::CreateFileA(big.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        LARGE_INTEGER size;
        size.QuadPart = 256LL << 20;
        ASSERT_TRUE(::SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN) && ::SetEndOfFile(file.get()));
    }
    Drop({big});
    running->PumpUntilIdle();
    CHistoryWnd* history = Open();
    ASSERT_TRUE(history != nullptr && history->IsLoaded());
    running->SelectRows({0}, ListOf(history));
    history->RowCommands().OpenVersion(); // as the menu's command, without waiting after it
    EXPECT_TRUE(seams.opened.empty() && running->ViewObject()->IsBackingUp()) << "copying on the worker";
    running->PressKey(WM_KEYDOWN, VK_ESCAPE);
    running->PumpUntilIdle();
    EXPECT_TRUE(seams.opened.empty());
    EXPECT_NE(std::wstring::npos, running->WideStatusText().find(L"を開くのを中止しました"))
        << ToAnsiText(running->WideStatusText());

    running->ChooseFromRowMenu(seams, ID_ROW_OPEN_VERSION, ListOf(history));
    running->PumpUntilIdle();
    ASSERT_EQ(1u, seams.opened.size());
    WIN32_FILE_ATTRIBUTE_DATA data{};
    EXPECT_TRUE(::GetFileAttributesExW(seams.opened[0].c_str(), GetFileExInfoStandard, &data) &&
                data.nFileSizeLow == (256u << 20) && data.nFileSizeHigh == 0 &&
                (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY))
        << "a whole, read-only copy: " << ToAnsiText(seams.opened[0]);
    ::SetFileAttributesW(seams.opened[0].c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(seams.opened[0].c_str());
}

// After the cleanup the main window's status line says what it came to, not the copy it began with.
TEST_F(History, TheStatusLineAfterACleanupSaysWhatHappened) {
    const std::wstring root = FromAnsiText(program / "backups");
    // Two versions of one item, long ago: the older one may go (its copy is gone already, so no
    // Recycle Bin is needed; its minute folder is there).
    for (WORD minute : {1, 2}) {
        JournalRecord record;
        record.time = {2001, 1, 0, 1, 10, minute, 0, 0};
        record.original = L"C:\\data\\old.txt";
        record.copy = L"2001-0101\\100" + std::to_wstring(minute) + L"\\old.txt";
        ASSERT_EQ(DWORD(ERROR_SUCCESS), AppendJournalRecord(root, L"2001-0101", record));
        ASSERT_TRUE(
            ::CreateDirectoryW((root + L"\\2001-0101\\100" + std::to_wstring(minute)).c_str(), nullptr));
    }
    CHistoryWnd* history = Open();
    ASSERT_TRUE(history != nullptr && history->IsLoaded());
    // The cleanup's question is answered OK as soon as it shows.
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
        HWND dialog = ::GetActiveWindow();
        if (dialog != nullptr && ::GetDlgItem(dialog, IDC_CLEANUP_DAYS) != nullptr)
            ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    });
    ::PostMessageW(history->GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDC_HISTORY_CLEANUP, BN_CLICKED), 0);
    running->Pump(500);
    ::KillTimer(nullptr, timer);
    running->PumpUntilIdle();
    const std::wstring status = running->WideStatusText();
    EXPECT_EQ(0u, status.find(L"1 個のバックアップを")) << ToAnsiText(status);
    EXPECT_NE(std::wstring::npos, status.find(L"空きました")) << ToAnsiText(status);
}

// Without a mirror 照合 reads this computer's copies: a byte flipped in a folder version's file and
// in a file version's copy whose original has changed since, each found and named. The row's 修復
// proves the file version again and finds no good copy: it says so and overwrites nothing; the
// window's 修復 heals the folder version from its original, which still has its size, time and
// hash. The body, the status text and the 確認 column say each.
TEST_F(History, TheCheckWithoutAMirrorAndTheRepairFromTheOriginalOrNoGoodCopy) {
    Drop({sources / "note.txt", sources / "album"});
    running->PumpUntilIdle();
    const std::string folder = running->ItemText(0, 4), note = folder + "\\note.txt",
                      top = folder + "\\album\\top.txt";
    ASSERT_TRUE(FlipByteKeepingTime(note) && FlipByteKeepingTime(top));
    ASSERT_TRUE(WriteFileText(sources / "note.txt", "second"));
    CHistoryWnd* history = Open();
    ASSERT_TRUE(history != nullptr && history->IsLoaded());
    ::SendMessageW(history->GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDC_HISTORY_VERIFY, BN_CLICKED), 0);
    CVersionCheckWnd* check = history->VersionCheck();
    ASSERT_TRUE(check != nullptr);
    const auto waitUntilDone = [&] {
        for (int i = 0; i < 500 && !check->IsDone(); ++i)
            running->Pump(20);
        ASSERT_TRUE(check->IsDone());
    };
    const auto body = [&] {
        wchar_t text[512] = L"";
        ::GetDlgItemTextW(check->GetSafeHwnd(), IDC_CHECK_SUMMARY, text, 512);
        return std::wstring(text);
    };
    waitUntilDone();
    const HWND list = check->List(), rows = ListOf(history);
    ASSERT_EQ(2, ListView_GetItemCount(list));
    const int album = running->ItemText(0, 2, list) == "album" ? 0 : 1;
    const std::string damaged = ToAnsiText(LoadResourceText(IDS_PROOF_DAMAGED));
    for (int item : {0, 1}) {
        EXPECT_EQ(damaged, running->ItemText(item, 4, list));
        EXPECT_EQ(ToAnsiText(LoadResourceText(IDS_PROOF_ABSENT)), running->ItemText(item, 5, list));
        EXPECT_EQ(item == album ? "top.txt" : "note.txt", running->ItemText(item, 6, list));
    }
    EXPECT_EQ(FormatResourceText(IDS_CHECK_SUMMARY, {L"2"}) +
                  FormatResourceText(IDS_CHECK_SOME_DAMAGED, {L"2"}),
              body());

    // The row's 修復, offered once the history knows the damage: no good copy anywhere.
    const int noteRow = running->ItemText(0, 2, rows) == "note.txt" ? 0 : 1;
    for (int i = 0; i < 250 && running->ItemText(noteRow, 8, rows) != damaged; ++i)
        running->Pump(20);
    running->SelectRows({noteRow}, rows);
    running->ChooseFromRowMenu(seams, ID_ROW_REPAIR, rows);
    EXPECT_FALSE(seams.menu[9].second) << "修復 offered for a damaged version";
    const std::wstring said =
        FormatResourceText(IDS_ROW_REPAIR_DONE, {L"note.txt", LoadResourceText(IDS_REPAIR_NO_GOOD_COPY)});
    wchar_t status[512] = L"";
    for (int i = 0; i < 500 && said != status; ++i) {
        running->Pump(20);
        ::GetDlgItemTextW(history->GetSafeHwnd(), IDC_HISTORY_SUMMARY, status, 512);
    }
    EXPECT_EQ(said, status) << ToAnsiText(status);

    // The window's 修復: the folder version from its original, the file version left as it was.
    ::SendMessageW(check->GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDC_CHECK_REPAIR, BN_CLICKED), 0);
    waitUntilDone();
    EXPECT_EQ(ToAnsiText(LoadResourceText(IDS_REPAIR_FROM_ORIGINAL)), running->ItemText(album, 7, list));
    EXPECT_EQ(ToAnsiText(LoadResourceText(IDS_REPAIR_NO_GOOD_COPY)), running->ItemText(1 - album, 7, list));
    EXPECT_EQ(FormatResourceText(IDS_CHECK_SUMMARY, {L"2"}) +
                  FormatResourceText(IDS_CHECK_SOME_HEALED, {L"1"}) +
                  FormatResourceText(IDS_CHECK_NOT_HEALABLE, {L"1"}),
              body());
    std::string content;
    EXPECT_TRUE(ReadFileText(top, &content) && content == "top") << content;
    EXPECT_TRUE(ReadFileText(note, &content) &&
                content == std::string(1, static_cast<char>('f' ^ 0xFF)) + "irst")
        << "nothing overwritten";
    wchar_t today[80] = L"";
    ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, today, 80, nullptr);
    for (int i = 0; i < 250 && running->ItemText(1 - noteRow, 8, rows) != ToAnsiText(today); ++i)
        running->Pump(20);
    EXPECT_EQ(ToAnsiText(today), running->ItemText(1 - noteRow, 8, rows));
    EXPECT_EQ(damaged, running->ItemText(noteRow, 8, rows));
    running->SelectRows({1 - noteRow}, rows);
    running->ChooseFromRowMenu(seams, 0, rows);
    EXPECT_TRUE(seams.menu[9].second) << "修復 greyed for a version found good";
}
