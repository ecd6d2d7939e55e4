// The program with its window visible receiving a tree as a drop: the real application classes
// started in this process as the entry point starts them, a real WM_DROPFILES posted to the
// view, timed from the post until the item's row is listed. Backups go beside this executable,
// as they do beside Tallowbox.exe.
//   dropbench <folder>...     prints "<ms> <private bytes before> <private bytes after>"
#include "framework/FrameworkIds.h"
#include "res/resource.h"
#include "shell/TallowboxApp.h"

#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

double NowMs() {
    LARGE_INTEGER frequency, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Private memory of this process. Wine reports no private usage, so there it is read from the
// host's view of the process (its resident anonymous memory), reachable through drive Z:.
SIZE_T PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof counters);
    if (counters.PrivateUsage != 0)
        return counters.PrivateUsage;
    std::FILE* status = std::fopen("Z:\\proc\\self\\status", "r");
    if (status == nullptr)
        return 0;
    char line[256];
    unsigned long long kib = 0;
    while (std::fgets(line, sizeof line, status)) {
        if (std::sscanf(line, "RssAnon: %llu kB", &kib) == 1)
            break;
    }
    std::fclose(status);
    return static_cast<SIZE_T>(kib * 1024);
}

// A DROPFILES block listing the paths, as the shell posts it.
HGLOBAL MakeDropBlock(const std::vector<std::string>& paths) {
    size_t size = sizeof(DROPFILES) + 1;
    for (const std::string& path : paths)
        size += path.size() + 1;
    HGLOBAL block = ::GlobalAlloc(GHND, size);
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(block));
    drop->pFiles = sizeof(DROPFILES);
    char* text = reinterpret_cast<char*>(drop) + sizeof(DROPFILES);
    for (const std::string& path : paths) {
        std::memcpy(text, path.c_str(), path.size() + 1);
        text += path.size() + 1;
    }
    ::GlobalUnlock(block);
    return block;
}

void PumpUntil(CWinApp& app, HWND list, int rows) {
    MSG msg;
    while (::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) < rows) {
        if (::GetMessageA(&msg, nullptr, 0, 0) <= 0)
            return;
        app.ProcessMessage(msg);
    }
}

void PumpPending(CWinApp& app) {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        app.ProcessMessage(msg);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: dropbench <folder>...\n");
        return 2;
    }
    static char emptyCommandLine[] = "";
    CTallowboxApp app;
    AfxWinInit(::GetModuleHandleA(nullptr), nullptr, emptyCommandLine, SW_SHOWNORMAL, L"");
    if (!app.InitInstance()) {
        std::fprintf(stderr, "dropbench: the program did not start\n");
        return 1;
    }
    HWND frame = app.m_pMainWnd->m_hWnd;
    HWND view = ::GetDlgItem(frame, AFX_IDW_PANE_FIRST);
    HWND list = ::GetDlgItem(view, IDC_BACKUP_LIST);
    PumpPending(app);

    const std::vector<std::string> paths(argv + 1, argv + argc);
    const SIZE_T before = PrivateBytes();
    const double start = NowMs();
    ::PostMessageA(view, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDropBlock(paths)), 0);
    PumpUntil(app, list, static_cast<int>(paths.size()));
    const double elapsed = NowMs() - start;
    const SIZE_T after = PrivateBytes();
    std::printf("%.1f %llu %llu\n", elapsed, static_cast<unsigned long long>(before),
                static_cast<unsigned long long>(after));

    app.OnAppExit();
    PumpPending(app);
    return 0;
}
