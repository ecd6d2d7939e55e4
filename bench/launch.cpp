// Starts a program and measures it from inside Wine with blocking waits (no polling):
//   launch run <command line...>    time until the process ends; prints "<ms> <exit code>"
//   launch idle <command line...>   time until the process has a visible top-level window and is
//                                   idle for input; prints "<ms>", then closes it and waits
// A command line of "-" is read from standard input instead: Wine re-quotes Unix arguments, so
// a script that needs an exact Windows command line passes it that way.
//   launch hold                      a hidden window that lives until killed (keeps Wine's
//                                   desktop process up between the measured programs)
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "BenchClock.h"

namespace {

// The command line after the first two words, exactly as given.
std::string CommandAfterMode() {
    const char* line = ::GetCommandLineA();
    for (int words = 0; words < 2; ++words) {
        bool quoted = false;
        while (*line == ' ' || *line == '\t')
            ++line;
        while (*line && (quoted || (*line != ' ' && *line != '\t'))) {
            if (*line == '"')
                quoted = !quoted;
            ++line;
        }
    }
    while (*line == ' ' || *line == '\t')
        ++line;
    return line;
}

std::string ReadCommandFromInput() {
    char line[32768];
    if (!std::fgets(line, sizeof line, stdin))
        return std::string();
    std::string command = line;
    while (!command.empty() && (command.back() == '\n' || command.back() == '\r'))
        command.pop_back();
    return command;
}

struct WindowSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindVisibleWindow(HWND hWnd, LPARAM lParam) {
    auto search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(hWnd, &owner);
    if (owner == search->processId && ::IsWindowVisible(hWnd) && ::GetParent(hWnd) == nullptr) {
        search->found = hWnd;
        return FALSE;
    }
    return TRUE;
}

bool Start(std::string command, PROCESS_INFORMATION* process) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    return ::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            process);
}

int Hold() {
    HWND hidden = ::CreateWindowExA(0, "STATIC", "launch-hold", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                    ::GetModuleHandleA(nullptr), nullptr);
    (void)hidden;
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0)
        ::DispatchMessageA(&msg);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "hold") == 0)
        return Hold();
    if (argc < 3) {
        std::fprintf(stderr, "usage: launch run|idle <command line> | launch hold\n");
        return 2;
    }
    const bool untilIdle = std::strcmp(argv[1], "idle") == 0;
    PROCESS_INFORMATION process;
    std::string command = CommandAfterMode();
    if (command == "-")
        command = ReadCommandFromInput();
    const double start = NowMs();
    if (!Start(command, &process)) {
        std::fprintf(stderr, "launch: cannot start (%lu)\n", ::GetLastError());
        return 2;
    }
    if (!untilIdle) {
        ::WaitForSingleObject(process.hProcess, INFINITE);
        const double elapsed = NowMs() - start;
        DWORD code = 0;
        ::GetExitCodeProcess(process.hProcess, &code);
        std::printf("%.1f %lu\n", elapsed, code);
        return 0;
    }
    WindowSearch search = {process.dwProcessId, nullptr};
    while (search.found == nullptr) {
        if (::WaitForInputIdle(process.hProcess, 10000) != 0)
            break;
        ::EnumWindows(FindVisibleWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found == nullptr && ::WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0)
            break;
    }
    const double elapsed = NowMs() - start;
    if (search.found == nullptr) {
        std::fprintf(stderr, "launch: no visible window\n");
        ::TerminateProcess(process.hProcess, 1);
        return 1;
    }
    std::printf("%.1f\n", elapsed);
    ::PostMessageA(search.found, WM_CLOSE, 0, 0);
    ::WaitForSingleObject(process.hProcess, 10000);
    return 0;
}
