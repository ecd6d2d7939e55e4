// CContentSearchJob: a content search (engine/search/ContentSearch.h) on a thread of its own. The
// thread gathers what the search reports and posts it to the window in batches, each a message that
// owns its batch: the first item found at once, then at most every 100 ms, and the end. The window's
// thread sets the stop flag (Esc, closing) and lets the job go; the thread and the window share only
// the job's Shared part (with the history it reads), so a thread stuck in the file system when its
// window closes ends by itself.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/search/ContentSearch.h"
#include "shell/common/WindowJob.h"

// lParam owns a SearchBatch.
#define WM_SEARCH_BATCH (WM_APP + 80)

struct SearchBatch {
    std::vector<ContentHit> hits; // found or changed since the last batch, each once
    ContentSearchCounts counts;
    bool ended = false;
    ContentSearchOutcome outcome = ContentSearchOutcome::Done;
};

class CContentSearchJob : public CWindowWork {
public:
    // Searches history's entries within (newest first) for text.
    CContentSearchJob(HWND target, std::shared_ptr<const CHistory> history, std::vector<uint32_t> within,
                      const std::wstring& text, const std::wstring& backupRoot, const std::wstring& mirrorRoot);
    // Stops the search and waits a bounded time for its thread.
    ~CContentSearchJob() override;
    CContentSearchJob(const CContentSearchJob&) = delete;
    CContentSearchJob& operator=(const CContentSearchJob&) = delete;

    void Stop() override;

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};
