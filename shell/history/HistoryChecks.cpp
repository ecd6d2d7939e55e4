// CHistoryWnd, what the checks of the copies found: the ledger (Tallowbox-checks.tsv) read on a
// thread of its own whenever the history is read and whenever WM_CHECKS_CHANGED says it changed,
// the 確認 column and the tip of a version found damaged, and 修復 of the focused row (proven
// again, then healed, on the window's job: Esc stops it).
#include "shell/history/HistoryWnd.h"

#include "framework/Language.h"
#include "res/resource.h"
#include "shell/history/VersionCheckRun.h"
#include "shell/words/ProofWording.h"
#include "shell/words/Wording.h"

#include <commctrl.h>

namespace {

// A tip names at most this many damaged files.
const size_t kTipNamesAtMost = 10;

// Only a backup's own record names a copy whose checks are its own to show.
bool ShowsChecks(const HistoryEntry& entry) {
    return entry.kind == JournalKind::Backup && !entry.Is(HistoryEntry::kDamaged);
}

} // namespace

// One reading at a time: asked while one runs, another follows it.
void CHistoryWnd::ReadLedger() {
    if (m_ledgerJob) {
        m_ledgerStale = true;
        return;
    }
    m_ledgerStale = false;
    const std::wstring root = BackupRoot();
    m_ledgerJob.reset(
        new CWindowJob<CCheckLedger>(m_hWnd, WM_HISTORY_LEDGER, [root](const BOOL*, CCheckLedger* ledger) {
            ledger->Load(root); // none there: empty
        }));
}

void CHistoryWnd::OnLedgerRead(LPARAM lParam) {
    std::unique_ptr<CCheckLedger> ledger(reinterpret_cast<CCheckLedger*>(lParam));
    m_ledgerJob.reset();
    if (ledger)
        m_ledger = std::move(ledger);
    ::InvalidateRect(m_list, nullptr, FALSE);
    if (m_ledgerStale)
        ReadLedger();
}

bool CHistoryWnd::MarkOf(const HistoryEntry& entry, CheckMark* mark) const {
    return m_ledger && ShowsChecks(entry) && m_ledger->Find(m_history->CopyPath(entry), mark);
}

std::wstring CHistoryWnd::CheckedText(const HistoryEntry& entry) const {
    CheckMark mark;
    return MarkOf(entry, &mark) ? LastCheckText(mark) : std::wstring();
}

// A version found damaged names the place and its damaged files.
bool CHistoryWnd::OnGetInfoTip(NMLVGETINFOTIPW* tip) const {
    if (tip->iItem < 0 || static_cast<size_t>(tip->iItem) >= m_shown.size() || tip->pszText == nullptr ||
        tip->cchTextMax <= 0)
        return false;
    const HistoryEntry& entry = m_history->entries[m_shown[static_cast<size_t>(tip->iItem)]];
    CheckMark mark;
    if (!MarkOf(entry, &mark) || !FoundDamaged(mark))
        return false;
    const std::wstring copy = m_history->CopyPath(entry), name = LastComponent(copy);
    std::wstring text;
    for (ProofPlace place : {ProofPlace::Here, ProofPlace::Mirror}) {
        if (mark.state[static_cast<int>(place)] != ProofState::Damaged)
            continue;
        const UINT placeName = place == ProofPlace::Here ? IDS_PLACE_HERE : IDS_PLACE_MIRROR;
        text += (text.empty() ? L"" : L"\n") +
                FormatResourceText(IDS_DAMAGED_TIP, {LoadResourceText(placeName),
                                                     DamagedNamesLines(m_ledger->DamagedFiles(copy, place),
                                                                       name, kTipNamesAtMost)});
    }
    const size_t length = std::min(text.size(), static_cast<size_t>(tip->cchTextMax) - 1);
    text.copy(tip->pszText, length);
    tip->pszText[length] = L'\0';
    return true;
}

int CHistoryWnd::FocusedItem() const {
    const int item = ListView_GetNextItem(m_list, -1, LVNI_FOCUSED | LVNI_SELECTED);
    return item >= 0 && static_cast<size_t>(item) < m_shown.size() ? item : -1;
}

bool CHistoryWnd::CanRepairFocused() const {
    const int item = FocusedItem();
    CheckMark mark;
    return !m_job && item >= 0 && HasCopyToProve(m_history->entries[m_shown[static_cast<size_t>(item)]]) &&
           MarkOf(m_history->entries[m_shown[static_cast<size_t>(item)]], &mark) && FoundDamaged(mark);
}

// The version is proven again first (it may have changed since), then healed where still damaged.
void CHistoryWnd::RepairFocused() {
    const int item = FocusedItem();
    if (m_job || item < 0)
        return;
    const uint32_t entry = m_shown[static_cast<size_t>(item)];
    // The job holds the history it reads: one read again meanwhile takes the window's place.
    std::shared_ptr<const CHistory> history = m_history;
    const std::wstring backupRoot = BackupRoot(), mirrorRoot = MirrorRoot(),
                       name = CellText(m_history->entries[entry], 2);
    m_job.reset(new CWindowJob<RowRepair>(
        m_hWnd, WM_HISTORY_REPAIRED,
        [history, entry, backupRoot, mirrorRoot, name](const BOOL* stop, RowRepair* result) {
            result->name = name;
            ProveAndRepair(*history, entry, backupRoot, mirrorRoot, stop, result);
        }));
    SetStatusText(FormatResourceText(IDS_ROW_REPAIRING, {name}));
}

// The outcome in the status text; the ledger, which the repair wrote to, read again.
void CHistoryWnd::OnRowRepaired(LPARAM lParam) {
    std::unique_ptr<RowRepair> result(reinterpret_cast<RowRepair*>(lParam));
    m_job.reset();
    ReadLedger();
    if (!result)
        return;
    const std::wstring& name = result->name;
    if (result->stopped)
        SetStatusText(FormatResourceText(IDS_ROW_REPAIR_STOPPED, {name}));
    else if (result->version.repaired)
        SetStatusText(
            FormatResourceText(IDS_ROW_REPAIR_DONE, {name, RepairOutcomeText(result->version.repair)}));
    else if (IsDamaged(result->version.proof) || HasUnreadable(result->version.proof))
        SetStatusText(
            FormatResourceText(IDS_ROW_REPAIR_DONE, {name, ProofStateText(ProofState::Unreadable)}));
    else
        SetStatusText(FormatResourceText(IDS_ROW_REPAIR_CLEAN, {name}));
}
