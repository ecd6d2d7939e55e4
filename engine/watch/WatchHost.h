// CWatchHost: what the watcher reports upward to whoever makes the versions. Declared on its own
// so the watcher and the program's shared object need not include each other.
#pragma once

#include <string>

class CWatchHost {
public:
    virtual ~CWatchHost() = default;
    // From the watcher's thread: a watched item changed and has now been quiet for the settle time (and, at
    // Start, every watched item once, so a change made while the program was not running gets a version).
    virtual void ItemSettled(const std::wstring& path) = 0;
    // From the watcher's thread: a state in Snapshot() changed (the list of watches redraws).
    virtual void WatchStatesChanged() = 0;
};
