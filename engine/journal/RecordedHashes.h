// The proof a journal records for a copy found by its path: the copy's day journal is read once (as
// untrusted text) for every succeeded backup with a hash, so the compare and the search can take a
// version's hash, or its trusted manifest, from where its copy lies, in either backups folder.
#pragma once

#include <string>
#include <unordered_map>

#include "engine/hash/ContentHash.h"
#include "engine/journal/Manifest.h"

class CRecordedHashes {
public:
    // The hash the journal of its day records for the copy at path (full, any form: a day, a
    // minute and a name below some backups folder). False for a path of no such shape, or a copy
    // its journal names with no hash (made before hashes) or not at all.
    bool HashOf(const std::wstring& path, ContentHash* hash);
    // The manifest of the folder version whose copy lies at path, when it is whole and has the
    // hash its journal records; else empty (nothing in it taken on trust).
    ManifestIndex TrustedManifestOf(const std::wstring& path);

private:
    // A day journal's hashes by upper-cased copy path ("2026-1207\1015\NAME").
    using DayHashes = std::unordered_map<std::wstring, ContentHash>;
    const DayHashes& DayOf(const std::wstring& root, const std::wstring& day);
    std::unordered_map<std::wstring, DayHashes> m_days; // by upper-cased day folder path
};
