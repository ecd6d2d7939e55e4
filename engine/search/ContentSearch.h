// Search inside every version: the versions of the history whose content holds a text (TextMatch.h),
// file versions and the files inside folder versions, in both places, newest first. A text file is
// decoded as the compare decodes it, a Word, Excel or PowerPoint file read as its text; other files
// are skipped and counted. Each content is read once however many versions link it (the same file:
// its volume and file index) or hold it with the same hash (a file version's journal hash, a file's
// in a folder version's trusted manifest, when it lies there with the size and time recorded). For each item
// found the search keeps the first and the last version holding the text, the version after the last ("where
// it went") and the matching line, and reports them to its host as it goes.
//
// Only what VersionCopyOnDisk admits is opened (the journal's own check on the copy path), and no
// link below it is followed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/journal/History.h"
#include "engine/search/SearchHost.h"

enum class ContentSearchOutcome : unsigned char { Done, Stopped, NothingToFind };

struct ContentSearchRequest {
    std::wstring text;
    std::wstring backupRoot, mirrorRoot; // mirrorRoot empty: none
    // The entries to look in, newest first (the list's rows); null: every entry of the history.
    const std::vector<uint32_t>* within = nullptr;
};

// Whether the entry is a version with a copy to look in: a backup made whole, not damaged.
bool IsSearchedVersion(const HistoryEntry& entry);

// Runs on the calling thread; a set *stop ends it between files and within a large one.
ContentSearchOutcome SearchContent(const CHistory& history, const ContentSearchRequest& request,
                                   const BOOL* stop, CSearchHost& host);
