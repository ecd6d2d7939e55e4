#include "engine/watch/Watcher.h"

#include <algorithm>
#include <chrono>

#include "engine/watch/WatchShared.h"

namespace {

// How long closing waits for a report under way, and then for the thread.
const DWORD kThreadEndMs = 3000;

} // namespace

std::vector<std::wstring> CWatcher::Shared::ListedPaths() {
    if (!listRead) {
        const WatchListContent content = ReadWatchList(backupRoot);
        listed = content.paths;
        skippedLines = content.skippedLines;
        listRead = true;
    }
    return listed;
}

CWatcher::CWatcher(CWatchHost& host, std::wstring backupRoot, std::vector<std::wstring> leftOutPatterns,
                   DWORD settleMs)
    : m_shared(std::make_shared<Shared>(host, std::move(backupRoot), std::move(leftOutPatterns), settleMs)) {}

CWatcher::~CWatcher() {
    m_shared->hostGone = true;
    // A report under way ends first (the host only posts); one stuck is not waited for unbounded.
    if (m_shared->hostMutex.try_lock_for(std::chrono::milliseconds(kThreadEndMs)))
        m_shared->hostMutex.unlock();
    if (!m_thread.joinable())
        return;
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    m_shared->quitting = true;
    m_shared->Wake();
    const bool ended = m_shared->ended.wait_for(lock, std::chrono::milliseconds(kThreadEndMs),
                                                [this] { return m_shared->finished; });
    lock.unlock();
    if (ended)
        m_thread.join();
    else
        m_thread.detach(); // blocked in the system: it ends with the process, sharing nothing that goes
}

void CWatcher::Start() {
    if (m_thread.joinable())
        return;
    std::shared_ptr<Shared> shared = m_shared;
    m_thread = std::thread([shared] { shared->Run(); });
}

WatchRefusal CWatcher::Add(const std::wstring& path) {
    const std::wstring item = WithoutTrailingSeparators(path);
    const WatchRefusal refusal = CheckWatchable(path, m_shared->backupRoot);
    if (refusal != WatchRefusal::None)
        return refusal;
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    std::vector<std::wstring> paths = m_shared->ListedPaths();
    if (std::any_of(paths.begin(), paths.end(),
                    [&item](const std::wstring& listed) { return SameName(listed, item); }))
        return WatchRefusal::None;
    if (paths.size() >= kMaxWatches)
        return WatchRefusal::TooMany;
    paths.push_back(item);
    if (WriteWatchList(m_shared->backupRoot, paths) != ERROR_SUCCESS)
        return WatchRefusal::NotSaved;
    m_shared->listed.swap(paths);
    ++m_shared->listWrites;
    m_shared->listChanged = true;
    m_shared->Wake();
    return WatchRefusal::None;
}

bool CWatcher::Remove(const std::wstring& path) {
    const std::wstring item = WithoutTrailingSeparators(path);
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    std::vector<std::wstring> paths = m_shared->ListedPaths();
    const auto kept = std::remove_if(paths.begin(), paths.end(),
                                     [&item](const std::wstring& listed) { return SameName(listed, item); });
    if (kept == paths.end())
        return false;
    paths.erase(kept, paths.end());
    if (WriteWatchList(m_shared->backupRoot, paths) != ERROR_SUCCESS)
        return false;
    m_shared->listed.swap(paths);
    ++m_shared->listWrites;
    m_shared->listChanged = true;
    m_shared->Wake();
    return true;
}

bool CWatcher::IsWatched(const std::wstring& path) const {
    const std::wstring item = WithoutTrailingSeparators(path);
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return std::any_of(m_shared->listed.begin(), m_shared->listed.end(),
                       [&item](const std::wstring& listed) { return SameName(listed, item); });
}

std::vector<WatchInfo> CWatcher::Snapshot() const {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    std::vector<WatchInfo> infos;
    for (const std::wstring& path : m_shared->listed) {
        const auto seen = std::find_if(m_shared->states.begin(), m_shared->states.end(),
                                       [&path](const WatchInfo& info) { return SameName(info.path, path); });
        if (seen != m_shared->states.end())
            infos.push_back(*seen);
        else if (m_shared->owner)
            infos.push_back({path, false, WatchState::Watching, WatchReason::None});
        else
            infos.push_back({path, false, WatchState::OtherProgram, WatchReason::OtherProgram});
    }
    return infos;
}

void CWatcher::RetryLater(const std::wstring& path) {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->retries.push_back(path);
    m_shared->Wake();
}

size_t CWatcher::Count() const {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->listed.size();
}

bool CWatcher::OwnsList() const {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->owner;
}

unsigned CWatcher::SkippedLines() const {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->skippedLines;
}
