// The list's rows in the running program: show the backup (Enter, double-click, the menu's
// default) and the original in the shell, the row menu's items and greying, Ctrl+C, and the
// restore: one question, default No; on Yes what is there is backed up and the backup put back;
// Esc stops it with every file whole. The shell, the question and the menu are recorders.
#include "RunningApp.h"

#include "common/TempFolder.h"
#include "engine/BackupPaths.h"
#include "res/resource.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring Wide(const std::string& text) {
    return FromAnsiText(text);
}

std::wstring ClipboardText() {
    std::wstring text;
    if (!::OpenClipboard(nullptr))
        return L"<clipboard busy>";
    if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* locked = static_cast<const wchar_t*>(::GlobalLock(data))) {
            text = locked;
            ::GlobalUnlock(data);
        }
    }
    ::CloseClipboard();
    return text;
}

// A key held down for this thread while the object lives, as the key state reads it.
class KeyHeldDown {
public:
    explicit KeyHeldDown(int key) {
        ::GetKeyboardState(m_saved);
        BYTE state[256];
        std::copy(m_saved, m_saved + 256, state);
        state[key] = 0x80;
        ::SetKeyboardState(state);
    }
    ~KeyHeldDown() { ::SetKeyboardState(m_saved); }
    KeyHeldDown(const KeyHeldDown&) = delete;
    KeyHeldDown& operator=(const KeyHeldDown&) = delete;

private:
    BYTE m_saved[256] = {};
};

class Rows : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WriteFileText(sources / "note.txt", "first file"));
        ASSERT_TRUE(WriteFileText(sources / "album\\top.txt", "top"));
        running = std::make_unique<RunningApp>("", program.path());
        ASSERT_TRUE(running->started());
        running->Pump(50);
    }
    void TearDown() override { running.reset(); }

    // Drops paths and waits for their rows.
    void Drop(const std::vector<std::string>& paths) {
        const int before = running->ItemCount();
        ASSERT_TRUE(
            ::PostMessageA(running->View(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDropBlock(paths)), 0));
        running->PumpUntilRows(before + static_cast<int>(paths.size()));
    }
    void PostKey(WPARAM key) {
        ::PostMessageW(running->List(), WM_KEYDOWN, key, 0);
        running->Pump(50);
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
    ASSERT_EQ(minute, running->WideItemText(1, 4).substr(0, minute.size()));

    running->SelectRows({0, 1});
    PostKey(VK_RETURN);
    ASSERT_EQ(1u, RowSeams::shown.size()) << "one folder for two rows of one minute";
    EXPECT_EQ(minute, RowSeams::shown[0].folder);
    EXPECT_EQ((std::vector<std::wstring>{minute + L"\\note.txt", minute + L"\\album"}),
              RowSeams::shown[0].items);

    // Double-click on the row itself, anywhere along it.
    RECT rect = {};
    rect.left = LVIR_BOUNDS;
    ASSERT_TRUE(::SendMessageW(running->List(), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&rect)));
    const LPARAM point = MAKELPARAM(rect.left + 300, (rect.top + rect.bottom) / 2);
    ::PostMessageW(running->List(), WM_LBUTTONDOWN, MK_LBUTTON, point);
    ::PostMessageW(running->List(), WM_LBUTTONUP, 0, point);
    ::PostMessageW(running->List(), WM_LBUTTONDBLCLK, MK_LBUTTON, point);
    ::PostMessageW(running->List(), WM_LBUTTONUP, 0, point);
    running->Pump(100);
    ASSERT_EQ(2u, RowSeams::shown.size());
    EXPECT_EQ(std::vector<std::wstring>{minute + L"\\note.txt"}, RowSeams::shown[1].items);

    // The failed row has no copy: its minute folder is shown, in its day folder.
    running->SelectRows({2});
    running->ChooseFromRowMenu(ID_ROW_SHOW_BACKUP);
    ASSERT_EQ(3u, RowSeams::shown.size());
    EXPECT_EQ(WithoutLastComponent(minute), RowSeams::shown[2].folder);
    EXPECT_EQ(std::vector<std::wstring>{minute}, RowSeams::shown[2].items);

    running->SelectRows({0});
    running->ChooseFromRowMenu(ID_ROW_SHOW_ORIGINAL);
    ASSERT_EQ(4u, RowSeams::shown.size());
    EXPECT_EQ(Wide(sources.path()), RowSeams::shown[3].folder);
    EXPECT_EQ(std::vector<std::wstring>{Wide(sources / "note.txt")}, RowSeams::shown[3].items);

    // Nothing of it left below the backups: the status line says so and the shell is not asked.
    RemoveTree(program / "backups");
    PostKey(VK_RETURN);
    EXPECT_EQ(4u, RowSeams::shown.size());
    EXPECT_EQ(Wide(sources / "note.txt") + L"のバックアップは見つかりませんでした",
              running->WideStatusText());
}

TEST_F(Rows, TheMenuOffersEveryCommandWithAMnemonicAndRestoreOnlyForWholeBackups) {
    Drop({sources / "note.txt", sources / "album", sources / "missing.txt"});
    ASSERT_EQ(3, running->ItemCount());
    running->SelectRows({1, 0});
    running->ChooseFromRowMenu(0);
    ASSERT_EQ(1, RowSeams::menusShown);
    const std::vector<std::wstring> texts = {
        L"バックアップを表示(&S)\tEnter", L"元のファイルの場所を表示(&O)",
        L"バックアップのパスをコピー(&C)\tCtrl+C", L"", L"元に戻す(&R)..."};
    ASSERT_EQ(texts.size(), RowSeams::menu.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(texts[i], RowSeams::menu[i].text) << i;
        EXPECT_TRUE(texts[i].empty() || !RowSeams::menu[i].grayed) << i;
    }
    EXPECT_EQ(static_cast<UINT>(ID_ROW_SHOW_BACKUP), RowSeams::menuDefault);
    // From the keyboard, the menu opens at the focused row.
    RECT rect = {};
    rect.left = LVIR_LABEL;
    ::SendMessageW(running->List(), LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&rect));
    POINT corner = {rect.left, rect.bottom};
    ::ClientToScreen(running->List(), &corner);
    EXPECT_EQ(corner.x, RowSeams::menuPoint.x);
    EXPECT_EQ(corner.y, RowSeams::menuPoint.y);

    // A right-click on a row takes that row and opens the menu where the pointer is.
    ::SendMessageW(running->List(), LVM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&rect));
    const POINT click = {rect.left + 300, (rect.top + rect.bottom) / 2};
    POINT screen = click;
    ::ClientToScreen(running->List(), &screen);
    ::SetCursorPos(screen.x, screen.y); // where the posted clicks happen, for the message position
    ::PostMessageW(running->List(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(click.x, click.y));
    ::PostMessageW(running->List(), WM_RBUTTONUP, 0, MAKELPARAM(click.x, click.y));
    running->Pump(100);
    ASSERT_EQ(2, RowSeams::menusShown);
    EXPECT_EQ(screen.x, RowSeams::menuPoint.x);
    EXPECT_EQ(screen.y, RowSeams::menuPoint.y);
    EXPECT_EQ(2, ListView_GetNextItem(running->List(), -1, LVNI_SELECTED));
    EXPECT_EQ(-1, ListView_GetNextItem(running->List(), 2, LVNI_SELECTED));

    // Shift+F10 and the menu key open it too.
    running->SelectRows({1});
    {
        KeyHeldDown shift(VK_SHIFT);
        // Only the press: the real menu is modal and takes the release itself.
        ::PostMessageW(running->List(), WM_SYSKEYDOWN, VK_F10, 0);
        running->Pump(50);
    }
    EXPECT_EQ(3, RowSeams::menusShown) << "Shift+F10";
    ::PostMessageW(running->List(), WM_KEYDOWN, VK_APPS, 0);
    ::PostMessageW(running->List(), WM_KEYUP, VK_APPS, 0xC0000000);
    running->Pump(50);
    EXPECT_EQ(4, RowSeams::menusShown) << "the menu key";

    running->SelectRows({0, 2});
    running->ChooseFromRowMenu(0);
    EXPECT_TRUE(RowSeams::menu.back().grayed) << "a failed backup offers no restore";
    EXPECT_FALSE(RowSeams::menu.front().grayed);
    running->SelectRows({});
    running->ChooseFromRowMenu(0);
    EXPECT_EQ(5, RowSeams::menusShown) << "no menu without a row";

    // Ctrl+C and the menu's copy: the backups' full paths, one a line.
    const std::wstring minute = running->WideItemText(0, 4);
    running->SelectRows({0, 1});
    {
        KeyHeldDown control(VK_CONTROL);
        PostKey('C');
    }
    EXPECT_EQ(minute + L"\\note.txt\r\n" + minute + L"\\album", ClipboardText());
    running->SelectRows({1});
    running->ChooseFromRowMenu(ID_ROW_COPY_PATH);
    EXPECT_EQ(minute + L"\\album", ClipboardText());
    PostKey('C');
    EXPECT_EQ(minute + L"\\album", ClipboardText()) << "C alone copies nothing";
}

TEST_F(Rows, RestoreAsksOnceDefaultNoAndOnYesBacksUpWhatIsThereFirst) {
    Drop({sources / "note.txt"});
    ASSERT_TRUE(WriteFileText(sources / "note.txt", "changed"));
    running->SelectRows({0});
    RowSeams::answer = IDNO;
    running->ChooseFromRowMenu(ID_ROW_RESTORE);
    ASSERT_EQ(1u, RowSeams::questions.size());
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), RowSeams::questionTypes[0]);
    const std::wstring& question = RowSeams::questions[0];
    for (const std::wstring& part :
         {std::wstring(L"「note.txt」"), running->WideItemText(0, 0) + L" " + running->WideItemText(0, 1),
          Wide(sources / "note.txt"), std::wstring(L"先にバックアップします")})
        EXPECT_NE(std::wstring::npos, question.find(part)) << "missing: " << ToAnsiText(part);
    running->Pump(200);
    EXPECT_EQ(1, running->ItemCount()) << "No does nothing";
    std::string content;
    EXPECT_TRUE(ReadFileText(sources / "note.txt", &content) && content == "changed");

    RowSeams::answer = IDYES;
    running->ChooseFromRowMenu(ID_ROW_RESTORE);
    running->PumpUntilRows(3);
    ASSERT_EQ(3, running->ItemCount());
    EXPECT_TRUE(ReadFileText(sources / "note.txt", &content) && content == "first file") << content;
    std::string safety;
    EXPECT_TRUE(ReadFileText(running->ItemText(1, 4) + "\\" + running->ItemText(1, 2), &safety) &&
                safety == "changed")
        << "what was there is backed up first";
    EXPECT_EQ("(復元)" + sources / "note.txt", running->ItemText(2, 4));
    EXPECT_EQ(running->ItemText(0, 4) + "\\note.txt", running->ItemText(2, 3)) << "from which backup";
    EXPECT_EQ("ready", running->StatusText());

    // Two rows: one question naming the count; a restore row is no backup to restore.
    running->SelectRows({0, 1});
    running->ChooseFromRowMenu(ID_ROW_RESTORE);
    ASSERT_EQ(3u, RowSeams::questions.size());
    EXPECT_NE(std::wstring::npos, RowSeams::questions[2].find(L"選択した 2 個の項目"))
        << ToAnsiText(RowSeams::questions[2]);
    running->PumpUntilRows(6);
    running->SelectRows({2});
    running->ChooseFromRowMenu(ID_ROW_RESTORE);
    EXPECT_TRUE(RowSeams::menu.back().grayed);
    EXPECT_EQ(3u, RowSeams::questions.size()) << "a greyed restore asks nothing";
}

// Esc during the put-back: each file is the backup's or what was there, never a part, and no
// temporary is left in the user's folder.
TEST_F(Rows, ARestoreStoppedWithEscLeavesEveryFileWhole) {
    const std::string many = sources / "many";
    const std::string before(2000, 'o'), after(2000, 'n');
    for (int i = 0; i < 800; ++i)
        ASSERT_TRUE(WriteFileText(many + "\\f" + std::to_string(i) + ".txt", before));
    Drop({many});
    ASSERT_EQ(1, running->ItemCount());
    for (int i = 0; i < 800; ++i)
        ASSERT_TRUE(WriteFileText(many + "\\f" + std::to_string(i) + ".txt", after));

    running->SelectRows({0});
    RowSeams::answer = IDYES;
    running->ChooseFromRowMenu(ID_ROW_RESTORE);
    for (int wait = 0; wait < 6000 && running->ItemCount() < 2; ++wait)
        running->Pump(10); // the safety backup's row: the put-back begins
    ASSERT_EQ(2, running->ItemCount());
    ::PostMessageW(running->List(), WM_KEYDOWN, VK_ESCAPE, 0);
    running->PumpUntilRows(3);
    ASSERT_EQ(3, running->ItemCount());
    EXPECT_EQ("(中止)(復元)" + many, running->ItemText(2, 4));
    EXPECT_EQ(many + "の復元を中止しました", running->StatusText());
    int restored = 0, kept = 0, other = 0;
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA((many + "\\*").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        std::string content;
        ReadFileText(many + "\\" + name, &content);
        if (content == before)
            ++restored;
        else if (content == after)
            ++kept;
        else
            ADD_FAILURE() << name << ": neither old nor new (" << content.size() << " bytes)" << ++other;
    } while (::FindNextFileA(find, &found));
    ::FindClose(find);
    EXPECT_EQ(800, restored + kept) << "nothing else in the folder";
    EXPECT_GT(kept, 0) << "stopped before the end";
    EXPECT_GT(restored, 0) << "stopped in the put-back, not before it";
}

} // namespace
