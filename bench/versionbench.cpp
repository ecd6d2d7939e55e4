// A watched 1 MiB file saved, timed from the end of the save's last write to the version's row in
// the real program's list: the application classes started in this process as the entry point
// starts them, with the backups beside this executable (versionbench-run\backups) and the item in the
// watch list before the start. The default settle time (2 s) applies.
//   versionbench [saves]
// prints one line per save, "<ms>", then "max <ms>". Exit code 0: every save listed as one
// automatic row; 1: the program did not start; 3: a save gave no row within the bound.
#include "bench/AppPump.h"
#include "engine/base/BackupPaths.h"
#include "shell/document/TallowboxDoc.h"
#include "shell/main/MainFrm.h"
#include "shell/main/TallowboxApp.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "BenchClock.h"

namespace {

const DWORD kListedWithinMs = 30 * 1000;
const size_t kItemBytes = 1024 * 1024;

bool WriteWhole(const std::wstring& path, const std::string& bytes) {
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
    return ok && written == bytes.size();
}

BOOL CALLBACK FindList(HWND hWnd, LPARAM lParam) {
    wchar_t className[64] = L"";
    ::GetClassNameW(hWnd, className, 64);
    if (std::wcscmp(className, WC_LISTVIEWW) != 0)
        return TRUE;
    *reinterpret_cast<HWND*>(lParam) = hWnd;
    return FALSE;
}

std::string Utf8(const std::wstring& text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size > 0 ? size : 1), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &bytes[0], size, nullptr, nullptr);
    bytes.resize(bytes.size() - 1);
    return bytes;
}

int ItemCount(HWND list) {
    return static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
}

} // namespace

int main() {
    int argc = 0;
    UniqueArgv argv(::CommandLineToArgvW(::GetCommandLineW(), &argc));
    const int saves = argc > 1 ? std::max(1, _wtoi(argv.get()[1])) : 5;

    const std::wstring folder = GetModuleFolder() + L"\\versionbench-run";
    const std::wstring item = folder + L"\\item.bin";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ::CreateDirectoryW((folder + L"\\backups").c_str(), nullptr);
    std::string bytes(kItemBytes, 'a');
    if (!WriteWhole(item, bytes) ||
        !WriteWhole(folder + L"\\backups\\Tallowbox-watch.tsv", "#Tallowbox-watch 1\n" + Utf8(item) + "\n")) {
        std::fprintf(stderr, "versionbench: cannot write below %ls\n", folder.c_str());
        return 1;
    }

    static char emptyCommandLine[] = "";
    CTallowboxDoc::OverrideProgramFolder(folder);
    CTallowboxApp app;
    AfxWinInit(::GetModuleHandleW(nullptr), nullptr, emptyCommandLine, SW_SHOWNORMAL, L"");
    HWND list = nullptr;
    if (!app.InitInstance() || app.m_pMainWnd == nullptr ||
        (::EnumChildWindows(app.m_pMainWnd->m_hWnd, FindList, reinterpret_cast<LPARAM>(&list)),
         list == nullptr)) {
        std::fprintf(stderr, "versionbench: the program did not start\n");
        return 1;
    }
    // The version made at the start (the item has no copy yet).
    Pump(app, kListedWithinMs, [&] { return ItemCount(list) >= 1; });

    double slowest = 0;
    int result = 0;
    for (int save = 0; save < saves && result == 0; ++save) {
        Pump(app, 1500, [] { return false; }); // the next minute folder is not needed: a copy replaces
        const int before = ItemCount(list);
        std::fill(bytes.begin(), bytes.end(), static_cast<char>('b' + save % 20));
        WriteWhole(item, bytes);
        const double saved = NowMs();
        if (Pump(app, kListedWithinMs, [&] { return ItemCount(list) > before; }) != PumpResult::Done) {
            std::fprintf(stderr, "versionbench: save %d gave no row\n", save + 1);
            result = 3;
            break;
        }
        const double ms = NowMs() - saved;
        slowest = std::max(slowest, ms);
        std::printf("%.0f\n", ms);
    }
    std::printf("max %.0f\n", slowest);
    std::fflush(stdout);
    CMainFrame::s_pfnAsk = [](HWND, const std::wstring&, UINT) { return IDYES; }; // closing while watching
    app.OnAppExit();
    Pump(app, 10000, [] { return false; });
    return result;
}
