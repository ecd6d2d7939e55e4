// How long the program's window takes to answer a message from another process, measured from
// this separate process while the program works. Waits for a visible top-level window with the
// program's title (the real program's or the drop benchmark's), then every interval sends it
// WM_NULL and asks its list for its row count, timing each round trip on the performance
// counter, until the list holds the given number of rows, the window's process ends or the
// bound passes. Both messages are answered by the window's thread, so both round trips count:
// a wait hidden in the row-count question would otherwise go unseen.
//   answerprobe [--rows N] [--interval-ms N] [--timeout-ms N] [--find-within-ms N]
//               [--max-ms N] [--title TEXT] [--samples]
// Prints "probing" once it waits for the window, then with --samples one line per round trip
// ("sample <sent at ms> <round trip ms> answered|timeout|gone", sent at on the system-wide
// performance counter), then "answers <count> max <ms> p99 <ms> median <ms> timedout <count>
// gone <count> until rows|ended|bound". A round trip that reaches its timeout is recorded at the
// timeout; one cut short by the window's end, at the wait until then. No SMTO_ABORTIFHUNG: the
// system would then give up on a window that has not read messages for a while instead of
// measuring how long it really takes to answer.
#include <windows.h>
#include <commctrl.h>
#include <mmsystem.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "BenchClock.h"

namespace {

// Owns a kernel handle whose invalid value is NULL (a process handle).
class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE handle) : m_handle(handle) {}
    ~ScopedHandle() {
        if (m_handle != nullptr)
            ::CloseHandle(m_handle);
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

// Finer sleeps for the whole probe: the system's default tick is coarser than the interval.
class ScopedTimerResolution {
public:
    ScopedTimerResolution() : m_set(::timeBeginPeriod(1) == TIMERR_NOERROR) {}
    ~ScopedTimerResolution() {
        if (m_set)
            ::timeEndPeriod(1);
    }
    ScopedTimerResolution(const ScopedTimerResolution&) = delete;
    ScopedTimerResolution& operator=(const ScopedTimerResolution&) = delete;

private:
    bool m_set;
};

struct Options {
    int rows = 1;
    DWORD intervalMs = 10;
    DWORD timeoutMs = 60000;
    DWORD findWithinMs = 30000;
    DWORD maxMs = 15 * 60 * 1000;
    std::wstring title = L"Tallowbox";
    bool samples = false;
};

bool ParseOptions(int argc, LPWSTR* argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring name = argv[i];
        if (name == L"--samples") {
            options->samples = true;
            continue;
        }
        if (i + 1 >= argc)
            return false;
        const wchar_t* value = argv[++i];
        wchar_t* end = nullptr;
        const unsigned long number = std::wcstoul(value, &end, 10);
        const bool isNumber = end != value && *end == L'\0';
        if (name == L"--title")
            options->title = value;
        else if (!isNumber)
            return false;
        else if (name == L"--rows")
            options->rows = static_cast<int>(number);
        else if (name == L"--interval-ms")
            options->intervalMs = number;
        else if (name == L"--timeout-ms")
            options->timeoutMs = std::max(1ul, number);
        else if (name == L"--find-within-ms")
            options->findWithinMs = number;
        else if (name == L"--max-ms")
            options->maxMs = number;
        else
            return false;
    }
    return true;
}

struct WindowSearch {
    const std::wstring* title;
    HWND found;
};

BOOL CALLBACK FindTitledWindow(HWND hWnd, LPARAM lParam) {
    auto* search = reinterpret_cast<WindowSearch*>(lParam);
    if (!::IsWindowVisible(hWnd) || ::GetParent(hWnd) != nullptr)
        return TRUE;
    // The title of another process's window is read without sending it a message.
    wchar_t text[256] = L"";
    ::GetWindowTextW(hWnd, text, 256);
    if (*search->title != text)
        return TRUE;
    search->found = hWnd;
    return FALSE;
}

BOOL CALLBACK FindList(HWND hWnd, LPARAM lParam) {
    wchar_t className[64] = L"";
    ::GetClassNameW(hWnd, className, 64);
    if (std::wcscmp(className, WC_LISTVIEWW) != 0)
        return TRUE;
    *reinterpret_cast<HWND*>(lParam) = hWnd;
    return FALSE;
}

// How a round trip ended. A window that goes away while a message waits for it never answered:
// the wait until then is at least its answer time, so it is recorded too.
enum class Outcome { Answered, TimedOut, Gone };

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::Answered:
        return "answered";
    case Outcome::TimedOut:
        return "timeout";
    default:
        return "gone";
    }
}

struct Sample {
    double sentAt;
    double roundTrip;
    Outcome outcome;
};

// One message to the window's thread and back, recorded whatever the outcome.
Outcome TimedSend(HWND hWnd, UINT message, DWORD timeoutMs, std::vector<Sample>* samples, DWORD_PTR* result) {
    const double sentAt = NowMs();
    ::SetLastError(ERROR_SUCCESS);
    const LRESULT sent = ::SendMessageTimeoutW(hWnd, message, 0, 0, SMTO_NORMAL, timeoutMs, result);
    const double roundTrip = NowMs() - sentAt;
    const DWORD error = ::GetLastError();
    Outcome outcome = Outcome::Answered;
    if (sent == 0)
        outcome = ::IsWindow(hWnd) && (error == ERROR_TIMEOUT || error == ERROR_SUCCESS) ? Outcome::TimedOut
                                                                                         : Outcome::Gone;
    samples->push_back({sentAt, roundTrip, outcome});
    return outcome;
}

// Nearest rank: the smallest value with at least that share of the values at or below it.
double Percentile(const std::vector<double>& sorted, size_t percent) {
    const size_t rank = (percent * sorted.size() + 99) / 100;
    return sorted[std::min(sorted.size(), std::max<size_t>(rank, 1)) - 1];
}

} // namespace

int main() {
    int argc = 0;
    UniqueArgv argv(::CommandLineToArgvW(::GetCommandLineW(), &argc));
    Options options;
    if (!argv || !ParseOptions(argc, argv.get(), &options)) {
        std::fprintf(stderr, "usage: answerprobe [--rows N] [--interval-ms N] [--timeout-ms N] "
                             "[--find-within-ms N] [--max-ms N] [--title TEXT] [--samples]\n");
        return 2;
    }
    ScopedTimerResolution resolution;
    std::printf("probing\n");
    std::fflush(stdout);

    WindowSearch search = {&options.title, nullptr};
    const double findStart = NowMs();
    for (;;) {
        ::EnumWindows(FindTitledWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr)
            break;
        if (NowMs() - findStart > options.findWithinMs) {
            std::fprintf(stderr, "answerprobe: no visible window titled as asked within %lu ms\n",
                         options.findWithinMs);
            return 2;
        }
        ::Sleep(options.intervalMs);
    }
    HWND window = search.found;
    HWND list = nullptr;
    ::EnumChildWindows(window, FindList, reinterpret_cast<LPARAM>(&list));
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    ScopedHandle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));

    std::vector<Sample> samples;
    const char* until = "bound";
    const double probeStart = NowMs();
    while (NowMs() - probeStart < options.maxMs) {
        const double tickStart = NowMs();
        DWORD_PTR result = 0;
        if (TimedSend(window, WM_NULL, options.timeoutMs, &samples, &result) == Outcome::Gone) {
            until = "ended";
            break;
        }
        if (list != nullptr) {
            const Outcome counted = TimedSend(list, LVM_GETITEMCOUNT, options.timeoutMs, &samples, &result);
            if (counted == Outcome::Gone) {
                until = "ended";
                break;
            }
            if (counted == Outcome::Answered && static_cast<int>(result) >= options.rows) {
                until = "rows";
                break;
            }
        }
        if (process.get() != nullptr && ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) {
            until = "ended";
            break;
        }
        const double spent = NowMs() - tickStart;
        if (spent < options.intervalMs)
            ::Sleep(static_cast<DWORD>(options.intervalMs - spent));
    }

    std::vector<double> times;
    int timedOut = 0;
    int gone = 0;
    for (const Sample& sample : samples) {
        if (options.samples)
            std::printf("sample %.3f %.3f %s\n", sample.sentAt, sample.roundTrip,
                        OutcomeName(sample.outcome));
        times.push_back(sample.roundTrip);
        timedOut += sample.outcome == Outcome::TimedOut ? 1 : 0;
        gone += sample.outcome == Outcome::Gone ? 1 : 0;
    }
    std::sort(times.begin(), times.end());
    if (times.empty()) {
        std::printf("answers 0 max - p99 - median - timedout 0 gone 0 until %s\n", until);
        return 0;
    }
    std::printf("answers %zu max %.1f p99 %.1f median %.1f timedout %d gone %d until %s\n", times.size(),
                times.back(), Percentile(times, 99), Percentile(times, 50), timedOut, gone, until);
    return 0;
}
