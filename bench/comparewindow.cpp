// The real two-texts window on the data make_compare.py writes: the program's classes started in
// this process as the entry point starts them, the window opened as the row command opens it
// (CCompareWnd::Open with the two files), and the program's message loop run until it shows.
//   comparewindow <compare data folder>
// Prints one figure a line, its name first:
//   window-text-ms        two 100,000-line texts with 1 % changed: from the command until the
//                         window has painted its first change
//   window-text-steps     of those, until the window was made, and until the result arrived
//   window-text-top       the row at the top then (the first change, a few rows of context above)
//   window-text-memory    the private memory at its peak meanwhile, what the window holds after,
//                         and the two files' sizes (bytes)
//   window-page-ms        then a page down painted, on average over the first pages (the changes
//                         within the changed lines in sight worked out as they come), and the pages
//   window-disjoint-ms    two 200,000-line texts with no line in common: until the summary shows
//   window-disjoint-stall-ms  the longest the window took to answer a message meanwhile, asked
//                         from another thread every 5 ms
#include "bench/AppPump.h"
#include "bench/PrivateBytes.h"
#include "res/resource.h"
#include "shell/compare/CompareWnd.h"
#include "shell/main/MainFrm.h"
#include "shell/main/TallowboxApp.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "BenchClock.h"
#include "BenchText.h"

namespace {

const DWORD kShownWithinMs = 120000;

CompareRequest RequestFor(const std::wstring& data, const wchar_t* older, const wchar_t* newer) {
    CompareRequest request;
    request.older.path = data + L"\\" + older;
    request.newer.path = data + L"\\" + newer;
    request.older.header = older;
    request.newer.header = newer;
    request.itemName = newer;
    return request;
}

// The peak of the private memory and the longest answer of the window, sampled from a thread of
// its own while the window's thread runs the loop.
class Sampler {
public:
    explicit Sampler(HWND window) : m_window(window), m_peak(PrivateBytes().bytes) {
        m_thread = std::thread([this] { Run(); });
    }
    ~Sampler() { Stop(); }
    // Called on the window's thread: the last question the sampler asks is answered while it ends.
    void Stop() {
        m_done = true;
        while (m_thread.joinable() && !m_finished) {
            MSG msg;
            ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE); // delivers the message sent meanwhile
            ::Sleep(1);
        }
        if (m_thread.joinable())
            m_thread.join();
    }
    unsigned long long Peak() const { return m_peak; }
    double LongestAnswerMs() const { return m_longest; }

private:
    void Run() {
        while (!m_done) {
            m_peak = std::max(m_peak.load(), PrivateBytes().bytes);
            const double asked = NowMs();
            DWORD_PTR answer = 0;
            ::SendMessageTimeoutW(m_window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer);
            m_longest = std::max(m_longest.load(), NowMs() - asked);
            ::Sleep(5);
        }
        m_finished = true;
    }
    HWND m_window;
    std::atomic<bool> m_done{false}, m_finished{false};
    std::atomic<unsigned long long> m_peak;
    std::atomic<double> m_longest{0};
    std::thread m_thread;
};

// Pages down from the top as the scroll bar asks for them, each painted before the next.
void PrintPaging(HWND panes) {
    const int kPages = 400;
    ::SendMessageW(panes, WM_VSCROLL, SB_TOP, 0);
    ::UpdateWindow(panes);
    const double start = NowMs();
    for (int page = 0; page < kPages; ++page) {
        ::SendMessageW(panes, WM_VSCROLL, SB_PAGEDOWN, 0);
        ::UpdateWindow(panes);
    }
    std::printf("window-page-ms %.2f %d\n", (NowMs() - start) / kPages, kPages);
}

int Run(CWinApp& app, HWND frame, const std::wstring& data) {
    // The 1 % case: from the command to the first change painted.
    const unsigned long long before = PrivateBytes().bytes;
    const double start = NowMs();
    CCompareWnd* window = CCompareWnd::Open(frame, RequestFor(data, L"older.txt", L"newer.txt"));
    if (window == nullptr) {
        std::fprintf(stderr, "comparewindow: the window did not open\n");
        return 1;
    }
    const double opened = NowMs() - start;
    Sampler memory(window->m_hWnd);
    if (Pump(app, kShownWithinMs, [&] { return window->IsDone(); }) != PumpResult::Done) {
        std::fprintf(stderr, "comparewindow: no compare within the time allowed\n");
        return 3;
    }
    const double arrived = NowMs() - start;
    ::UpdateWindow(::GetDlgItem(window->m_hWnd, IDC_COMPARE_PANES));
    const double shown = NowMs() - start;
    memory.Stop();
    const FileComparison* compared = window->Comparison();
    if (compared == nullptr || compared->outcome != FileCompareOutcome::Texts) {
        std::fprintf(stderr, "comparewindow: not compared as texts\n");
        return 1;
    }
    std::printf("window-text-ms %.1f\n", shown);
    std::printf("window-text-steps %.1f %.1f (opened, result arrived)\n", opened, arrived);
    std::printf("window-text-top %zu (first change at row %u)\n", window->TopRow(),
                compared->lines.PlaceCount() > 0 ? compared->lines.Places()[0].firstRow : 0u);
    std::printf("window-text-memory %llu %llu %llu\n", memory.Peak() - before, PrivateBytes().bytes - before,
                compared->older.size + compared->newer.size);
    PrintPaging(::GetDlgItem(window->m_hWnd, IDC_COMPARE_PANES));
    ::DestroyWindow(window->m_hWnd);
    PumpPending(app);

    // No line in common: the window answers while it works, and shows the result.
    const double disjointStart = NowMs();
    window = CCompareWnd::Open(frame, RequestFor(data, L"disjoint-older.txt", L"disjoint-newer.txt"));
    if (window == nullptr)
        return 1;
    Sampler answers(window->m_hWnd);
    if (Pump(app, kShownWithinMs, [&] { return window->IsDone(); }) != PumpResult::Done)
        return 3;
    ::UpdateWindow(::GetDlgItem(window->m_hWnd, IDC_COMPARE_PANES));
    const double disjoint = NowMs() - disjointStart;
    answers.Stop();
    std::printf("window-disjoint-ms %.1f\n", disjoint);
    std::printf("window-disjoint-stall-ms %.1f\n", answers.LongestAnswerMs());
    ::DestroyWindow(window->m_hWnd);
    PumpPending(app);
    return 0;
}

} // namespace

int main() {
    int argc = 0;
    UniqueArgv argv(::CommandLineToArgvW(::GetCommandLineW(), &argc));
    if (!argv || argc != 2) {
        std::fprintf(stderr, "usage: comparewindow <compare data folder>\n");
        return 2;
    }
    static char emptyCommandLine[] = "";
    CTallowboxApp app;
    AfxWinInit(::GetModuleHandleW(nullptr), nullptr, emptyCommandLine, SW_SHOWNORMAL, L"");
    auto* frame = app.InitInstance() ? dynamic_cast<CMainFrame*>(app.m_pMainWnd) : nullptr;
    if (frame == nullptr) {
        std::fprintf(stderr, "comparewindow: the program did not start\n");
        return 1;
    }
    PumpPending(app);
    const int result = Run(app, frame->m_hWnd, argv.get()[1]);
    std::fflush(stdout);
    app.OnAppExit();
    Pump(app, 10000, [] { return false; });
    return result;
}
