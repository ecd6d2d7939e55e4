// What the backups really take on the disk. A folder version's unchanged files are hard links to
// an earlier version's, so one stored file may have a name in many versions: it is counted once,
// by its file identity, and removing a version frees only the files no other version still names.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct StoredSize {
    uint64_t bytes = 0; // each stored file once
    uint64_t named = 0; // each name of a file, as a copy without links would take
    uint64_t SavedByLinks() const { return named - bytes; }
};

// The copies in every minute folder below backupRoot (links inside them not followed). A set
// *stop ends the walk early; what was measured until then is returned.
StoredSize MeasureStored(const std::wstring& backupRoot, const volatile LONG* stop);

// The room removing these copies (full paths, files or folders) frees (bytes: a file counts only
// when every one of its names lies among them) and what their names take (named).
StoredSize RoomFreedByRemoving(const std::vector<std::wstring>& copies, const volatile LONG* stop);
