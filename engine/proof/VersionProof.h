// One version proven in both places, as 照合 and the background check do it.
#pragma once

#include "engine/journal/History.h"
#include "engine/proof/CheckLedger.h"
#include "engine/proof/CopyProof.h"

struct VersionProof {
    PlaceProof place[2]; // indexed by ProofPlace
    // A version made before hashes whose two copies were compared: they agreed (their hash is now
    // recorded in the ledger, a folder version's with a manifest written beside it) or not.
    bool compared = false, agreed = false;
};

// Whether the history's entry names a copy of its own to prove (a succeeded backup, not an
// unchanged record, not damaged).
bool HasCopyToProve(const HistoryEntry& entry);

// Proves entry's copy in each place history says holds it (mirrorRoot empty: here alone), against
// the journal's hash, else the ledger's agreed hash, else (Unproven in both) by comparing the two
// places and recording the hash they agree on. Records each place's outcome in ledger at now.
VersionProof ProveVersion(const CHistory& history, const HistoryEntry& entry,
                          const std::wstring& backupRoot, const std::wstring& mirrorRoot,
                          CCheckLedger& ledger, CReadOnce& once, const BOOL* stop);
