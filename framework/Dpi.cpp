#include "Dpi.h"

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);

// A function of user32 that only newer systems have; nullptr on the others.
template <typename Fn> Fn User32Function(const char* name) {
    return reinterpret_cast<Fn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("user32.dll"), name)));
}

// GetDpiForWindow from user32 when this system has it; looked up once.
GetDpiForWindowFn PerWindowQuery() {
    static const GetDpiForWindowFn query = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
    return query;
}

UINT SystemDpi() {
    HDC hScreen = ::GetDC(nullptr);
    if (hScreen == nullptr)
        return kBaseDpi;
    const int dpi = ::GetDeviceCaps(hScreen, LOGPIXELSY);
    ::ReleaseDC(nullptr, hScreen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

} // namespace

UINT DpiOfWindow(HWND hWnd) {
    if (hWnd != nullptr) {
        if (GetDpiForWindowFn query = PerWindowQuery()) {
            const UINT dpi = query(hWnd);
            if (dpi != 0)
                return dpi;
        }
    }
    return SystemDpi();
}

void KeepDialogLayoutToProgram(HWND hDlg) {
    using SetBehaviorFn = BOOL(WINAPI*)(HWND, int, int);
    const int disableAll = 1; // DDC_DISABLE_ALL
    if (auto setBehavior = User32Function<SetBehaviorFn>("SetDialogDpiChangeBehavior"))
        setBehavior(hDlg, disableAll, disableAll);
}
