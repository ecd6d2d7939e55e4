// The cleanup's question on a history made by hand: Cancel the default, the preview recomputed as
// the days change (from the list or typed), and anything but a number of at least 1 refused; in
// Japanese, and in English where the user's language is (shell_english_tests).
#include <gtest/gtest.h>

#include "framework/Language.h"
#include "res/resource.h"
#include "shell/history/CleanupDlg.h"
#include "shell/words/Wording.h"

namespace {

// Checks the opened dialog, then ends it: DoModal returns before the dialog is ever shown.
class CheckedCleanupDlg : public CCleanupDlg {
public:
    using CCleanupDlg::CCleanupDlg;
    BOOL OnInitDialog() override {
        CCleanupDlg::OnInitDialog();
        const bool english = ScreenLanguage() == kEnglish;
        EXPECT_EQ(MAKELONG(IDCANCEL, DC_HASDEFID), SendMessage(DM_GETDEFID));
        EXPECT_EQ((english ? L"Backups to clean up: 2 (" + SizeText(2) + L").\nThe oldest backup kept: "
                           : L"2 個のバックアップ（" + SizeText(2) +
                                 L"）を整理します。\n残る一番古いバックアップ: ") +
                      HistoryDateText(m_kept),
                  Text(IDC_CLEANUP_PREVIEW))
            << "30 days";
        HWND edit = ::GetWindow(GetDlgItem(IDC_CLEANUP_DAYS), GW_CHILD);
        for (const wchar_t* typed : {L"0", L"abc", L"-5"}) {
            ::SetWindowTextW(edit, L"");
            for (const wchar_t* c = typed; *c; ++c)
                ::SendMessageW(edit, WM_CHAR, *c, 0);
            EXPECT_EQ(english ? L"Type a number of days of 1 or more."
                              : L"日数は 1 以上の数で入力してください。",
                      Text(IDC_CLEANUP_PREVIEW))
                << typed;
            EXPECT_FALSE(::IsWindowEnabled(GetDlgItem(IDOK))) << typed;
        }
        ::SetWindowTextW(edit, L"");
        for (wchar_t c : {L'５', L'０'})
            ::SendMessageW(edit, WM_CHAR, c, 0);
        EXPECT_EQ(1u, Plan().copies) << "50 days, in full-width digits";
        EXPECT_TRUE(::IsWindowEnabled(GetDlgItem(IDOK)));
        EndDialog(IDCANCEL);
        return TRUE;
    }
    std::wstring Text(int id) const {
        wchar_t text[256] = L"";
        ::GetDlgItemTextW(m_hWnd, id, text, 256);
        return text;
    }
    int64_t m_kept = 0;
};

} // namespace

TEST(CleanupDlg, CancelIsTheDefaultAndThePreviewFollowsTheDays) {
    CHistory history;
    SYSTEMTIME now;
    GetLocalTime(&now);
    const int64_t day = 24LL * 60 * 60 * 10000000;
    for (int age : {2, 40, 100}) { // newest first, one item
        HistoryEntry entry;
        entry.time = ToTicks(now) - age * day;
        entry.bytes = 1;
        entry.original = history.texts.Add(L"C:\\data\\a.txt");
        entry.copyFolder = history.texts.Add(L"2004-0101\\10" + std::to_wstring(age));
        entry.copyName = history.texts.Add(L"a.txt");
        history.entries.push_back(entry);
    }
    CheckedCleanupDlg dialog(history, L"C:\\backups", nullptr);
    dialog.m_kept = history.entries[0].time;
    EXPECT_EQ(IDCANCEL, dialog.DoModal());
}
