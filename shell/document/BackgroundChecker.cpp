#include "shell/document/BackgroundChecker.h"

#include "engine/base/CheckPause.h"
#include "engine/check/BackgroundCheck.h"
#include "framework/KernelHandle.h"
#include "shell/document/TallowboxDoc.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

// Once the work it yielded to ends, the check waits this long: the next batch of a burst of
// versions often follows at once.
const DWORD kResumeDelayMs = 3000;
// A sleep with nothing due ends at least this often: the clock may have been changed, the ledger
// written by another window.
const DWORD kLongestSleepMs = 60 * 60 * 1000;

} // namespace

// What the thread uses, owned together by the checker object and the thread.
struct CBackgroundChecker::Shared : public CBackgroundCheckHost {
    Shared(HWND target, const std::wstring& backupRoot, const std::wstring& mirrorRoot, DWORD checkDays)
        : window(target), wake(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
          check(backupRoot, mirrorRoot, checkDays, *this) {
        CCheckPause::Program().Listen({&interrupt, wake.get()});
    }
    ~Shared() override { CCheckPause::Program().Unlisten({&interrupt, wake.get()}); }

    void DamageFound(const CheckFinding& finding) override {
        auto* posted = new CheckFinding(finding);
        if (!::PostMessageW(window, WM_CHECK_FINDING, 0, reinterpret_cast<LPARAM>(posted)))
            delete posted; // the window is gone
    }
    void ChecksChanged() override { ::PostMessageW(window, WM_CHECKS_CHANGED, 0, 0); }

    const BOOL* Flag() const { return reinterpret_cast<const BOOL*>(const_cast<const LONG*>(&interrupt)); }
    // Volatile reads of aligned longs: each looks at memory again, as the reads' own stop check does.
    bool Quitting() const { return quitting != 0; }
    bool Paused() const { return interrupt != 0; }
    // Waits for a wake, a stop or the time; false once the thread is to end.
    bool Sleep(DWORD ms) {
        ::WaitForSingleObject(wake.get(), ms);
        return !Quitting();
    }
    void Run(DWORD startDelayMs);
    // Until the pause ends and a moment more; false once the thread is to end.
    bool WaitWhilePaused();
    DWORD SleepAfterRound() const;

    const HWND window;
    CKernelHandle wake; // auto-reset: a stop, the end of a pause, new versions
    // The pause's holds plus one for a stop: the reads look at it between pieces.
    volatile LONG interrupt = 0;
    volatile LONG quitting = 0;
    CBackgroundCheck check;
    std::mutex mutex;
    std::condition_variable ended;
    bool finished = false;
};

bool CBackgroundChecker::Shared::WaitWhilePaused() {
    while (Paused()) {
        if (!Sleep(INFINITE))
            return false;
        if (!Paused() && !Sleep(kResumeDelayMs))
            return false;
    }
    return !Quitting();
}

// Until the next copy falls due, within the longest sleep.
DWORD CBackgroundChecker::Shared::SleepAfterRound() const {
    const int64_t due = check.NextDue(), now = CBackgroundCheck::Now();
    if (due == 0)
        return kLongestSleepMs;
    const int64_t ms = (std::max<int64_t>(due - now, 0) + 9999) / 10000;
    return static_cast<DWORD>(std::min<int64_t>(ms, kLongestSleepMs));
}

void CBackgroundChecker::Shared::Run(DWORD startDelayMs) {
    // Low CPU and I/O priority: the user's own work on the same disk goes first. A system without
    // the background mode (Wine answers it with an error) still gets the lowest CPU priority.
    const bool background = ::SetThreadPriority(::GetCurrentThread(), THREAD_MODE_BACKGROUND_BEGIN) != FALSE;
    if (!background)
        ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_IDLE);
    bool going = Sleep(startDelayMs);
    while (going && WaitWhilePaused()) {
        switch (check.Step(Flag(), CBackgroundCheck::Now())) {
        case CheckStep::Off:
            going = false;
            break;
        case CheckStep::RoundDone:
            going = Sleep(SleepAfterRound());
            break;
        default: // worked, or interrupted: the pause is waited out above
            break;
        }
    }
    if (background)
        ::SetThreadPriority(::GetCurrentThread(), THREAD_MODE_BACKGROUND_END);
    std::lock_guard<std::mutex> lock(mutex);
    finished = true;
    ended.notify_all();
}

CBackgroundChecker::CBackgroundChecker(HWND window, const std::wstring& backupRoot,
                                       const std::wstring& mirrorRoot, DWORD checkDays, DWORD startDelayMs)
    : m_shared(std::make_shared<Shared>(window, backupRoot, mirrorRoot, checkDays)) {
    std::shared_ptr<Shared> shared = m_shared;
    m_thread = std::thread([shared, startDelayMs] { shared->Run(startDelayMs); });
}

CBackgroundChecker::~CBackgroundChecker() {
    ::InterlockedExchange(&m_shared->quitting, 1);
    ::InterlockedIncrement(&m_shared->interrupt); // the read in progress ends after its piece
    ::SetEvent(m_shared->wake.get());
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    const bool done =
        m_shared->ended.wait_for(lock, std::chrono::seconds(5), [this] { return m_shared->finished; });
    lock.unlock();
    if (done)
        m_thread.join();
    else
        m_thread.detach(); // blocked in the system: it ends with the process
}

void CBackgroundChecker::Wake() {
    ::SetEvent(m_shared->wake.get());
}
