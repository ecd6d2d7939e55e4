// The screens' two languages: the resources hold the same menus, dialogs and strings in Japanese
// and in English (no string empty, every menu item a key of its own, the English texts ASCII and
// whole in their controls at 96 and 144 DPI); Language= picks one either way, and without it the
// user's interface language does; the English screens read in English. shell_english_tests runs
// the language cases (and the cleanup's question) again in a Wine whose user interface language
// is English.
#include "RunningApp.h"
#include "WindowProbe.h"

#include "about/AboutDlg.h"
#include "common/ScaledRun.h"
#include "common/TempFolder.h"
#include "framework/Gdi.h"
#include "framework/Language.h"
#include "framework/MessageBox.h"
#include "res/resource.h"
#include "shell/compare/CompareWnd.h"
#include "shell/words/Wording.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cwctype>
#include <set>
#include <string>
#include <vector>

namespace {

const LANGID kLanguages[] = {kJapanese, kEnglish};

// Leaves the screen language the user's again when it goes.
struct UserLanguageAfter {
    ~UserLanguageAfter() { SetScreenLanguage(0); }
};

bool IsAscii(const std::wstring& text) {
    return std::all_of(text.begin(), text.end(), [](wchar_t c) { return c < 0x80; });
}

std::wstring TextOf(HWND window) {
    wchar_t text[1024] = L"";
    ::GetWindowTextW(window, text, 1024);
    return text;
}

std::vector<HWND> ChildrenOf(HWND window) {
    std::vector<HWND> children;
    for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

std::vector<UINT> ResourceIds(LPCWSTR type) {
    std::vector<UINT> ids;
    ::EnumResourceNamesW(
        nullptr, type,
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) -> BOOL {
            reinterpret_cast<std::vector<UINT>*>(found)->push_back(LOWORD(reinterpret_cast<ULONG_PTR>(name)));
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&ids));
    return ids;
}

// Checks one level of a menu and those below it: every item's text is there (ASCII in English)
// and, where a level holds two or more, has one key ("&x") no other item of the level has.
// Returns the menu's shape: its items' ids, "-" for a separator, its popups' shapes in brackets.
std::string CheckedMenuShape(HMENU menu, bool english) {
    std::string shape;
    std::set<wchar_t> keys;
    const int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = L"";
        MENUITEMINFOW item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        item.dwTypeData = text;
        item.cch = 256;
        ::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &item);
        if (item.fType & MFT_SEPARATOR) {
            shape += "- ";
            continue;
        }
        const std::wstring label = text;
        const size_t key = label.find(L'&');
        EXPECT_TRUE(!label.empty() && (!english || IsAscii(label))) << ToAnsiText(label);
        EXPECT_TRUE(count < 2 || (key + 1 < label.size() && label.find(L'&', key + 1) == std::wstring::npos &&
                                  keys.insert(static_cast<wchar_t>(std::towlower(label[key + 1]))).second))
            << ToAnsiText(label) << ": no key, two keys or another item's key";
        shape += item.hSubMenu != nullptr ? "[" + CheckedMenuShape(item.hSubMenu, english) + "] "
                                          : std::to_string(item.wID) + " ";
    }
    return shape;
}

INT_PTR CALLBACK InertDialogProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// A dialog made hidden from the template in the screen language, destroyed when it goes.
using TemplateDialog = std::unique_ptr<std::remove_pointer_t<HWND>, decltype(&::DestroyWindow)>;
TemplateDialog MakeDialog(UINT id, HWND parent) {
    return TemplateDialog(::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr), FindDialogTemplate(id),
                                                       parent, &InertDialogProc, 0),
                          &::DestroyWindow);
}

// A static's or push button's text drawn in its font within its client area, a button's with
// room for its edges.
void ExpectFits(HWND control, const std::wstring& text) {
    char name[64] = "";
    ::GetClassNameA(control, name, 64);
    const LONG style = ::GetWindowLongW(control, GWL_STYLE);
    const bool button = ::lstrcmpiA(name, "Button") == 0;
    if (text.empty() || (!button && (::lstrcmpiA(name, "Static") != 0 || (style & SS_TYPEMASK) > SS_RIGHT)))
        return;
    RECT client;
    ::GetClientRect(control, &client);
    const int edges = button ? 2 * (::GetSystemMetrics(SM_CXEDGE) + ::GetSystemMetrics(SM_CXFOCUSBORDER)) : 0;
    CClientDC dc(control);
    const CSelection font(dc.GetSafeHdc(),
                          reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT drawn = {0, 0, client.right - edges, 0};
    ::DrawTextW(dc.GetSafeHdc(), text.c_str(), -1, &drawn,
                DT_CALCRECT | (button ? DT_SINGLELINE : DT_WORDBREAK) |
                    (style & SS_NOPREFIX ? DT_NOPREFIX : 0));
    EXPECT_LE(drawn.right, client.right - edges) << ToAnsiText(text) << ": too wide";
    EXPECT_LE(drawn.bottom, client.bottom) << ToAnsiText(text) << ": too tall";
}

// What the cleanup's question shows later in its preview: each must fit as the template's texts do.
std::vector<std::wstring> CleanupPreviews() {
    const SYSTEMTIME longest = {2026, 12, 1, 28, 0, 0, 0, 0};
    return {FormatResourceText(IDS_CLEANUP_PREVIEW, {L"9999999", SizeText(1023ull << 30)}) +
                FormatResourceText(IDS_CLEANUP_FREES, {SizeText(1023ull << 20)}) +
                FormatResourceText(IDS_CLEANUP_OLDEST_KEPT, {HistoryDateText(longest)}),
            LoadResourceText(IDS_CLEANUP_BAD_DAYS), LoadResourceText(IDS_CLEANUP_NOTHING)};
}

// The main menu's first item, as the screens in each language show it.
std::wstring FirstMenuItemOf(HWND frame) {
    wchar_t text[256] = L"";
    ::GetMenuStringW(::GetMenu(frame), 0, text, 256, MF_BYPOSITION);
    return text;
}

// shell_english_tests starts Wine with an English user interface language, and says so.
bool UserLanguageIsEnglish() {
    const bool english = PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_ENGLISH;
    EXPECT_TRUE(english || std::getenv("TALLOWBOX_USER_LANGUAGE") == nullptr)
        << "LC_MESSAGES=en_US.UTF-8 did not make the user language English";
    return english;
}

} // namespace

TEST(Resources, EveryMenuDialogAndStringInBothLanguages) {
    const UserLanguageAfter after;
    for (LPCWSTR type :
         {MAKEINTRESOURCEW(4), MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(6)}) { // menu, dialog, string
        EXPECT_FALSE(ResourceIds(type).empty());
        for (UINT id : ResourceIds(type))
            for (LANGID language : kLanguages)
                EXPECT_NE(nullptr, ::FindResourceExW(nullptr, type, MAKEINTRESOURCEW(id), language))
                    << "type " << reinterpret_cast<ULONG_PTR>(type) << " id " << id << " language "
                    << language;
    }
    unsigned strings = 0;
    for (UINT block : ResourceIds(MAKEINTRESOURCEW(6))) {
        for (UINT id = (block - 1) * 16; id < block * 16; ++id) {
            SetScreenLanguage(kJapanese);
            const std::wstring japanese = LoadResourceText(id);
            SetScreenLanguage(kEnglish);
            const std::wstring english = LoadResourceText(id);
            EXPECT_EQ(japanese.empty(), english.empty()) << "string " << id << ": " << ToAnsiText(japanese);
            EXPECT_TRUE(IsAscii(english)) << "string " << id << ": " << ToAnsiText(english);
            strings += !japanese.empty();
        }
    }
    EXPECT_GT(strings, 100u);
}

TEST(Resources, MenusOfOneShapeEachItemWithAKeyOfItsOwn) {
    const UserLanguageAfter after;
    for (UINT id : ResourceIds(MAKEINTRESOURCEW(4))) {
        std::string shapes[2];
        for (int i = 0; i < 2; ++i) {
            SCOPED_TRACE("menu " + std::to_string(id) + " in language " + std::to_string(kLanguages[i]));
            SetScreenLanguage(kLanguages[i]);
            const HMENU menu = LoadMenuInLanguage(id);
            ASSERT_NE(nullptr, menu);
            shapes[i] = CheckedMenuShape(menu, kLanguages[i] == kEnglish);
            ::DestroyMenu(menu);
        }
        EXPECT_EQ(shapes[0], shapes[1]) << "menu " << id;
    }
}

// Each dialog has the same controls in both languages; the English one's texts (its font's name,
// its caption, every control's but a picture's) are ASCII and fit their controls.
TEST(Resources, DialogsOfTheSameControlsTheEnglishTextsWhole) {
    const UserLanguageAfter after;
    const CAboutDlg registersTheAboutControls;
    ASSERT_TRUE(RegisterCompareClasses());
    const HWND parent =
        ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr, nullptr, nullptr);
    for (UINT id : ResourceIds(MAKEINTRESOURCEW(5))) {
        std::vector<std::string> controls[2];
        for (int i = 0; i < 2; ++i) {
            SCOPED_TRACE("dialog " + std::to_string(id) + " in language " + std::to_string(kLanguages[i]));
            SetScreenLanguage(kLanguages[i]);
            const TemplateDialog dialog = MakeDialog(id, parent);
            ASSERT_NE(nullptr, dialog.get());
            LOGFONTW font = {};
            ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(dialog.get(), WM_GETFONT, 0, 0)), sizeof font,
                         &font);
            EXPECT_TRUE(kLanguages[i] != kEnglish ||
                        (IsAscii(font.lfFaceName) && IsAscii(TextOf(dialog.get()))));
            for (HWND child : ChildrenOf(dialog.get())) {
                char name[64] = "";
                ::GetClassNameA(child, name, 64);
                controls[i].push_back(std::to_string(::GetDlgCtrlID(child)) + " " + name);
                const LONG type = ::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK;
                if (kLanguages[i] != kEnglish || type == SS_ICON ||
                    type == SS_BITMAP) // a picture's text names it
                    continue;
                EXPECT_TRUE(IsAscii(TextOf(child))) << ToAnsiText(TextOf(child));
                ExpectFits(child, TextOf(child));
            }
            for (const std::wstring& preview :
                 id == IDD_CLEANUP && i == 1 ? CleanupPreviews() : std::vector<std::wstring>())
                ExpectFits(::GetDlgItem(dialog.get(), IDC_CLEANUP_PREVIEW), preview);
        }
        EXPECT_EQ(controls[0], controls[1]) << "dialog " << id;
    }
    ::DestroyWindow(parent);
}

TEST(Resources, DialogsAt144Dpi) {
    ExpectPassingAtScales("Resources.DialogsOfTheSameControls*", {144u});
}

// Language= in either direction, case aside, and a language without resources leaves the user's.
TEST(ScreensLanguage, TheSettingOverTheUserLanguage) {
    const bool userEnglish = UserLanguageIsEnglish();
    const struct {
        const char* ini;
        bool english;
    } cases[] = {
        {"", userEnglish}, {"Language=EN", true}, {"language=ja", false}, {"Language=fr", userEnglish}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ini);
        TempFolder program;
        ASSERT_TRUE(
            WriteFileText(program / "Tallowbox.ini", std::string("[Tallowbox]\r\n") + c.ini + "\r\n"));
        RunningApp running("", program.path());
        ASSERT_TRUE(running.started());
        EXPECT_EQ(c.english ? L"&Open Folder" : L"フォルダを開く(&O)", FirstMenuItemOf(running.Frame()));
    }
}

// The main window and a failed row with its reason in English: by the setting here, by the
// user's language in shell_english_tests (which words the cleanup's question in English too).
// Its tip says why; the status pane draws a long path shortened so the reason shows, its text whole.
TEST(EnglishScreens, TheMainWindowAndAFailedRow) {
    TempFolder program, sources;
    if (!UserLanguageIsEnglish()) {
        ASSERT_TRUE(WriteFileText(program / "Tallowbox.ini", "[Tallowbox]\r\nLanguage=en\r\n"));
    }
    RunningApp running("", program.path());
    ASSERT_TRUE(running.started());
    EXPECT_EQ(L"Drop files here", TextOf(::GetDlgItem(running.View(), IDC_STATIC)));
    const std::string deep = sources / (std::string(60, 'd') + "\\" + std::string(60, 'e'));
    ASSERT_TRUE(MakeFolders(deep));
    const std::string missing = deep + "\\missing.txt";
    ASSERT_TRUE(
        ::PostMessageW(running.View(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDropBlock({missing})), 0));
    running.PumpUntilRows(1);
    running.PumpUntilIdle();
    ASSERT_EQ(1, running.ItemCount());
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    wchar_t today[80] = L"";
    ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, today, 80, nullptr);
    EXPECT_EQ(today, running.WideItemText(0, 0)) << "the user's locale's short date";
    EXPECT_EQ(0u, running.WideItemText(0, 4).rfind(L"(failed)" + FromAnsiText(program / "backups"), 0))
        << ToAnsiText(running.WideItemText(0, 4));
    EXPECT_EQ(FromAnsiText(missing) + L" could not be backed up (" + SystemMessage(ERROR_FILE_NOT_FOUND) +
                  L")",
              running.WideStatusText());
    for (int column = 0; column < 5; ++column)
        EXPECT_TRUE(IsAscii(running.WideItemText(0, column))) << ToAnsiText(running.WideItemText(0, column));

    EXPECT_TRUE(ListView_GetExtendedListViewStyle(running.List()) & LVS_EX_INFOTIP);
    wchar_t tipText[2048] = L"";
    NMLVGETINFOTIPW tip = {{running.List(), IDC_BACKUP_LIST, LVN_GETINFOTIPW}, 0, tipText, 2048, 0, 0, 0};
    ::SendMessageW(running.View(), WM_NOTIFY, IDC_BACKUP_LIST, reinterpret_cast<LPARAM>(&tip));
    EXPECT_EQ(running.WideStatusText(), tipText) << "the failed row's tip";

    ::SetWindowPos(running.Frame(), nullptr, 0, 0, 800, 400, SWP_NOMOVE | SWP_NOZORDER);
    running.Pump(50);
    RECT pane = {};
    ::SendMessageW(running.StatusBar(), SB_GETRECT, 0, reinterpret_cast<LPARAM>(&pane));
    const std::vector<DrawnText> drawn = TextsDrawnBy(running.StatusBar());
    ASSERT_FALSE(drawn.empty());
    const std::wstring& text = drawn.front().text; // the stretched pane comes first
    const std::wstring tail = L"...\\missing.txt could not be backed up (" + SystemMessage(ERROR_FILE_NOT_FOUND) + L")";
    EXPECT_TRUE(text.size() > tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0)
        << ToAnsiText(text);
    EXPECT_LE(drawn.front().bounds.right, pane.right) << ToAnsiText(text) << " reaches past its pane";
}

namespace {

// What the question on the screen showed: its buttons, its default, whether Esc left it there.
// Read by a timer inside the question's own loop, which then answers No.
struct QuestionSeen {
    std::wstring buttons;
    bool noByDefault = false, stayedOnEsc = false, seen = false;
} g_question;

void CALLBACK ReadAndAnswerQuestion(HWND, UINT, UINT_PTR, DWORD) {
    const HWND question = ::GetActiveWindow(), no = ::GetDlgItem(question, IDNO);
    if (::GetDlgItem(question, IDYES) == nullptr || g_question.seen)
        return;
    g_question = {TextOf(::GetDlgItem(question, IDYES)) + L"|" + TextOf(no),
                  (::GetWindowLongW(no, GWL_STYLE) & BS_DEFPUSHBUTTON) != 0, false, true};
    ::SendMessageW(question, WM_COMMAND, IDCANCEL, 0); // what Esc gives a dialog
    g_question.stayedOnEsc = ::IsWindowVisible(question) != FALSE;
    ::PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), reinterpret_cast<LPARAM>(no));
}

} // namespace

// The restore question on the screen, in either language whatever the system's: its buttons in
// the screen language, No the default, Esc no answer.
TEST(ScreensLanguage, TheQuestionsButtonsSpeakTheScreenLanguage) {
    const struct {
        const char* language;
        const wchar_t* buttons;
    } cases[] = {{"ja", L"はい(&Y)|いいえ(&N)"}, {"en", L"&Yes|&No"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.language);
        TempFolder program, sources;
        ASSERT_TRUE(WriteFileText(program / "Tallowbox.ini", std::string("[Tallowbox]\r\nLanguage=") + c.language));
        ASSERT_TRUE(WriteFileText(sources / "note.txt", "kept"));
        RunningApp running("\"" + (sources / "note.txt") + "\"", program.path());
        ASSERT_TRUE(running.started());
        RowSeams seams;
        CRowCommands::s_pfnAsk = &AfxAsk; // the program's own question; the seams put their recorder back
        g_question = QuestionSeen();
        const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &ReadAndAnswerQuestion);
        running.SelectRows({0});
        running.ChooseFromRowMenu(seams, ID_ROW_RESTORE);
        ::KillTimer(nullptr, timer);
        running.PumpUntilIdle();
        ASSERT_TRUE(g_question.seen);
        EXPECT_EQ(c.buttons, g_question.buttons);
        EXPECT_TRUE(g_question.noByDefault && g_question.stayedOnEsc);
    }
}
