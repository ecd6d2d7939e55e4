// The history of the running program with a mirror folder (MirrorFolder=), which the program
// fills itself: one list with each version's place, a version cleaned locally opened, compared and
// restored from the mirror, hostile mirror records refused, an unreachable mirror said; and 照合
// finding damage in either place, 修復 healing it.
#include "RunningApp.h"
#include "WindowProbe.h"

#include "common/TempFolder.h"
#include "engine/base/BackupPaths.h"
#include "engine/journal/History.h"
#include "engine/journal/Journal.h"
#include "res/resource.h"
#include "shell/history/HistoryWnd.h"
#include "shell/main/MainFrm.h"
#include "shell/history/VersionCheckWnd.h"
#include "framework/Language.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <map>

namespace {

// Pumps until the mirror's journals name count versions of item (the program mirrors on a thread
// of its own, oldest first), so what a case changes there next is never written over by the program.
bool PumpUntilMirrored(RunningApp& running, const std::string& mirror, const std::string& item,
                       size_t count, int tries = 300) {
    for (; tries > 0; --tries, running.Pump(50)) {
        CHistory mirrored;
        ReadHistory(FromAnsiText(mirror), mirrored, nullptr, {});
        if (FilterHistory(mirrored, std::wstring(), FromAnsiText(item)).size() == count)
            return true;
    }
    return false;
}

class MirrorHistory : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WriteFileText(sources / "note.txt", "first"));
        ASSERT_TRUE(WriteFileText(sources / "other.txt", "other"));
        ASSERT_TRUE(WriteFileText(sources / "album\\top.txt", "top"));
        // The background check off: it would heal what a test damages before 照合 reads it.
        ASSERT_TRUE(WriteFileText(program / "Tallowbox.ini",
                                  "[Tallowbox]\r\nMirrorFolder=" + mirror.path() + "\r\nCheckDays=0\r\n"));
        running = std::make_unique<RunningApp>("", program.path());
        ASSERT_TRUE(running->started());
        const std::vector<std::string> paths = {sources / "note.txt", sources / "other.txt",
                                                sources / "album"};
        ::PostMessageA(running->View(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDropBlock(paths)), 0);
        running->PumpUntilRows(3);
        running->PumpUntilIdle();
        ASSERT_TRUE(PumpUntilMirrored(*running, mirror.path(), sources / "album", 1));
        day = running->ItemText(0, 4).substr((program / "backups\\").size()); // "YYYY-MMDD\HHMM"
    }
    CHistoryWnd* Open() {
        running->PressKey(WM_KEYDOWN, 'H', VK_CONTROL);
        auto* frame = dynamic_cast<CMainFrame*>(CWnd::FromHandlePermanent(running->Frame()));
        CHistoryWnd* history = frame != nullptr ? frame->History() : nullptr;
        for (int i = 0; i < 250 && history != nullptr && !history->IsLoaded(); ++i)
            running->Pump(20);
        return history;
    }
    HWND ListOf(CHistoryWnd* history) { return ::GetDlgItem(history->GetSafeHwnd(), IDC_HISTORY_LIST); }
    std::wstring Cell(HWND list, int item, int column) {
        wchar_t text[512] = L"";
        LVITEMW cell = {};
        cell.iSubItem = column;
        cell.pszText = text;
        cell.cchTextMax = 512;
        ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&cell));
        return text;
    }
    int RowNamed(HWND list, const std::wstring& name) {
        for (int item = 0; item < ListView_GetItemCount(list); ++item)
            if (Cell(list, item, 2) == name)
                return item;
        return -1;
    }

    TempFolder sources, program, mirror;
    RowSeams seams;
    std::unique_ptr<RunningApp> running;
    std::string day;
};

} // namespace

TEST_F(MirrorHistory, OneListOfBothPlacesAVersionCleanedHereComesFromTheMirror) {
    // The cleanup's doing here: the note's copy gone, a removal record naming it.
    const std::string noteCopy = day + "\\note.txt";
    JournalRecord removed;
    ::GetLocalTime(&removed.time);
    removed.kind = JournalKind::Removed;
    removed.original = FromAnsiText(sources / "note.txt");
    removed.copy = FromAnsiText(noteCopy);
    ASSERT_EQ(
        static_cast<DWORD>(ERROR_SUCCESS),
        AppendJournalRecord(FromAnsiText(program / "backups"), FromAnsiText(day.substr(0, 9)), removed));
    ASSERT_TRUE(::DeleteFileA((program / "backups\\" + noteCopy).c_str()));
    // The other's copy the local disk lost; a day only the mirror holds, with hostile records.
    ASSERT_TRUE(::DeleteFileA((program / "backups\\" + day + "\\other.txt").c_str()));
    ASSERT_TRUE(WriteFileText(mirror / "2001-0101\\0101\\old.txt", "old"));
    ASSERT_TRUE(WriteFileText(sources / "outside.txt", "not the program's"));
    JournalRecord old;
    old.time = {2001, 1, 1, 1, 1, 1, 0, 0};
    old.original = FromAnsiText(sources / "old.txt");
    old.bytes = 3;
    std::string journal = JournalHeaderLine();
    for (const wchar_t* copy :
         {L"2001-0101\\0101\\old.txt", L"..\\..\\outside.txt", L"2001-0101\\0101\\CON"}) {
        old.copy = copy;
        journal += FormatJournalLine(old);
    }
    ASSERT_TRUE(WriteFileText(mirror / "2001-0101\\Tallowbox-journal.tsv", journal));

    CHistoryWnd* history = Open();
    ASSERT_TRUE(history != nullptr && history->IsLoaded());
    HWND list = ListOf(history);
    ASSERT_EQ(6, ListView_GetItemCount(list));
    const std::wstring here = LoadResourceText(IDS_PLACE_HERE), both = LoadResourceText(IDS_PLACE_BOTH),
                       onMirror = LoadResourceText(IDS_PLACE_MIRROR);
    std::map<std::wstring, std::wstring> places;
    int damaged = 0;
    for (int item = 0; item < 6; ++item) {
        if (Cell(list, item, 6) == LoadResourceText(IDS_HISTORY_DAMAGED)) {
            ++damaged;
            EXPECT_EQ(onMirror, Cell(list, item, 7));
            running->SelectRows({item}, list);
            running->ChooseFromRowMenu(seams, ID_ROW_SHOW_BACKUP, list);
            EXPECT_TRUE(seams.menu[7].second && seams.menu[8].second) << "no restore of a hostile record";
        } else {
            places[Cell(list, item, 2)] = Cell(list, item, 7);
        }
    }
    EXPECT_EQ(2, damaged) << "a climbing copy path and a device name";
    EXPECT_TRUE(seams.shown.empty()) << "nothing of a hostile record is shown";
    EXPECT_EQ(
        (std::map<std::wstring, std::wstring>{
            {L"note.txt", onMirror}, {L"other.txt", onMirror}, {L"album", both}, {L"old.txt", onMirror}}),
        places);
    EXPECT_NE(here, both);

    // Looked at and put back from the mirror, the local copy being gone.
    ASSERT_TRUE(WriteFileText(sources / "note.txt", "changed"));
    running->SelectRows({RowNamed(list, L"note.txt")}, list);
    running->ChooseFromRowMenu(seams, ID_ROW_OPEN_VERSION, list);
    running->PumpUntilIdle();
    std::string content;
    ASSERT_EQ(1u, seams.opened.size());
    EXPECT_TRUE(ReadFileText(ToAnsiText(seams.opened[0]), &content) && content == "first");
    running->ChooseFromRowMenu(seams, ID_ROW_COMPARE, list);
    std::vector<HWND> compared;
    for (int i = 0; i < 250 && compared.empty(); ++i, running->Pump(20))
        compared = TopLevelWindowsOf(::GetCurrentProcessId(), "TallowboxCompareTexts");
    ASSERT_EQ(1u, compared.size()) << "compared from the mirror";
    const auto said = [&] { return WindowText(::GetDlgItem(compared[0], IDC_COMPARE_SUMMARY)); };
    for (int i = 0; i < 250 && said().find("違い") != 0; ++i)
        running->Pump(20);
    EXPECT_EQ("違い 1 箇所 (削除 1 行、追加 1 行)", said());
    seams.answer = IDYES;
    running->ChooseFromRowMenu(seams, ID_ROW_RESTORE, list);
    running->PumpUntilIdle();
    EXPECT_TRUE(ReadFileText(sources / "note.txt", &content) && content == "first") << content;
    EXPECT_TRUE(ReadFileText(mirror / noteCopy, &content) && content == "first") << "the mirror's copy stays";
    // On a loaded machine the safety backup may miss the mirror's round and wait for its retry.
    ASSERT_TRUE(PumpUntilMirrored(*running, mirror.path(), sources / "note.txt", 2, 1500))
        << "its safety backup too";

    // A mirror that cannot be reached adds nothing, and the summary says so.
    RemoveTree(mirror.path());
    history->Reload();
    for (int i = 0; i < 250 && !(history->IsLoaded() && history->History().days.size() == 1); ++i)
        running->Pump(20);
    wchar_t summary[512] = L"";
    ::GetDlgItemTextW(history->GetSafeHwnd(), IDC_HISTORY_SUMMARY, summary, 512);
    EXPECT_NE(std::wstring::npos,
              std::wstring(summary).find(LoadResourceText(IDS_HISTORY_MIRROR_UNREACHABLE)))
        << ToAnsiText(summary);
    // The restore from the mirror is recorded as a whole record too (its copy named as the mirror names it).
    int restores = 0;
    for (int item = 0; item < ListView_GetItemCount(list); ++item) {
        EXPECT_EQ(here, Cell(list, item, 7)) << ToAnsiText(Cell(list, item, 2));
        EXPECT_NE(LoadResourceText(IDS_HISTORY_DAMAGED), Cell(list, item, 6))
            << ToAnsiText(Cell(list, item, 2));
        restores += Cell(list, item, 6) == LoadResourceText(IDS_MARK_RESTORE) ? 1 : 0;
    }
    EXPECT_EQ(1, restores);
}

// 照合 reads every version in both places against its hashes: a byte flipped in a local copy (size
// and time kept), a mirror copy gone, a file inside the mirror's folder version changed. Each row,
// the body, the history's 確認 column, its tip and the restore's warning say so; 修復 heals each
// from the other place, and the body and the 確認 column say that.
TEST_F(MirrorHistory, TheCheckFindsDamageInEitherPlaceAndTheRepairHealsIt) {
    ASSERT_TRUE(FlipByteKeepingTime(program / ("backups\\" + day + "\\note.txt")));
    ASSERT_TRUE(::DeleteFileA((mirror / (day + "\\other.txt")).c_str()));
    ASSERT_TRUE(FlipByteKeepingTime(mirror / (day + "\\album\\top.txt"), 1));
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
        wchar_t text[1024] = L"";
        ::GetDlgItemTextW(check->GetSafeHwnd(), IDC_CHECK_SUMMARY, text, 1024);
        return std::wstring(text);
    };
    waitUntilDone();
    const HWND list = check->List();
    using Found = std::map<std::wstring, std::vector<std::wstring>>; // name: here, mirror, found, repair
    const auto rows = [&] {
        Found found;
        for (int item = 0; item < ListView_GetItemCount(list); ++item)
            found[Cell(list, item, 2)] = {Cell(list, item, 4), Cell(list, item, 5), Cell(list, item, 6),
                                          Cell(list, item, 7)};
        return found;
    };
    const std::wstring good = LoadResourceText(IDS_PROOF_GOOD), damaged = LoadResourceText(IDS_PROOF_DAMAGED);
    EXPECT_EQ((Found{{L"note.txt", {damaged, good, L"note.txt", L""}},
                     {L"other.txt",
                      {good, damaged, FormatResourceText(IDS_PROOF_MISSING_FILE, {L"other.txt"}), L""}},
                     {L"album", {good, damaged, L"top.txt", L""}}}),
              rows());
    EXPECT_EQ(FormatResourceText(IDS_CHECK_SUMMARY, {L"3"}) +
                  FormatResourceText(IDS_CHECK_SOME_DAMAGED, {L"3"}),
              body());
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(check->GetSafeHwnd(), IDC_CHECK_REPAIR)));

    // The history learns it from the check (WM_CHECKS_CHANGED): 確認 and the tip say it, and
    // restoring warns first, naming the damaged file, No the default, in the history and the main list.
    HWND rowsList = ListOf(history);
    const int note = RowNamed(rowsList, L"note.txt");
    for (int i = 0; i < 250 && Cell(rowsList, note, 8) != damaged; ++i)
        running->Pump(20);
    for (int item = 0; item < ListView_GetItemCount(rowsList); ++item)
        EXPECT_EQ(damaged, Cell(rowsList, item, 8)) << ToAnsiText(Cell(rowsList, item, 2));
    wchar_t tipText[512] = L"";
    NMLVGETINFOTIPW tip = {{rowsList, IDC_HISTORY_LIST, LVN_GETINFOTIPW}, 0, tipText, 512, note, 0, 0};
    ::SendMessageW(history->GetSafeHwnd(), WM_NOTIFY, IDC_HISTORY_LIST, reinterpret_cast<LPARAM>(&tip));
    EXPECT_NE(std::wstring::npos, std::wstring(tipText).find(L"note.txt")) << ToAnsiText(tipText);
    int mainNote = -1;
    for (int item = 0; item < running->ItemCount(); ++item)
        mainNote = running->WideItemText(item, 2) == L"note.txt" ? item : mainNote;
    for (HWND restoredFrom : {rowsList, running->List()}) {
        running->SelectRows({restoredFrom == rowsList ? note : mainNote}, restoredFrom);
        running->ChooseFromRowMenu(seams, ID_ROW_RESTORE, restoredFrom);
        ASSERT_FALSE(seams.questions.empty());
        const std::wstring& asked = seams.questions.back().first;
        const std::wstring warning = LoadResourceText(IDS_DAMAGED_RESTORE);
        EXPECT_EQ(0u, asked.find(warning.substr(0, warning.find(L"%1")))) << ToAnsiText(asked);
        EXPECT_NE(std::wstring::npos, asked.find(L"    note.txt")) << ToAnsiText(asked);
        EXPECT_EQ(UINT(MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2), seams.questions.back().second);
        seams.questions.clear();
    }
    std::string content;
    EXPECT_TRUE(ReadFileText(sources / "note.txt", &content) && content == "first") << "answered No";

    ::SendMessageW(check->GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDC_CHECK_REPAIR, BN_CLICKED), 0);
    waitUntilDone();
    const std::wstring fromMirror = LoadResourceText(IDS_REPAIR_FROM_MIRROR),
                       fromHere = LoadResourceText(IDS_REPAIR_FROM_HERE);
    EXPECT_EQ((Found{{L"note.txt", {good, good, L"", fromMirror}},
                     {L"other.txt", {good, good, L"", fromHere}},
                     {L"album", {good, good, L"", fromHere}}}),
              rows());
    EXPECT_EQ(FormatResourceText(IDS_CHECK_SUMMARY, {L"3"}) +
                  FormatResourceText(IDS_CHECK_SOME_HEALED, {L"3"}),
              body());
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(check->GetSafeHwnd(), IDC_CHECK_REPAIR)));
    for (const auto& healed :
         std::map<std::string, std::string>{{program / ("backups\\" + day + "\\note.txt"), "first"},
                                            {mirror / (day + "\\other.txt"), "other"},
                                            {mirror / (day + "\\album\\top.txt"), "top"}})
        EXPECT_TRUE(ReadFileText(healed.first, &content) && content == healed.second) << healed.first;
    wchar_t today[80] = L"";
    ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, today, 80, nullptr);
    for (int i = 0; i < 250 && Cell(rowsList, note, 8) != today; ++i)
        running->Pump(20);
    for (int item = 0; item < ListView_GetItemCount(rowsList); ++item)
        EXPECT_EQ(today, Cell(rowsList, item, 8)) << "the last good check's date";
    // The work over, Esc closes the window.
    const HWND window = check->GetSafeHwnd();
    ::PostMessageW(list, WM_KEYDOWN, VK_ESCAPE, 0);
    running->Pump(100);
    EXPECT_FALSE(::IsWindow(window));
}
