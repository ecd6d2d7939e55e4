// The history window of the running program measured from this separate process, as another
// program sees it: its memory before the history is opened and once it is listed, and the search
// box's keys, each timed from the key reaching the box until the list shows the count the text
// typed so far must give.
//   historyprobe [--query TEXT --expect N,N,...]... [--find-within-ms N] [--settle-ms N] [--keep-open]
// Waits for a visible top-level window titled "Tallowbox", opens the history with its menu
// item's command (履歴), waits until the window says it has read everything, then types each query one
// key at a time (WM_CHAR sent to the box) after clearing the box, and closes the program unless
// --keep-open. Prints one figure a line, its name first:
//   memory-before / memory-after   working set, private usage, committed private regions (bytes)
//   history-rows                   the rows listed
//   outside-growth                 growth of each of the three (bytes)
//   outside-bytes-per-record       growth of each of the three divided by the rows
//   outside-settled-bytes-per-record  with --settle-ms: the same growth that much later, once what
//                                  the disk holds is measured and what the reading freed is reused
//   outside-keystroke              the text so far, ms, the count listed
//   outside-keystroke-max-ms, outside-keystroke-median-ms
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "BenchText.h"
#include "res/resource.h"

namespace {

const wchar_t* const kStillReading = L"読み込み中";
const DWORD kAnswerWithinMs = 60000;
const double kListedWithinMs = 5 * 60 * 1000;
const double kKeyWithinMs = 10000;

struct Memory {
    unsigned long long workingSet = 0, privateUsage = 0, committedPrivate = 0;
};

// What the other process holds: the platform's counters, and its committed private regions added
// up (Wine reports no private usage).
Memory MemoryOf(HANDLE process) {
    Memory memory;
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                               sizeof counters)) {
        memory.workingSet = counters.WorkingSetSize;
        memory.privateUsage = counters.PrivateUsage;
    }
    MEMORY_BASIC_INFORMATION region;
    const char* address = nullptr;
    while (::VirtualQueryEx(process, address, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            memory.committedPrivate += region.RegionSize;
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= address)
            break;
        address = next;
    }
    return memory;
}

void PrintMemory(const char* name, const Memory& memory) {
    std::printf("%s %llu %llu %llu\n", name, memory.workingSet, memory.privateUsage, memory.committedPrivate);
}

double PerRecord(unsigned long long before, unsigned long long after, int rows) {
    return rows > 0 ? (static_cast<double>(after) - static_cast<double>(before)) / rows : 0.0;
}

LRESULT Ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kAnswerWithinMs, &result);
    return static_cast<LRESULT>(result);
}

std::wstring TextOf(HWND window) {
    wchar_t text[512] = L"";
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_NORMAL,
                          kAnswerWithinMs, &result);
    return text;
}

struct WindowSearch {
    DWORD process = 0;
    HWND frame = nullptr;
    HWND found = nullptr;
};

BOOL CALLBACK FindFrame(HWND hWnd, LPARAM lParam) {
    auto* search = reinterpret_cast<WindowSearch*>(lParam);
    wchar_t title[64] = L"";
    ::GetWindowTextW(hWnd, title, 64);
    if (!::IsWindowVisible(hWnd) || std::wcscmp(title, L"Tallowbox") != 0)
        return TRUE;
    search->found = hWnd;
    return FALSE;
}

// The history window: a visible top-level window of the program's process holding the history's list.
BOOL CALLBACK FindHistory(HWND hWnd, LPARAM lParam) {
    auto* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD process = 0;
    ::GetWindowThreadProcessId(hWnd, &process);
    if (hWnd == search->frame || process != search->process || !::IsWindowVisible(hWnd) ||
        ::GetDlgItem(hWnd, IDC_HISTORY_LIST) == nullptr)
        return TRUE;
    search->found = hWnd;
    return FALSE;
}

// Waits until ready() holds, looking every few milliseconds; false when the bound passed.
template <typename Ready> bool WaitFor(double withinMs, Ready ready) {
    const double start = NowMs();
    while (!ready()) {
        if (NowMs() - start > withinMs)
            return false;
        ::Sleep(1);
    }
    return true;
}

int Count(HWND list) {
    return static_cast<int>(Ask(list, LVM_GETITEMCOUNT));
}

struct Query {
    std::wstring text;
    std::vector<int> expected; // the count after each key
};

// Types each query a key at a time into the emptied box, timing each key until the list holds its count.
bool TypeQueries(HWND history, const std::vector<Query>& queries, int all) {
    HWND edit = ::GetDlgItem(history, IDC_HISTORY_SEARCH), list = ::GetDlgItem(history, IDC_HISTORY_LIST);
    std::vector<double> times;
    for (const Query& query : queries) {
        Ask(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
        if (!WaitFor(kKeyWithinMs, [&] { return Count(list) == all; })) {
            std::fprintf(stderr, "historyprobe: the emptied box did not list every row\n");
            return false;
        }
        for (size_t typed = 0; typed < query.text.size() && typed < query.expected.size(); ++typed) {
            const double start = NowMs();
            Ask(edit, WM_CHAR, query.text[typed], 1);
            const int expected = query.expected[typed];
            const bool listed = WaitFor(kKeyWithinMs, [&] { return Count(list) == expected; });
            const double ms = NowMs() - start;
            times.push_back(ms);
            std::printf("outside-keystroke \"%s\" %.2f %d\n", Utf8(query.text.substr(0, typed + 1)).c_str(),
                        ms, Count(list));
            if (!listed) {
                std::fprintf(stderr, "historyprobe: %d rows listed, %d expected\n", Count(list), expected);
                return false;
            }
        }
    }
    std::sort(times.begin(), times.end());
    std::printf("outside-keystroke-max-ms %.2f\n", times.empty() ? 0.0 : times.back());
    std::printf("outside-keystroke-median-ms %.2f\n", times.empty() ? 0.0 : times[times.size() / 2]);
    return true;
}

bool ParseQueries(int argc, LPWSTR* argv, std::vector<Query>* queries, double* findWithinMs, DWORD* settleMs,
                  bool* keepOpen) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring name = argv[i];
        if (name == L"--keep-open") {
            *keepOpen = true;
        } else if (name == L"--query" && i + 1 < argc) {
            queries->push_back({argv[++i], {}});
        } else if (name == L"--expect" && i + 1 < argc && !queries->empty()) {
            for (const wchar_t* p = argv[++i]; *p != L'\0';) {
                wchar_t* end = nullptr;
                queries->back().expected.push_back(static_cast<int>(std::wcstol(p, &end, 10)));
                p = *end == L',' ? end + 1 : end;
                if (end == p && *p != L'\0')
                    return false;
            }
        } else if (name == L"--find-within-ms" && i + 1 < argc) {
            *findWithinMs = std::wcstod(argv[++i], nullptr);
        } else if (name == L"--settle-ms" && i + 1 < argc) {
            *settleMs = static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10));
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

int main() {
    int argc = 0;
    UniqueArgv argv(::CommandLineToArgvW(::GetCommandLineW(), &argc));
    std::vector<Query> queries;
    double findWithinMs = 60000;
    bool keepOpen = false;
    DWORD settleMs = 0;
    if (!argv || !ParseQueries(argc, argv.get(), &queries, &findWithinMs, &settleMs, &keepOpen)) {
        std::fprintf(stderr, "usage: historyprobe [--query TEXT --expect N,N,...]... [--find-within-ms N] "
                             "[--settle-ms N] [--keep-open]\n");
        return 2;
    }
    WindowSearch search;
    if (!WaitFor(findWithinMs, [&] {
            ::EnumWindows(FindFrame, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        })) {
        std::fprintf(stderr, "historyprobe: no Tallowbox window\n");
        return 1;
    }
    search.frame = search.found;
    search.found = nullptr;
    ::GetWindowThreadProcessId(search.frame, &search.process);
    const std::unique_ptr<void, decltype(&::CloseHandle)> owned(
        ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, search.process), &::CloseHandle);
    HANDLE process = owned.get();
    if (process == nullptr) {
        std::fprintf(stderr, "historyprobe: cannot read the program's memory\n");
        return 1;
    }
    Ask(search.frame, WM_NULL);
    ::Sleep(1000); // the start settles
    const Memory before = MemoryOf(process);

    // The menu item's command (a menu cannot be read from another process under Wine).
    ::PostMessageW(search.frame, WM_COMMAND, MAKEWPARAM(ID_HISTORY, 0), 0);
    HWND history = nullptr;
    const bool read = WaitFor(kListedWithinMs, [&] {
        if (history == nullptr) {
            ::EnumWindows(FindHistory, reinterpret_cast<LPARAM>(&search));
            history = search.found;
        }
        return history != nullptr && Count(::GetDlgItem(history, IDC_HISTORY_LIST)) > 0 &&
               TextOf(::GetDlgItem(history, IDC_HISTORY_SUMMARY)).find(kStillReading) == std::wstring::npos;
    });
    if (!read) {
        std::fprintf(stderr, "historyprobe: the history was not read within the time allowed\n");
        return 1;
    }
    Ask(history, WM_NULL);
    ::Sleep(1000); // what the last part freed settles
    const Memory after = MemoryOf(process);
    const int rows = Count(::GetDlgItem(history, IDC_HISTORY_LIST));
    PrintMemory("memory-before", before);
    PrintMemory("memory-after", after);
    std::printf("history-rows %d\n", rows);
    std::printf("outside-growth %.0f %.0f %.0f\n", PerRecord(before.workingSet, after.workingSet, 1),
                PerRecord(before.privateUsage, after.privateUsage, 1),
                PerRecord(before.committedPrivate, after.committedPrivate, 1));
    std::printf("outside-bytes-per-record %.1f %.1f %.1f\n",
                PerRecord(before.workingSet, after.workingSet, rows),
                PerRecord(before.privateUsage, after.privateUsage, rows),
                PerRecord(before.committedPrivate, after.committedPrivate, rows));
    std::fflush(stdout);
    if (settleMs > 0) {
        ::Sleep(settleMs);
        Ask(history, WM_NULL);
        const Memory settled = MemoryOf(process);
        std::printf("outside-settled-bytes-per-record %.1f %.1f %.1f\n",
                    PerRecord(before.workingSet, settled.workingSet, rows),
                    PerRecord(before.privateUsage, settled.privateUsage, rows),
                    PerRecord(before.committedPrivate, settled.committedPrivate, rows));
        std::fflush(stdout);
    }
    const bool typed = TypeQueries(history, queries, rows);
    std::fflush(stdout);
    if (!keepOpen)
        ::PostMessageW(search.frame, WM_CLOSE, 0, 0);
    return typed ? 0 : 1;
}
