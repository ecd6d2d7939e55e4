// A few threads that copy files side by side: with many small files most of a copy's time is
// spent waiting on the file system, so more than one copy in flight finishes the tree sooner.
// The queue is bounded, so walking a huge folder never holds more than a few jobs in memory.
// It waits on the platform's slim lock and condition variable: under Wine those wait in the
// process itself, where the C++ library's wait on a semaphore costs a call to Wine's server for
// every file handed over.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <thread>
#include <vector>

class CCopyPool {
public:
    explicit CCopyPool(unsigned threads);
    // Ends every thread once the jobs given are done.
    ~CCopyPool();
    CCopyPool(const CCopyPool&) = delete;
    CCopyPool& operator=(const CCopyPool&) = delete;

    // Queues a job; waits while the queue is full.
    void Submit(std::function<void()> job);
    // Returns once every job submitted so far has run.
    void WaitAll();

private:
    void Work();

    SRWLOCK m_lock = SRWLOCK_INIT;
    CONDITION_VARIABLE m_changed = CONDITION_VARIABLE_INIT;
    std::deque<std::function<void()>> m_jobs;
    unsigned m_running = 0;
    bool m_quitting = false;
    std::vector<std::thread> m_threads;
};
