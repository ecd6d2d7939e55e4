#include "shell/search/ContentSearchJob.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <unordered_map>

namespace {

const auto kBatchInterval = std::chrono::milliseconds(100);
// Closing waits this long for the thread, then lets it end by itself.
const auto kStopBound = std::chrono::milliseconds(800);

// Collects what the search reports into one batch, each item once, and posts it when due.
class CBatchingHost : public CSearchHost {
public:
    explicit CBatchingHost(HWND target) : m_target(target) {}

    void HitChanged(const ContentHit& hit) override {
        const auto placed = m_placed.emplace(hit.id, m_batch->hits.size());
        if (placed.second)
            m_batch->hits.push_back(hit);
        else
            m_batch->hits[placed.first->second] = hit;
        if (!m_anyPosted)
            Post(); // the first item shows at once
    }

    void Progress(const ContentSearchCounts& counts) override {
        m_batch->counts = counts;
        if (std::chrono::steady_clock::now() - m_lastPost >= kBatchInterval)
            Post();
    }

    void End(ContentSearchOutcome outcome) {
        m_batch->ended = true;
        m_batch->outcome = outcome;
        Post();
    }

private:
    // A batch the window does not take (it is gone) is dropped.
    void Post() {
        const ContentSearchCounts counts = m_batch->counts;
        if (::PostMessageW(m_target, WM_SEARCH_BATCH, 0, reinterpret_cast<LPARAM>(m_batch.get())))
            m_batch.release(); // the window's now
        m_anyPosted = m_anyPosted || !m_placed.empty();
        m_batch = std::make_unique<SearchBatch>();
        m_batch->counts = counts;
        m_placed.clear();
        m_lastPost = std::chrono::steady_clock::now();
    }

    HWND m_target;
    std::unique_ptr<SearchBatch> m_batch = std::make_unique<SearchBatch>();
    std::unordered_map<uint32_t, size_t> m_placed; // an item's place in the batch
    std::chrono::steady_clock::time_point m_lastPost = std::chrono::steady_clock::now();
    bool m_anyPosted = false;
};

} // namespace

struct CContentSearchJob::Shared {
    HWND target = nullptr;
    std::shared_ptr<const CHistory> history;
    std::vector<uint32_t> within;
    ContentSearchRequest request;
    volatile LONG stop = FALSE; // a BOOL's size: the engine reads it as one
    std::mutex mutex;
    std::condition_variable ended;
    bool finished = false;

    void Run() {
        CBatchingHost host(target);
        ContentSearchOutcome outcome = ContentSearchOutcome::Stopped;
        try {
            request.within = &within;
            outcome = SearchContent(*history, request, reinterpret_cast<const BOOL*>(const_cast<const LONG*>(&stop)),
                                    host);
        } catch (...) {
            // out of memory: what was found stays listed, the search ends as if stopped
        }
        host.End(outcome);
        std::lock_guard<std::mutex> lock(mutex);
        finished = true;
        ended.notify_all();
    }
};

CContentSearchJob::CContentSearchJob(HWND target, std::shared_ptr<const CHistory> history,
                                     std::vector<uint32_t> within, const std::wstring& text,
                                     const std::wstring& backupRoot, const std::wstring& mirrorRoot)
    : m_shared(std::make_shared<Shared>()) {
    m_shared->target = target;
    m_shared->history = std::move(history);
    m_shared->within = std::move(within);
    m_shared->request.text = text;
    m_shared->request.backupRoot = backupRoot;
    m_shared->request.mirrorRoot = mirrorRoot;
    std::shared_ptr<Shared> shared = m_shared;
    m_thread = std::thread([shared] { shared->Run(); });
}

CContentSearchJob::~CContentSearchJob() {
    Stop();
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    const bool ended = m_shared->ended.wait_for(lock, kStopBound, [this] { return m_shared->finished; });
    lock.unlock();
    if (ended)
        m_thread.join();
    else
        m_thread.detach(); // blocked in the file system: it ends by itself
}

void CContentSearchJob::Stop() {
    ::InterlockedExchange(&m_shared->stop, TRUE);
}
