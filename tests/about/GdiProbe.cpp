#include "GdiProbe.h"

#include "framework/Wnd.h"

#include <cstdio>

namespace {

// A 32-bit top-down DIB section selected into its own memory DC; cleaned up in reverse.
class DibSurface {
public:
    DibSurface(int cx, int cy) : m_cx(cx), m_cy(cy) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = cx;
        info.bmiHeader.biHeight = -cy;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        m_hDC = ::CreateCompatibleDC(nullptr);
        m_hBitmap = ::CreateDIBSection(m_hDC, &info, DIB_RGB_COLORS, &m_bits, nullptr, 0);
        m_hPrevious = ::SelectObject(m_hDC, m_hBitmap);
    }
    ~DibSurface() {
        ::SelectObject(m_hDC, m_hPrevious);
        ::DeleteObject(m_hBitmap);
        ::DeleteDC(m_hDC);
    }
    DibSurface(const DibSurface&) = delete;
    DibSurface& operator=(const DibSurface&) = delete;

    HDC dc() const { return m_hDC; }

    Pixels Read() const {
        ::GdiFlush();
        Pixels out;
        out.width = m_cx;
        out.height = m_cy;
        out.data.resize(static_cast<size_t>(m_cx) * m_cy);
        const auto* bits = static_cast<const DWORD*>(m_bits);
        for (size_t i = 0; i < out.data.size(); ++i) {
            const DWORD bgr = bits[i] & 0x00FFFFFF; // DIB order is 0x00RRGGBB
            out.data[i] = RGB((bgr >> 16) & 0xFF, (bgr >> 8) & 0xFF, bgr & 0xFF);
        }
        return out;
    }

private:
    int m_cx;
    int m_cy;
    HDC m_hDC = nullptr;
    HBITMAP m_hBitmap = nullptr;
    HGDIOBJ m_hPrevious = nullptr;
    void* m_bits = nullptr;
};

} // namespace

Pixels ReadPixels(HDC hSource, int cx, int cy) {
    DibSurface surface(cx, cy);
    ::BitBlt(surface.dc(), 0, 0, cx, cy, hSource, 0, 0, SRCCOPY);
    return surface.Read();
}

Pixels ReadClientPixels(HWND hWnd) {
    RECT client;
    ::GetClientRect(hWnd, &client);
    HDC hDC = ::GetDC(hWnd);
    Pixels pixels = ReadPixels(hDC, client.right, client.bottom);
    ::ReleaseDC(hWnd, hDC);
    return pixels;
}

Pixels ExpectedPicture(UINT nID, int width, int height, int x, int y, int cx, int cy, COLORREF crBack,
                       COLORREF crFace) {
    HDC hScreen = ::GetDC(nullptr);
    HDC hSource = ::CreateCompatibleDC(hScreen);
    HDC hTarget = ::CreateCompatibleDC(hScreen);
    HBITMAP hLoaded = ::LoadBitmapA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(nID));
    HBITMAP hCanvas = ::CreateCompatibleBitmap(hScreen, width, height);
    HGDIOBJ hOldSource = ::SelectObject(hSource, hLoaded);
    HGDIOBJ hOldTarget = ::SelectObject(hTarget, hCanvas);
    BITMAP info = {};
    ::GetObjectA(hLoaded, sizeof info, &info);

    HBRUSH hBack = ::CreateSolidBrush(crBack);
    RECT all = {0, 0, width, height};
    ::FillRect(hTarget, &all, hBack);
    ::DeleteObject(hBack);
    ::StretchBlt(hTarget, x, y, cx, cy, hSource, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    Pixels picture = ReadPixels(hTarget, width, height);

    ::SelectObject(hTarget, hOldTarget);
    ::SelectObject(hSource, hOldSource);
    ::DeleteObject(hCanvas);
    ::DeleteObject(hLoaded);
    ::DeleteDC(hTarget);
    ::DeleteDC(hSource);
    ::ReleaseDC(nullptr, hScreen);

    for (COLORREF& pixel : picture.data) {
        if (pixel == RGB(255, 255, 255))
            pixel = crFace;
    }
    return picture;
}

int CountGdiObjects() {
    const DWORD counted = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
    if (counted != 0)
        return static_cast<int>(counted);
    int live = 0;
    for (ULONG_PTR index = 1; index < 0x10000; ++index) {
        if (::GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0)
            ++live;
    }
    return live;
}

const char* GdiCountMethod() {
    return ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS) != 0 ? "GetGuiResources" : "probing";
}

int CountKernelHandles() {
    DWORD count = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count != 0)
        return static_cast<int>(count);
    int open = 0;
    for (ULONG_PTR value = 4; value < 0x4000; value += 4) {
        DWORD flags;
        if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
            ++open;
    }
    return open;
}

std::string DescribeDifferences(const Pixels& expected, const Pixels& seen, int maxReported) {
    if (expected.width != seen.width || expected.height != seen.height) {
        char text[128];
        std::snprintf(text, sizeof text, "size expected %dx%d seen %dx%d", expected.width, expected.height,
                      seen.width, seen.height);
        return text;
    }
    std::string report;
    int differing = 0;
    for (int y = 0; y < seen.height; ++y) {
        for (int x = 0; x < seen.width; ++x) {
            if (expected.at(x, y) == seen.at(x, y))
                continue;
            if (differing++ < maxReported) {
                char text[96];
                std::snprintf(text, sizeof text, "(%d, %d) expected 0x%06lX seen 0x%06lX; ", x, y,
                              static_cast<unsigned long>(expected.at(x, y)),
                              static_cast<unsigned long>(seen.at(x, y)));
                report += text;
            }
        }
    }
    if (differing > maxReported)
        report += std::to_string(differing) + " pixels differ in all";
    return report;
}

void PumpMessagesFor(DWORD ms) {
    const DWORD start = ::GetTickCount();
    MSG msg;
    while (::GetTickCount() - start < ms) {
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (CWnd::WalkPreTranslateTree(nullptr, &msg))
                continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}
