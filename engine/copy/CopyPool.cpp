#include "engine/copy/CopyPool.h"

namespace {

const size_t kMostQueued = 64;

} // namespace

CCopyPool::CCopyPool(unsigned threads) {
    for (unsigned i = 0; i < threads; ++i)
        m_threads.emplace_back(&CCopyPool::Work, this);
}

CCopyPool::~CCopyPool() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quitting = true;
    }
    m_changed.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

void CCopyPool::Submit(std::function<void()> job) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_jobs.size() < kMostQueued; });
    m_jobs.push_back(std::move(job));
    lock.unlock();
    m_changed.notify_all();
}

void CCopyPool::WaitAll() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_jobs.empty() && m_running == 0; });
}

void CCopyPool::Work() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_quitting || !m_jobs.empty(); });
        if (m_jobs.empty())
            return; // quitting, with nothing left to do
        std::function<void()> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        ++m_running;
        lock.unlock();
        m_changed.notify_all(); // room in the queue
        job();
        lock.lock();
        --m_running;
        m_changed.notify_all();
    }
}
