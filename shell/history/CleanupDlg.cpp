#include "shell/history/CleanupDlg.h"

#include "framework/Language.h"
#include "res/resource.h"
#include "shell/words/Wording.h"

namespace {

constexpr int64_t kTicksPerDay = 24LL * 60 * 60 * 10000000;
const wchar_t* const kDayChoices[] = {L"7", L"30", L"90", L"365"};
constexpr int kFirstChoice = 1; // 30 days
constexpr size_t kMostDigits = 7;

int64_t NowTicks() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return ToTicks(now);
}

std::wstring PreviewText(const CleanupPlan& plan) {
    if (plan.copies == 0)
        return LoadResourceText(IDS_CLEANUP_NOTHING);
    std::wstring text =
        FormatResourceText(IDS_CLEANUP_PREVIEW, {std::to_wstring(plan.copies), SizeText(plan.bytes)});
    if (plan.keptByLinks > 0) // other versions keep files they share by links
        text += FormatResourceText(IDS_CLEANUP_FREES, {SizeText(plan.frees)});
    if (plan.oldestKept != 0)
        text += FormatResourceText(IDS_CLEANUP_OLDEST_KEPT, {HistoryDateText(plan.oldestKept)});
    return text;
}

} // namespace

CCleanupDlg::CCleanupDlg(const CHistory& history, const std::wstring& backupRoot, CWnd* owner)
    : CDialog(IDD_CLEANUP, owner), m_history(history), m_backupRoot(backupRoot), m_now(NowTicks()) {}

unsigned CCleanupDlg::ParseDays(const std::wstring& text) {
    if (text.empty() || text.size() > kMostDigits)
        return 0;
    unsigned days = 0;
    for (wchar_t c : text) {
        if (c >= L'\uFF10' && c <= L'\uFF19') // a full-width digit, typed with the input method on
            c = static_cast<wchar_t>(L'0' + (c - L'\uFF10'));
        if (c < L'0' || c > L'9')
            return 0;
        days = days * 10 + static_cast<unsigned>(c - L'0');
    }
    return days;
}

BOOL CCleanupDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    HWND days = GetDlgItem(IDC_CLEANUP_DAYS);
    for (const wchar_t* choice : kDayChoices)
        ::SendMessageW(days, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice));
    ::SendMessageW(days, CB_SETCURSEL, kFirstChoice, 0);
    ::SendMessageW(days, CB_LIMITTEXT, kMostDigits, 0);
    if (HasRecycleBin(m_backupRoot))
        ::ShowWindow(GetDlgItem(IDC_CLEANUP_WARNING), SW_HIDE);
    // Enter must not remove anything by itself: Cancel is the default.
    SendMessage(DM_SETDEFID, IDCANCEL);
    UpdatePreview(true);
    return TRUE;
}

std::wstring CCleanupDlg::DaysText(bool fromList) const {
    HWND days = GetDlgItem(IDC_CLEANUP_DAYS);
    const LRESULT selected = ::SendMessageW(days, CB_GETCURSEL, 0, 0);
    wchar_t text[32] = L"";
    if (fromList && selected != CB_ERR && ::SendMessageW(days, CB_GETLBTEXTLEN, selected, 0) < 32)
        ::SendMessageW(days, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(text));
    else
        ::GetWindowTextW(days, text, 32);
    return text;
}

void CCleanupDlg::UpdatePreview(bool fromList) {
    const unsigned days = ParseDays(DaysText(fromList));
    m_valid = days >= 1;
    m_plan = m_valid ? PlanCleanup(m_history, m_now - days * kTicksPerDay) : CleanupPlan();
    if (m_valid)
        MeasureRoomFreed(m_plan, m_history, m_backupRoot);
    ::SetDlgItemTextW(m_hWnd, IDC_CLEANUP_PREVIEW,
                      (m_valid ? PreviewText(m_plan) : LoadResourceText(IDS_CLEANUP_BAD_DAYS)).c_str());
    ::EnableWindow(GetDlgItem(IDOK), m_valid && m_plan.copies > 0);
}

void CCleanupDlg::OnOK() {
    UpdatePreview(false);
    if (m_valid && m_plan.copies > 0)
        CDialog::OnOK();
}

LRESULT CCleanupDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_CLEANUP_DAYS &&
        (HIWORD(wParam) == CBN_EDITCHANGE || HIWORD(wParam) == CBN_SELCHANGE)) {
        UpdatePreview(HIWORD(wParam) == CBN_SELCHANGE);
        return 0;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}
