#include "shell/history/VersionCheckRun.h"

#include <algorithm>
#include <chrono>

namespace {

// A part is posted at the latest this long after the last one: the window shows how far it got.
const auto kCheckPartInterval = std::chrono::milliseconds(150);

bool AnyPlace(const VersionProof& proof, ProofState state) {
    return proof.place[0].state == state || proof.place[1].state == state;
}

void Post(HWND target, UINT message, std::unique_ptr<CheckPart> part) {
    if (::PostMessageW(target, message, 0, reinterpret_cast<LPARAM>(part.get())))
        part.release(); // the window's now; a window gone drops it here
}

} // namespace

bool IsDamaged(const VersionProof& proof) {
    return AnyPlace(proof, ProofState::Damaged);
}

bool HasUnreadable(const VersionProof& proof) {
    return !IsDamaged(proof) && AnyPlace(proof, ProofState::Unreadable);
}

bool IsUnproven(const VersionProof& proof) {
    return !IsDamaged(proof) && !HasUnreadable(proof) && !AnyPlace(proof, ProofState::Good);
}

void ApplyRepair(const RepairResult& repair, VersionProof& proof) {
    for (const RepairedFile& file : repair.files) {
        if (file.outcome != RepairOutcome::Healed)
            continue;
        std::vector<ProofFinding>& findings = proof.place[static_cast<int>(file.place)].findings;
        findings.erase(std::remove_if(findings.begin(), findings.end(),
                                      [&](const ProofFinding& finding) { return finding.path == file.path; }),
                       findings.end());
    }
    for (PlaceProof& place : proof.place)
        if (place.state == ProofState::Damaged && place.findings.empty())
            place.state = ProofState::Good;
}

void ProveVersions(HWND target, UINT message, const CHistory& history, const std::vector<uint32_t>& entries,
                   const std::wstring& backupRoot, const std::wstring& mirrorRoot, const BOOL* stop,
                   CheckPart* last) {
    std::vector<uint32_t> toProve;
    for (uint32_t entry : entries)
        if (entry < history.entries.size() && HasCopyToProve(history.entries[entry]))
            toProve.push_back(entry);
    // One ledger and one reading of each linked file for the whole run.
    CCheckLedger ledger;
    ledger.Load(backupRoot); // one that cannot be read is appended to as an empty one
    CReadOnce once;
    auto part = std::make_unique<CheckPart>();
    auto lastPost = std::chrono::steady_clock::now();
    size_t done = 0;
    for (uint32_t entry : toProve) {
        if (*stop)
            break;
        CheckedVersion version;
        version.entry = entry;
        version.proof =
            ProveVersion(history, history.entries[entry], backupRoot, mirrorRoot, ledger, once, stop);
        if (*stop)
            break; // stopped within the version: what it read is not a finding
        part->versions.push_back(std::move(version));
        part->done = ++done;
        part->total = toProve.size();
        if (std::chrono::steady_clock::now() - lastPost >= kCheckPartInterval) {
            Post(target, message, std::move(part));
            part = std::make_unique<CheckPart>();
            lastPost = std::chrono::steady_clock::now();
        }
    }
    *last = std::move(*part);
    last->done = done;
    last->total = toProve.size();
    last->ended = true;
    last->stopped = *stop != FALSE;
}

void RepairVersions(const CHistory& history, const std::vector<CheckedVersion>& versions,
                    const std::wstring& backupRoot, const std::wstring& mirrorRoot, const BOOL* stop,
                    RepairPart* result) {
    CCheckLedger ledger;
    ledger.Load(backupRoot);
    CReadOnce once;
    for (const CheckedVersion& version : versions) {
        if (*stop)
            break;
        result->results.push_back(RepairVersion(history, history.entries[version.entry], backupRoot,
                                                mirrorRoot, version.proof, ledger, once, stop));
        once.Forget(); // the files it replaced are new files now
    }
    result->stopped = *stop != FALSE;
}

void ProveAndRepair(const CHistory& history, uint32_t entry, const std::wstring& backupRoot,
                    const std::wstring& mirrorRoot, const BOOL* stop, RowRepair* result) {
    if (entry >= history.entries.size())
        return;
    CCheckLedger ledger;
    ledger.Load(backupRoot);
    CReadOnce once;
    CheckedVersion& version = result->version;
    version.entry = entry;
    version.proof = ProveVersion(history, history.entries[entry], backupRoot, mirrorRoot, ledger, once, stop);
    if (!*stop && IsDamaged(version.proof)) {
        version.repair = RepairVersion(history, history.entries[entry], backupRoot, mirrorRoot, version.proof,
                                       ledger, once, stop);
        version.repaired = true;
        ApplyRepair(version.repair, version.proof);
    }
    result->stopped = *stop != FALSE;
}
