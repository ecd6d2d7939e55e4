// Screenshot helper for docs/about-box.png: asks the running Tallowbox for its about box (the
// Help menu's command, posted to the main window), waits until the box has painted and writes
// its screen rectangle "x y width height" to the file named on the command line.
#include "resource.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

const char kAboutCaption[] = "Tallowboxのﾊﾞｰｼﾞｮﾝ情報";
const char kMainTitle[] = "Tallowbox";

// Polls for a window for up to timeoutMs; nullptr when none showed up.
template <typename Find>
HWND WaitForWindow(Find find, DWORD timeoutMs) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
        if (HWND hWnd = find())
            return hWnd;
        ::Sleep(100);
    }
    return nullptr;
}

HWND FindMainWindow() {
    HWND hWnd = ::FindWindowA(nullptr, kMainTitle);
    return hWnd != nullptr && ::GetMenu(hWnd) != nullptr && ::IsWindowVisible(hWnd) ? hWnd : nullptr;
}

HWND FindAboutBox() {
    HWND hWnd = ::FindWindowA(nullptr, kAboutCaption);
    return hWnd != nullptr && ::IsWindowVisible(hWnd) ? hWnd : nullptr;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR lpCmdLine, int) {
    const std::string rectFile = lpCmdLine != nullptr ? lpCmdLine : "";
    if (rectFile.empty())
        return 1;
    HWND hMain = WaitForWindow(FindMainWindow, 30000);
    if (hMain == nullptr) {
        std::fprintf(stderr, "about_box_shot: no Tallowbox main window\n");
        return 2;
    }
    ::PostMessageA(hMain, WM_COMMAND, MAKEWPARAM(ID_APP_ABOUT, 0), 0);
    HWND hAbout = WaitForWindow(FindAboutBox, 10000);
    if (hAbout == nullptr) {
        std::fprintf(stderr, "about_box_shot: the about box did not open\n");
        return 3;
    }
    ::Sleep(1500); // painted and settled
    RECT rect;
    ::GetWindowRect(hAbout, &rect);
    FILE* out = std::fopen(rectFile.c_str(), "w");
    if (out == nullptr)
        return 4;
    std::fprintf(out, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    std::fclose(out);
    return 0;
}
