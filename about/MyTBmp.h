// CMyTBmp: window class "MyTBmp", a passive control that shows one bitmap resource stretched
// over its client area on the button face, its pure-white pixels transparent. At a larger
// display scale the 96-DPI picture is enlarged by a whole factor and centred (LayOutPixelArt).
// The picture is composed once, in SetBitmap, into a memory DC; each paint is one copy of it.
// DrawTransparent, the masked copy it composes with, is shared with the link control.
#pragma once

#include "framework/Gdi.h"
#include "framework/Wnd.h"

// Copies the cx x cy block at (xSource, ySource) of hSource onto hDest at (x, y), leaving hDest
// unchanged wherever the source pixel is crTransparent. Leaves hSource's background colour set
// to crTransparent; every temporary DC and bitmap is freed.
void DrawTransparent(HDC hSource, HDC hDest, int x, int y, int cx, int cy, int xSource, int ySource,
                     COLORREF crTransparent);

// Where a picture drawn for 96 DPI goes in a cx x cy control at dpi: enlarged by the whole
// factor of the scale (so pixel art stays crisp), centred, never larger than the control.
// At 96 DPI it fills the control.
struct PixelArtLayout {
    int factor;
    int baseCx; // the picture's size at 96 DPI
    int baseCy;
    int x; // its corner in the control once enlarged
    int y;
};
PixelArtLayout LayOutPixelArt(int cx, int cy, UINT dpi);

// Stretches the cxSource x cySource picture of hSource into the 96-DPI block of layout less
// inset96 pixels on each side, then enlarges that by the layout's factor (nearest neighbour)
// onto hDest.
void DrawPixelArt(HDC hDest, const PixelArtLayout& layout, int inset96, HDC hSource, int cxSource,
                  int cySource);

// Registers a control class (DefWindowProc, arrow cursor, button-face background) for the
// module's instance unless it is registered already; throws CResourceException on failure.
void RegisterControlClass(LPCSTR lpszClassName);

class CMyTBmp : public CWnd {
public:
    static constexpr const char* kClassName = "MyTBmp";

    // Registers the window class when missing (throws CResourceException if it cannot).
    CMyTBmp();
    ~CMyTBmp() override;

    BOOL RegisterWindowClass();
    // Loads bitmap nIDResource and builds the picture for the current client size; a second
    // call rebuilds from the new bitmap. FALSE when the bitmap could not be loaded: the control
    // then shows the plain button face. FALSE and nothing done when there is no window yet.
    BOOL SetBitmap(UINT nIDResource);

    int GetBitmapID() const { return m_nBitmapID; }
    // The finished picture (nullptr before a bitmap has been built).
    HDC GetImageDC() const { return m_bBuffersCreated ? m_dcImage.GetSafeHdc() : nullptr; }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void OnPaint();
    void BuildImages();
    // A new scale: the control has its new size; the picture is made again for it.
    void OnDpiChangedAfterParent();
    // Lets go of every selection, then the bitmaps, then the DCs.
    void ReleaseImages();

    int m_nBitmapID = 0;
    BOOL m_bBitmapSet = FALSE;
    const COLORREF m_crTransparent = RGB(255, 255, 255);
    CDC m_dcSource;
    CDC m_dcStretched;
    CDC m_dcImage;
    CBitmap m_bmpSource;
    CBitmap m_bmpStretched;
    CBitmap m_bmpImage;
    BOOL m_bBuffersCreated = FALSE;
    BITMAP m_bmInfo{};
    // Declared last so they let go before the bitmaps and DCs above are deleted.
    CSelection m_selSource;
    CSelection m_selStretched;
    CSelection m_selImage;
};
