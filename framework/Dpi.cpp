#include "Dpi.h"

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);

// GetDpiForWindow from user32 when this system has it; looked up once.
GetDpiForWindowFn PerWindowQuery() {
    static const GetDpiForWindowFn query = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
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
