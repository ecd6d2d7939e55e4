// The compare of the running program, from the row menu of the main list and of the history: the
// two-texts window's summary and headers read as other programs read them (window texts), F8 to
// the next difference, a binary pair, two versions of a Word file shown as their text and an Excel
// file that cannot be read as one, a missing original, a folder version's list with Exclude=
// applied and its folder gone, and DiffTool= given two read-only copies by a real program (the
// system's cmd).
#include "RunningApp.h"
#include "WindowProbe.h"

#include "common/TempFolder.h"
#include "engine/base/BackupPaths.h"
#include "engine/journal/Journal.h"
#include "engine/office/TestZip.h"
#include "res/resource.h"
#include "shell/history/HistoryWnd.h"
#include "shell/main/MainFrm.h"
#include "shell/search/SearchResultsWnd.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

const char kTexts[] = "TallowboxCompareTexts";
const char kFolders[] = "TallowboxCompareFolders";

std::string Lines(int count, int skipped, int fifth) {
    std::string text;
    for (int i = 1; i <= count; ++i)
        if (i != skipped)
            text += (i == 5 && fifth ? std::string("line five") : "line " + std::to_string(i)) + "\r\n";
    return text;
}

std::wstring TextOf(HWND window, int id) {
    wchar_t text[1024] = L"";
    ::GetDlgItemTextW(window, id, text, 1024);
    return text;
}

std::wstring CellOf(HWND list, int item, int column) {
    wchar_t text[512] = L"";
    LVITEMW cell = {};
    cell.iSubItem = column;
    cell.pszText = text;
    cell.cchTextMax = 512;
    ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&cell));
    return text;
}

int TopRowOf(HWND window) {
    SCROLLINFO info = {};
    info.cbSize = sizeof(info);
    info.fMask = SIF_POS;
    ::GetScrollInfo(::GetDlgItem(window, IDC_COMPARE_PANES), SB_VERT, &info);
    return info.nPos;
}

// The pixels of a line across or down a window as it shows them.
std::vector<COLORREF> PixelsOf(HWND window, POINT from, POINT step, int count) {
    std::vector<COLORREF> pixels;
    HDC dc = ::GetDC(window);
    for (int i = 0; i < count; ++i)
        pixels.push_back(::GetPixel(dc, from.x + step.x * i, from.y + step.y * i));
    ::ReleaseDC(window, dc);
    return pixels;
}

class Compare : public ::testing::Test {
protected:
    void Start(const std::string& ini = std::string()) {
        running.reset();
        if (!ini.empty()) {
            ASSERT_TRUE(WriteFileText(program / "Tallowbox.ini", "[Tallowbox]\r\n" + ini + "\r\n"));
        }
        running = std::make_unique<RunningApp>("", program.path());
        ASSERT_TRUE(running->started());
    }
    void TearDown() override { running.reset(); }
    // A version of an earlier day, as a backup then left it: its copy and its journal's record
    // (two backups of one file in one minute share one copy).
    void PutEarlierVersion(const std::string& item, const std::string& content) {
        ASSERT_TRUE(WriteFileText(program / "backups\\2001-0101\\1000\\" + item, content));
        JournalRecord record;
        record.time = {2001, 1, 1, 1, 10, 0, 0, 0};
        record.bytes = content.size();
        record.original = FromAnsiText(sources / item);
        record.copy = L"2001-0101\\1000\\" + FromAnsiText(item);
        ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
                  AppendJournalRecord(FromAnsiText(program / "backups"), L"2001-0101", record));
    }
    void Drop(const std::vector<std::string>& paths) {
        const int before = running->ItemCount();
        ::PostMessageA(running->View(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDropBlock(paths)), 0);
        running->PumpUntilRows(before + static_cast<int>(paths.size()));
    }
    // Chooses 比較 on the rows and waits for a new window of the class whose summary is no longer
    // the reading's; nullptr when none came.
    HWND CompareRows(const std::vector<int>& rows, const char* className, HWND list = nullptr,
                     int summary = IDC_COMPARE_SUMMARY) {
        const size_t before = TopLevelWindowsOf(::GetCurrentProcessId(), className).size();
        running->SelectRows(rows, list);
        running->ChooseFromRowMenu(seams, ID_ROW_COMPARE, list);
        for (int i = 0; i < 500; ++i) {
            const std::vector<HWND> windows = TopLevelWindowsOf(::GetCurrentProcessId(), className);
            for (HWND window : windows)
                if (windows.size() > before && !opened.count(window) && !TextOf(window, summary).empty() &&
                    TextOf(window, summary).find(L"読んで") == std::wstring::npos) {
                    opened.insert(window);
                    return window;
                }
            running->Pump(20);
        }
        return nullptr;
    }

    TempFolder sources;
    TempFolder program;
    RowSeams seams;
    std::set<HWND> opened;
    std::unique_ptr<RunningApp> running;
};

} // namespace

TEST_F(Compare, TwoTextsFromTheMainListAndTwoVersionsFromTheHistory) {
    Start();
    PutEarlierVersion("note.txt", Lines(99, 0, 0));
    ASSERT_TRUE(WriteFileText(sources / "note.txt", Lines(100, 0, 0)));
    Drop({sources / "note.txt"});
    ASSERT_TRUE(WriteFileText(sources / "note.txt", Lines(101, 60, 1)));

    // The version against the file now: line 5 changed, line 60 gone, line 101 new.
    HWND window = CompareRows({0}, kTexts);
    ASSERT_TRUE(window != nullptr);
    EXPECT_EQ(L"違い 3 箇所 (削除 2 行、追加 2 行)", TextOf(window, IDC_COMPARE_SUMMARY));
    EXPECT_EQ(L"現在のファイル", TextOf(window, IDC_COMPARE_NEWER_HEADER));
    EXPECT_NE(std::wstring::npos, WindowText(window).find("note.txt"));
    EXPECT_TRUE(seams.questions.empty()) << "no box";
    // The first difference (row 4) shows at once with three rows above it; F8 goes to the next
    // (row 59, the removed line), Shift+F8 back.
    EXPECT_EQ(1, TopRowOf(window));
    HWND panes = ::GetDlgItem(window, IDC_COMPARE_PANES);
    ::PostMessageW(panes, WM_KEYDOWN, VK_F8, 0);
    running->Pump(50);
    EXPECT_EQ(56, TopRowOf(window));
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_SHIFT] = 0x80; // held while the key is pumped
    ::SetKeyboardState(keys);
    ::PostMessageW(panes, WM_KEYDOWN, VK_F8, 0);
    running->Pump(50);
    keys[VK_SHIFT] = 0;
    ::SetKeyboardState(keys);
    EXPECT_EQ(1, TopRowOf(window));

    // The two versions from the history, newest first there: the older is still the left side.
    running->PressKey(WM_KEYDOWN, 'H', VK_CONTROL);
    auto* frame = dynamic_cast<CMainFrame*>(CWnd::FromHandlePermanent(running->Frame()));
    CHistoryWnd* history = frame != nullptr ? frame->History() : nullptr;
    ASSERT_TRUE(history != nullptr);
    for (int i = 0; i < 250 && !history->IsLoaded(); ++i)
        running->Pump(20);
    HWND list = ::GetDlgItem(history->GetSafeHwnd(), IDC_HISTORY_LIST);
    HWND pair = CompareRows({0, 1}, kTexts, list);
    ASSERT_TRUE(pair != nullptr);
    EXPECT_EQ(L"違い 1 箇所 (削除 0 行、追加 1 行)", TextOf(pair, IDC_COMPARE_SUMMARY)) << "line 100 added";
    EXPECT_EQ(CellOf(list, 1, 0) + L" " + CellOf(list, 1, 1), TextOf(pair, IDC_COMPARE_OLDER_HEADER))
        << "the older version named as the history shows it";
}

// Rows: keep, the changed line, 120 kanji. The changed line's number is marked on both sides and
// stays on its text as the panes scroll sideways: past a tab, then cut at the left edge. The kanji,
// two columns each, can all be scrolled into sight.
TEST_F(Compare, WithinAChangedLineWhatDiffersIsTintedWhereItIsDrawnScrolledSidewaysToo) {
    Start();
    std::string tail, kanji;
    for (int i = 0; i < 60; ++i)
        tail += " 00", kanji += u8"漢字";
    ASSERT_TRUE(WriteFileText(sources / "row.txt", "keep\r\n\t00 12345" + tail + "\r\n" + kanji));
    Drop({sources / "row.txt"});
    ASSERT_TRUE(WriteFileText(sources / "row.txt", "keep\r\n\t00 12346" + tail + "\r\n" + kanji));
    HWND window = CompareRows({0}, kTexts);
    ASSERT_TRUE(window != nullptr);
    HWND panes = ::GetDlgItem(window, IDC_COMPARE_PANES);
    SCROLLINFO columns = {};
    columns.cbSize = sizeof(columns);
    columns.fMask = SIF_RANGE;
    ::GetScrollInfo(panes, SB_HORZ, &columns);
    EXPECT_EQ(239, columns.nMax) << "the last of the kanji's 240 columns";

    // Each pane's text starts where the top row (an equal one) leaves the face colour of a gutter.
    ::UpdateWindow(panes);
    RECT client;
    ::GetClientRect(panes, &client);
    const COLORREF background = ::GetSysColor(COLOR_WINDOW);
    const std::vector<COLORREF> top = PixelsOf(panes, {0, 0}, {1, 0}, client.right);
    // Where pixels from at on are first (or first not) of colour.
    const auto next = [](const std::vector<COLORREF>& pixels, int at, COLORREF colour, bool is) {
        while (at < static_cast<int>(pixels.size()) && (pixels[at] == colour) != is)
            ++at;
        return at;
    };
    const int left = next(top, 0, background, true), leftEnd = next(top, left, background, false);
    const int right = next(top, leftEnd, background, true);
    const std::vector<COLORREF> down = PixelsOf(panes, {left, 0}, {0, 1}, client.bottom);
    const int height = next(down, 0, background, false);
    ASSERT_TRUE(left > 0 && right < client.right && height * 3 < client.bottom) << left << " " << right;
    const auto footOf = [&](int row) { return (row + 1) * height - 1; }; // below the glyphs
    const COLORREF changed = down[footOf(1)];
    // The changed row's foot apart from its tint: one run, the same in both panes.
    const auto scroll = [&](int by) {
        for (int i = 0; i < by; ++i)
            ::SendMessageW(panes, WM_HSCROLL, SB_LINERIGHT, 0);
        ::UpdateWindow(panes);
        const std::vector<COLORREF> foot = PixelsOf(panes, {0, footOf(1)}, {1, 0}, client.right);
        const int from = next(foot, left, changed, false), to = next(foot, from, changed, true);
        EXPECT_EQ(leftEnd, next(foot, to, changed, false)) << "one run, scrolled by " << by;
        EXPECT_TRUE(
            std::equal(foot.begin() + left, foot.begin() + leftEnd, foot.begin() + right, foot.end()));
        return std::make_pair(from, to - from);
    };
    const auto number = scroll(0), byOne = scroll(1), atNumber = scroll(6), cut = scroll(1);
    const int column = number.first - byOne.first;
    EXPECT_EQ(5 * column, number.second) << "12345 and no more";
    EXPECT_EQ(number.first - 7 * column, atNumber.first) << "a tab and \"00 \" before it";
    EXPECT_EQ(std::make_pair(atNumber.first, 4 * column), cut) << "the number cut at the left edge";
}

TEST_F(Compare, ABinaryPairByItsFirstDifferenceAndAMissingOriginalSaidInTheWindow) {
    Start();
    ASSERT_TRUE(WriteFileText(sources / "data.bin", std::string("ab\0cdefgh", 9)));
    ASSERT_TRUE(WriteFileText(sources / "gone.txt", "soon gone"));
    const auto word = [](const std::string& body) {
        return MakeZip({{"word/document.xml", "<w:document><w:body><w:p><w:r><w:t>" + body +
                                                  "</w:t></w:r></w:p></w:body></w:document>"}});
    };
    ASSERT_TRUE(WriteFileText(sources / "report.docx", word("first")));
    ASSERT_TRUE(WriteFileText(sources / "sheet.xlsx", MakeZip({{"xl/workbook.xml", "<workbook/>"}})));
    Drop({sources / "data.bin", sources / "gone.txt", sources / "report.docx", sources / "sheet.xlsx"});
    ASSERT_TRUE(WriteFileText(sources / "data.bin", std::string("ab\0cdXfghij", 11)));
    ASSERT_TRUE(::DeleteFileA((sources / "gone.txt").c_str()));
    ASSERT_TRUE(WriteFileText(sources / "report.docx", word("second")));
    TestEntry encrypted{"xl/workbook.xml", "<workbook/>"};
    encrypted.flags = 1;
    ASSERT_TRUE(WriteFileText(sources / "sheet.xlsx", MakeZip({encrypted})));

    HWND binary = CompareRows({0}, kTexts);
    ASSERT_TRUE(binary != nullptr);
    const std::wstring summary = TextOf(binary, IDC_COMPARE_SUMMARY);
    EXPECT_EQ(0u, summary.find(L"バイナリ ファイル: 最初の違いは 6 バイト目")) << ToAnsiText(summary);
    EXPECT_NE(std::wstring::npos, summary.find(L"9 バイト")) << "the older size";
    EXPECT_NE(std::wstring::npos, summary.find(L"11 バイト")) << "the newer size";

    HWND missing = CompareRows({1}, kTexts);
    ASSERT_TRUE(missing != nullptr);
    EXPECT_NE(std::wstring::npos, TextOf(missing, IDC_COMPARE_SUMMARY).find(L"元の場所にありません"));

    HWND document = CompareRows({2}, kTexts);
    ASSERT_TRUE(document != nullptr);
    EXPECT_EQ(L"違い 1 箇所 (削除 1 行、追加 1 行)", TextOf(document, IDC_COMPARE_SUMMARY));
    EXPECT_EQ(L"現在のファイル（文書のテキストを表示）", TextOf(document, IDC_COMPARE_NEWER_HEADER));
    HWND unreadable = CompareRows({3}, kTexts);
    ASSERT_TRUE(unreadable != nullptr);
    const std::wstring why = TextOf(unreadable, IDC_COMPARE_SUMMARY);
    EXPECT_NE(std::wstring::npos, why.find(L"sheet.xlsxを文書として読めないため、バイトで比べました: 暗号化された部分があります"))
        << ToAnsiText(why);
    EXPECT_EQ(L"現在のファイル", TextOf(unreadable, IDC_COMPARE_NEWER_HEADER));
    EXPECT_TRUE(seams.questions.empty()) << "said in the window, not in a box";
}

TEST_F(Compare, ALargePairIsReadBesideTheWindowEscStopsItAndClosingEndsIt) {
    Start();
    std::string large;
    for (int line = 0; large.size() < 48u * 1024 * 1024; ++line)
        large += "a line of a large text, number " + std::to_string(line) + "\r\n";
    ASSERT_TRUE(WriteFileText(sources / "large.txt", large));
    Drop({sources / "large.txt"});
    large[large.size() / 2] = 'X';
    ASSERT_TRUE(WriteFileText(sources / "large.txt", large));
    large.clear();

    for (const UINT message : {WM_KEYDOWN, WM_CLOSE}) {
        running->SelectRows({0});
        running->ChooseFromRowMenu(seams, ID_ROW_COMPARE);
        const std::vector<HWND> windows = TopLevelWindowsOf(::GetCurrentProcessId(), kTexts);
        ASSERT_EQ(1u, windows.size());
        HWND window = windows[0];
        EXPECT_NE(std::wstring::npos, TextOf(window, IDC_COMPARE_SUMMARY).find(L"Esc")) << "still reading";
        const ULONGLONG asked = ::GetTickCount64();
        ::PostMessageW(window, message, message == WM_KEYDOWN ? VK_ESCAPE : 0, 0);
        for (int i = 0; i < 500 && ::IsWindow(window) &&
                        TextOf(window, IDC_COMPARE_SUMMARY).find(L"Esc") != std::wstring::npos;
             ++i)
            running->Pump(10);
        EXPECT_LT(::GetTickCount64() - asked, 3000u) << "stopped within a bound";
        if (message == WM_KEYDOWN) {
            EXPECT_EQ(L"比較を止めました", TextOf(window, IDC_COMPARE_SUMMARY));
            ::PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0); // nothing running: Esc closes
            running->Pump(100);
        }
        EXPECT_FALSE(::IsWindow(window));
    }
}

TEST_F(Compare, AFolderVersionListsWhatChangedWithoutTheExcludedOpensAChangedPairAndSaysAGoneFolder) {
    Start("Exclude=*.tmp");
    ASSERT_TRUE(WriteFileText(sources / "album\\scratch.tmp", "left out"));
    for (const char* name : {"a.txt", "same.txt", "gone.txt"})
        ASSERT_TRUE(WriteFileText(sources / "album\\" + name, std::string(name) + "\r\nsecond line\r\n"));
    Drop({sources / "album"});
    ASSERT_TRUE(WriteFileText(sources / "album\\a.txt", "a.txt\r\nsecond line changed\r\n"));
    ASSERT_TRUE(::DeleteFileA((sources / "album\\gone.txt").c_str()));
    ASSERT_TRUE(WriteFileText(sources / "album\\sub\\new.txt", "new"));
    ASSERT_TRUE(WriteFileText(sources / "album\\scratch.tmp", "left out, changed"));

    HWND window = CompareRows({0}, kFolders, nullptr, IDC_FOLDERS_SUMMARY);
    ASSERT_TRUE(window != nullptr);
    EXPECT_EQ(L"変更 1、追加 1、削除 1、同じ 1", TextOf(window, IDC_FOLDERS_SUMMARY));
    HWND list = ::GetDlgItem(window, IDC_FOLDERS_LIST);
    const auto rows = [&] {
        std::vector<std::string> texts;
        for (int item = 0; item < ListView_GetItemCount(list); ++item)
            texts.push_back(ToAnsiText(CellOf(list, item, 0) + L" " + CellOf(list, item, 1)));
        return texts;
    };
    EXPECT_EQ((std::vector<std::string>{"a.txt 変更", "gone.txt 削除", "sub\\new.txt 追加"}), rows());
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_FOLDERS_SHOW_SAME, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(window, IDC_FOLDERS_SHOW_SAME)));
    EXPECT_EQ(3u, rows().size()) << "the box unchecked lists what differs only";
    ::CheckDlgButton(window, IDC_FOLDERS_SHOW_SAME, BST_CHECKED);
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_FOLDERS_SHOW_SAME, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(window, IDC_FOLDERS_SHOW_SAME)));
    EXPECT_EQ((std::vector<std::string>{"a.txt 変更", "gone.txt 削除", "same.txt 同じ", "sub\\new.txt 追加"}),
              rows());

    // A double-click on the changed file: its pair in the two-texts window.
    const size_t before = TopLevelWindowsOf(::GetCurrentProcessId(), kTexts).size();
    NMITEMACTIVATE click = {};
    click.hdr = {list, IDC_FOLDERS_LIST, NM_DBLCLK};
    click.iItem = 0;
    ::SendMessageW(window, WM_NOTIFY, IDC_FOLDERS_LIST, reinterpret_cast<LPARAM>(&click));
    HWND pair = nullptr;
    for (int i = 0; i < 250 && pair == nullptr; ++i) {
        running->Pump(20);
        for (HWND candidate : TopLevelWindowsOf(::GetCurrentProcessId(), kTexts))
            if (TopLevelWindowsOf(::GetCurrentProcessId(), kTexts).size() > before &&
                TextOf(candidate, IDC_COMPARE_SUMMARY).find(L"違い") == 0)
                pair = candidate;
    }
    ASSERT_TRUE(pair != nullptr);
    EXPECT_EQ(L"違い 1 箇所 (削除 1 行、追加 1 行)", TextOf(pair, IDC_COMPARE_SUMMARY));

    // The folder gone from its place: said of a folder.
    RemoveTree(sources / "album");
    HWND gone = CompareRows({0}, kFolders, nullptr, IDC_FOLDERS_SUMMARY);
    ASSERT_TRUE(gone != nullptr);
    EXPECT_EQ(FromAnsiText(sources / "album") + L"は元の場所にありません。比べる現在のフォルダがありません",
              TextOf(gone, IDC_FOLDERS_SUMMARY));
}

TEST_F(Compare, DiffToolIsGivenTwoReadOnlyCopiesOlderFirstAndAFailureToStartIsSaid) {
    Start("DiffTool=\"C:\\nowhere\\diff.exe\" \"%1\" \"%2\"");
    ASSERT_TRUE(WriteFileText(sources / "note.txt", "older words"));
    Drop({sources / "note.txt"});
    running->SelectRows({0});
    running->ChooseFromRowMenu(seams, ID_ROW_COMPARE);
    running->PumpUntilIdle();
    EXPECT_NE(std::string::npos, running->StatusText().find("起動できませんでした")) << running->StatusText();

    const std::string arguments = sources / "arguments.txt";
    Start("DiffTool=C:\\windows\\system32\\cmd.exe /c echo \"%1\" \"%2\"> \"" + arguments + "\"");
    Drop({sources / "note.txt"});
    ASSERT_TRUE(WriteFileText(sources / "note.txt", "newer words"));
    running->SelectRows({0});
    running->ChooseFromRowMenu(seams, ID_ROW_COMPARE);
    std::string said;
    for (int i = 0; i < 500 && !(ReadFileText(arguments, &said) && said.find('\n') != std::string::npos); ++i)
        running->Pump(20);
    running->PumpUntilIdle();
    EXPECT_TRUE(TopLevelWindowsOf(::GetCurrentProcessId(), kTexts).empty()) << "not the program's own window";
    std::vector<std::string> copies; // between the quotes echo kept
    for (size_t open = said.find('"'); open != std::string::npos;
         open = said.find('"', said.find('"', open + 1) + 1))
        copies.push_back(said.substr(open + 1, said.find('"', open + 1) - open - 1));
    ASSERT_EQ(2u, copies.size()) << said;
    std::string content;
    EXPECT_TRUE(ReadFileText(copies[0], &content) && content == "older words") << copies[0];
    EXPECT_TRUE(ReadFileText(copies[1], &content) && content == "newer words") << copies[1];
    for (const std::string& copy : copies) {
        EXPECT_TRUE(::GetFileAttributesA(copy.c_str()) & FILE_ATTRIBUTE_READONLY) << copy;
        EXPECT_EQ(std::string::npos, copy.find(program.path())) << "never the backup itself";
        EXPECT_EQ(std::string::npos, copy.find(sources.path())) << "never the file itself";
    }
    EXPECT_NE(std::string::npos, running->StatusText().find("起動しました")) << running->StatusText();
}

// 内容 in the history: Enter looks inside every version; the results say where the text went and
// open the compare at the change that took it, not at the first change.
TEST_F(Compare, AContentSearchFromTheHistoryOpensTheCompareWhereTheTextWent) {
    Start();
    const auto text = [](bool held) {
        std::string lines = Lines(200, 0, !held);
        const size_t at = lines.find("line 150\r\n");
        return lines.replace(at, 8, held ? "the Lost paragraph" : "line 150, rewritten");
    };
    ASSERT_NO_FATAL_FAILURE(PutEarlierVersion("notes.txt", text(true)));
    ASSERT_TRUE(WriteFileText(sources / "notes.txt", text(false)));
    Drop({sources / "notes.txt"});
    running->PressKey(WM_KEYDOWN, 'H', VK_CONTROL);
    auto* frame = dynamic_cast<CMainFrame*>(CWnd::FromHandlePermanent(running->Frame()));
    CHistoryWnd* history = frame != nullptr ? frame->History() : nullptr;
    ASSERT_TRUE(history != nullptr);
    for (int i = 0; i < 250 && !history->IsLoaded(); ++i)
        running->Pump(20);
    HWND window = history->GetSafeHwnd(), edit = ::GetDlgItem(window, IDC_HISTORY_SEARCH);
    ::SendDlgItemMessageW(window, IDC_HISTORY_CONTENT, BM_CLICK, 0, 0);
    ::SetWindowTextW(edit, L"ｌｏｓｔ PARAGRAPH");
    EXPECT_EQ(2u, history->ShownCount()) << "the names are not filtered by what is looked for inside";
    ::SetFocus(edit);
    ::PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
    for (int i = 0; i < 500 && (history->SearchResults() == nullptr || !history->SearchResults()->IsDone()); ++i)
        running->Pump(20);
    CSearchResultsWnd* results = history->SearchResults();
    ASSERT_TRUE(results != nullptr && results->IsDone());
    HWND list = results->List();
    ASSERT_EQ(1, ListView_GetItemCount(list));
    HWND historyList = ::GetDlgItem(window, IDC_HISTORY_LIST);
    EXPECT_EQ(CellOf(historyList, 0, 0) + L" " + CellOf(historyList, 0, 1), CellOf(list, 0, 3)) << "went in the drop";
    EXPECT_EQ(L"150 行目: the Lost paragraph", CellOf(list, 0, 4));
    EXPECT_NE(std::wstring::npos, TextOf(results->GetSafeHwnd(), IDC_SEARCH_SUMMARY).find(L"見つかった項目 1、読んだ内容 2"));

    running->SelectRows({0}, list);
    ::PostMessageW(list, WM_KEYDOWN, VK_RETURN, 0);
    HWND compare = nullptr;
    for (int i = 0; i < 500 && compare == nullptr; ++i, running->Pump(20))
        for (HWND shown : TopLevelWindowsOf(::GetCurrentProcessId(), kTexts))
            if (TextOf(shown, IDC_COMPARE_SUMMARY).find(L"違い") != std::wstring::npos)
                compare = shown;
    ASSERT_TRUE(compare != nullptr);
    EXPECT_EQ(L"違い 2 箇所 (削除 2 行、追加 2 行)", TextOf(compare, IDC_COMPARE_SUMMARY));
    EXPECT_EQ(149 - 3, TopRowOf(compare)) << "the second change, three rows of context above it";
}
