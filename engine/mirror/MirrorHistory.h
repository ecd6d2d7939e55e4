// The history of two places as one list: this computer's backups folder and its mirror, a backups
// folder in its own right on another disk (the same day and minute folders, the same journals,
// their copy paths relative to the mirror). A version is the same in both places when its item,
// its moment and its copy path relative to its own folder match; such a version is one entry kept
// in both. The mirror's journals are read exactly as the local ones: untrusted, with the same
// refusals, so a record whose copy path climbs or names a device is kept damaged there too.
#pragma once

#include <string>
#include <vector>

#include "engine/journal/History.h"

// The day folders of both places, newest first, each once. *mirrorReadable (when given) says
// whether the mirror folder could be listed: one that cannot adds no day.
std::vector<std::wstring> HistoryDaysOfBoth(const std::wstring& backupRoot, const std::wstring& mirrorRoot,
                                            bool* mirrorReadable = nullptr);

// Reads one day of both places into history, newest first: the local records as ReadHistoryDay
// reads them, each also kept in the mirror marked so, and the mirror's other records after them
// (a version the local cleanup removed, or whose copy the local disk lost, is the mirror's alone).
// A day earlier holds as read from two folders that have not changed since is taken from there.
// mirrorRoot empty: a mirror that cannot be reached, read as one without the day.
void ReadHistoryDayOfBoth(const std::wstring& backupRoot, const std::wstring& mirrorRoot,
                          const std::wstring& day, CHistory& history, const CHistory* earlier = nullptr);

// Where the version's copy is on disk, for every command that opens, restores or compares it:
// the local copy when it is there, else the mirror's; for a version neither place holds now, the
// path it was recorded under (the local one first), so the failure names it. Empty for a damaged
// record: nothing is opened for it. mirrorRoot empty: no mirror.
std::wstring VersionCopyOnDisk(const CHistory& history, const HistoryEntry& entry,
                               const std::wstring& backupRoot, const std::wstring& mirrorRoot);
