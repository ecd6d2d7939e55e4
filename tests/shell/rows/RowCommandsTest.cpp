// The list's rows in the running program: show the backup (Enter, double-click, the menu's
// default) and the original, the row menu (mouse, keyboard) and its greying, Ctrl+C, and the
// restore: one question, default No; on Yes what is there is backed up first; Esc stops it with
// every file whole. The shell, the question and the menu are recorders.
#include "RunningApp.h"

#include "common/TempFolder.h"
#include "engine/base/BackupPaths.h"
#include "res/resource.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring ClipboardText() {
    std::wstring text;
    if (::OpenClipboard(nullptr)) {
        HANDLE data = ::GetClipboardData(CF_UNICODETEXT);
        if (const auto* locked =
                static_cast<const wchar_t*>(data != nullptr ? ::GlobalLock(data) : nullptr)) {
            text = locked;
            ::GlobalUnlock(data);
        }
        ::CloseClipboard();
    }
    return text;
}

class Rows : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WriteFileText(sources / "note.txt", "first file"));
        ASSERT_TRUE(WriteFileText(sources / "album\\top.txt", "top"));
        running = std::make_unique<RunningApp>("", program.path());
        ASSERT_TRUE(running->started());
    }
    void TearDown() override { running.reset(); }

    void Drop(const std::vector<std::string>& paths) {
        const int before = running->ItemCount();
        ::PostMessageA(running->View(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDropBlock(paths)), 0);
        running->PumpUntilRows(before + static_cast<int>(paths.size()));
    }
    POINT RowPointOnScreen(int item, int x, bool labelCorner) {
        RECT rect = {};
        rect.left = labelCorner ? LVIR_LABEL : LVIR_BOUNDS;
        ::SendMessageW(running->List(), LVM_GETITEMRECT, item, reinterpret_cast<LPARAM>(&rect));
        POINT point = {labelCorner ? rect.left : x, labelCorner ? rect.bottom : (rect.top + rect.bottom) / 2};
        ::ClientToScreen(running->List(), &point);
        return point;
    }

    TempFolder sources;
    TempFolder program;
    RowSeams seams;
    std::unique_ptr<RunningApp> running;
};

TEST_F(Rows, ShowTheBackupOpensEachFolderOnceWithItsItemsSelected) {
    const std::string longPath = sources.path() + "\\" + std::string(300, 'x') + ".txt";
    Drop({sources / "note.txt", sources / "album", longPath});
    ASSERT_EQ(3, running->ItemCount());
    const std::wstring minute = running->WideItemText(0, 4);

    running->SelectRows({0, 1});
    running->PressKey(WM_KEYDOWN, VK_RETURN);
    POINT point = RowPointOnScreen(0, 300, false);
    ::ScreenToClient(running->List(), &point);
    for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
        ::PostMessageW(running->List(), message, 0, MAKELPARAM(point.x, point.y));
    running->Pump(100);
    running->SelectRows({2});
    running->ChooseFromRowMenu(seams, ID_ROW_SHOW_BACKUP);
    running->SelectRows({0});
    running->ChooseFromRowMenu(seams, ID_ROW_SHOW_ORIGINAL);
    RemoveTree(program / "backups");
    running->PressKey(WM_KEYDOWN, VK_RETURN); // nothing left to show: the shell is not asked
    const std::vector<std::pair<std::wstring, std::vector<std::wstring>>> shown = {
        {minute, {minute + L"\\note.txt", minute + L"\\album"}}, // Enter: one folder, two rows
        {minute, {minute + L"\\note.txt"}},                      // a double-click anywhere on the row
        {WithoutLastComponent(minute), {minute}}, // failed: only its minute folder, shown in its day folder
        {FromAnsiText(sources.path()), {FromAnsiText(sources / "note.txt")}}, // the original
    };
    EXPECT_EQ(shown, seams.shown);
    EXPECT_EQ(sources / "note.txtのバックアップは見つかりませんでした", running->StatusText());
}

TEST_F(Rows, TheMenuOpensByMouseAndKeyboardAndOffersRestoreOnlyForWholeBackups) {
    Drop({sources / "note.txt", sources / "album", sources / "missing.txt"});
    ASSERT_EQ(3, running->ItemCount());
    running->SelectRows({1, 0});
    running->ChooseFromRowMenu(seams, 0);
    const std::vector<std::pair<std::wstring, bool>> items = {
        {L"バックアップを表示(&S)\tEnter", false},
        {L"開く(&L)", true}, // one version at a time
        {L"比較(&D)", true}, // two rows of two items
        {L"元のファイルの場所を表示(&O)", false},
        {L"バックアップのパスをコピー(&C)\tCtrl+C", false},
        {L"以前の版(&V)", false},
        {L"", false},
        {L"元に戻す(&R)...", false},
        {L"別の場所に戻す(&T)...", false},
        {L"", false},
        {L"見張る(&W)", true}}; // one item at a time
    EXPECT_EQ(items, seams.menu);
    EXPECT_EQ(static_cast<UINT>(ID_ROW_SHOW_BACKUP), seams.menuDefault);
    const POINT corner = RowPointOnScreen(1, 0, true);
    EXPECT_TRUE(seams.menuPoint.x == corner.x && seams.menuPoint.y == corner.y) << "at the focused row";

    // A right-click takes its row and opens the menu at the pointer; Shift+F10 and the menu key.
    const POINT screen = RowPointOnScreen(2, 300, false);
    POINT client = screen;
    ::ScreenToClient(running->List(), &client);
    ::SetCursorPos(screen.x, screen.y); // the posted click's message position
    ::PostMessageW(running->List(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(client.x, client.y));
    ::PostMessageW(running->List(), WM_RBUTTONUP, 0, MAKELPARAM(client.x, client.y));
    running->Pump(100);
    ASSERT_EQ(2, seams.menusShown);
    EXPECT_TRUE(seams.menuPoint.x == screen.x && seams.menuPoint.y == screen.y);
    EXPECT_EQ(2, ListView_GetNextItem(running->List(), -1, LVNI_SELECTED));
    EXPECT_EQ(-1, ListView_GetNextItem(running->List(), 2, LVNI_SELECTED));
    EXPECT_TRUE(seams.menu[8].second) << "a failed backup offers no restore";
    EXPECT_TRUE(seams.menu[10].second) << "nor a watch";
    EXPECT_TRUE(seams.menu[2].second) << "nor a compare";
    running->PressKey(WM_SYSKEYDOWN, VK_F10, VK_SHIFT); // the real menu is modal and takes the release
    EXPECT_EQ(3, seams.menusShown) << "Shift+F10";
    running->PressKey(WM_KEYDOWN, VK_APPS);
    running->PressKey(WM_KEYUP, VK_APPS);
    EXPECT_EQ(4, seams.menusShown) << "the menu key, once";
    running->SelectRows({});
    running->ChooseFromRowMenu(seams, 0);
    EXPECT_EQ(4, seams.menusShown) << "no menu without a row";

    // Ctrl+C and the menu's copy: the backups' full paths, one a line.
    const std::wstring minute = running->WideItemText(0, 4);
    running->SelectRows({0, 1});
    running->PressKey(WM_KEYDOWN, 'C', VK_CONTROL);
    EXPECT_EQ(minute + L"\\note.txt\r\n" + minute + L"\\album", ClipboardText());
    running->SelectRows({1});
    running->ChooseFromRowMenu(seams, ID_ROW_COPY_PATH);
    EXPECT_EQ(minute + L"\\album", ClipboardText());
}

TEST_F(Rows, RestoreAsksOnceDefaultNoAndOnYesBacksUpWhatIsThereFirst) {
    Drop({sources / "note.txt"});
    ASSERT_TRUE(WriteFileText(sources / "note.txt", "changed"));
    running->SelectRows({0});
    running->ChooseFromRowMenu(seams, ID_ROW_RESTORE);
    ASSERT_EQ(1u, seams.questions.size());
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), seams.questions[0].second);
    const std::wstring when = running->WideItemText(0, 0) + L" " + running->WideItemText(0, 1);
    for (const std::wstring& part : {std::wstring(L"「note.txt」"), when, FromAnsiText(sources / "note.txt"),
                                     std::wstring(L"先にバックアップします")})
        EXPECT_NE(std::wstring::npos, seams.questions[0].first.find(part)) << ToAnsiText(part);
    running->Pump(200);
    std::string content;
    EXPECT_EQ(1, running->ItemCount()) << "No does nothing";
    EXPECT_TRUE(ReadFileText(sources / "note.txt", &content) && content == "changed");

    seams.answer = IDYES;
    running->ChooseFromRowMenu(seams, ID_ROW_RESTORE);
    running->PumpUntilRows(3);
    ASSERT_EQ(3, running->ItemCount());
    EXPECT_TRUE(ReadFileText(sources / "note.txt", &content) && content == "first file") << content;
    EXPECT_TRUE(ReadFileText(running->ItemText(1, 4) + "\\" + running->ItemText(1, 2), &content) &&
                content == "changed")
        << "what was there is backed up first";
    EXPECT_EQ(running->ItemText(0, 4) + "\\note.txt", running->ItemText(2, 3)) << "from which backup";
    EXPECT_EQ("(復元)" + sources / "note.txt", running->ItemText(2, 4));
    EXPECT_EQ("ready", running->StatusText());

    // Two versions of one item: said, and nothing is put back.
    running->SelectRows({0, 1});
    running->ChooseFromRowMenu(seams, ID_ROW_RESTORE);
    ASSERT_EQ(3u, seams.questions.size());
    EXPECT_NE(std::wstring::npos, seams.questions[2].first.find(L"同じ項目の版が2つ以上"));
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONWARNING), seams.questions[2].second);
    running->Pump(200);
    EXPECT_EQ(3, running->ItemCount());
}

// Esc during the put-back: each file is the backup's or what was there, never a part, and no
// temporary is left in the user's folder.
TEST_F(Rows, ARestoreStoppedWithEscLeavesEveryFileWhole) {
    const std::string many = sources / "many", before(2000, 'o'), after(2000, 'n');
    for (const std::string* content : {&before, &after}) {
        for (int i = 0; i < 800; ++i)
            ASSERT_TRUE(WriteFileText(many + "\\f" + std::to_string(i) + ".txt", *content));
        if (content == &before)
            Drop({many});
    }
    running->SelectRows({0});
    seams.answer = IDYES;
    running->ChooseFromRowMenu(seams, ID_ROW_RESTORE);
    for (int wait = 0; wait < 6000 && running->ItemCount() < 2; ++wait)
        running->Pump(10); // the safety backup's row: the put-back begins
    ::PostMessageW(running->List(), WM_KEYDOWN, VK_ESCAPE, 0);
    running->PumpUntilRows(3);
    ASSERT_EQ(3, running->ItemCount());
    EXPECT_EQ("(中止)(復元)" + many, running->ItemText(2, 4));
    EXPECT_EQ(many + "の復元を中止しました", running->StatusText());
    int files = 0, restored = 0, kept = 0;
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA((many + "\\*").c_str(), &found);
    do {
        std::string content;
        if (found.cFileName[0] == '.' || !ReadFileText(many + "\\" + found.cFileName, &content))
            continue;
        ++files;
        restored += content == before;
        kept += content == after;
    } while (::FindNextFileA(find, &found));
    ::FindClose(find);
    EXPECT_EQ(800, files) << "no temporary left";
    EXPECT_EQ(800, restored + kept) << "every file whole, old or new";
    EXPECT_TRUE(restored > 0 && kept > 0) << "stopped in the put-back; restored " << restored;
}

} // namespace
