// The watcher's thread and what it keeps, shared by the files that make it up (the watch folder
// alone includes this): WatchLoop.cpp its life (the list, the mutex, what it hands the window's
// thread), WatchReads.cpp the folders it is told of changes in, WatchTimers.cpp the settle time
// and the check every minute.
#pragma once

#include "engine/watch/WatchShared.h"

#include <map>
#include <memory>
#include <optional>

#include "framework/FileHandle.h"

// Where notifications cannot be had, and for a missing item whose folder is gone too.
const ULONGLONG kCheckIntervalMs = 60 * 1000;

// What a check every minute compares: a file's size and time, a folder tree's count, sizes and
// times (the entries the folder copy leaves out aside).
struct ItemSignature {
    ULONGLONG count = 0, bytes = 0, times = 0;
    bool exists = false;
    friend bool operator==(const ItemSignature& a, const ItemSignature& b) {
        return a.exists == b.exists && a.count == b.count && a.bytes == b.bytes && a.times == b.times;
    }
};

// Opens every subfolder below root once where the system's whole-tree notifications need that
// (WatchTimers.cpp, beside the walk of a tree).
void VisitSubfoldersWhereNeeded(const std::wstring& root);

struct WatchedItem;

// One folder being told of changes: a watched item's folder (for the item's name), a watched
// folder (its whole tree), or the backups folder (for the list file's name). A read in flight
// owns the buffer until its completion arrives, cancelled or not.
struct DirWatch {
    enum class Kind { Parent, Folder, ListFolder };
    DirWatch(HANDLE opened, Kind watchKind, class CWatchLoop& watchLoop);
    const Kind kind;
    class CWatchLoop& loop;
    std::optional<CFileHandle> handle; // let go at once when retired: the folder may be deleted
    std::vector<DWORD> buffer;         // DWORD-aligned, as the records are
    OVERLAPPED overlapped{};
    bool pending = false, closing = false, failed = false;
    std::vector<WatchedItem*> items; // a folder's watched names; a watched folder's own item
};

struct WatchedItem {
    explicit WatchedItem(const std::wstring& listed)
        : path(listed), systemPath(SystemPath(listed)), name(LastComponent(listed)) {}
    const std::wstring path;       // as listed
    const std::wstring systemPath; // the form the file functions are given
    const std::wstring name;       // its last component
    bool isFolder = false;
    bool polling = false;  // notifications cannot be had: checked every minute
    bool nameGone = false; // its name was removed or renamed away: the folder's handle goes
    WatchState state = WatchState::OtherProgram;
    WatchReason reason = WatchReason::None;
    DWORD error = ERROR_SUCCESS; // why its folder could not be opened
    ULONGLONG dueAt = 0;         // when it will have been quiet for the settle time; 0 none
    ULONGLONG checkAt = 0;       // the next check every minute; 0 none
    DirWatch* parent = nullptr;
    std::unique_ptr<DirWatch> folder;
    ItemSignature signature; // while polling
};

// The watcher's thread: owns every handle, item and timer; nothing here is touched by another
// thread. Reads complete as calls of ChangesArrived during the thread's alertable waits.
class CWatchLoop {
public:
    explicit CWatchLoop(CWatcher::Shared& shared);
    ~CWatchLoop();
    CWatchLoop(const CWatchLoop&) = delete;
    CWatchLoop& operator=(const CWatchLoop&) = delete;
    void Run();
    void Completed(DirWatch& watch, DWORD error, DWORD bytes);

private:
    bool TakeCommands();
    void Reload();
    void Reconcile(const std::vector<std::wstring>& paths);
    void BecomeOwner();
    void OpenListWatch();
    void Attach(WatchedItem& item, ULONGLONG dueAt);
    void Detach(WatchedItem& item);
    void OpenFolderWatch(WatchedItem& item);
    void StartPolling(WatchedItem& item);
    void Wait(WatchedItem& item, ULONGLONG checkAt);
    std::unique_ptr<DirWatch> OpenWatch(const std::wstring& folder, DirWatch::Kind kind, DWORD* error,
                                        bool* readFailed);
    bool QueueRead(DirWatch& watch);
    void Retire(std::unique_ptr<DirWatch> watch);
    void Changed(DirWatch& watch, const std::wstring& name, DWORD action);
    void AnythingChanged(DirWatch& watch);
    void HandleFailures();
    void RunTimers();
    void Settle(WatchedItem& item);
    void Check(WatchedItem& item);
    void SetState(WatchedItem& item, WatchState state, WatchReason reason, DWORD error = ERROR_SUCCESS);
    void Publish();
    DWORD Timeout() const;
    void Due(WatchedItem& item) { item.dueAt = GetTickCount64() + m_shared.settleMs; }

    CWatcher::Shared& m_shared;
    const CKernelHandle m_mutex;
    bool m_owner = false;
    std::vector<std::unique_ptr<WatchedItem>> m_items;
    std::map<std::wstring, std::unique_ptr<DirWatch>> m_parents; // by upper-cased folder
    std::unique_ptr<DirWatch> m_listWatch;
    std::vector<std::unique_ptr<DirWatch>> m_retired; // cancelled, their completion not yet in
    std::vector<BYTE> m_records;         // a completed buffer, read after the next read is queued
    std::vector<std::wstring> m_settled; // reported once the step is done
    ULONGLONG m_reloadAt = 0, m_listCheckAt = 0;
    bool m_statesChanged = false;
};
