// The running main frame in this process: menu prompts in the status line, the list's margins
// on resize, the open-folder command (shell call replaced by a recorder), command forwarding
// from the view, and the exit command.
#include "RunningApp.h"
#include "WindowProbe.h"

#include "common/TempFolder.h"
#include "framework/FrameworkIds.h"
#include "res/resource.h"
#include "engine/base/BackupPaths.h"
#include "framework/Dpi.h"
#include "shell/main/MainFrm.h"
#include "shell/main/TallowboxView.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class MainFrame : public ::testing::Test {
protected:
    void SetUp() override {
        running = std::make_unique<RunningApp>("", program.path());
        ASSERT_TRUE(running->started());
        running->Pump();
    }
    void TearDown() override { running.reset(); }

    void Select(UINT item, UINT flags, HMENU hMenu) {
        ::SendMessageA(running->Frame(), WM_MENUSELECT, MAKEWPARAM(item, flags),
                       reinterpret_cast<LPARAM>(hMenu));
    }

    TempFolder program;
    std::unique_ptr<RunningApp> running;
};

TEST_F(MainFrame, MenuPromptsFollowTheHighlightAndReadyReturnsWhenTheMenuCloses) {
    HMENU bar = ::GetMenu(running->Frame());
    ASSERT_NE(bar, nullptr);
    HMENU help = ::GetSubMenu(bar, 1);
    ASSERT_NE(help, nullptr);

    struct Case {
        const char* what;
        UINT item;
        UINT flags;
        HMENU menu;
        const char* expected;
    };
    const Case cases[] = {
        {"about item", ID_APP_ABOUT, MF_STRING, help, "ﾌﾟﾛｸﾞﾗﾑの情報、ﾊﾞｰｼﾞｮﾝそして著作権を表示"},
        {"exit item", ID_APP_EXIT, MF_STRING, help, "ｱﾌﾟﾘｹｰｼｮﾝを終了し、ﾌｧｲﾙの保存を指示"},
        {"open-folder item has no string", ID_OPEN_FOLDER, MF_STRING, bar, ""},
        {"the help popup itself", 1, MF_POPUP, bar, ""},
        {"system menu: close", SC_CLOSE, MF_SYSMENU, ::GetSystemMenu(running->Frame(), FALSE),
         "作業中のｳｨﾝﾄﾞｳを閉じ、変更したﾌｧｲﾙの保存を指示"},
        {"system menu: restore", SC_RESTORE, MF_SYSMENU, ::GetSystemMenu(running->Frame(), FALSE),
         "ｳｨﾝﾄﾞｳを通常のｻｲｽﾞに戻す"},
        {"system menu: size", SC_SIZE, MF_SYSMENU, ::GetSystemMenu(running->Frame(), FALSE),
         "ｳｨﾝﾄﾞｳのｻｲｽﾞを変更"},
    };
    for (const Case& c : cases) {
        Select(c.item, c.flags, c.menu);
        EXPECT_EQ(running->StatusText(), c.expected) << c.what;
    }

    Select(0, 0xFFFF, nullptr);
    EXPECT_EQ(running->StatusText(), "ready") << "menu closed";

    // A progress text written through the view is replaced too when a menu closes.
    auto* view = dynamic_cast<CTallowboxView*>(CWnd::FromHandlePermanent(running->View()));
    ASSERT_NE(view, nullptr);
    view->SetStatusText(L"C:\\x.txtをバックアップ中です...");
    EXPECT_EQ(running->StatusText(), "C:\\x.txtをバックアップ中です...");
    Select(ID_OPEN_FOLDER, MF_STRING, bar);
    EXPECT_EQ(running->StatusText(), "");
    ::SendMessageA(running->Frame(), WM_EXITMENULOOP, FALSE, 0);
    EXPECT_EQ(running->StatusText(), "ready");
}

// Every menu item keeps its text and place; watching, then the mirror, come last, as popups of their own.
TEST_F(MainFrame, TheMenuBarKeepsItsItemsInPlaceAndEndsWithWatching) {
    const auto texts = [](HMENU menu) {
        std::vector<std::wstring> items;
        for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
            wchar_t text[128] = L"";
            ::GetMenuStringW(menu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
            items.push_back(text);
        }
        return items;
    };
    HMENU bar = ::GetMenu(running->Frame());
    EXPECT_EQ(texts(bar), (std::vector<std::wstring>{L"フォルダを開く(&O)", L"ﾍﾙﾌﾟ(&H)", L"履歴(&R)",
                                                     L"見張り(&W)", L"ミラー(&M)"}));
    EXPECT_EQ(texts(::GetSubMenu(bar, 1)),
              (std::vector<std::wstring>{L"Tallowbox のﾊﾞｰｼﾞｮﾝ情報(&A)...", L"ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)"}));
    EXPECT_EQ(texts(::GetSubMenu(bar, 3)),
              (std::vector<std::wstring>{L"見張り一覧(&L)...", L"起動時に開始(&S)"}));
    EXPECT_EQ(ID_START_AT_LOGON, static_cast<int>(::GetMenuItemID(::GetSubMenu(bar, 3), 1)));
    EXPECT_EQ(texts(::GetSubMenu(bar, 4)),
              (std::vector<std::wstring>{L"ミラー先(&S)...", L"ミラーをやめる(&R)", L"今すぐ写す(&N)"}));
    // Without a mirror folder, stopping it is grayed.
    ::SendMessageW(running->Frame(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(::GetSubMenu(bar, 4)), 4);
    EXPECT_TRUE(::GetMenuState(::GetSubMenu(bar, 4), ID_MIRROR_STOP, MF_BYCOMMAND) & MF_GRAYED);
}

// Pixel rectangle of dialog units (x, y, w, h) in the view's client coordinates.
// Position and size are converted apart, as the dialog manager places controls.
RECT FormRect(HWND view, int x, int y, int w, int h) {
    RECT units = {x, y, w, h};
    ::MapDialogRect(view, &units);
    return RECT{units.left, units.top, units.left + units.right, units.top + units.bottom};
}

std::string Describe(const RECT& rect) {
    return "(" + std::to_string(rect.left) + "," + std::to_string(rect.top) + ")-(" +
           std::to_string(rect.right) + "," + std::to_string(rect.bottom) + ")";
}

TEST_F(MainFrame, StartsNoLargerThanTheFormAndKeepsTheListTwentyPixelsInside) {
    HWND view = running->View();
    const RECT form = FormRect(view, 0, 0, 175, 142);
    RECT client;
    ::GetClientRect(view, &client);
    EXPECT_LE(client.right, form.right) << "shrunk to the form at start-up";
    EXPECT_LE(client.bottom, form.bottom);

    // The captured offset is measured from the view's window corner, which lies one sunken
    // edge outside the client area.
    RECT window;
    ::GetWindowRect(view, &window);
    POINT origin = {0, 0};
    ::ClientToScreen(view, &origin);
    const RECT listInForm = FormRect(view, 7, 20, 161, 115);
    const LONG expectedLeft = listInForm.left + (origin.x - window.left);
    const LONG expectedTop = listInForm.top + (origin.y - window.top);
    HWND staticText = ::GetDlgItem(view, IDC_STATIC);
    const RECT staticBefore = RectInClient(staticText, view);
    const RECT listAtStart = RectInClient(running->List(), view);
    EXPECT_TRUE(::EqualRect(&listAtStart, &listInForm))
        << "the start-up sizing never moves the list: expected " << Describe(listInForm) << ", seen "
        << Describe(listAtStart);

    const SIZE sizes[] = {{720, 540}, {500, 400}, {900, 300}};
    for (const SIZE& size : sizes) {
        ::SetWindowPos(running->Frame(), nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
        running->Pump(50);
        ::GetClientRect(view, &client);
        const RECT list = RectInClient(running->List(), view);
        EXPECT_EQ(list.right, client.right - 20) << size.cx << "x" << size.cy;
        EXPECT_EQ(list.bottom, client.bottom - 20) << size.cx << "x" << size.cy;
        EXPECT_EQ(list.left, expectedLeft) << size.cx << "x" << size.cy;
        EXPECT_EQ(list.top, expectedTop) << size.cx << "x" << size.cy;
        const RECT staticNow = RectInClient(staticText, view);
        EXPECT_TRUE(::EqualRect(&staticNow, &staticBefore)) << "the static text never moves";
    }
}

std::vector<std::wstring> g_opened;
void RecordOpen(const std::wstring& folder) {
    g_opened.push_back(folder);
}

// フォルダを開く in the running program, the shell's call recorded: the folders it was asked for.
std::vector<std::wstring> OpenFolderCommand(RunningApp& running) {
    g_opened.clear();
    CMainFrame::s_pfnOpenFolder = &RecordOpen;
    ::SendMessageA(running.Frame(), WM_COMMAND, MAKEWPARAM(ID_OPEN_FOLDER, 0), 0);
    CMainFrame::s_pfnOpenFolder = &CMainFrame::OpenFolderInShell;
    return g_opened;
}

TEST(OpenFolder, CreatesTheBackupRootWithMissingParentsAndOpensIt) {
    TempFolder temp;
    const std::string programFolder = temp / "not\\yet\\there";
    RunningApp running("", programFolder);
    ASSERT_TRUE(running.started());
    g_opened.clear();
    CMainFrame::s_pfnOpenFolder = &RecordOpen;

    ::SendMessageA(running.Frame(), WM_COMMAND, MAKEWPARAM(ID_OPEN_FOLDER, 0), 0);
    EXPECT_TRUE(FolderExists(programFolder + "\\backups"));
    ASSERT_EQ(g_opened.size(), 1u);
    EXPECT_EQ(g_opened[0], FromAnsiText(programFolder + "\\backups"));
    EXPECT_EQ(running.ItemCount(), 0) << "no row";

    // A command arriving at the view is posted on to the main window's command chain.
    ::SendMessageA(running.View(), WM_COMMAND, MAKEWPARAM(ID_OPEN_FOLDER, 0), 0);
    EXPECT_EQ(g_opened.size(), 1u) << "posted, not yet handled";
    running.Pump(100);
    EXPECT_EQ(g_opened.size(), 2u);
    CMainFrame::s_pfnOpenFolder = &CMainFrame::OpenFolderInShell;
}

TEST(OpenFolder, AProgramFolderOutsideTheCodePageAndLongIsOpenedAsItIs) {
    TempFolder temp;
    const std::wstring programFolder = FromAnsiText(temp.path()) + L"\\caf\u00E9\U0001F600\\" +
                                       std::wstring(200, L'l') + L"\\" + std::wstring(60, L'm');
    RunningApp running(L"", programFolder);
    ASSERT_TRUE(running.started());
    EXPECT_EQ(OpenFolderCommand(running), std::vector<std::wstring>{programFolder + L"\\backups"});
    const DWORD attributes = ::GetFileAttributesW((L"\\\\?\\" + programFolder + L"\\backups").c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
}

// Tallowbox.ini in the program's folder names the folder opened and backed up into; one that
// cannot be used is named at start and fails the command line's item, never backed up elsewhere.
TEST(OpenFolder, TheSettingsFolderIsUsedAndAnUnusableOneIsNamed) {
    TempFolder temp;
    const std::string program = temp / "prog", item = temp / "data\\a.txt";
    WriteFileText(item, "a");
    WriteFileText(temp / "taken", "a file where the folder would go");
    for (const char* folder : {"chosen", "taken"}) {
        WriteFileText(program + "\\Tallowbox.ini", std::string("[Tallowbox]\r\nBackupFolder=..\\") + folder);
        RunningApp running("\"" + item + "\"", program);
        ASSERT_TRUE(running.started());
        EXPECT_EQ(OpenFolderCommand(running), std::vector<std::wstring>{FromAnsiText(temp / folder)});
        ASSERT_EQ(running.ItemCount(), 1);
        const bool usable = std::string(folder) == "chosen";
        EXPECT_EQ(running.ItemText(0, 4).rfind("(失敗)", 0) == 0, !usable) << running.ItemText(0, 4);
        EXPECT_EQ(running.StatusText().find(temp / folder) != std::string::npos, !usable)
            << running.StatusText();
    }
    EXPECT_FALSE(FolderExists(program + "\\backups"));
}

TEST(Exit, TheExitCommandClosesWithoutAQuestionAndQuitsWithZero) {
    TempFolder program;
    RunningApp running("", program.path());
    ASSERT_TRUE(running.started());
    HWND frame = running.Frame();
    MessageBoxAnswerer noQuestion(::GetCurrentProcessId(), 500);
    ::SendMessageA(frame, WM_COMMAND, MAKEWPARAM(ID_APP_EXIT, 0), 0);
    running.Pump(100);
    EXPECT_FALSE(noQuestion.Wait()) << "a box appeared: " << noQuestion.text;
    EXPECT_FALSE(::IsWindow(frame));
    EXPECT_EQ(running.app().m_pMainWnd, nullptr);
    EXPECT_TRUE(running.quitSeen);
    EXPECT_EQ(running.quitCode, 0u);
}

TEST_F(MainFrame, AboutCommandRunsTheAboutBoxModallyOverTheMainWindow) {
    MessageBoxAnswerer answerer(::GetCurrentProcessId(), 10000);
    // Returns only when the modal box has been closed.
    ::SendMessageA(running->Frame(), WM_COMMAND, MAKEWPARAM(ID_APP_ABOUT, 0), 0);
    ASSERT_TRUE(answerer.Wait());
    EXPECT_EQ(answerer.caption, "Tallowboxのﾊﾞｰｼﾞｮﾝ情報");
    EXPECT_EQ(answerer.owner, running->Frame());
    EXPECT_TRUE(::IsWindowEnabled(running->Frame())) << "the owner is enabled again afterwards";
}

// Also run at 125, 150 and 200 % (ScaleTest.cpp): sizes and the scroll step follow the scale.
TEST_F(MainFrame, ASmallerWindowScrollsTheFormALargerOneDoesNot) {
    HWND view = running->View();
    const UINT dpi = DpiOfWindow(view);
    ::SetWindowPos(running->Frame(), nullptr, 0, 0, Scale(160, dpi), Scale(150, dpi),
                   SWP_NOMOVE | SWP_NOZORDER);
    running->Pump(50);
    const LONG small = ::GetWindowLongA(view, GWL_STYLE);
    EXPECT_TRUE(small & WS_VSCROLL);
    EXPECT_TRUE(small & WS_HSCROLL);
    ::SendMessageA(view, WM_VSCROLL, SB_LINEDOWN, 0);
    EXPECT_EQ(::GetScrollPos(view, SB_VERT), Scale(16, dpi)) << "one arrow click, 16 pixels at 96 DPI";
    ::SetWindowPos(running->Frame(), nullptr, 0, 0, Scale(800, dpi), Scale(700, dpi),
                   SWP_NOMOVE | SWP_NOZORDER);
    running->Pump(50);
    const LONG large = ::GetWindowLongA(view, GWL_STYLE);
    EXPECT_FALSE(large & WS_VSCROLL);
    EXPECT_FALSE(large & WS_HSCROLL);
}

std::vector<std::wstring> g_trayMenu;
UINT g_trayChoice = 0;

TEST_F(MainFrame, NotificationCallbackRestoresTheWindowAndOffersItsMenu) {
    HWND frame = running->Frame();
    ::ShowWindow(frame, SW_MINIMIZE);
    running->Pump(50);
    ASSERT_TRUE(::IsIconic(frame));
    ::SendMessageA(running->View(), WM_TRAYNOTIFY, 0, WM_LBUTTONDOWN);
    running->Pump(100);
    EXPECT_FALSE(::IsIconic(frame)) << "restored";
    EXPECT_TRUE(::IsWindowVisible(frame));

    // The right click's menu, recorded: 表示 / 履歴 / 見張り一覧 / 終了; 履歴 opens the history.
    const CTrayIcon::MenuTracker onScreen = CTrayIcon::s_pfnTrackMenu;
    CTrayIcon::s_pfnTrackMenu = [](HMENU menu, int, int, HWND) {
        g_trayMenu.clear();
        for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
            wchar_t text[64] = L"";
            ::GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
            g_trayMenu.push_back(text);
        }
        return g_trayChoice;
    };
    g_trayChoice = ID_HISTORY;
    ::SendMessageA(running->View(), WM_TRAYNOTIFY, 0, WM_RBUTTONDOWN);
    running->Pump(100);
    CTrayIcon::s_pfnTrackMenu = onScreen;
    EXPECT_EQ(g_trayMenu,
              (std::vector<std::wstring>{L"表示(&O)", L"履歴(&R)", L"見張り一覧(&L)", L"", L"終了(&X)"}));
    EXPECT_FALSE(TopLevelWindowsOf(::GetCurrentProcessId(), "#32770").empty()) << "the history is open";
    EXPECT_TRUE(::IsWindow(frame));
}

} // namespace
