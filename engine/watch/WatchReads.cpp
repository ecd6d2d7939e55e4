// The watcher's thread, its reads: the folders it is told of changes in (a watched item's folder,
// a watched folder's tree, the backups folder for the list file), a fresh read queued before the
// names that came are looked at, which changes count, and the watches that failed.
#include "engine/watch/WatchLoop.h"

#include <algorithm>
#include <cstddef>
#include <exception>

#include "engine/base/BackupPaths.h"
#include "engine/base/Settings.h"

namespace {

// The list file changed: read again once the writer is surely done.
const ULONGLONG kReloadDelayMs = 100;
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

} // namespace

DirWatch::DirWatch(HANDLE opened, Kind watchKind, CWatchLoop& watchLoop)
    : kind(watchKind), loop(watchLoop),
      buffer((watchKind == Kind::Folder ? kFolderBufferBytes : kParentBufferBytes) / sizeof(DWORD)) {
    handle.emplace(opened);
    overlapped.hEvent = this; // unused by the system when a completion routine is given
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
        VisitSubfoldersWhereNeeded(item.systemPath);
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
