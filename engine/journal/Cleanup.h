// The cleanup: which old copies may go (the plan, worked out from the history alone) and their
// removal into the Recycle Bin on the backup worker. The newest backup of every item always stays,
// however old; nothing outside the backups folder is ever touched and no link is ever followed.
// Each removal is recorded in the journal of the copy's day, so the history stops listing it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/base/BackupHost.h"
#include "engine/journal/History.h"

// What a cleanup would remove.
struct CleanupPlan {
    std::vector<uint32_t> entries; // history entry indices whose copies go, one per copy
    uint64_t copies = 0, bytes = 0;
    int64_t oldestKept = 0;   // ticks of the oldest backup that stays; 0 none
    uint64_t frees = 0;       // the room removing them really frees (MeasureRoomFreed)
    uint64_t keptByLinks = 0; // what they hold that other versions' links keep
};

// The copies older than cutoffTicks, except each item's newest backup (its newest succeeded one
// when it has one), every copy whose original is unknown (an item of its own), damaged entries,
// and any copy another staying entry names too.
CleanupPlan PlanCleanup(const CHistory& history, int64_t cutoffTicks);

// Sets plan.frees and keptByLinks: files linked into a version that stays free nothing.
void MeasureRoomFreed(CleanupPlan& plan, const CHistory& history, const std::wstring& backupRoot);

// False for a share, a removable or unknown disk, or one the system reports no Recycle Bin for:
// there a removal is final.
bool HasRecycleBin(const std::wstring& backupRoot);

// What a cleanup run came to.
struct CleanupResult {
    unsigned removed = 0, failed = 0;
    uint64_t bytes = 0;
    DWORD firstError = ERROR_SUCCESS;
    bool stopped = false;
};

// Removes the plan's copies below backupRoot, one after another (a non-zero *stop, read between
// copies, ends it; what went stays gone): into the Recycle Bin where the disk has one, for good
// where it has none. Records each removal in its day's journal at now, removes the minute and day
// folders left empty, shows each copy's progress and, at the end, reports the outcome.
CleanupResult RunCleanup(CBackupHost& host, const std::wstring& backupRoot, const CHistory& history,
                         const CleanupPlan& plan, BOOL* stop, SYSTEMTIME now);
