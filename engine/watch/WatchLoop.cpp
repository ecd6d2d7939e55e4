// The watcher's thread, its life: the list read and reconciled with the items, the mutex that
// makes one program at a time the list's watcher, the commands taken from the window's thread and
// the states handed back. CWatcher (Watcher.cpp) starts it and talks to it through the shared
// state alone; the reads and the timers are WatchReads.cpp and WatchTimers.cpp.
#include "engine/watch/WatchLoop.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "engine/base/BackupPaths.h"

namespace {

// How long the thread waits for its cancelled reads when it ends.
const ULONGLONG kDrainMs = 2000;

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

} // namespace

CWatchLoop::CWatchLoop(CWatcher::Shared& shared)
    : m_shared(shared), m_mutex(CreateMutexW(nullptr, FALSE, ListMutexName(shared.backupRoot).c_str())) {}

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
