// The watcher's thread, its timers: an item reported once quiet for the settle time, the check
// every minute where notifications cannot be had (a signature of the item compared), and the
// wait until the next of them is due.
#include "engine/watch/WatchLoop.h"

#include <algorithm>
#include <cwchar>

#include "engine/base/Settings.h"
#include "framework/FileFind.h"

namespace {

ULONGLONG Combined(DWORD high, DWORD low) {
    return (static_cast<ULONGLONG>(high) << 32) | low;
}

// Calls visit(entry) for every entry below root, one folder at a time (no recursion: a tree of
// any depth costs no stack), going into the subfolders visit answers true for. Links are not
// followed.
template <typename Visit> void WalkTree(const std::wstring& root, Visit visit) {
    std::vector<std::wstring> folders{root};
    while (!folders.empty()) {
        const std::wstring folder = std::move(folders.back());
        folders.pop_back();
        WIN32_FIND_DATAW found;
        CFindHandle find(FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
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
    CFindHandle find(FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
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

ItemSignature ReadSignature(const std::wstring& systemPath, const std::vector<std::wstring>& patterns) {
    ItemSignature signature;
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

} // namespace

void VisitSubfoldersWhereNeeded(const std::wstring& root) {
    if (SubfoldersNeedVisiting())
        WalkTree(root, [](const WIN32_FIND_DATAW&) { return true; });
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
    const ItemSignature now = ReadSignature(item.systemPath, m_shared.leftOutPatterns);
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
