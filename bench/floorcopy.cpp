// The benchmark's floor: the least any program can cost to copy a tree under this Wine.
// A plain FindFirstFileA / CreateDirectoryA / CopyFileA walk. With --ui it also does, before each
// file, what Tallowbox must show: repaint a view and put a progress text into a status bar with
// immediate update (hidden or visible window).
//   floorcopy [--ui hidden|visible] <source folder> <destination folder>
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct Ui {
    HWND frame = nullptr;
    HWND view = nullptr;
    HWND status = nullptr;
};

Ui g_ui;
bool g_withUi = false;
unsigned long g_failures = 0;

void ShowProgress(const std::string& path) {
    if (!g_withUi)
        return;
    ::UpdateWindow(g_ui.view);
    const std::string text = path + "をバックアップ中です...";
    ::SendMessageA(g_ui.status, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text.c_str()));
    ::UpdateWindow(g_ui.status);
}

void CopyTree(const std::string& source, const std::string& destination) {
    WIN32_FIND_DATAA entry;
    HANDLE find = ::FindFirstFileA((source + "\\*.*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        if (std::strcmp(entry.cFileName, ".") == 0 || std::strcmp(entry.cFileName, "..") == 0)
            continue;
        const std::string from = source + "\\" + entry.cFileName;
        const std::string to = destination + "\\" + entry.cFileName;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ::CreateDirectoryA(to.c_str(), nullptr);
            CopyTree(from, to);
        } else {
            ShowProgress(from);
            if (!::CopyFileA(from.c_str(), to.c_str(), FALSE))
                ++g_failures;
        }
    } while (::FindNextFileA(find, &entry));
    ::FindClose(find);
}

void MakeUi(bool visible) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&controls);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ::DefWindowProcA;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "FloorCopyFrame";
    ::RegisterClassA(&wc);
    g_ui.frame = ::CreateWindowExA(0, "FloorCopyFrame", "floorcopy", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                   CW_USEDEFAULT, 400, 300, nullptr, nullptr, wc.hInstance, nullptr);
    g_ui.view = ::CreateWindowExA(WS_EX_CLIENTEDGE, "SysListView32", "", WS_CHILD | WS_VISIBLE | LVS_REPORT,
                                  0, 0, 380, 230, g_ui.frame, nullptr, wc.hInstance, nullptr);
    g_ui.status = ::CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0,
                                    0, g_ui.frame, nullptr, wc.hInstance, nullptr);
    if (visible) {
        ::ShowWindow(g_ui.frame, SW_SHOW);
        ::UpdateWindow(g_ui.frame);
    }
}

} // namespace

int main(int argc, char** argv) {
    int first = 1;
    if (argc >= 3 && std::strcmp(argv[1], "--ui") == 0) {
        g_withUi = true;
        MakeUi(std::strcmp(argv[2], "visible") == 0);
        first = 3;
    }
    if (argc - first != 2) {
        std::fprintf(stderr, "usage: floorcopy [--ui hidden|visible] <source> <destination>\n");
        return 2;
    }
    const std::string destination = argv[first + 1];
    ::CreateDirectoryA(destination.c_str(), nullptr);
    CopyTree(argv[first], destination);
    if (g_ui.frame != nullptr)
        ::DestroyWindow(g_ui.frame);
    if (g_failures != 0) {
        std::fprintf(stderr, "floorcopy: %lu copies failed\n", g_failures);
        return 1;
    }
    return 0;
}
