// DrawTransparent on screen-compatible memory DCs, checked pixel by pixel.
#include "GdiProbe.h"

#include "about/MyTBmp.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

namespace {

// A screen-compatible memory DC of cx x cy whose pixels come from colorAt(x, y).
class Surface {
public:
    Surface(int cx, int cy, const std::function<COLORREF(int, int)>& colorAt) : m_cx(cx), m_cy(cy) {
        HDC hScreen = ::GetDC(nullptr);
        m_dc.CreateCompatibleDC(hScreen);
        m_bitmap.CreateCompatibleBitmap(hScreen, cx, cy);
        ::ReleaseDC(nullptr, hScreen);
        m_selection = CSelection(m_dc.GetSafeHdc(), m_bitmap.GetSafeHandle());
        for (int y = 0; y < cy; ++y)
            for (int x = 0; x < cx; ++x)
                ::SetPixelV(m_dc.GetSafeHdc(), x, y, colorAt(x, y));
    }
    HDC dc() const { return m_dc.GetSafeHdc(); }
    Pixels Read() const { return ReadPixels(m_dc.GetSafeHdc(), m_cx, m_cy); }

private:
    int m_cx;
    int m_cy;
    CDC m_dc;
    CBitmap m_bitmap;
    CSelection m_selection;
};

COLORREF Backdrop(int x, int y) {
    return RGB(10 + x * 7, 20 + y * 11, 0x4D);
}

struct ColourCase {
    const char* name;
    COLORREF source;
    bool copied; // false: the destination keeps its own pixel
};

const ColourCase kWhiteTransparent[] = {
    {"pure white", RGB(255, 255, 255), false},  {"0xFEFEFE", RGB(254, 254, 254), true},
    {"black", RGB(0, 0, 0), true},              {"white but one blue step", RGB(255, 255, 254), true},
    {"white but one red step", RGB(254, 255, 255), true}, {"red", RGB(255, 0, 0), true},
    {"button-face grey", RGB(240, 240, 240), true},       {"dark blue", RGB(16, 48, 144), true},
};

} // namespace

// Each column of the source is one colour case, over a backdrop that differs per pixel.
TEST(DrawTransparent, WhiteIsTransparentEveryOtherColourIsCopied) {
    const int rows = 3;
    const int columns = static_cast<int>(std::size(kWhiteTransparent));
    Surface source(columns, rows, [](int x, int) { return kWhiteTransparent[x].source; });
    Surface dest(columns, rows, Backdrop);

    DrawTransparent(source.dc(), dest.dc(), 0, 0, columns, rows, 0, 0, RGB(255, 255, 255));

    const Pixels seen = dest.Read();
    for (int x = 0; x < columns; ++x) {
        const ColourCase& c = kWhiteTransparent[x];
        for (int y = 0; y < rows; ++y) {
            const COLORREF expected = c.copied ? c.source : Backdrop(x, y);
            EXPECT_EQ(expected, seen.at(x, y)) << c.name << " at (" << x << ", " << y << ")";
        }
    }
}

// The transparent colour is the argument, not white: magenta drops out, white is copied.
TEST(DrawTransparent, TheGivenColourIsTheTransparentOne) {
    const COLORREF magenta = RGB(255, 0, 255);
    const COLORREF colours[] = {magenta, RGB(255, 255, 255), RGB(254, 0, 255), RGB(0, 0, 0)};
    Surface source(4, 2, [&](int x, int) { return colours[x]; });
    Surface dest(4, 2, Backdrop);

    DrawTransparent(source.dc(), dest.dc(), 0, 0, 4, 2, 0, 0, magenta);

    const Pixels seen = dest.Read();
    for (int y = 0; y < 2; ++y) {
        EXPECT_EQ(Backdrop(0, y), seen.at(0, y)) << "magenta source at row " << y;
        EXPECT_EQ(RGB(255, 255, 255), seen.at(1, y)) << "white source at row " << y;
        EXPECT_EQ(RGB(254, 0, 255), seen.at(2, y)) << "near-magenta source at row " << y;
        EXPECT_EQ(RGB(0, 0, 0), seen.at(3, y)) << "black source at row " << y;
    }
}

// A block taken from (xSource, ySource) lands at (x, y); nothing outside it changes.
TEST(DrawTransparent, BlockAtAnOffsetLandsThereAndNothingElseChanges) {
    const int xSource = 3, ySource = 2, cx = 5, cy = 4, x = 6, y = 7;
    // Source: a checkerboard of white and colours that encode their own position.
    auto sourceColour = [](int sx, int sy) {
        return ((sx + sy) % 2 == 0) ? RGB(255, 255, 255) : RGB(100 + sx, 50 + sy, 200);
    };
    Surface source(12, 10, sourceColour);
    Surface dest(16, 14, Backdrop);

    DrawTransparent(source.dc(), dest.dc(), x, y, cx, cy, xSource, ySource, RGB(255, 255, 255));

    const Pixels seen = dest.Read();
    for (int dy = 0; dy < 14; ++dy) {
        for (int dx = 0; dx < 16; ++dx) {
            const bool inside = dx >= x && dx < x + cx && dy >= y && dy < y + cy;
            COLORREF expected = Backdrop(dx, dy);
            if (inside) {
                const COLORREF s = sourceColour(dx - x + xSource, dy - y + ySource);
                if (s != RGB(255, 255, 255))
                    expected = s;
            }
            EXPECT_EQ(expected, seen.at(dx, dy)) << (inside ? "inside" : "outside") << " the block at (" << dx
                                                 << ", " << dy << ")";
        }
    }
}

// Callers may hand a destination whose text and background colours are not black on white:
// the result must not depend on them, and they are given back.
TEST(DrawTransparent, DestinationColoursDoNotLeakIntoTheResult) {
    Surface source(2, 1, [](int x, int) { return x == 0 ? RGB(255, 255, 255) : RGB(1, 2, 3); });
    Surface dest(2, 1, Backdrop);
    ::SetTextColor(dest.dc(), RGB(200, 0, 0));
    ::SetBkColor(dest.dc(), RGB(0, 200, 0));

    DrawTransparent(source.dc(), dest.dc(), 0, 0, 2, 1, 0, 0, RGB(255, 255, 255));

    const Pixels seen = dest.Read();
    EXPECT_EQ(Backdrop(0, 0), seen.at(0, 0));
    EXPECT_EQ(RGB(1, 2, 3), seen.at(1, 0));
    EXPECT_EQ(RGB(200, 0, 0), ::GetTextColor(dest.dc()));
    EXPECT_EQ(RGB(0, 200, 0), ::GetBkColor(dest.dc()));
}

// Every temporary DC and bitmap is freed, and the callers' selections stay as they were.
TEST(DrawTransparent, LeavesNoObjectsAndKeepsSelections) {
    Surface source(30, 20, [](int x, int y) { return (x * y) % 3 ? RGB(255, 255, 255) : RGB(9, 9, 9); });
    Surface dest(30, 20, Backdrop);
    const HGDIOBJ sourceBitmap = ::GetCurrentObject(source.dc(), OBJ_BITMAP);
    const HGDIOBJ destBitmap = ::GetCurrentObject(dest.dc(), OBJ_BITMAP);
    DrawTransparent(source.dc(), dest.dc(), 0, 0, 30, 20, 0, 0, RGB(255, 255, 255)); // warm-up

    const int before = CountGdiObjects();
    for (int i = 0; i < 40; ++i)
        DrawTransparent(source.dc(), dest.dc(), 0, 0, 30, 20, 0, 0, RGB(255, 255, 255));
    const int after = CountGdiObjects();

    EXPECT_EQ(before, after) << "GDI objects before and after 40 calls";
    EXPECT_EQ(sourceBitmap, ::GetCurrentObject(source.dc(), OBJ_BITMAP));
    EXPECT_EQ(destBitmap, ::GetCurrentObject(dest.dc(), OBJ_BITMAP));
}

// The leak checks are only as good as the counter: it must see objects come and go.
TEST(GdiCounter, SeesObjectsComeAndGo) {
    const int before = CountGdiObjects();
    HBRUSH brushes[10];
    for (HBRUSH& brush : brushes)
        brush = ::CreateSolidBrush(RGB(1, 2, 3));
    HDC hDC = ::CreateCompatibleDC(nullptr);
    const int during = CountGdiObjects();
    ::DeleteDC(hDC);
    for (HBRUSH brush : brushes)
        ::DeleteObject(brush);
    const int after = CountGdiObjects();

    EXPECT_EQ(before + 11, during) << "counted by " << GdiCountMethod();
    EXPECT_EQ(before, after) << "counted by " << GdiCountMethod();
    std::printf("GDI objects counted by %s: %d live\n", GdiCountMethod(), after);
}

TEST(HandleCounter, SeesHandlesComeAndGo) {
    const int before = CountKernelHandles();
    HANDLE events[5];
    for (HANDLE& event : events)
        event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const int during = CountKernelHandles();
    for (HANDLE event : events)
        ::CloseHandle(event);
    EXPECT_EQ(before + 5, during);
    EXPECT_EQ(before, CountKernelHandles());
}
