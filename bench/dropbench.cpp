// The program with its window visible receiving a tree as a drop: the real application classes
// started in this process as the entry point starts them, a real WM_DROPFILES posted to the
// window that accepts drops, then the message loop pumped until the list shows one new row per
// dropped path. Nothing here assumes the drop handler copies before it returns: rows may be added
// later, by messages the copy posts to the window, so the loop waits for them (within a bound).
// The window is found through its styles and classes, not through the program's identifiers.
// Backups go beside this executable, as they do beside Tallowbox.exe.
//   dropbench <folder>...
// prints "<ms> <private bytes before> <private bytes after> <posted at> <listed at>", the last
// two on the system-wide performance counter in ms, so that another process's samples (the
// answer probe's) can be placed within the drop. Exit code 0: every row listed, none marked as
// failed or stopped; 1: a row is marked; 3: no rows within the bound or the window went away.
#include "bench/AppPump.h"
#include "bench/PrivateBytes.h"
#include "shell/main/TallowboxApp.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "BenchClock.h"

namespace {

// Long enough for a copy of 10,000 files under a slow Wine; a loop that never ends is a bug.
const DWORD kListedWithinMs = 15 * 60 * 1000;
const DWORD kClosedWithinMs = 10 * 1000;

// A drop block owned until the window takes it: the receiver frees it with DragFinish once the
// post succeeded, so only a failed post leaves it to us.
class DropBlock {
public:
    explicit DropBlock(const std::vector<std::wstring>& paths) {
        size_t size = sizeof(DROPFILES) + sizeof(wchar_t);
        for (const std::wstring& path : paths)
            size += (path.size() + 1) * sizeof(wchar_t);
        m_hBlock = ::GlobalAlloc(GHND, size);
        auto* drop = static_cast<DROPFILES*>(m_hBlock != nullptr ? ::GlobalLock(m_hBlock) : nullptr);
        if (drop == nullptr)
            return;
        drop->pFiles = sizeof(DROPFILES);
        drop->fWide = TRUE;
        auto* text = reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(drop) + sizeof(DROPFILES));
        for (const std::wstring& path : paths) {
            std::wmemcpy(text, path.c_str(), path.size() + 1);
            text += path.size() + 1;
        }
        ::GlobalUnlock(m_hBlock);
    }
    ~DropBlock() {
        if (m_hBlock != nullptr)
            ::GlobalFree(m_hBlock);
    }
    DropBlock(const DropBlock&) = delete;
    DropBlock& operator=(const DropBlock&) = delete;

    bool IsValid() const { return m_hBlock != nullptr; }
    // Posts the block as a drop; on success the window owns it.
    bool PostTo(HWND hWnd) {
        if (!::PostMessageW(hWnd, WM_DROPFILES, reinterpret_cast<WPARAM>(m_hBlock), 0))
            return false;
        m_hBlock = nullptr;
        return true;
    }

private:
    HGLOBAL m_hBlock = nullptr;
};

struct ChildSearch {
    HWND dropTarget = nullptr;
    HWND list = nullptr;
};

BOOL CALLBACK FindDropTargetAndList(HWND hWnd, LPARAM lParam) {
    auto* search = reinterpret_cast<ChildSearch*>(lParam);
    if (search->dropTarget == nullptr && (::GetWindowLongW(hWnd, GWL_EXSTYLE) & WS_EX_ACCEPTFILES))
        search->dropTarget = hWnd;
    wchar_t className[64] = L"";
    ::GetClassNameW(hWnd, className, 64);
    if (search->list == nullptr && std::wcscmp(className, WC_LISTVIEWW) == 0)
        search->list = hWnd;
    return search->dropTarget == nullptr || search->list == nullptr;
}

int ItemCount(HWND list) {
    return static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
}

// A row whose destination (the last column) starts with a bracketed mark, as a failed or stopped
// item's does, instead of a path.
bool RowIsMarked(HWND list, int row) {
    HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
    const int columns =
        header != nullptr ? static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    if (columns <= 0)
        return false;
    wchar_t text[1024] = L"";
    LVITEMW item = {};
    item.iSubItem = columns - 1;
    item.pszText = text;
    item.cchTextMax = 1024;
    ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text[0] == L'(';
}

} // namespace

int main() {
    int argc = 0;
    UniqueArgv argv(::CommandLineToArgvW(::GetCommandLineW(), &argc));
    if (!argv || argc < 2) {
        std::fprintf(stderr, "usage: dropbench <folder>...\n");
        return 2;
    }
    const std::vector<std::wstring> paths(argv.get() + 1, argv.get() + argc);

    static char emptyCommandLine[] = "";
    CTallowboxApp app;
    AfxWinInit(::GetModuleHandleW(nullptr), nullptr, emptyCommandLine, SW_SHOWNORMAL, L"");
    if (!app.InitInstance() || app.m_pMainWnd == nullptr) {
        std::fprintf(stderr, "dropbench: the program did not start\n");
        return 1;
    }
    HWND frame = app.m_pMainWnd->m_hWnd;
    ChildSearch search;
    if (::GetWindowLongW(frame, GWL_EXSTYLE) & WS_EX_ACCEPTFILES)
        search.dropTarget = frame;
    ::EnumChildWindows(frame, FindDropTargetAndList, reinterpret_cast<LPARAM>(&search));
    if (search.dropTarget == nullptr || search.list == nullptr) {
        std::fprintf(stderr, "dropbench: no window that accepts drops, or no list\n");
        return 1;
    }
    PumpPending(app);

    const int rowsBefore = ItemCount(search.list);
    const int rowsExpected = rowsBefore + static_cast<int>(paths.size());
    DropBlock block(paths);
    if (!block.IsValid()) {
        std::fprintf(stderr, "dropbench: no memory for the drop\n");
        return 1;
    }
    const unsigned long long before = PrivateBytes().bytes;
    const double posted = NowMs();
    if (!block.PostTo(search.dropTarget)) {
        std::fprintf(stderr, "dropbench: the drop could not be posted (%lu)\n", ::GetLastError());
        return 1;
    }
    const PumpResult listed =
        Pump(app, kListedWithinMs, [&] { return ItemCount(search.list) >= rowsExpected; });
    const double listedAt = NowMs();
    const unsigned long long after = PrivateBytes().bytes;
    if (listed != PumpResult::Done) {
        std::fprintf(stderr, "dropbench: %d of %d rows listed, then %s\n",
                     ItemCount(search.list) - rowsBefore, static_cast<int>(paths.size()),
                     listed == PumpResult::Quit ? "the program ended" : "no more within the time allowed");
        return 3;
    }
    int marked = 0;
    for (int row = rowsBefore; row < rowsExpected; ++row)
        marked += RowIsMarked(search.list, row) ? 1 : 0;
    std::printf("%.1f %llu %llu %.3f %.3f\n", listedAt - posted, before, after, posted, listedAt);
    std::fflush(stdout);

    // What other processes sent while the rows were awaited is answered before the close, as the
    // program's own loop would answer it, so that an outside prober sees when the window was free.
    PumpPending(app);
    app.OnAppExit();
    if (Pump(app, kClosedWithinMs, [] { return false; }) == PumpResult::TimedOut)
        std::fprintf(stderr, "dropbench: the program did not end within %lu ms of its close\n",
                     kClosedWithinMs);
    if (marked != 0) {
        std::fprintf(stderr, "dropbench: %d of the rows are marked as failed or stopped\n", marked);
        return 1;
    }
    return 0;
}
