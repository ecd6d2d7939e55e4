#include "engine/check/BackgroundCheck.h"

#include "engine/base/StopFlag.h"
#include "engine/mirror/MirrorHistory.h"
#include "engine/proof/Repair.h"
#include "engine/proof/VersionProof.h"

#include <algorithm>

namespace {

const int64_t kTicksPerDay = 24LL * 60 * 60 * 10000000;
// A place that could not be read (locked, its drive away) or did not hold the copy yet is tried
// again after a day, not after the whole period.
const int64_t kRetryTicks = kTicksPerDay;

const ProofPlace kPlaces[] = {ProofPlace::Here, ProofPlace::Mirror};
const uint8_t kPlaceBits[] = {HistoryEntry::kHere, HistoryEntry::kMirror};

// A state that is the check's answer, as opposed to one that says the copy was out of reach.
bool IsAnswer(ProofState state) {
    return state == ProofState::Good || state == ProofState::Damaged || state == ProofState::Unproven;
}

int64_t EarliestOf(int64_t a, int64_t b) {
    return a == 0 ? b : b == 0 ? a : std::min(a, b);
}

// The finding of one proof: which places were damaged and how many files.
CheckFinding FindingOf(const CHistory& history, const HistoryEntry& entry, const VersionProof& proof) {
    CheckFinding finding;
    finding.original = history.Original(entry);
    finding.copy = history.CopyPath(entry);
    finding.time = entry.time;
    finding.folder = entry.Is(HistoryEntry::kFolder);
    for (size_t p = 0; p < 2; ++p) {
        finding.damaged[p] = proof.place[p].state == ProofState::Damaged;
        if (finding.damaged[p])
            finding.files += static_cast<unsigned>(std::max<size_t>(proof.place[p].findings.size(), 1));
    }
    return finding;
}

// Its damage was told already and is still there: the ledger says it was damaged and reported.
bool ToldBefore(bool known, const CheckMark& mark) {
    return known && mark.reported &&
           (mark.state[0] == ProofState::Damaged || mark.state[1] == ProofState::Damaged);
}

} // namespace

CBackgroundCheck::CBackgroundCheck(std::wstring backupRoot, std::wstring mirrorRoot, DWORD checkDays,
                                   CBackgroundCheckHost& host)
    : m_backupRoot(std::move(backupRoot)), m_mirrorRoot(std::move(mirrorRoot)),
      m_period(static_cast<int64_t>(checkDays) * kTicksPerDay), m_host(host) {}

int64_t CBackgroundCheck::Now() {
    return CheckMoment();
}

// The ledger is read again each round: 照合 and the history's repairs append to it too.
void CBackgroundCheck::BeginRound() {
    m_ledger.Load(m_backupRoot);
    m_days = HistoryDaysOfBoth(m_backupRoot, m_mirrorRoot);
    m_nextDay = 0;
    m_pass = 0;
    m_once = CReadOnce();
}

// The hashes of the round's files, the day list and the ledger's marks go: a sleeping check holds
// nothing per version (NextDue is all it needs), and the next round reads the ledger anew.
void CBackgroundCheck::EndRound() {
    m_pass = -1;
    m_once = CReadOnce();
    m_ledger = CCheckLedger();
    std::vector<std::wstring>().swap(m_days);
}

CBackgroundCheck::Due CBackgroundCheck::DueOf(const std::wstring& copy, uint8_t places, int64_t now) const {
    Due due;
    CheckMark mark;
    const bool known = m_ledger.Find(copy, &mark);
    for (size_t p = 0; p < 2; ++p) {
        if ((places & kPlaceBits[p]) == 0 || (kPlaces[p] == ProofPlace::Mirror && m_mirrorRoot.empty()))
            continue;
        const int64_t checked = known ? mark.checked[p] : 0;
        // Damage found but never told: a check stopped between the proof and the repair.
        if (checked == 0 || (mark.state[p] == ProofState::Damaged && !mark.reported)) {
            due.never = true;
            continue;
        }
        const int64_t at = checked + (IsAnswer(mark.state[p]) ? m_period : std::min(m_period, kRetryTicks));
        if (at <= now)
            due.overdue = true;
        else
            due.next = EarliestOf(due.next, at);
    }
    return due;
}

CheckStep CBackgroundCheck::Step(const BOOL* interrupt, int64_t now) {
    if (m_period == 0)
        return CheckStep::Off;
    if (m_pass < 0)
        BeginRound();
    if (m_nextDay >= m_days.size() && m_pass == 0) {
        m_pass = 1;
        m_nextDay = 0;
        m_nextDue = 0;
        m_tracked = 0;
    }
    if (m_nextDay >= m_days.size()) {
        EndRound();
        return CheckStep::RoundDone;
    }
    CHistory history;
    ReadHistoryDayOfBoth(m_backupRoot, m_mirrorRoot, m_days[m_nextDay], history);
    bool wrote = false, interrupted = false;
    int64_t nextDue = 0;
    size_t tracked = 0;
    for (const HistoryEntry& entry : history.entries) {
        if (!HasCopyToProve(entry))
            continue;
        ++tracked;
        const std::wstring copy = history.CopyPath(entry);
        Due due = DueOf(copy, entry.place, now);
        if (due.never || (m_pass == 1 && due.overdue)) {
            if (IsStopRequested(interrupt) || !CheckVersion(history, entry, interrupt)) {
                interrupted = true;
                break;
            }
            wrote = true;
            due = DueOf(copy, entry.place, now);
        }
        nextDue = EarliestOf(nextDue, due.next);
    }
    if (wrote)
        m_host.ChecksChanged();
    if (interrupted)
        return CheckStep::Interrupted; // the day is looked at again: what was checked is no longer due
    ++m_nextDay;
    if (m_pass == 1) {
        m_nextDue = EarliestOf(m_nextDue, nextDue);
        m_tracked += tracked;
    }
    return CheckStep::Worked;
}

bool CBackgroundCheck::CheckVersion(const CHistory& history, const HistoryEntry& entry, const BOOL* interrupt) {
    const std::wstring copy = history.CopyPath(entry);
    CheckMark before;
    const bool known = m_ledger.Find(copy, &before);
    const VersionProof proof =
        ProveVersion(history, entry, m_backupRoot, m_mirrorRoot, m_ledger, m_once, interrupt);
    for (const PlaceProof& place : proof.place)
        m_bytesRead += place.bytesRead;
    if (IsStopRequested(interrupt))
        return false;
    CheckFinding finding = FindingOf(history, entry, proof);
    if (!finding.damaged[0] && !finding.damaged[1])
        return true;
    const RepairResult repair = RepairVersion(history, entry, m_backupRoot, m_mirrorRoot, proof, m_ledger,
                                              m_once, interrupt);
    if (IsStopRequested(interrupt))
        return false; // left untold: DueOf takes it up again
    finding.healed = repair.AllHealed();
    // Damage that stays as it was told is not told again; healed, or new, it is.
    if (finding.healed || !ToldBefore(known, before))
        m_host.DamageFound(finding);
    m_ledger.MarkReported(copy); // told now or before: either way no longer waiting to be told
    return true;
}
