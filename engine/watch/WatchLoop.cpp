// The watcher's thread: the folders it is told of changes in, the watched items and their
// timers, the list file read again when another program changes it, and the mutex that makes
// one program at a time the list's watcher. CWatcher (Watcher.cpp) starts it and talks to it
// through the shared state alone.
#include "engine/watch/WatchShared.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cwchar>
#include <exception>
#include <map>
#include <memory>
#include <optional>

#include "engine/base/BackupPaths.h"
#include "engine/base/Settings.h"
#include "framework/FileHandle.h"

namespace {

// Where notifications cannot be had, and for a missing item whose folder is gone too.
const ULONGLONG kCheckIntervalMs = 60 * 1000;
// The list file changed: read again once the writer is surely done.
const ULONGLONG kReloadDelayMs = 100;
// How long the thread waits for its cancelled reads when it ends.
const ULONGLONG kDrainMs = 2000;
// A folder item's buffer holds a burst of names; a file's folder needs only a few at a time
// (an overflow costs nothing but one more check).
const DWORD kFolderBufferBytes = 64 * 1024;
const DWORD kParentBufferBytes = 4 * 1024;
const DWORD kChangesWatched = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                              FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE;

// Names office suites and editors give their temporaries and lock files while saving.
const wchar_t* const kEditorTemporaries[] = {L"~$*", L"*.tmp", L".~lock.*#", L"*.swp", L"*.swx", L"*~"};

bool IsEditorTemporary(const std::wstring& name) {
    for (const wchar_t* pattern : kEditorTemporaries)
        if (MatchesNamePattern(name, pattern))
            return true;
    return false;
}

// Whether a change at relative (a path inside a watched folder) may make a version: not an
// editor's temporary, not under an entry the folder copy leaves out.
bool ChangeCounts(const std::wstring& relative, const std::vector<std::wstring>& leftOutPatterns) {
    if (IsEditorTemporary(LastComponent(relative)))
        return false;
    size_t begin = 0;
    while (begin <= relative.size()) {
        size_t end = relative.find(L'\\', begin);
        if (end == std::wstring::npos)
            end = relative.size();
        if (IsLeftOut(relative.substr(begin, end - begin), leftOutPatterns))
            return false;
        begin = end + 1;
    }
    return true;
}

// The mutex that says which program watches a backups folder's list: named after the folder,
// case aside, so every program that uses the folder finds the same one.
std::wstring ListMutexName(const std::wstring& backupRoot) {
    const std::wstring key = UpperCase(WithoutTrailingSeparators(PlainPath(backupRoot)));
    unsigned long long hash = 14695981039346656037ull; // FNV-1a
    for (wchar_t unit : key) {
        hash ^= static_cast<unsigned long long>(unit);
        hash *= 1099511628211ull;
    }
    wchar_t name[64];
    std::swprintf(name, 64, L"Local\\Tallowbox-watch-%016llX", hash);
    return name;
}

// What a check every minute compares: a file's size and time, a folder tree's count, sizes and
// times (the entries the folder copy leaves out aside).
struct Signature {
    ULONGLONG count = 0, bytes = 0, times = 0;
    bool exists = false;
    friend bool operator==(const Signature& a, const Signature& b) {
        return a.exists == b.exists && a.count == b.count && a.bytes == b.bytes && a.times == b.times;
    }
};

ULONGLONG Combined(DWORD high, DWORD low) {
    return (static_cast<ULONGLONG>(high) << 32) | low;
}

// Closes a find handle when it goes.
class CFindGuard {
public:
    explicit CFindGuard(HANDLE find) : m_find(find) {}
    ~CFindGuard() {
        if (m_find != INVALID_HANDLE_VALUE)
            FindClose(m_find);
    }
    CFindGuard(const CFindGuard&) = delete;
    CFindGuard& operator=(const CFindGuard&) = delete;
    HANDLE get() const { return m_find; }

private:
    HANDLE m_find;
};

// Calls visit(entry) for every entry below root, one folder at a time (no recursion: a tree of
// any depth costs no stack), going into the subfolders visit answers true for. Links are not
// followed.
template <typename Visit> void WalkTree(const std::wstring& root, Visit visit) {
    std::vector<std::wstring> folders{root};
    while (!folders.empty()) {
        const std::wstring folder = std::move(folders.back());
        folders.pop_back();
        WIN32_FIND_DATAW found;
        CFindGuard find(FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
        if (find.get() == INVALID_HANDLE_VALUE)
            continue;
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L".." || !visit(found))
                continue;
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                folders.push_back(folder + L"\\" + name);
        } while (FindNextFileW(find.get(), &found));
    }
}

bool IsEmptyFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    CFindGuard find(FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, 0));
    if (find.get() == INVALID_HANDLE_VALUE)
        return false; // unreadable: not known to be empty
    do {
        if (std::wcscmp(found.cFileName, L".") != 0 && std::wcscmp(found.cFileName, L"..") != 0)
            return false;
    } while (FindNextFileW(find.get(), &found));
    return true;
}

// Wine's whole-tree notifications cover only the subfolders it has seen opened (and those made
// later): each is opened once by the walk. Windows needs no visit.
bool SubfoldersNeedVisiting() {
    static const bool onWine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return onWine;
}

Signature ReadSignature(const std::wstring& systemPath, const std::vector<std::wstring>& patterns) {
    Signature signature;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(systemPath.c_str(), GetFileExInfoStandard, &data))
        return signature;
    signature.exists = true;
    signature.bytes = Combined(data.nFileSizeHigh, data.nFileSizeLow);
    signature.times = Combined(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return signature;
    WalkTree(systemPath, [&](const WIN32_FIND_DATAW& found) {
        if (IsLeftOut(found.cFileName, patterns))
            return false;
        ++signature.count;
        signature.bytes += Combined(found.nFileSizeHigh, found.nFileSizeLow);
        signature.times +=
            Combined(found.ftLastWriteTime.dwHighDateTime, found.ftLastWriteTime.dwLowDateTime);
        return true;
    });
    return signature;
}

struct WatchedItem;

// One folder being told of changes: a watched item's folder (for the item's name), a watched
// folder (its whole tree), or the backups folder (for the list file's name). A read in flight
// owns the buffer until its completion arrives, cancelled or not.
struct DirWatch {
    enum class Kind { Parent, Folder, ListFolder };
    DirWatch(HANDLE opened, Kind watchKind, class CWatchLoop& watchLoop)
        : kind(watchKind), loop(watchLoop),
          buffer((watchKind == Kind::Folder ? kFolderBufferBytes : kParentBufferBytes) / sizeof(DWORD)) {
        handle.emplace(opened);
        overlapped.hEvent = this; // unused by the system when a completion routine is given
    }
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
    Signature signature; // while polling
};

// The folder to open for a watch on the items in parent: a drive's or share's root with its
// separator, as the system opens those.
std::wstring FolderToOpen(const std::wstring& parent) {
    if (!parent.empty() && parent.back() == L':')
        return parent + L"\\";
    const std::wstring unc = L"\\\\?\\UNC\\";
    if (parent.compare(0, unc.size(), unc) == 0 &&
        parent.find(L'\\', parent.find(L'\\', unc.size()) + 1) == std::wstring::npos)
        return parent + L"\\";
    return parent;
}

bool IsMissingError(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_BAD_NETPATH ||
           error == ERROR_BAD_NET_NAME || error == ERROR_INVALID_NAME;
}

// The watcher's thread: owns every handle, item and timer; nothing here is touched by another
// thread. Reads complete as calls of ChangesArrived during the thread's alertable waits.
class CWatchLoop {
public:
    explicit CWatchLoop(CWatcher::Shared& shared)
        : m_shared(shared), m_mutex(CreateMutexW(nullptr, FALSE, ListMutexName(shared.backupRoot).c_str())) {}
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

void CALLBACK ChangesArrived(DWORD error, DWORD bytes, OVERLAPPED* overlapped) {
    DirWatch& watch = *static_cast<DirWatch*>(overlapped->hEvent);
    watch.pending = false;
    if (watch.closing)
        return;
    try {
        watch.loop.Completed(watch, error, bytes);
    } catch (const std::exception&) {
        watch.failed = true; // out of memory: its items are checked every minute instead, as the list says
    }
}

bool CWatchLoop::QueueRead(DirWatch& watch) {
    const bool recursive = watch.kind == DirWatch::Kind::Folder;
    const DWORD filter = watch.kind == DirWatch::Kind::ListFolder
                             ? FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE
                             : kChangesWatched;
    watch.pending = ReadDirectoryChangesW(watch.handle->get(), watch.buffer.data(),
                                          static_cast<DWORD>(watch.buffer.size() * sizeof(DWORD)), recursive,
                                          filter, nullptr, &watch.overlapped, ChangesArrived) != FALSE;
    return watch.pending;
}

std::unique_ptr<DirWatch> CWatchLoop::OpenWatch(const std::wstring& folder, DirWatch::Kind kind, DWORD* error,
                                                bool* readFailed) {
    *readFailed = false;
    const HANDLE opened =
        CreateFileW(FolderToOpen(folder).c_str(), FILE_LIST_DIRECTORY,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return nullptr;
    }
    auto watch = std::make_unique<DirWatch>(opened, kind, *this);
    if (!QueueRead(*watch)) {
        *error = GetLastError();
        *readFailed = true;
        return nullptr; // nothing in flight: gone at once
    }
    *error = ERROR_SUCCESS;
    return watch;
}

void CWatchLoop::Retire(std::unique_ptr<DirWatch> watch) {
    if (!watch || !watch->pending)
        return;
    watch->closing = true;
    CancelIoEx(watch->handle->get(), &watch->overlapped);
    watch->handle.reset(); // the cancelled read still owns the buffer until its completion comes
    m_retired.push_back(std::move(watch));
}

void CWatchLoop::SetState(WatchedItem& item, WatchState state, WatchReason reason, DWORD error) {
    if (item.state == state && item.reason == reason && item.error == error)
        return;
    item.state = state;
    item.reason = reason;
    item.error = error;
    m_statesChanged = true;
}

// The item is gone: no report; its folder's watch tells when it is back, or a check every
// minute when that folder is gone too.
void CWatchLoop::Wait(WatchedItem& item, ULONGLONG checkAt) {
    Retire(std::move(item.folder));
    item.dueAt = 0;
    item.checkAt = checkAt;
    SetState(item, WatchState::WaitingForItem, WatchReason::ItemMissing);
}

void CWatchLoop::StartPolling(WatchedItem& item) {
    Retire(std::move(item.folder));
    item.polling = true;
    item.signature = ReadSignature(item.systemPath, m_shared.leftOutPatterns);
    item.checkAt = GetTickCount64() + kCheckIntervalMs;
    SetState(item, WatchState::Polling, WatchReason::NoNotifications);
}

// Watches the item: its folder for its name, and a folder item's whole tree. Reported at dueAt
// when it exists then.
void CWatchLoop::Attach(WatchedItem& item, ULONGLONG dueAt) {
    const ULONGLONG now = GetTickCount64();
    const std::wstring parentFolder = WithoutLastComponent(item.systemPath);
    const std::wstring key = UpperCase(parentFolder);
    auto found = m_parents.find(key);
    if (found == m_parents.end()) {
        DWORD error = ERROR_SUCCESS;
        bool readFailed = false;
        std::unique_ptr<DirWatch> watch =
            OpenWatch(parentFolder, DirWatch::Kind::Parent, &error, &readFailed);
        if (!watch) {
            if (readFailed) {
                StartPolling(item);
                item.dueAt = dueAt;
            } else if (IsMissingError(error)) {
                Wait(item, now + kCheckIntervalMs);
            } else {
                item.checkAt = now + kCheckIntervalMs;
                SetState(item, WatchState::NotWatchable, WatchReason::CannotOpen, error);
            }
            return;
        }
        found = m_parents.emplace(key, std::move(watch)).first;
    }
    item.parent = found->second.get();
    item.parent->items.push_back(&item);
    item.checkAt = 0;
    const DWORD attributes = GetFileAttributesW(item.systemPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        Wait(item, 0);
        return;
    }
    item.isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    item.dueAt = dueAt;
    SetState(item, WatchState::Watching, WatchReason::None);
    if (item.isFolder)
        OpenFolderWatch(item);
}

// A folder item's whole tree; where that cannot be watched, checked every minute instead.
void CWatchLoop::OpenFolderWatch(WatchedItem& item) {
    DWORD error = ERROR_SUCCESS;
    bool readFailed = false;
    item.folder = OpenWatch(item.systemPath, DirWatch::Kind::Folder, &error, &readFailed);
    if (item.folder) {
        item.folder->items.push_back(&item);
        if (SubfoldersNeedVisiting())
            WalkTree(item.systemPath, [](const WIN32_FIND_DATAW&) { return true; });
    } else if (readFailed)
        StartPolling(item);
    else
        Wait(item, 0); // gone between the two looks: its folder's watch tells when it is back
}

void CWatchLoop::Detach(WatchedItem& item) {
    Retire(std::move(item.folder));
    if (item.parent) {
        std::vector<WatchedItem*>& items = item.parent->items;
        items.erase(std::remove(items.begin(), items.end(), &item), items.end());
        if (items.empty()) {
            auto found = m_parents.find(UpperCase(WithoutLastComponent(item.systemPath)));
            if (found != m_parents.end()) {
                Retire(std::move(found->second));
                m_parents.erase(found);
            }
        }
        item.parent = nullptr;
    }
    item.polling = false;
    item.dueAt = item.checkAt = 0;
}

void CWatchLoop::OpenListWatch() {
    DWORD error = ERROR_SUCCESS;
    bool readFailed = false;
    m_listWatch = OpenWatch(SystemPath(m_shared.backupRoot), DirWatch::Kind::ListFolder, &error, &readFailed);
    // Missing until the first list is written, or on a disk without notifications: looked at again.
    m_listCheckAt = m_listWatch ? 0 : GetTickCount64() + kCheckIntervalMs;
}

void CWatchLoop::Completed(DirWatch& watch, DWORD error, DWORD bytes) {
    if (error != ERROR_SUCCESS && error != ERROR_NOTIFY_ENUM_DIR) {
        watch.failed = true;
        return;
    }
    if (error == ERROR_NOTIFY_ENUM_DIR || bytes == 0) { // the buffer overflowed: names were lost
        watch.failed = !QueueRead(watch);
        AnythingChanged(watch);
        return;
    }
    const BYTE* start = reinterpret_cast<const BYTE*>(watch.buffer.data());
    m_records.assign(start, start + bytes);
    watch.failed = !QueueRead(watch); // before reading these, so no change goes unseen meanwhile
    const size_t nameAt = offsetof(FILE_NOTIFY_INFORMATION, FileName); // a short last record ends there
    for (size_t at = 0; at + nameAt <= m_records.size();) {
        const auto* record = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(m_records.data() + at);
        const size_t nameUnits = record->FileNameLength / sizeof(wchar_t);
        if (at + nameAt + nameUnits * sizeof(wchar_t) > m_records.size())
            break;
        Changed(watch, std::wstring(record->FileName, nameUnits), record->Action);
        if (record->NextEntryOffset == 0)
            break;
        at += record->NextEntryOffset;
    }
}

void CWatchLoop::Changed(DirWatch& watch, const std::wstring& name, DWORD action) {
    switch (watch.kind) {
    case DirWatch::Kind::ListFolder:
        if (SameName(name, kWatchListName))
            m_reloadAt = GetTickCount64() + kReloadDelayMs;
        return;
    case DirWatch::Kind::Folder:
        if (ChangeCounts(name, m_shared.leftOutPatterns))
            Due(*watch.items.front());
        return;
    case DirWatch::Kind::Parent:
        for (WatchedItem* item : watch.items) {
            if (!SameName(item->name, name))
                continue;
            // A folder item's content speaks through its own watch; here only its name counts.
            if (item->folder && action == FILE_ACTION_MODIFIED)
                continue;
            if (action == FILE_ACTION_REMOVED || action == FILE_ACTION_RENAMED_OLD_NAME)
                item->nameGone = true;
            Due(*item);
        }
        return;
    }
}

void CWatchLoop::AnythingChanged(DirWatch& watch) {
    if (watch.kind == DirWatch::Kind::ListFolder)
        m_reloadAt = GetTickCount64() + kReloadDelayMs;
    for (WatchedItem* item : watch.items)
        Due(*item);
}

// Watches whose reads failed, and folder items whose names went: dealt with between waits, never
// inside a completion.
void CWatchLoop::HandleFailures() {
    for (auto& item : m_items) {
        if (item->nameGone) {
            item->nameGone = false;
            Retire(std::move(item->folder)); // a folder held open cannot go away
        }
        if (item->folder && item->folder->failed) {
            Retire(std::move(item->folder));
            const DWORD attributes = GetFileAttributesW(item->systemPath.c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES)
                Wait(*item, item->parent ? 0 : GetTickCount64() + kCheckIntervalMs);
            else
                StartPolling(*item);
        }
    }
    for (auto parent = m_parents.begin(); parent != m_parents.end();) {
        if (!parent->second->failed) {
            ++parent;
            continue;
        }
        const std::vector<WatchedItem*> items = parent->second->items;
        Retire(std::move(parent->second));
        parent = m_parents.erase(parent);
        for (WatchedItem* item : items) {
            item->parent = nullptr;
            if (GetFileAttributesW(item->systemPath.c_str()) == INVALID_FILE_ATTRIBUTES)
                Wait(*item, GetTickCount64() + kCheckIntervalMs);
            else
                StartPolling(*item);
        }
    }
    if (m_listWatch && m_listWatch->failed) {
        Retire(std::move(m_listWatch));
        m_listCheckAt = GetTickCount64() + kCheckIntervalMs;
    }
}

// Quiet for the settle time: reported when it is there.
void CWatchLoop::Settle(WatchedItem& item) {
    item.dueAt = 0;
    if (!item.parent && !item.polling) {
        Attach(item, GetTickCount64()); // its folder was gone: watched again first
        return;
    }
    const DWORD attributes = GetFileAttributesW(item.systemPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        Wait(item, item.polling ? item.checkAt : 0);
        return;
    }
    item.isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (item.folder && IsEmptyFolder(item.systemPath)) {
        // A deleted folder lingers as long as this watch holds it open (on some systems silently):
        // let go of it and look again.
        Retire(std::move(item.folder));
        if (GetFileAttributesW(item.systemPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
            Wait(item, 0);
            return;
        }
    }
    if (!item.polling && item.isFolder && !item.folder) {
        OpenFolderWatch(item); // a folder item back again, or its name moved: its tree watched anew
        if (!item.folder && !item.polling)
            return; // gone again: waiting
    }
    SetState(item, item.polling ? WatchState::Polling : WatchState::Watching,
             item.polling ? WatchReason::NoNotifications : WatchReason::None);
    m_settled.push_back(item.path);
}

// A check every minute: a polled item's signature, or an item whose folder could not be watched.
void CWatchLoop::Check(WatchedItem& item) {
    item.checkAt = 0;
    if (!item.polling) {
        Detach(item);
        Attach(item, GetTickCount64());
        return;
    }
    item.checkAt = GetTickCount64() + kCheckIntervalMs;
    const Signature now = ReadSignature(item.systemPath, m_shared.leftOutPatterns);
    if (now == item.signature)
        return;
    item.signature = now;
    if (now.exists)
        Due(item);
    else
        Wait(item, item.checkAt);
}

void CWatchLoop::RunTimers() {
    const ULONGLONG now = GetTickCount64();
    if (m_reloadAt != 0 && m_reloadAt <= now) {
        m_reloadAt = 0;
        Reload();
    }
    if (m_listCheckAt != 0 && m_listCheckAt <= now)
        OpenListWatch();
    for (auto& item : m_items) {
        if (item->dueAt != 0 && item->dueAt <= now)
            Settle(*item);
        if (item->checkAt != 0 && item->checkAt <= now)
            Check(*item);
    }
}

DWORD CWatchLoop::Timeout() const {
    ULONGLONG next = 0;
    auto consider = [&next](ULONGLONG at) {
        if (at != 0 && (next == 0 || at < next))
            next = at;
    };
    consider(m_reloadAt);
    consider(m_listCheckAt);
    for (const auto& item : m_items) {
        consider(item->dueAt);
        consider(item->checkAt);
    }
    if (next == 0)
        return INFINITE;
    const ULONGLONG now = GetTickCount64();
    return next <= now ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(next - now, kCheckIntervalMs));
}

// The items become exactly the listed paths: new ones watched (reported after the settle time),
// dropped ones let go.
void CWatchLoop::Reconcile(const std::vector<std::wstring>& paths) {
    auto listed = [&paths](const WatchedItem& item) {
        return std::any_of(paths.begin(), paths.end(),
                           [&item](const std::wstring& path) { return SameName(path, item.path); });
    };
    for (auto item = m_items.begin(); item != m_items.end();) {
        if (listed(**item)) {
            ++item;
            continue;
        }
        Detach(**item);
        item = m_items.erase(item);
        m_statesChanged = true;
    }
    for (const std::wstring& path : paths) {
        if (std::any_of(m_items.begin(), m_items.end(), [&path](const std::unique_ptr<WatchedItem>& item) {
                return SameName(item->path, path);
            }))
            continue;
        m_items.push_back(std::make_unique<WatchedItem>(path));
        WatchedItem& item = *m_items.back();
        item.reason = WatchReason::OtherProgram;
        if (m_owner)
            Attach(item, GetTickCount64() + m_shared.settleMs);
        m_statesChanged = true;
    }
}

// Reads the list file again (another program changed it): kept unless this program wrote the
// list meanwhile, then read once more.
void CWatchLoop::Reload() {
    unsigned writes = 0;
    {
        std::lock_guard<std::mutex> lock(m_shared.mutex);
        writes = m_shared.listWrites;
    }
    const WatchListContent content = ReadWatchList(m_shared.backupRoot);
    {
        std::lock_guard<std::mutex> lock(m_shared.mutex);
        if (writes != m_shared.listWrites) {
            m_reloadAt = GetTickCount64();
            return;
        }
        m_shared.listed = content.paths;
        m_shared.skippedLines = content.skippedLines;
        m_shared.listRead = true;
        m_shared.listChanged = false;
    }
    Reconcile(content.paths);
    m_statesChanged = true;
}

// This program watches the list now: every item is reported once, so a change made while nobody
// watched gets its version.
void CWatchLoop::BecomeOwner() {
    m_owner = true;
    {
        std::lock_guard<std::mutex> lock(m_shared.mutex);
        m_shared.owner = true;
    }
    for (auto& item : m_items)
        Attach(*item, GetTickCount64());
    m_statesChanged = true;
}

// Takes what the window's thread asked for; true when the watcher is going.
bool CWatchLoop::TakeCommands() {
    std::vector<std::wstring> paths, retries;
    bool listChanged = false;
    {
        std::lock_guard<std::mutex> lock(m_shared.mutex);
        if (m_shared.quitting)
            return true;
        listChanged = m_shared.listChanged;
        m_shared.listChanged = false;
        if (listChanged)
            paths = m_shared.listed;
        retries.swap(m_shared.retries);
    }
    if (listChanged) {
        Reconcile(paths);
        if (!m_listWatch)
            OpenListWatch(); // the first list written made the backups folder
    }
    for (const std::wstring& path : retries)
        for (auto& item : m_items)
            if (m_owner && SameName(item->path, path) && item->state != WatchState::WaitingForItem)
                Due(*item);
    return false;
}

void CWatchLoop::Publish() {
    if (m_statesChanged) {
        m_statesChanged = false;
        std::vector<WatchInfo> states;
        for (const auto& item : m_items)
            states.push_back({item->path, item->isFolder, item->state, item->reason, item->error});
        {
            std::lock_guard<std::mutex> lock(m_shared.mutex);
            m_shared.states.swap(states);
        }
        m_shared.CallHost([](CWatchHost& host) { host.WatchStatesChanged(); });
    }
    std::vector<std::wstring> settled;
    settled.swap(m_settled);
    for (const std::wstring& path : settled)
        m_shared.CallHost([&path](CWatchHost& host) { host.ItemSettled(path); });
}

void CWatchLoop::Run() {
    OpenListWatch();
    Reload();
    const DWORD first = m_mutex.get() ? WaitForSingleObject(m_mutex.get(), 0) : WAIT_OBJECT_0;
    if (first == WAIT_OBJECT_0 || first == WAIT_ABANDONED) // no mutex to be had: nobody to share with
        BecomeOwner();
    for (;;) {
        if (TakeCommands())
            return;
        HandleFailures();
        RunTimers();
        HandleFailures();
        Publish();
        const HANDLE handles[] = {m_shared.wake.get(), m_mutex.get()};
        const DWORD count = m_owner ? 1 : 2;
        const DWORD woke = WaitForMultipleObjectsEx(count, handles, FALSE, Timeout(), TRUE);
        if (!m_owner && (woke == WAIT_OBJECT_0 + 1 || woke == WAIT_ABANDONED_0 + 1))
            BecomeOwner();
        m_retired.erase(
            std::remove_if(m_retired.begin(), m_retired.end(),
                           [](const std::unique_ptr<DirWatch>& watch) { return !watch->pending; }),
            m_retired.end());
    }
}

// Every read cancelled and its completion let in (bounded), then the list given up for the next
// program.
CWatchLoop::~CWatchLoop() {
    for (auto& item : m_items)
        Detach(*item);
    Retire(std::move(m_listWatch));
    const ULONGLONG giveUpAt = GetTickCount64() + kDrainMs;
    while (!m_retired.empty() && GetTickCount64() < giveUpAt) {
        SleepEx(20, TRUE);
        m_retired.erase(
            std::remove_if(m_retired.begin(), m_retired.end(),
                           [](const std::unique_ptr<DirWatch>& watch) { return !watch->pending; }),
            m_retired.end());
    }
    for (auto& watch : m_retired)
        watch.release(); // a read the system still holds keeps its buffer: left to the process's end
    if (m_owner && m_mutex.get())
        ReleaseMutex(m_mutex.get());
}

} // namespace

void CWatcher::Shared::Run() {
    try {
        CWatchLoop loop(*this);
        loop.Run();
    } catch (const std::exception&) {
        StoppedByFailure(); // out of memory: every watch says it stopped
    }
    std::lock_guard<std::mutex> lock(mutex);
    finished = true;
    ended.notify_all();
}

void CWatcher::Shared::StoppedByFailure() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        states.clear();
        for (const std::wstring& path : listed)
            states.push_back({path, false, WatchState::NotWatchable, WatchReason::OutOfMemory});
        owner = false;
    }
    CallHost([](CWatchHost& watchHost) { watchHost.WatchStatesChanged(); });
}
