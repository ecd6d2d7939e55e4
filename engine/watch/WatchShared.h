// What a CWatcher and its thread share: the settings fixed at the start, the host guarded so it
// is never called once the watcher is going, and the list, states and requests the window's
// thread and the watcher's thread hand each other under one mutex.
#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "engine/base/BackupPaths.h"
#include "engine/watch/Watcher.h"
#include "framework/KernelHandle.h"

// Two paths or names that are one for the file system (case aside).
inline bool SameName(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && UpperCase(a) == UpperCase(b);
}

// The watcher's thread alone runs Run (WatchLoop.cpp); the others call the rest.
struct CWatcher::Shared {
    Shared(CWatchHost& watchHost, std::wstring root, std::vector<std::wstring> patterns, DWORD settle)
        : host(watchHost), backupRoot(std::move(root)), leftOutPatterns(std::move(patterns)),
          settleMs(settle), wake(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

    // Calls the host unless the watcher is going: never once the destructor has returned.
    template <typename Call> void CallHost(Call call) {
        std::lock_guard<std::timed_mutex> lock(hostMutex);
        if (!hostGone)
            call(host);
    }
    void Wake() { SetEvent(wake.get()); }
    void Run();
    void StoppedByFailure();
    // The list as the file holds it, read here first when the thread has not read it yet, so a
    // change made at once after the start never writes the list without its earlier items.
    // Called with mutex held.
    std::vector<std::wstring> ListedPaths();

    CWatchHost& host;
    const std::wstring backupRoot;
    const std::vector<std::wstring> leftOutPatterns;
    const DWORD settleMs;
    std::timed_mutex hostMutex;
    std::atomic<bool> hostGone{false};
    const CKernelHandle wake; // auto-reset: a command is waiting

    mutable std::mutex mutex; // guards everything below
    std::vector<std::wstring> listed;
    std::vector<WatchInfo> states; // as the thread last saw its items
    std::vector<std::wstring> retries;
    unsigned listWrites = 0; // counts this program's writes: a reload read before one is not kept
    unsigned skippedLines = 0;
    bool listRead = false; // listed holds what the file held (a read, or this program's write)
    bool listChanged = false, owner = false, quitting = false, finished = false;
    std::condition_variable ended;
};
