// The document's watching: the watcher over the backups folder's watch list, and the versions it
// asks for, made on the backup worker in turn with the drops. What the window must hear (a
// version's outcome, a changed state) is posted to the view, which hands it back here on the
// window's thread: the tallies below are touched by that thread alone.
#include "shell/document/TallowboxDoc.h"

#include "engine/copy/PreviousCopy.h"
#include "engine/watch/Watcher.h"
#include "framework/Language.h"
#include "res/resource.h"

#include <cwchar>
#include <map>

namespace {

// A version's outcome on its way to the window.
struct VersionOutcome {
    std::wstring path;
    SYSTEMTIME time;
};

// The minute a copy was made, from its place in the backups ("YYYY-MMDD\\HHMM\\..."); false for another
// shape.
bool MinuteOfCopy(const std::wstring& copy, SYSTEMTIME* time) {
    const wchar_t* const shape = L"dddd-dddd\\dddd\\";
    if (copy.size() < std::wcslen(shape))
        return false;
    for (size_t i = 0; shape[i] != L'\0'; ++i)
        if (shape[i] == L'd' ? !(copy[i] >= L'0' && copy[i] <= L'9') : copy[i] != shape[i])
            return false;
    const auto number = [&copy](size_t at, size_t digits) {
        return static_cast<WORD>(std::stoi(copy.substr(at, digits)));
    };
    *time = SYSTEMTIME{};
    time->wYear = number(0, 4);
    time->wMonth = number(5, 2);
    time->wDay = number(7, 2);
    time->wHour = number(10, 2);
    time->wMinute = number(12, 2);
    return true;
}

// Item (upper-cased) to the minute of its newest copy the journals name.
std::map<std::wstring, SYSTEMTIME> FindLastVersions(const std::wstring& root,
                                                    const std::vector<std::wstring>& paths) {
    CPreviousCopies previous(root);
    std::map<std::wstring, SYSTEMTIME> found;
    for (const std::wstring& path : paths) {
        PreviousCopy copy;
        SYSTEMTIME time;
        if ((previous.Find(path, false, &copy) || previous.Find(path, true, &copy)) &&
            MinuteOfCopy(copy.copy, &time))
            found[UpperCase(path)] = time;
    }
    return found;
}

void PostLastVersions(HWND window, std::map<std::wstring, SYSTEMTIME> found) {
    auto* owned = new std::map<std::wstring, SYSTEMTIME>(std::move(found));
    if (!::PostMessageW(window, WM_WATCH_LAST_VERSIONS, 0, reinterpret_cast<LPARAM>(owned)))
        delete owned; // the window is gone
}

} // namespace

// Once: the watcher reads the list on its own thread, the worker reads it again for the journals.
void CTallowboxDoc::StartWatching() {
    if (m_watcher || !m_worker)
        return;
    m_watcher = std::make_shared<CWatcher>(static_cast<CWatchHost&>(*this), m_backupRoot, m_leftOutPatterns,
                                           m_settleMs);
    m_versionsWatcher = m_watcher;
    m_watcher->Start();
    const std::wstring root = m_backupRoot;
    const HWND window = m_window;
    QueueTask([root, window](CBackupEngine&, CBackupHost&) {
        PostLastVersions(window, FindLastVersions(root, ReadWatchList(root).paths));
    });
}

// On the worker, in turn with the backups: the journals name each item's newest copy.
void CTallowboxDoc::LookUpLastVersions(std::vector<std::wstring> paths) {
    const std::wstring root = m_backupRoot;
    const HWND window = m_window;
    QueueTask([paths, root, window](CBackupEngine&, CBackupHost&) {
        PostLastVersions(window, FindLastVersions(root, paths));
    });
}

void CTallowboxDoc::OnLastVersions(LPARAM foundOwned) {
    std::unique_ptr<LastVersions> found(reinterpret_cast<LastVersions*>(foundOwned));
    for (const auto& item : *found)
        m_lastVersions.insert(item); // a version made meanwhile is newer: it stays
    WatchesChanged();
}

// The watcher's thread ends here, before the worker it queues on goes.
void CTallowboxDoc::EndWatching() {
    m_watcher.reset();
}

size_t CTallowboxDoc::WatchCount() const {
    return m_watcher ? m_watcher->Count() : 0;
}

bool CTallowboxDoc::IsWatched(const std::wstring& path) const {
    return m_watcher && m_watcher->IsWatched(path);
}

WatchRefusal CTallowboxDoc::ToggleWatch(const std::wstring& path) {
    if (!m_watcher)
        return WatchRefusal::Missing;
    if (m_watcher->IsWatched(path)) {
        StopWatching(path);
        return WatchRefusal::None;
    }
    const WatchRefusal refusal = m_watcher->Add(path);
    if (refusal == WatchRefusal::None)
        LookUpLastVersions({path});
    WatchesChanged();
    return refusal;
}

void CTallowboxDoc::StopWatching(const std::wstring& path) {
    if (m_watcher && m_watcher->Remove(path)) {
        m_saidLocked.erase(UpperCase(path));
        WatchesChanged();
    }
}

std::vector<WatchInfo> CTallowboxDoc::WatchStates() const {
    return m_watcher ? m_watcher->Snapshot() : std::vector<WatchInfo>();
}

bool CTallowboxDoc::LastVersion(const std::wstring& path, SYSTEMTIME* time) const {
    const auto found = m_lastVersions.find(UpperCase(path));
    if (found == m_lastVersions.end())
        return false;
    *time = found->second;
    return true;
}

// From the watcher's thread: the version goes on the worker behind whatever runs. A busy item
// settles again in the watcher; the outcome travels to the window as a posted message.
void CTallowboxDoc::ItemSettled(const std::wstring& path) {
    std::weak_ptr<CWatcher> watcher = m_versionsWatcher;
    const HWND window = m_window;
    QueueTask([path, watcher, window](CBackupEngine& engine, CBackupHost& host) {
        SYSTEMTIME now;
        ::GetLocalTime(&now);
        const BackupResult result = engine.BackUpVersion(host, path, now, BackupTrigger::Watch);
        // Busy: not whole yet; stopped (Esc, closing): not made. Either way after the next settle.
        if (result == BackupResult::Busy || result == BackupResult::Stopped)
            if (std::shared_ptr<CWatcher> alive = watcher.lock())
                alive->RetryLater(path);
        auto* outcome = new VersionOutcome{path, now};
        if (!::PostMessageW(window, WM_WATCH_VERSION, static_cast<WPARAM>(result),
                            reinterpret_cast<LPARAM>(outcome)))
            delete outcome; // the window is gone
    });
}

void CTallowboxDoc::WatchStatesChanged() {
    WatchesChanged();
}

void CTallowboxDoc::WatchesChanged() {
    ::PostMessageW(m_window, WM_WATCHES_CHANGED, 0, 0);
}

std::wstring CTallowboxDoc::OnVersionOutcome(WPARAM result, LPARAM outcomeOwned) {
    std::unique_ptr<VersionOutcome> outcome(reinterpret_cast<VersionOutcome*>(outcomeOwned));
    const std::wstring key = UpperCase(outcome->path);
    switch (static_cast<BackupResult>(result)) {
    case BackupResult::Copied:
        m_lastVersions[key] = outcome->time;
        m_saidLocked.erase(key);
        return std::wstring();
    case BackupResult::Unchanged:
        m_saidLocked.erase(key);
        return std::wstring();
    case BackupResult::Busy:
        // Said once until the item is versioned again: a file that stays open is tried quietly.
        if (!m_saidLocked.insert(key).second)
            return std::wstring();
        return FormatResourceText(IDS_FILE_BUSY, {outcome->path});
    default:
        return std::wstring();
    }
}
