#include "shell/history/MirrorCheckWnd.h"

#include "framework/Dpi.h"
#include "framework/Language.h"
#include "framework/ListCtrl.h"
#include "res/resource.h"
#include "engine/base/BackupPaths.h"
#include "shell/words/Wording.h"

#include <commctrl.h>

#include <chrono>
#include <condition_variable>
#include <iterator>
#include <mutex>

namespace {

// Widths at 96 DPI; a heading that needs more gets more.
const ListColumn kColumns[] = {
    {IDS_COLUMN_DATE, LVCFMT_LEFT, 90},         {IDS_COLUMN_TIME, LVCFMT_LEFT, 50},
    {IDS_COLUMN_NAME, LVCFMT_LEFT, 150},        {IDS_COLUMN_ORIGINAL_FOLDER, LVCFMT_LEFT, 180},
    {IDS_CHECK_COLUMN_FOUND, LVCFMT_LEFT, 110}, {IDS_CHECK_COLUMN_RECORD, LVCFMT_LEFT, 110},
};

// Which copy still matches the version's journal record.
UINT RecordMatchText(const MirrorDifference& difference) {
    const bool local = difference.local == RecordMatch::Matches,
               mirror = difference.mirror == RecordMatch::Matches;
    if (local && mirror)
        return IDS_PLACE_BOTH;
    if (local)
        return IDS_PLACE_HERE;
    if (mirror)
        return IDS_PLACE_MIRROR;
    const bool unknown =
        difference.local == RecordMatch::Unknown || difference.mirror == RecordMatch::Unknown;
    return unknown ? IDS_CHECK_RECORD_UNKNOWN : IDS_CHECK_RECORD_NEITHER;
}

} // namespace

struct CMirrorCheckWnd::Shared {
    HWND target = nullptr;
    BOOL stop = FALSE;
    std::mutex mutex;
    std::condition_variable ended;
    bool finished = false;

    void Run(const CHistory& history, const std::wstring& backupRoot, const std::wstring& mirrorRoot) {
        auto result =
            std::make_unique<MirrorCheckResult>(CheckMirror(history, backupRoot, mirrorRoot, &stop));
        if (::PostMessageW(target, WM_MIRROR_CHECK_DONE, 0, reinterpret_cast<LPARAM>(result.get())))
            result.release(); // the window owns it now
        std::lock_guard<std::mutex> lock(mutex);
        finished = true;
        ended.notify_all();
    }
};

CMirrorCheckWnd::CMirrorCheckWnd(std::shared_ptr<const CHistory> history, std::wstring backupRoot,
                                 std::wstring mirrorRoot)
    : CDialog(IDD_MIRROR_CHECK), m_history(std::move(history)), m_backupRoot(std::move(backupRoot)),
      m_mirrorRoot(std::move(mirrorRoot)), m_shared(std::make_shared<Shared>()) {}

CMirrorCheckWnd::~CMirrorCheckWnd() {
    Stop();
    if (m_hWnd != nullptr)
        ::DestroyWindow(m_hWnd);
}

// Asks the thread to stop and lets it go: joined when it ends within a bound, else left to end
// by itself with the shared state and the history it holds.
void CMirrorCheckWnd::Stop() {
    if (!m_thread.joinable())
        return;
    InterlockedExchange(reinterpret_cast<volatile LONG*>(&m_shared->stop), TRUE);
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    const bool ended =
        m_shared->ended.wait_for(lock, std::chrono::milliseconds(800), [this] { return m_shared->finished; });
    lock.unlock();
    if (ended)
        m_thread.join();
    else
        m_thread.detach();
}

BOOL CMirrorCheckWnd::Create(CWnd* owner) {
    return ShowModelessBeside(owner, IDR_MAINFRAME, 40);
}

BOOL CMirrorCheckWnd::OnInitDialog() {
    m_list = GetDlgItem(IDC_CHECK_LIST);
    ::SendMessageW(m_list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    InsertColumns();
    Layout();
    WidenToShowColumns(m_list);
    ::SetWindowTextW(m_hWnd, LoadResourceText(IDS_CHECK_READING).c_str());
    m_shared->target = m_hWnd;
    std::shared_ptr<Shared> shared = m_shared;
    std::shared_ptr<const CHistory> history = m_history;
    const std::wstring backupRoot = m_backupRoot, mirrorRoot = m_mirrorRoot;
    m_thread = std::thread(
        [shared, history, backupRoot, mirrorRoot] { shared->Run(*history, backupRoot, mirrorRoot); });
    return TRUE;
}

void CMirrorCheckWnd::InsertColumns() {
    InsertListColumns(m_list, kColumns, static_cast<int>(std::size(kColumns)), DpiOfWindow(m_hWnd));
}

// The list fills the window within the dialog's margin.
void CMirrorCheckWnd::Layout() {
    if (m_list == nullptr)
        return;
    RECT margin = {7, 7, 0, 0};
    ::MapDialogRect(m_hWnd, &margin);
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    const int width = client.right - 2 * margin.left, height = client.bottom - 2 * margin.top;
    ::SetWindowPos(m_list, nullptr, margin.left, margin.top, width > 0 ? width : 0, height > 0 ? height : 0,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CMirrorCheckWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        Layout();
        return 0;
    case WM_CLOSE:
        Stop();
        ::DestroyWindow(m_hWnd);
        return 0;
    case WM_MIRROR_CHECK_DONE:
        OnDone(lParam);
        return 0;
    case WM_DESTROY:
        Stop();
        break;
    default:
        break;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

// Esc stops the reading (what was found stays listed); once it has ended, Esc closes.
void CMirrorCheckWnd::OnCancel() {
    if (m_done || !m_thread.joinable()) {
        ::DestroyWindow(m_hWnd);
        return;
    }
    InterlockedExchange(reinterpret_cast<volatile LONG*>(&m_shared->stop), TRUE);
}

void CMirrorCheckWnd::PostNcDestroy() {
    m_list = nullptr;
}

void CMirrorCheckWnd::OnDone(LPARAM lParam) {
    std::unique_ptr<MirrorCheckResult> result(reinterpret_cast<MirrorCheckResult*>(lParam));
    if (!result)
        return;
    m_done = true;
    for (const MirrorDifference& difference : result->differences)
        AddRow(difference);
    const std::wstring summary =
        FormatResourceText(result->stopped ? IDS_CHECK_STOPPED : IDS_CHECK_SUMMARY,
                           {std::to_wstring(result->checked), std::to_wstring(result->differences.size())});
    ::SetWindowTextW(m_hWnd, summary.c_str());
}

void CMirrorCheckWnd::AddRow(const MirrorDifference& difference) {
    const HistoryEntry& entry = m_history->entries[difference.entry];
    const std::wstring& original = m_history->Original(entry);
    const std::wstring texts[] = {
        HistoryDateText(entry.time),
        HistoryTimeText(entry.time),
        original.empty() ? m_history->texts.Text(entry.copyName) : LastComponent(original),
        original.empty() ? LoadResourceText(IDS_HISTORY_UNKNOWN_FOLDER) : WithoutLastComponent(original),
        LoadResourceText(difference.mirrorMissing ? IDS_CHECK_MIRROR_MISSING : IDS_CHECK_DIFFERENT),
        LoadResourceText(RecordMatchText(difference)),
    };
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(::SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<wchar_t*>(texts[0].c_str());
    item.iItem =
        static_cast<int>(::SendMessageW(m_list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    for (int column = 1; column < static_cast<int>(sizeof texts / sizeof texts[0]); ++column) {
        item.iSubItem = column;
        item.pszText = const_cast<wchar_t*>(texts[column].c_str());
        ::SendMessageW(m_list, LVM_SETITEMTEXTW, static_cast<WPARAM>(item.iItem),
                       reinterpret_cast<LPARAM>(&item));
    }
}
