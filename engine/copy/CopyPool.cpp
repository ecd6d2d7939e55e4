#include "engine/copy/CopyPool.h"

namespace {

const size_t kMostQueued = 64;

// Holds the slim lock exclusively while it lives.
class CExclusiveLock {
public:
    explicit CExclusiveLock(SRWLOCK& lock) : m_lock(lock) { AcquireSRWLockExclusive(&m_lock); }
    ~CExclusiveLock() { ReleaseSRWLockExclusive(&m_lock); }
    CExclusiveLock(const CExclusiveLock&) = delete;
    CExclusiveLock& operator=(const CExclusiveLock&) = delete;

private:
    SRWLOCK& m_lock;
};

} // namespace

CCopyPool::CCopyPool(unsigned threads) {
    for (unsigned i = 0; i < threads; ++i)
        m_threads.emplace_back(&CCopyPool::Work, this);
}

CCopyPool::~CCopyPool() {
    {
        CExclusiveLock lock(m_lock);
        m_quitting = true;
    }
    WakeAllConditionVariable(&m_changed);
    for (std::thread& thread : m_threads)
        thread.join();
}

void CCopyPool::Submit(std::function<void()> job) {
    {
        CExclusiveLock lock(m_lock);
        while (m_jobs.size() >= kMostQueued)
            SleepConditionVariableSRW(&m_changed, &m_lock, INFINITE, 0);
        m_jobs.push_back(std::move(job));
    }
    WakeAllConditionVariable(&m_changed);
}

void CCopyPool::WaitAll() {
    CExclusiveLock lock(m_lock);
    while (!m_jobs.empty() || m_running != 0)
        SleepConditionVariableSRW(&m_changed, &m_lock, INFINITE, 0);
}

void CCopyPool::Work() {
    AcquireSRWLockExclusive(&m_lock);
    for (;;) {
        while (!m_quitting && m_jobs.empty())
            SleepConditionVariableSRW(&m_changed, &m_lock, INFINITE, 0);
        if (m_jobs.empty())
            break; // quitting, with nothing left to do
        std::function<void()> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        ++m_running;
        ReleaseSRWLockExclusive(&m_lock);
        WakeAllConditionVariable(&m_changed); // room in the queue
        job();
        AcquireSRWLockExclusive(&m_lock);
        --m_running;
        WakeAllConditionVariable(&m_changed);
    }
    ReleaseSRWLockExclusive(&m_lock);
}
