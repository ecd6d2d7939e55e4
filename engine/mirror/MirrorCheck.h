// The check of the mirror (照合): every version the history keeps in both places is read on both
// sides, byte for byte (a folder version file by file), and each whose two copies differ or
// whose mirror copy is missing is listed, with which side still matches the version's journal
// record. Nothing is changed on either side.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/journal/History.h"

// Whether a copy matches its journal record: a file's size and last-write time, a folder's
// files and bytes. A folder whose unchanged files were linked records only what was written, so
// a folder copy that does not add up to its record cannot be judged.
enum class RecordMatch : uint8_t { Matches, Differs, Unknown };

struct MirrorDifference {
    uint32_t entry = 0; // in the history checked
    bool mirrorMissing = false;
    RecordMatch local = RecordMatch::Unknown, mirror = RecordMatch::Unknown;
};

struct MirrorCheckResult {
    std::vector<MirrorDifference> differences; // in the history's order
    uint64_t checked = 0;                      // versions read on both sides
    bool stopped = false;
};

// Reads every undamaged version history keeps in both places, each copy once. A set *stop (read
// between files and chunks) ends it early with what was found so far.
MirrorCheckResult CheckMirror(const CHistory& history, const std::wstring& backupRoot,
                              const std::wstring& mirrorRoot, const BOOL* stop);
