#include "shell/history/VersionCheckWnd.h"

#include "engine/base/BackupPaths.h"
#include "framework/Language.h"
#include "res/resource.h"
#include "shell/document/TallowboxDoc.h"
#include "shell/words/ProofWording.h"
#include "shell/words/Wording.h"

namespace {

// Widths at 96 DPI; a heading that needs more gets more.
const ListColumn kCheckColumns[] = {
    {IDS_COLUMN_DATE, LVCFMT_LEFT, 90},         {IDS_COLUMN_TIME, LVCFMT_LEFT, 50},
    {IDS_COLUMN_NAME, LVCFMT_LEFT, 150},        {IDS_COLUMN_ORIGINAL_FOLDER, LVCFMT_LEFT, 160},
    {IDS_PLACE_HERE, LVCFMT_LEFT, 70},          {IDS_PLACE_MIRROR, LVCFMT_LEFT, 70},
    {IDS_CHECK_COLUMN_FOUND, LVCFMT_LEFT, 220}, {IDS_CHECK_COLUMN_REPAIR, LVCFMT_LEFT, 160},
};
enum Column { kDate, kTime, kName, kFolder, kHere, kMirror, kFound, kRepair };

// A folder version names at most this many files in its row; the rest are counted.
const size_t kNamedAtMost = 10;

} // namespace

CVersionCheckWnd::CVersionCheckWnd(std::shared_ptr<const CHistory> history, std::vector<uint32_t> entries,
                                   std::wstring backupRoot, std::wstring mirrorRoot)
    : CToolWnd(IDD_VERSION_CHECK, {300, 140}, Lifetime::OwnedByOpener), m_history(std::move(history)),
      m_entries(std::move(entries)), m_backupRoot(std::move(backupRoot)),
      m_mirrorRoot(std::move(mirrorRoot)) {}

BOOL CVersionCheckWnd::Create(CWnd* owner) {
    return ShowModelessBeside(owner, IDR_MAINFRAME, 40);
}

BOOL CVersionCheckWnd::OnInitDialog() {
    BindList(IDC_CHECK_LIST, kCheckColumns);
    ::EnableWindow(GetDlgItem(IDC_CHECK_REPAIR), FALSE);
    Layout();
    WidenToShowColumns(m_list);
    ShowSummary();
    // The thread holds the history it reads: a check left to end by itself keeps it.
    std::shared_ptr<const CHistory> history = m_history;
    std::vector<uint32_t> entries = std::move(m_entries);
    const std::wstring backupRoot = m_backupRoot, mirrorRoot = m_mirrorRoot;
    const HWND target = m_hWnd;
    m_job.reset(new CWindowJob<CheckPart>(
        m_hWnd, WM_VERSION_CHECK_PART,
        [history, entries, backupRoot, mirrorRoot, target](const BOOL* stop, CheckPart* last) {
            ProveVersions(target, WM_VERSION_CHECK_PART, *history, entries, backupRoot, mirrorRoot, stop,
                          last);
        }));
    return TRUE;
}

// The summary and 修復 keep their heights at the bottom, 修復 at the right; the list takes the rest.
void CVersionCheckWnd::Layout() {
    if (m_list == nullptr)
        return;
    const RECT margins = DialogUnits({7, 7, 6, 4}); // edge, top, gap, gap below the list
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    const RECT button = ControlRect(IDC_CHECK_REPAIR), summary = ControlRect(IDC_CHECK_SUMMARY);
    const int buttonWidth = button.right - button.left, summaryHeight = summary.bottom - summary.top;
    const int summaryTop = client.bottom - margins.top - summaryHeight;
    PlaceControl(GetDlgItem(IDC_CHECK_REPAIR), client.right - margins.left - buttonWidth, summaryTop,
                 buttonWidth, button.bottom - button.top);
    PlaceControl(GetDlgItem(IDC_CHECK_SUMMARY), margins.left, summaryTop,
                 client.right - 2 * margins.left - margins.right - buttonWidth, summaryHeight);
    PlaceControl(m_list, margins.left, margins.top, client.right - 2 * margins.left,
                 summaryTop - margins.bottom - margins.top);
}

LRESULT CVersionCheckWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->hwndFrom == m_list && header->code == LVN_GETDISPINFOW)
            OnGetDispInfo(reinterpret_cast<NMLVDISPINFOW*>(lParam));
        return 0;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_CHECK_REPAIR && HIWORD(wParam) == BN_CLICKED) {
            Repair();
            return 0;
        }
        break;
    case WM_VERSION_CHECK_PART:
        OnPart(lParam);
        return 0;
    case WM_VERSION_CHECK_REPAIRED:
        OnRepaired(lParam);
        return 0;
    default:
        break;
    }
    return CToolWnd::WindowProc(message, wParam, lParam);
}

// A part of the reading: its versions listed; the last one ends it, and Esc closes from then on.
void CVersionCheckWnd::OnPart(LPARAM lParam) {
    std::unique_ptr<CheckPart> part(reinterpret_cast<CheckPart*>(lParam));
    if (m_done)
        return;
    if (!part || part->ended) {
        m_job.reset();
        m_done = true;
        m_stopped = !part || part->stopped;
    }
    if (part) {
        for (CheckedVersion& version : part->versions)
            m_rows.push_back(std::move(version));
        m_readCount = part->done;
        m_toRead = part->total;
        ::SendMessageW(m_list, LVM_SETITEMCOUNT, m_rows.size(), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    }
    ShowSummary();
    EnableRepair();
    if (m_done)
        ChecksChanged();
}

// 修復: every version found damaged, healed on a thread of its own from what the reading found.
void CVersionCheckWnd::Repair() {
    if (!m_done || m_job)
        return;
    std::vector<size_t> rows;
    std::vector<CheckedVersion> versions;
    for (size_t row = 0; row < m_rows.size(); ++row)
        if (IsDamaged(m_rows[row].proof) && !m_rows[row].repaired) {
            rows.push_back(row);
            versions.push_back(m_rows[row]);
        }
    if (rows.empty())
        return;
    m_repairing = true;
    std::shared_ptr<const CHistory> history = m_history;
    const std::wstring backupRoot = m_backupRoot, mirrorRoot = m_mirrorRoot;
    m_job.reset(new CWindowJob<RepairPart>(
        m_hWnd, WM_VERSION_CHECK_REPAIRED,
        [history, rows, versions, backupRoot, mirrorRoot](const BOOL* stop, RepairPart* result) {
            result->rows = rows;
            RepairVersions(*history, versions, backupRoot, mirrorRoot, stop, result);
        }));
    EnableRepair();
    ShowSummary();
}

void CVersionCheckWnd::OnRepaired(LPARAM lParam) {
    std::unique_ptr<RepairPart> result(reinterpret_cast<RepairPart*>(lParam));
    m_job.reset();
    m_repairing = false;
    m_repairStopped = !result || result->stopped;
    if (result) {
        for (size_t i = 0; i < result->results.size() && i < result->rows.size(); ++i) {
            if (result->rows[i] >= m_rows.size())
                continue;
            CheckedVersion& version = m_rows[result->rows[i]];
            version.repair = std::move(result->results[i]);
            version.repaired = true;
            ApplyRepair(version.repair, version.proof);
        }
    }
    ::InvalidateRect(m_list, nullptr, FALSE);
    EnableRepair();
    ShowSummary();
    ChecksChanged();
}

// 修復 is offered once the reading is over, while a version found damaged is not yet healed.
void CVersionCheckWnd::EnableRepair() {
    bool damaged = false;
    for (const CheckedVersion& version : m_rows)
        damaged = damaged || (IsDamaged(version.proof) && !version.repaired);
    ::EnableWindow(GetDlgItem(IDC_CHECK_REPAIR), m_done && !m_job && damaged);
}

// The owner lists what the checks found: it reads the ledger again.
void CVersionCheckWnd::ChecksChanged() const {
    if (HWND owner = ::GetWindow(m_hWnd, GW_OWNER))
        ::PostMessageW(owner, WM_CHECKS_CHANGED, 0, 0);
}

// In words, below the list: how far the reading got, what it found, what 修復 made of it.
void CVersionCheckWnd::ShowSummary() {
    // A version 修復 could not heal is counted by why, not as one it may still heal.
    size_t damaged = 0, unproven = 0, unreadable = 0, healed = 0, noGoodCopy = 0, failed = 0;
    for (const CheckedVersion& version : m_rows) {
        damaged += IsDamaged(version.proof) && !version.repaired ? 1 : 0;
        unproven += IsUnproven(version.proof) ? 1 : 0;
        unreadable += HasUnreadable(version.proof) ? 1 : 0;
        if (!version.repaired)
            continue;
        bool noGood = false, fail = false;
        for (const RepairedFile& file : version.repair.files) {
            noGood = noGood || file.outcome == RepairOutcome::NoGoodCopy;
            fail = fail || file.outcome == RepairOutcome::Failed;
        }
        healed += version.repair.AllHealed() ? 1 : 0;
        noGoodCopy += noGood ? 1 : 0;
        failed += fail && !noGood ? 1 : 0;
    }
    const std::wstring read = std::to_wstring(m_readCount), toRead = std::to_wstring(m_toRead);
    if (!m_done) {
        ::SetDlgItemTextW(m_hWnd, IDC_CHECK_SUMMARY,
                          FormatResourceText(IDS_CHECK_READING, {read, toRead}).c_str());
        return;
    }
    std::wstring text = m_stopped ? FormatResourceText(IDS_CHECK_STOPPED, {read, toRead})
                                  : FormatResourceText(IDS_CHECK_SUMMARY, {read});
    const auto add = [&text](UINT id, size_t count) {
        if (count > 0)
            text += FormatResourceText(id, {std::to_wstring(count)});
    };
    add(IDS_CHECK_SOME_HEALED, healed);
    add(IDS_CHECK_SOME_DAMAGED, damaged);
    if (damaged + healed + noGoodCopy + failed == 0)
        text += LoadResourceText(IDS_CHECK_NONE_DAMAGED);
    add(IDS_CHECK_NOT_HEALABLE, noGoodCopy);
    add(IDS_CHECK_REPAIR_FAILED, failed);
    add(IDS_CHECK_SOME_UNPROVEN, unproven);
    add(IDS_CHECK_SOME_UNREADABLE, unreadable);
    if (m_repairing)
        text += LoadResourceText(IDS_CHECK_REPAIRING);
    else if (m_repairStopped)
        text += LoadResourceText(IDS_CHECK_REPAIR_STOPPED);
    ::SetDlgItemTextW(m_hWnd, IDC_CHECK_SUMMARY, text.c_str());
}

void CVersionCheckWnd::OnGetDispInfo(NMLVDISPINFOW* info) {
    if (!(info->item.mask & LVIF_TEXT) || info->item.iItem < 0 ||
        static_cast<size_t>(info->item.iItem) >= m_rows.size() || info->item.cchTextMax <= 0)
        return;
    m_cellText = CellText(m_rows[static_cast<size_t>(info->item.iItem)], info->item.iSubItem);
    SetDispInfoText(info, m_cellText);
}

std::wstring CVersionCheckWnd::CellText(const CheckedVersion& version, int column) const {
    const HistoryEntry& entry = m_history->entries[version.entry];
    const std::wstring& original = m_history->Original(entry);
    switch (column) {
    case kDate:
        return HistoryDateText(entry.time);
    case kTime:
        return HistoryTimeText(entry.time);
    case kName:
        return original.empty() ? m_history->texts.Text(entry.copyName) : LastComponent(original);
    case kFolder:
        return original.empty() ? LoadResourceText(IDS_HISTORY_UNKNOWN_FOLDER)
                                : WithoutLastComponent(original);
    case kHere:
    case kMirror:
        return ProofStateText(version.proof.place[column - kHere].state);
    case kFound:
        return FoundText(version);
    case kRepair:
        return version.repaired ? RepairOutcomeText(version.repair) : std::wstring();
    default:
        return std::wstring();
    }
}

// The damaged or missing files (each place's, named by place when both are damaged), else why a
// place could not be read, else that two places made before hashes disagree.
std::wstring CVersionCheckWnd::FoundText(const CheckedVersion& version) const {
    const std::wstring name = CellText(version, kName);
    const PlaceProof* damaged[2] = {nullptr, nullptr};
    for (int place = 0; place < 2; ++place)
        if (version.proof.place[place].state == ProofState::Damaged)
            damaged[place] = &version.proof.place[place];
    if (damaged[0] != nullptr && damaged[1] != nullptr) {
        std::wstring text;
        for (int place = 0; place < 2; ++place)
            text += (place == 0 ? L"" : L"  ") +
                    FormatResourceText(IDS_PROOF_PLACE_NAMES,
                                       {LoadResourceText(place == 0 ? IDS_PLACE_HERE : IDS_PLACE_MIRROR),
                                        DamagedNamesText(damaged[place]->findings, name, kNamedAtMost)});
        return text;
    }
    for (const PlaceProof* place : damaged)
        if (place != nullptr)
            return DamagedNamesText(place->findings, name, kNamedAtMost);
    for (const PlaceProof& place : version.proof.place)
        if (place.state == ProofState::Unreadable)
            return FormatResourceText(IDS_PROOF_UNREADABLE_WHY, {SystemMessage(place.error)});
    if (version.proof.compared && !version.proof.agreed)
        return LoadResourceText(IDS_PROOF_DISAGREE);
    return std::wstring();
}
