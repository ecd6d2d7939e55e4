// Test helpers for the about box: reading pixels back from DCs and windows, building the
// pictures the controls should show with plain GDI calls, and counting live GDI objects.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A 32-bit top-down image: pixels as COLORREF (0x00BBGGRR).
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> data;

    COLORREF at(int x, int y) const { return data[static_cast<size_t>(y) * width + x]; }
    COLORREF& at(int x, int y) { return data[static_cast<size_t>(y) * width + x]; }
};

// Copies cx x cy at (0, 0) of hSource into a DIB and returns its pixels.
Pixels ReadPixels(HDC hSource, int cx, int cy);
// The client area of a visible window as it is on screen (after it has painted).
Pixels ReadClientPixels(HWND hWnd);

// Bitmap resource nID stretched (StretchBlt, default mode) into a cx x cy screen-compatible
// bitmap at (x, y) over a background of crBack, then its pure-white pixels replaced by crFace:
// what a control should show. Built with GDI alone, none of the program's code.
Pixels ExpectedPicture(UINT nID, int width, int height, int x, int y, int cx, int cy, COLORREF crBack,
                       COLORREF crFace);

// Live GDI objects of this process: GetGuiResources where it counts, else by probing the
// handle table (Wine accepts a handle's index without its generation).
int CountGdiObjects();
// How CountGdiObjects counts here: "GetGuiResources" or "probing".
const char* GdiCountMethod();
// Open kernel handles of this process: GetProcessHandleCount where it counts, else by probing
// the first 4096 handle values with GetHandleInformation (Wine hands out the lowest free one).
int CountKernelHandles();

// "(x, y) expected 0x.. seen 0x.." for the first few differing pixels, or "" when equal.
std::string DescribeDifferences(const Pixels& expected, const Pixels& seen, int maxReported = 5);

// Runs queued messages for about ms milliseconds (timers and posted messages included).
void PumpMessagesFor(DWORD ms);
