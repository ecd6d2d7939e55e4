// What 照合 and 修復 do on a thread of their own, apart from any window: every version of a list
// proven in each place with one ledger and one CReadOnce for the run, the versions found damaged
// healed, one version proven and healed (the history's row command). Progress and results travel
// to a window as posted messages that own what they carry.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/proof/Repair.h"
#include "engine/proof/VersionProof.h"

// One version of the history as 照合 found it, and what 修復 made of it.
struct CheckedVersion {
    uint32_t entry = 0; // in the history checked
    VersionProof proof;
    RepairResult repair;
    bool repaired = false; // 修復 ran for it
};

// Part of a check's findings, posted as it goes (wParam 0, lParam owns it); the last one ends it.
struct CheckPart {
    std::vector<CheckedVersion> versions;
    size_t done = 0, total = 0; // versions read of those to prove
    bool ended = false, stopped = false;
};

// 修復's outcome for the damaged versions it was given (indexes into the window's rows).
struct RepairPart {
    std::vector<size_t> rows;
    std::vector<RepairResult> results; // one per row healed, in order
    bool stopped = false;
};

// A version's state in both places, for counting and for what a row says.
bool IsDamaged(const VersionProof& proof);
bool HasUnreadable(const VersionProof& proof);
bool IsUnproven(const VersionProof& proof);
// The healed files' findings leave the proof; a place left without any becomes Good.
void ApplyRepair(const RepairResult& repair, VersionProof& proof);

// Proves every entry of history listed in entries that has a copy to prove, in order, posting a
// CheckPart with message to target at most every 150 ms; the rest lands in *last. mirrorRoot
// empty: the backups folder alone.
void ProveVersions(HWND target, UINT message, const CHistory& history, const std::vector<uint32_t>& entries,
                   const std::wstring& backupRoot, const std::wstring& mirrorRoot, const BOOL* stop,
                   CheckPart* last);

// Heals each version given (its history entry and what 照合 found of it).
void RepairVersions(const CHistory& history, const std::vector<CheckedVersion>& versions,
                    const std::wstring& backupRoot, const std::wstring& mirrorRoot, const BOOL* stop,
                    RepairPart* result);

// The history's 修復 of one row: the version proven now, and healed when found damaged.
struct RowRepair {
    std::wstring name; // the row's name, as the window said it when the work began
    CheckedVersion version;
    bool stopped = false;
};
void ProveAndRepair(const CHistory& history, uint32_t entry, const std::wstring& backupRoot,
                    const std::wstring& mirrorRoot, const BOOL* stop, RowRepair* result);
