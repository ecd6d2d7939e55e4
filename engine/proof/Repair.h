// 修復: a damaged or missing file of a version put right from a good copy: the other place's copy
// of the same version, or the original on disk when its size, last-write time and hash still match.
// The good bytes are written under a temporary name beside the damaged file, flushed, read back
// against the hash, and only then put in place; every name the damaged file has in the versions
// of the same item (hard links) is given the healed file, so no version keeps the old bytes.
// Nothing outside the backups folder and the mirror is written; where no good copy exists,
// nothing is changed.
#pragma once

#include "engine/proof/VersionProof.h"

enum class RepairOutcome : uint8_t { Healed, NoGoodCopy, Failed };

struct RepairedFile {
    ProofPlace place;
    std::wstring path;         // as the finding named it
    RepairOutcome outcome;
    ProofPlace from;           // Healed: the place the good bytes came from (or fromOriginal)
    bool fromOriginal = false;
    unsigned otherNames = 0;   // other versions' names of the same file healed with it
    DWORD error = ERROR_SUCCESS;
};

struct RepairResult {
    std::vector<RepairedFile> files;
    bool AllHealed() const;
};

// Heals what proof found damaged in entry's copies; records the healed places as Good in ledger.
RepairResult RepairVersion(const CHistory& history, const HistoryEntry& entry,
                           const std::wstring& backupRoot, const std::wstring& mirrorRoot,
                           const VersionProof& proof, CCheckLedger& ledger, CReadOnce& once,
                           const BOOL* stop);
