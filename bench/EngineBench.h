// What the benchmarks that drive the engine in-process share: a host that only notes a failed row,
// a mirror host that waits for a phase, fixed moments, the dirty pages written out before a
// timing, medians, and the floor copier timed as a process of its own.
#pragma once

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "engine/mirror/Mirror.h"

class QuietHost : public CBackupHost {
public:
    void SetStatus(const StatusReport&) override {}
    void ShowCopying(StatusCode, const std::wstring&) override {}
    void CountCopied(ULONGLONG) override {}
    void AppendRow(const BackupRow& row) override { failed = failed || row.outcome != RowOutcome::Succeeded; }
    bool failed = false;
};

// Waits for the mirror's phase after a mark, as the tests do.
class StateWaiter : public CMirrorHost {
public:
    void MirrorStateChanged(const MirrorState& state) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_states.push_back(state);
        m_changed.notify_all();
    }
    size_t Mark() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_states.size();
    }
    MirrorState WaitFor(MirrorState::Phase phase, size_t mark, size_t copiedAtLeast = 0, size_t waiting = 0) {
        std::unique_lock<std::mutex> lock(m_mutex);
        MirrorState found;
        m_changed.wait_for(lock, std::chrono::minutes(10), [&] {
            for (size_t i = mark; i < m_states.size(); ++i)
                if (m_states[i].phase == phase && m_states[i].copied >= copiedAtLeast &&
                    m_states[i].waiting >= waiting) {
                    found = m_states[i];
                    return true;
                }
            return false;
        });
        return found;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<MirrorState> m_states;
};

inline SYSTEMTIME Minute(int minute) {
    SYSTEMTIME time{};
    time.wYear = 2026;
    time.wMonth = 12;
    time.wDay = 7;
    time.wHour = static_cast<WORD>(8 + minute / 60);
    time.wMinute = static_cast<WORD>(minute % 60);
    return time;
}

// The previous copy's dirty pages are written out before, not during, the next timing.
inline void Sync() {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    wchar_t line[] = L"sync";
    if (!CreateProcessW(L"Z:\\bin\\sync", line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return;
    WaitForSingleObject(process.hProcess, 60000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

inline double RunFloor(const std::wstring& floorcopy, const std::wstring& from, const std::wstring& to) {
    std::wstring line = L"\"" + floorcopy + L"\" \"" + from + L"\" \"" + to + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const double start = NowMs();
    if (!CreateProcessW(floorcopy.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    const double ms = NowMs() - start;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return ms;
}

