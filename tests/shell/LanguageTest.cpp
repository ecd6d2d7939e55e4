// The screens' two languages: the resources hold the same menus, dialogs and strings in Japanese
// and in English (no string empty, every menu item a key of its own, the English texts ASCII and
// whole in their controls at 96 and 144 DPI); Language= picks one either way, and without it the
// user's interface language does; the English screens read in English. shell_english_tests runs
// the language cases again in Wine with an English user interface language.
#include "RunningApp.h"

#include "about/AboutDlg.h"
#include "common/ScaledRun.h"
#include "common/TempFolder.h"
#include "engine/History.h"
#include "framework/Gdi.h"
#include "framework/Language.h"
#include "res/resource.h"
#include "shell/CleanupDlg.h"
#include "shell/Wording.h"

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

// The screen language for one scope; afterwards the user's again.
class LanguageScope {
public:
    explicit LanguageScope(LANGID language) { SetScreenLanguage(language); }
    ~LanguageScope() { SetScreenLanguage(0); }
    LanguageScope(const LanguageScope&) = delete;
    LanguageScope& operator=(const LanguageScope&) = delete;
};

bool IsAscii(const std::wstring& text) {
    for (wchar_t c : text)
        if (c >= 0x80)
            return false;
    return true;
}

std::string Shown(const std::wstring& text) {
    return ToAnsiText(text);
}

std::wstring TextOf(HWND window) {
    wchar_t text[1024] = L"";
    ::GetWindowTextW(window, text, 1024);
    return text;
}

std::vector<UINT> ResourceIds(LPCWSTR type) {
    std::vector<UINT> ids;
    ::EnumResourceNamesW(
        nullptr, type,
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) -> BOOL {
            if (IS_INTRESOURCE(name))
                reinterpret_cast<std::vector<UINT>*>(found)->push_back(
                    LOWORD(reinterpret_cast<ULONG_PTR>(name)));
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&ids));
    return ids;
}

std::set<LANGID> LanguagesOf(LPCWSTR type, UINT id) {
    std::set<LANGID> languages;
    ::EnumResourceLanguagesW(
        nullptr, type, MAKEINTRESOURCEW(id),
        [](HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found) -> BOOL {
            reinterpret_cast<std::set<LANGID>*>(found)->insert(language);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&languages));
    return languages;
}

// One level of a menu: each item's id (0 for a separator, -1 for a popup) and text, and its
// popups' levels in order.
struct MenuLevel {
    std::vector<int> ids;
    std::vector<std::wstring> texts;
    std::vector<MenuLevel> popups;
};

MenuLevel ReadMenu(HMENU menu) {
    MenuLevel level;
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
        wchar_t text[256] = L"";
        MENUITEMINFOW item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        item.dwTypeData = text;
        item.cch = 256;
        ::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &item);
        level.ids.push_back(item.hSubMenu != nullptr       ? -1
                            : (item.fType & MFT_SEPARATOR) ? 0
                                                           : static_cast<int>(item.wID));
        level.texts.push_back(text);
        if (item.hSubMenu != nullptr)
            level.popups.push_back(ReadMenu(item.hSubMenu));
    }
    return level;
}

// Every item of a level of two or more has one key ("&x"), none the same; texts are never empty.
void ExpectKeysOfTheirOwn(const MenuLevel& level, LANGID language) {
    std::set<wchar_t> keys;
    for (size_t i = 0; i < level.ids.size(); ++i) {
        const std::wstring& text = level.texts[i];
        if (level.ids[i] == 0)
            continue;
        EXPECT_FALSE(text.empty()) << "item " << i;
        EXPECT_TRUE(language != kEnglish || IsAscii(text)) << Shown(text);
        const size_t amp = text.find(L'&');
        if (level.ids.size() < 2)
            continue;
        ASSERT_TRUE(amp != std::wstring::npos && amp + 1 < text.size()) << Shown(text) << ": no key";
        EXPECT_EQ(std::wstring::npos, text.find(L'&', amp + 1)) << Shown(text) << ": two keys";
        EXPECT_TRUE(keys.insert(static_cast<wchar_t>(std::towlower(text[amp + 1]))).second)
            << Shown(text) << ": its key is another item's";
    }
    for (const MenuLevel& popup : level.popups)
        ExpectKeysOfTheirOwn(popup, language);
}

// The same items, popups and separators in the same places.
bool SameShape(const MenuLevel& a, const MenuLevel& b) {
    if (a.ids != b.ids || a.popups.size() != b.popups.size())
        return false;
    for (size_t i = 0; i < a.popups.size(); ++i)
        if (!SameShape(a.popups[i], b.popups[i]))
            return false;
    return true;
}

INT_PTR CALLBACK InertDialogProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// A dialog made from the template in the screen language, hidden, destroyed when it goes.
class TemplateDialog {
public:
    TemplateDialog(UINT id, HWND parent)
        : m_hWnd(::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr), FindDialogTemplate(id), parent,
                                              &InertDialogProc, 0)) {}
    ~TemplateDialog() {
        if (m_hWnd != nullptr)
            ::DestroyWindow(m_hWnd);
    }
    TemplateDialog(const TemplateDialog&) = delete;
    TemplateDialog& operator=(const TemplateDialog&) = delete;
    HWND get() const { return m_hWnd; }

private:
    HWND m_hWnd;
};

// The controls of a dialog: "id class" each, in order.
std::vector<std::string> ControlsOf(HWND dialog) {
    std::vector<std::string> controls;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        char name[64] = "";
        ::GetClassNameA(child, name, 64);
        controls.push_back(std::to_string(::GetDlgCtrlID(child)) + " " + name);
    }
    return controls;
}

// A static's or push button's text drawn in its font within its client area, a button's with
// room for its edges.
void ExpectFits(HWND control, const std::wstring& text) {
    char name[64] = "";
    ::GetClassNameA(control, name, 64);
    const LONG style = ::GetWindowLongW(control, GWL_STYLE);
    const bool button = ::lstrcmpiA(name, "Button") == 0;
    if (text.empty() || (!button && ::lstrcmpiA(name, "Static") != 0) ||
        (!button && (style & SS_TYPEMASK) > SS_RIGHT))
        return;
    RECT client;
    ::GetClientRect(control, &client);
    const int edges = button ? 2 * (::GetSystemMetrics(SM_CXEDGE) + ::GetSystemMetrics(SM_CXFOCUSBORDER)) : 0;
    CClientDC dc(control);
    const CSelection font(dc.GetSafeHdc(),
                          reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT drawn = {0, 0, client.right - edges, 0};
    const UINT flags = DT_CALCRECT | (button ? DT_SINGLELINE : DT_WORDBREAK) |
                       (!button && (style & SS_NOPREFIX) ? DT_NOPREFIX : 0);
    ::DrawTextW(dc.GetSafeHdc(), text.c_str(), -1, &drawn, flags);
    EXPECT_LE(drawn.right, client.right - edges) << Shown(text) << ": too wide";
    EXPECT_LE(drawn.bottom, client.bottom) << Shown(text) << ": too tall";
}

// Texts a dialog shows later, in the control that shows them: each must fit as the template's do.
struct LaterText {
    UINT dialog;
    int control;
    std::wstring text;
};

std::vector<LaterText> LaterTexts() {
    SYSTEMTIME longest = {};
    longest.wYear = 2026;
    longest.wMonth = 12;
    longest.wDay = 31;
    const std::wstring preview =
        FormatResourceText(IDS_CLEANUP_PREVIEW, {L"9999999", SizeText(1023ull << 30)}) +
        FormatResourceText(IDS_CLEANUP_FREES, {SizeText(1023ull << 20)}) +
        FormatResourceText(IDS_CLEANUP_OLDEST_KEPT, {HistoryDateText(longest)});
    return {{IDD_CLEANUP, IDC_CLEANUP_PREVIEW, preview},
            {IDD_CLEANUP, IDC_CLEANUP_PREVIEW, LoadResourceText(IDS_CLEANUP_BAD_DAYS)},
            {IDD_CLEANUP, IDC_CLEANUP_PREVIEW, LoadResourceText(IDS_CLEANUP_NOTHING)}};
}

// The main menu's top items, as the screens in each language show them.
const wchar_t* const kJapaneseMenu[] = {L"フォルダを開く(&O)", L"ﾍﾙﾌﾟ(&H)", L"履歴(&R)", L"見張り(&W)"};
const wchar_t* const kEnglishMenu[] = {L"&Open Folder", L"&Help", L"Histo&ry", L"&Watching"};

std::vector<std::wstring> TopMenuOf(HWND frame) {
    return ReadMenu(::GetMenu(frame)).texts;
}

bool UserLanguageIsEnglish() {
    return PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_ENGLISH;
}

// shell_english_tests says it started Wine with an English user interface language.
void ExpectTheUserLanguageAsks() {
    const char* asked = std::getenv("TALLOWBOX_USER_LANGUAGE");
    EXPECT_TRUE(asked == nullptr || std::string(asked) != "en" || UserLanguageIsEnglish())
        << "LC_MESSAGES=en_US.UTF-8 did not make the user language English";
}

// The cleanup's question, its texts read and the dialog ended before it shows.
class CleanupTexts : public CCleanupDlg {
public:
    using CCleanupDlg::CCleanupDlg;
    std::vector<std::wstring> texts;

protected:
    BOOL OnInitDialog() override {
        CCleanupDlg::OnInitDialog();
        texts.push_back(TextOf(m_hWnd));
        for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child != nullptr;
             child = ::GetWindow(child, GW_HWNDNEXT))
            texts.push_back(TextOf(child));
        EndDialog(IDCANCEL);
        return TRUE;
    }
};

} // namespace

TEST(Resources, EveryMenuDialogAndStringInBothLanguages) {
    for (LPCWSTR type :
         {MAKEINTRESOURCEW(4), MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(6)}) { // menu, dialog, string
        const std::vector<UINT> ids = ResourceIds(type);
        EXPECT_FALSE(ids.empty());
        for (UINT id : ids)
            EXPECT_EQ((std::set<LANGID>{kJapanese, kEnglish}), LanguagesOf(type, id))
                << "type " << reinterpret_cast<ULONG_PTR>(type) << " id " << id;
    }
    unsigned strings = 0;
    for (UINT block : ResourceIds(MAKEINTRESOURCEW(6))) {
        for (UINT id = (block - 1) * 16; id < block * 16; ++id) {
            std::wstring texts[2];
            for (int i = 0; i < 2; ++i) {
                LanguageScope scope(kLanguages[i]);
                texts[i] = LoadResourceText(id);
            }
            EXPECT_EQ(texts[0].empty(), texts[1].empty()) << "string " << id << ": " << Shown(texts[0]);
            EXPECT_TRUE(IsAscii(texts[1])) << "string " << id << ": " << Shown(texts[1]);
            strings += !texts[0].empty();
        }
    }
    EXPECT_GT(strings, 100u);
}

TEST(Resources, MenusOfOneShapeEachItemWithAKeyOfItsOwn) {
    for (UINT id : ResourceIds(MAKEINTRESOURCEW(4))) {
        MenuLevel levels[2];
        for (int i = 0; i < 2; ++i) {
            SCOPED_TRACE("menu " + std::to_string(id) + " in language " + std::to_string(kLanguages[i]));
            LanguageScope scope(kLanguages[i]);
            const HMENU menu = LoadMenuInLanguage(id);
            ASSERT_NE(nullptr, menu);
            levels[i] = ReadMenu(menu);
            ::DestroyMenu(menu);
            ExpectKeysOfTheirOwn(levels[i], kLanguages[i]);
        }
        EXPECT_TRUE(SameShape(levels[0], levels[1])) << "menu " << id;
    }
}

TEST(Resources, DialogsOfTheSameControlsTheEnglishTextsWhole) {
    const CAboutDlg registersTheAboutControls;
    const HWND parent =
        ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, parent);
    for (UINT id : ResourceIds(MAKEINTRESOURCEW(5))) {
        std::vector<std::string> controls[2];
        for (int i = 0; i < 2; ++i) {
            SCOPED_TRACE("dialog " + std::to_string(id) + " in language " + std::to_string(kLanguages[i]));
            LanguageScope scope(kLanguages[i]);
            TemplateDialog dialog(id, parent);
            ASSERT_NE(nullptr, dialog.get());
            controls[i] = ControlsOf(dialog.get());
            if (kLanguages[i] != kEnglish)
                continue;
            LOGFONTW font = {};
            ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(dialog.get(), WM_GETFONT, 0, 0)), sizeof font,
                         &font);
            EXPECT_TRUE(IsAscii(font.lfFaceName) && IsAscii(TextOf(dialog.get())))
                << Shown(TextOf(dialog.get()));
            for (HWND child = ::GetWindow(dialog.get(), GW_CHILD); child != nullptr;
                 child = ::GetWindow(child, GW_HWNDNEXT)) {
                const LONG type = ::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK;
                if (type == SS_ICON || type == SS_BITMAP)
                    continue; // its "text" names the picture
                EXPECT_TRUE(IsAscii(TextOf(child))) << Shown(TextOf(child));
                ExpectFits(child, TextOf(child));
            }
            for (const LaterText& later : LaterTexts())
                if (later.dialog == id)
                    ExpectFits(::GetDlgItem(dialog.get(), later.control), later.text);
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
    ExpectTheUserLanguageAsks();
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
        const auto& expected = c.english ? kEnglishMenu : kJapaneseMenu;
        EXPECT_EQ(std::vector<std::wstring>(std::begin(expected), std::end(expected)),
                  TopMenuOf(running.Frame()));
    }
}

// The main window, a failed row and its reason, and the cleanup's question, in English: by the
// setting here, by the user's language in shell_english_tests.
TEST(EnglishScreens, TheMainWindowAFailedRowAndTheCleanupQuestion) {
    ExpectTheUserLanguageAsks();
    TempFolder program, sources;
    if (!UserLanguageIsEnglish()) {
        ASSERT_TRUE(WriteFileText(program / "Tallowbox.ini", "[Tallowbox]\r\nLanguage=en\r\n"));
    }
    RunningApp running("", program.path());
    ASSERT_TRUE(running.started());
    EXPECT_EQ(L"Tallowbox", TextOf(running.Frame()));
    std::vector<std::wstring> headings;
    for (int column = 0; column < 5; ++column) {
        wchar_t text[64] = L"";
        LVCOLUMNW request = {};
        request.mask = LVCF_TEXT;
        request.pszText = text;
        request.cchTextMax = 64;
        ::SendMessageW(running.List(), LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&request));
        headings.push_back(text);
    }
    EXPECT_EQ((std::vector<std::wstring>{L"Date", L"Time", L"File name", L"From", L"Backed up to"}),
              headings);
    EXPECT_EQ(L"Drop files here", TextOf(::GetDlgItem(running.View(), IDC_STATIC)));

    const std::string missing = sources / "missing.txt";
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
    EXPECT_EQ(0u, running.WideItemText(0, 4).rfind(L"(failed)", 0)) << Shown(running.WideItemText(0, 4));
    EXPECT_EQ(FromAnsiText(missing) + L" could not be backed up (" + SystemMessage(ERROR_FILE_NOT_FOUND) +
                  L")",
              running.WideStatusText());
    for (int column = 0; column < 5; ++column)
        EXPECT_TRUE(IsAscii(running.WideItemText(0, column))) << Shown(running.WideItemText(0, column));
    EXPECT_TRUE(IsAscii(running.WideStatusText()));

    CHistory history;
    for (int age : {1, 400}) { // newest first, one item: the older one goes
        HistoryEntry entry;
        entry.time = ToTicks(now) - age * 24LL * 60 * 60 * 10000000;
        entry.bytes = 2;
        entry.original = history.texts.Add(L"C:\\data\\a.txt");
        entry.copyFolder = history.texts.Add(L"2004-0101\\10" + std::to_wstring(age));
        entry.copyName = history.texts.Add(L"a.txt");
        history.entries.push_back(entry);
    }
    CleanupTexts question(history, L"C:\\backups", nullptr);
    EXPECT_EQ(IDCANCEL, question.DoModal());
    ASSERT_FALSE(question.texts.empty());
    EXPECT_EQ(L"Clean Up Backups", question.texts.front());
    EXPECT_NE(question.texts.end(), std::find(question.texts.begin(), question.texts.end(),
                                              L"Backups to clean up: 1 (2 bytes).\nThe oldest backup kept: " +
                                                  HistoryDateText(history.entries[0].time)));
    for (const std::wstring& text : question.texts)
        EXPECT_TRUE(IsAscii(text)) << Shown(text);
}
