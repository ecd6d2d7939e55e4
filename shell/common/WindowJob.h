// CWindowJob: a window's work on a thread of its own (a compare of two files or two folders, the
// check of the mirror), so reading a large file or a slow disk never freezes the window. The
// thread fills a result of its own and posts it to the window (the message's lParam owns it); the
// window's thread sets the stop flag (Esc, closing) and lets the job go. The thread and the window share only the job's Shared part, which lives as long as
// either needs it: a thread stuck in the file system when its window closes ends by itself.
#pragma once

#include <windows.h>

#include "engine/base/CheckPause.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// What a window holds of its job, whatever the result: it can stop it, and letting it go stops it
// and waits a bounded time for its thread.
class CWindowWork {
public:
    virtual ~CWindowWork() = default;
    virtual void Stop() = 0;
};

template <class Result> class CWindowJob : public CWindowWork {
public:
    // The work reads the stop flag as it goes and fills the result.
    using Work = std::function<void(const BOOL* stop, Result* result)>;

    CWindowJob(HWND target, UINT message, Work work) : m_shared(std::make_shared<Shared>()) {
        m_shared->target = target;
        m_shared->message = message;
        std::shared_ptr<Shared> shared = m_shared;
        m_thread = std::thread([shared, work] { shared->Run(work); });
    }
    // Stops the work and waits a bounded time for its thread.
    ~CWindowJob() override {
        Stop();
        std::unique_lock<std::mutex> lock(m_shared->mutex);
        const bool ended = m_shared->ended.wait_for(lock, std::chrono::milliseconds(800),
                                                    [this] { return m_shared->finished; });
        lock.unlock();
        if (ended)
            m_thread.join();
        else
            m_thread.detach(); // blocked in the file system: it ends by itself
    }
    CWindowJob(const CWindowJob&) = delete;
    CWindowJob& operator=(const CWindowJob&) = delete;

    void Stop() override { ::InterlockedExchange(&m_shared->stop, TRUE); }

private:
    struct Shared {
        HWND target = nullptr;
        UINT message = 0;
        volatile LONG stop = FALSE; // a BOOL's size: the engine reads it as one
        std::mutex mutex;
        std::condition_variable ended;
        bool finished = false;

        void Run(const Work& work) {
            auto result = std::make_unique<Result>();
            try {
                const CCheckPause::CHold hold; // the background check yields to what the user waits for
                work(reinterpret_cast<const BOOL*>(const_cast<const LONG*>(&stop)), result.get());
            } catch (...) {
                result.reset(); // out of memory (a huge pair): the window says the work was not done
            }
            if (::PostMessageW(target, message, 0, reinterpret_cast<LPARAM>(result.get())))
                result.release(); // the window's now
            std::lock_guard<std::mutex> lock(mutex);
            finished = true;
            ended.notify_all();
        }
    };

    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};
