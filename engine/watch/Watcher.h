// CWatcher: watches the items of a backups folder's watch list on a thread of its own and tells
// its host when a changed item has been quiet for the settle time, so one save makes one version.
//
// Changes come from the system's change notifications: a file's parent folder is watched for the
// file's name (a save by renaming a temporary over it is a change of that name), a folder item is
// watched whole. A burst of changes, or a notification buffer that overflowed, gives one report
// after the burst. Where notifications cannot be had the item is checked every minute instead.
// A watched item that is gone waits for its path to exist again. Only one program at a time
// watches a backups folder's list: the others show every watch as OtherProgram and take over when
// that program ends.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/watch/WatchHost.h"
#include "engine/watch/WatchList.h"

enum class WatchState : unsigned char { Watching, Polling, WaitingForItem, OtherProgram, NotWatchable };
// Why an item is in its state: the system gives no change notifications for it (polling), it is
// gone (waiting), another program watches the list, its folder cannot be opened (error), or
// watching stopped for want of memory.
enum class WatchReason : unsigned char {
    None,
    NoNotifications,
    ItemMissing,
    OtherProgram,
    CannotOpen,
    OutOfMemory
};

struct WatchInfo {
    std::wstring path;
    bool isFolder = false;
    WatchState state = WatchState::Watching;
    WatchReason reason = WatchReason::None;
    DWORD error = ERROR_SUCCESS; // CannotOpen's
};

class CWatcher {
public:
    // settleMs: WatchDelay= (2000 by default); leftOutPatterns: Exclude= patterns.
    CWatcher(CWatchHost& host, std::wstring backupRoot, std::vector<std::wstring> leftOutPatterns,
             DWORD settleMs);
    ~CWatcher(); // ends its thread (bounded wait); the host is never called after it returns
    CWatcher(const CWatcher&) = delete;
    CWatcher& operator=(const CWatcher&) = delete;

    // Reads the watch list, resumes every watch. The list is read on the watcher's thread (its
    // paths may lie on slow shares): WatchStatesChanged tells when it is in.
    void Start();
    WatchRefusal Add(const std::wstring& path);     // checks, adds, saves the list
    bool Remove(const std::wstring& path);          // stops, saves the list
    bool IsWatched(const std::wstring& path) const; // case aside
    std::vector<WatchInfo> Snapshot() const;
    void RetryLater(const std::wstring& path); // the item was busy: settle again, try again after it
    size_t Count() const;

    // Whether this program is the one watching the list (false while another program does).
    bool OwnsList() const;
    // Lines of the list file skipped when it was last read.
    unsigned SkippedLines() const;

    struct Shared; // what the watcher's thread shares with the caller's; defined in WatchShared.h

private:
    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};
