// The history of a backups folder read, filtered and planned for cleanup by the engine's own
// functions, in this process, timed on the performance counter:
//   historybench <backups folder> [--query TEXT]...
//   historybench --window
// Prints one figure a line, its name first:
//   first-day-ms      until the first day folder is read (the reader's first day callback)
//   all-ms            until the whole history is read
//   entries, unreadable-lines, unreadable-journals
//   private-bytes     before and after the reading, and where the figure comes from
//   bytes-per-record  the growth divided by the entries
//   keystroke         one line per key: the query so far, ms, matches (a query that only grew
//                     is filtered within the previous matches, as a search box would)
//   keystroke-max-ms, keystroke-median-ms
//   cleanup-ms        the cleanup plan for the whole history (copies older than its middle)
//   cleanup-copies    the copies and bytes that plan removes
// With --window the real program's classes start in this process as the entry point starts them,
// with the backups folder its settings name (Tallowbox.ini beside this executable); the history
// is opened through the main window's menu item, as a user opens it, and the program's message
// loop runs until the history window lists rows and then until it has read everything:
//   window-first-rows-ms  from the command posted until the window's list holds a row
//   window-all-rows-ms    until the window says it has read the whole history
//   window-rows           the rows it lists then
#include "bench/AppPump.h"
#include "bench/PrivateBytes.h"
#include "engine/journal/Cleanup.h"
#include "engine/journal/History.h"
#include "shell/history/HistoryWnd.h"
#include "shell/main/MainFrm.h"
#include "shell/main/TallowboxApp.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "BenchText.h"

namespace {

// Queries typed by default: a name in ASCII with a space, and a Japanese folder and name.
const wchar_t* const kDefaultQueries[] = {L"budget plan 2", L"港北センター\\工程表"};
// The cleanup is planned for copies older than this share of the history (newest first).
const double kCleanupShare = 0.5;
// The main window's menu item that opens the history.
const wchar_t* const kHistoryMenuText = L"履歴(&R)";
// Long enough for a year of backups under a slow Wine; a window that never lists is a bug.
const DWORD kListedWithinMs = 5 * 60 * 1000;
const DWORD kClosedWithinMs = 10 * 1000;

double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Reads the whole history, printing when the first day was read and how much memory it took.
void ReadAndMeasure(const std::wstring& root, CHistory& history) {
    const PrivateMemory before = PrivateBytes();
    volatile LONG stop = 0;
    double firstDayAt = -1;
    const double start = NowMs();
    ReadHistory(root, history, &stop, [&](size_t) {
        if (firstDayAt < 0)
            firstDayAt = NowMs();
    });
    const double end = NowMs();
    const PrivateMemory after = PrivateBytes();
    const size_t entries = history.entries.size();
    std::printf("first-day-ms %.1f\n", firstDayAt < 0 ? -1.0 : firstDayAt - start);
    std::printf("all-ms %.1f\n", end - start);
    std::printf("entries %zu\n", entries);
    std::printf("unreadable-lines %u\n", history.unreadableLines);
    std::printf("unreadable-journals %u\n", history.unreadableJournals);
    std::printf("private-bytes %llu %llu %s\n", before.bytes, after.bytes, after.source);
    const double growth = static_cast<double>(after.bytes) - static_cast<double>(before.bytes);
    std::printf("bytes-per-record %.1f\n", entries != 0 ? growth / static_cast<double>(entries) : 0.0);
}

// Types each query one key at a time: every key after the first only narrows, so it filters
// within the matches of the key before.
void TypeQueries(const CHistory& history, const std::vector<std::wstring>& queries) {
    std::vector<double> times;
    for (const std::wstring& query : queries) {
        std::vector<uint32_t> matches;
        for (size_t typed = 1; typed <= query.size(); ++typed) {
            const std::wstring sofar = query.substr(0, typed);
            const double start = NowMs();
            std::vector<uint32_t> narrowed =
                FilterHistory(history, sofar, std::wstring(), typed == 1 ? nullptr : &matches);
            const double ms = NowMs() - start;
            matches.swap(narrowed);
            times.push_back(ms);
            std::printf("keystroke \"%s\" %.2f %zu\n", Utf8(sofar).c_str(), ms, matches.size());
        }
    }
    std::printf("keystroke-max-ms %.2f\n",
                times.empty() ? 0.0 : *std::max_element(times.begin(), times.end()));
    std::printf("keystroke-median-ms %.2f\n", Median(times));
}

// Plans the cleanup of the copies older than a moment within the history.
void PlanCleanupTimed(const CHistory& history) {
    if (history.entries.empty())
        return;
    const size_t at = static_cast<size_t>(static_cast<double>(history.entries.size() - 1) * kCleanupShare);
    const double start = NowMs();
    const CleanupPlan plan = PlanCleanup(history, history.entries[at].time);
    const double ms = NowMs() - start;
    std::printf("cleanup-ms %.1f\n", ms);
    std::printf("cleanup-copies %llu %llu\n", static_cast<unsigned long long>(plan.copies),
                static_cast<unsigned long long>(plan.bytes));
}

// The command of the menu item with this text, searched through the menu and its submenus.
UINT FindMenuCommand(HMENU menu, const wchar_t* text) {
    const int count = menu != nullptr ? ::GetMenuItemCount(menu) : 0;
    for (int position = 0; position < count; ++position) {
        wchar_t itemText[128] = L"";
        ::GetMenuStringW(menu, static_cast<UINT>(position), itemText, 128, MF_BYPOSITION);
        if (HMENU sub = ::GetSubMenu(menu, position)) {
            if (const UINT command = FindMenuCommand(sub, text))
                return command;
        } else if (std::wcscmp(itemText, text) == 0) {
            return ::GetMenuItemID(menu, position);
        }
    }
    return 0;
}

// The list of a visible window of this thread other than the frame: the history window's.
struct ListSearch {
    HWND frame = nullptr;
    HWND list = nullptr;
};

BOOL CALLBACK FindListChild(HWND hWnd, LPARAM lParam) {
    wchar_t className[64] = L"";
    ::GetClassNameW(hWnd, className, 64);
    if (std::wcscmp(className, WC_LISTVIEWW) != 0)
        return TRUE;
    reinterpret_cast<ListSearch*>(lParam)->list = hWnd;
    return FALSE;
}

BOOL CALLBACK FindOtherWindowsList(HWND hWnd, LPARAM lParam) {
    auto* search = reinterpret_cast<ListSearch*>(lParam);
    if (hWnd != search->frame && ::IsWindowVisible(hWnd))
        ::EnumChildWindows(hWnd, FindListChild, lParam);
    return search->list == nullptr;
}

HWND HistoryList(HWND frame) {
    ListSearch search;
    search.frame = frame;
    ::EnumThreadWindows(::GetCurrentThreadId(), FindOtherWindowsList, reinterpret_cast<LPARAM>(&search));
    return search.list;
}

int ItemCount(HWND list) {
    return list != nullptr ? static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) : 0;
}

// Opens the history window the way a user does and times its first rows and its whole reading.
int TimeHistoryWindow() {
    static char emptyCommandLine[] = "";
    CTallowboxApp app;
    AfxWinInit(::GetModuleHandleW(nullptr), nullptr, emptyCommandLine, SW_SHOWNORMAL, L"");
    auto* frame = app.InitInstance() ? dynamic_cast<CMainFrame*>(app.m_pMainWnd) : nullptr;
    if (frame == nullptr) {
        std::fprintf(stderr, "historybench: the program did not start\n");
        return 1;
    }
    const UINT command = FindMenuCommand(::GetMenu(frame->m_hWnd), kHistoryMenuText);
    if (command == 0) {
        std::fprintf(stderr, "historybench: no history item in the main window's menu\n");
        return 1;
    }
    PumpPending(app);

    HWND list = nullptr;
    const double posted = NowMs();
    ::PostMessageW(frame->m_hWnd, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    const PumpResult listed = Pump(app, kListedWithinMs, [&] {
        list = list != nullptr ? list : HistoryList(frame->m_hWnd);
        return ItemCount(list) > 0;
    });
    const double listedAt = NowMs();
    const PumpResult loaded = listed != PumpResult::Done ? listed : Pump(app, kListedWithinMs, [&] {
        return frame->History() != nullptr && frame->History()->IsLoaded();
    });
    const double loadedAt = NowMs();
    int result = 0;
    if (loaded == PumpResult::Done) {
        std::printf("window-first-rows-ms %.1f\n", listedAt - posted);
        std::printf("window-all-rows-ms %.1f\n", loadedAt - posted);
        std::printf("window-rows %d\n", ItemCount(list));
    } else {
        std::fprintf(stderr, "historybench: the history window listed %d rows, then %s\n", ItemCount(list),
                     loaded == PumpResult::Quit ? "the program ended" : "no more within the time allowed");
        result = 3;
    }
    std::fflush(stdout);
    app.OnAppExit();
    if (Pump(app, kClosedWithinMs, [] { return false; }) == PumpResult::TimedOut)
        std::fprintf(stderr, "historybench: the program did not end within %lu ms of its close\n",
                     kClosedWithinMs);
    return result;
}

} // namespace

int main() {
    int argc = 0;
    UniqueArgv argv(::CommandLineToArgvW(::GetCommandLineW(), &argc));
    if (argv && argc == 2 && std::wstring(argv.get()[1]) == L"--window")
        return TimeHistoryWindow();
    if (!argv || argc < 2 || argc % 2 != 0) {
        std::fprintf(stderr, "usage: historybench <backups folder> [--query TEXT]... | --window\n");
        return 2;
    }
    const std::wstring root = argv.get()[1];
    std::vector<std::wstring> queries;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::wstring(argv.get()[i]) != L"--query") {
            std::fprintf(stderr, "historybench: unknown option\n");
            return 2;
        }
        queries.emplace_back(argv.get()[i + 1]);
    }
    if (queries.empty())
        queries.assign(std::begin(kDefaultQueries), std::end(kDefaultQueries));
    if (::GetFileAttributesW(root.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::fprintf(stderr, "historybench: no such folder\n");
        return 2;
    }

    CHistory history;
    ReadAndMeasure(root, history);
    TypeQueries(history, queries);
    PlanCleanupTimed(history);
    return history.entries.empty() ? 1 : 0;
}
