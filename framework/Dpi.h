// Display scale: every pixel size the program sets itself is written for 96 DPI and goes
// through Scale with the DPI of the window it is for. DpiOfWindow asks the system for a
// window's own DPI where it can (Windows 10 1607 and later), and the system DPI otherwise.
#pragma once

#include <windows.h>

// Sent by Windows 8.1 and 10 and later; the headers hide them below those versions.
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif
#ifndef WM_DPICHANGED_AFTERPARENT
#define WM_DPICHANGED_AFTERPARENT 0x02E3
#endif

// The DPI every pixel size in the sources is written for.
constexpr UINT kBaseDpi = 96;

// The DPI hWnd is shown at; the system DPI where the system cannot tell per window, or for nullptr.
UINT DpiOfWindow(HWND hWnd);

// px96, a size at 96 DPI, at dpi (rounded to the nearest pixel).
inline int Scale(int px96, UINT dpi) {
    return ::MulDiv(px96, static_cast<int>(dpi), static_cast<int>(kBaseDpi));
}

// The whole factor a pixel-art picture is enlarged by at dpi: 1 below 192, 2 up to 287, ...
inline int WholeScale(UINT dpi) {
    return dpi < kBaseDpi ? 1 : static_cast<int>(dpi / kBaseDpi);
}

// The dialog hDlg is laid out again by its own code on a scale change: the system's automatic
// re-layout of dialogs (Windows 10 1703 and later) is turned off so nothing is scaled twice.
void KeepDialogLayoutToProgram(HWND hDlg);
