#include "about/MyTBmp.h"

#include "framework/Dpi.h"

#include <algorithm>

namespace {

// Raster operation: destination AND NOT source.
constexpr DWORD kRopAndNotSource = 0x00220326;

// A scratch DC with its own bitmap selected, for the length of one DrawTransparent.
struct ScratchSurface {
    CDC dc;
    CBitmap bitmap;
    CSelection selection;

    // Puts the previous bitmap back, deletes the bitmap, then the DC.
    void Release() {
        selection.Restore();
        bitmap.DeleteObject();
        dc.DeleteDC();
    }
};

} // namespace

void DrawTransparent(HDC hSource, HDC hDest, int x, int y, int cx, int cy, int xSource, int ySource,
                     COLORREF crTransparent) {
    // The mask: white where the source is transparent, black where it is opaque.
    ScratchSurface mask;
    mask.dc.CreateCompatibleDC(hSource);
    mask.bitmap.CreateBitmap(cx, cy, 1, 1, nullptr);
    mask.selection = CSelection(mask.dc.GetSafeHdc(), mask.bitmap.GetSafeHandle());
    ::SetBkColor(hSource, crTransparent);
    mask.dc.BitBlt(0, 0, cx, cy, hSource, xSource, ySource, SRCCOPY);

    // The copy: the source with its transparent pixels turned black.
    ScratchSurface copy;
    copy.dc.CreateCompatibleDC(hSource);
    copy.bitmap.CreateCompatibleBitmap(hSource, cx, cy);
    copy.selection = CSelection(copy.dc.GetSafeHdc(), copy.bitmap.GetSafeHandle());
    copy.dc.BitBlt(0, 0, cx, cy, hSource, xSource, ySource, SRCCOPY);
    {
        // A monochrome source maps 0 to the text colour and 1 to the background colour.
        CColorsScope colors(copy.dc.GetSafeHdc(), RGB(0, 0, 0), RGB(255, 255, 255));
        copy.dc.BitBlt(0, 0, cx, cy, mask.dc.GetSafeHdc(), 0, 0, kRopAndNotSource);
    }

    // Black out the opaque area of the destination, then lay the copy into it.
    {
        CColorsScope colors(hDest, RGB(0, 0, 0), RGB(255, 255, 255));
        ::BitBlt(hDest, x, y, cx, cy, mask.dc.GetSafeHdc(), 0, 0, SRCAND);
    }
    ::BitBlt(hDest, x, y, cx, cy, copy.dc.GetSafeHdc(), 0, 0, SRCINVERT);

    mask.Release();
    copy.Release();
}

PixelArtLayout LayOutPixelArt(int cx, int cy, UINT dpi) {
    PixelArtLayout layout = {};
    layout.factor = WholeScale(dpi);
    const int base = static_cast<int>(kBaseDpi);
    layout.baseCx = std::min(::MulDiv(cx, base, static_cast<int>(dpi)), cx / layout.factor);
    layout.baseCy = std::min(::MulDiv(cy, base, static_cast<int>(dpi)), cy / layout.factor);
    layout.x = (cx - layout.baseCx * layout.factor) / 2;
    layout.y = (cy - layout.baseCy * layout.factor) / 2;
    return layout;
}

void DrawPixelArt(HDC hDest, const PixelArtLayout& layout, int inset96, HDC hSource, int cxSource,
                  int cySource) {
    const int cx = layout.baseCx - 2 * inset96;
    const int cy = layout.baseCy - 2 * inset96;
    const int x = layout.x + inset96 * layout.factor;
    const int y = layout.y + inset96 * layout.factor;
    if (layout.factor == 1) {
        ::StretchBlt(hDest, x, y, cx, cy, hSource, 0, 0, cxSource, cySource, SRCCOPY);
        return;
    }
    ScratchSurface base;
    base.dc.CreateCompatibleDC(hDest);
    base.bitmap.CreateCompatibleBitmap(hDest, cx, cy);
    base.selection = CSelection(base.dc.GetSafeHdc(), base.bitmap.GetSafeHandle());
    base.dc.StretchBlt(0, 0, cx, cy, hSource, 0, 0, cxSource, cySource, SRCCOPY);
    // Whole pixels repeated, never blended: the picture stays as sharp as at 96 DPI.
    const int previousMode = ::SetStretchBltMode(hDest, COLORONCOLOR);
    ::StretchBlt(hDest, x, y, cx * layout.factor, cy * layout.factor, base.dc.GetSafeHdc(), 0, 0, cx, cy,
                 SRCCOPY);
    ::SetStretchBltMode(hDest, previousMode);
    base.Release();
}

void RegisterControlClass(LPCSTR lpszClassName) {
    WNDCLASSA existing;
    if (::GetClassInfoA(AfxGetInstanceHandle(), lpszClassName, &existing))
        return;
    WNDCLASSA wc = {};
    wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &::DefWindowProcA;
    wc.hInstance = AfxGetInstanceHandle();
    wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = lpszClassName;
    if (!::RegisterClassA(&wc))
        AfxThrowResourceException();
}

CMyTBmp::CMyTBmp() {
    RegisterWindowClass();
}

CMyTBmp::~CMyTBmp() {
    ReleaseImages();
}

BOOL CMyTBmp::RegisterWindowClass() {
    RegisterControlClass(kClassName);
    return TRUE;
}

LRESULT CMyTBmp::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_DPICHANGED_AFTERPARENT:
        OnDpiChangedAfterParent();
        return 0;
    default:
        return CWnd::WindowProc(message, wParam, lParam);
    }
}

BOOL CMyTBmp::SetBitmap(UINT nIDResource) {
    if (m_hWnd == nullptr)
        return FALSE; // the pictures take their size from the window
    m_bBitmapSet = TRUE;
    m_nBitmapID = static_cast<int>(nIDResource);
    ReleaseImages();
    const BOOL loaded = m_bmpSource.LoadBitmap(nIDResource);
    if (loaded)
        BuildImages();
    Invalidate(FALSE);
    return loaded;
}

void CMyTBmp::OnDpiChangedAfterParent() {
    if (m_bBitmapSet)
        SetBitmap(static_cast<UINT>(m_nBitmapID));
}

void CMyTBmp::ReleaseImages() {
    m_bBuffersCreated = FALSE;
    m_selImage.Restore();
    m_selStretched.Restore();
    m_selSource.Restore();
    m_bmpImage.DeleteObject();
    m_bmpStretched.DeleteObject();
    m_bmpSource.DeleteObject();
    m_dcImage.DeleteDC();
    m_dcStretched.DeleteDC();
    m_dcSource.DeleteDC();
}

void CMyTBmp::BuildImages() {
    CRect client;
    GetClientRect(&client);
    const int cx = client.Width();
    const int cy = client.Height();
    CClientDC reference(m_hWnd);
    HDC hReference = reference.GetSafeHdc();

    m_dcImage.CreateCompatibleDC(hReference);
    m_bmpImage.CreateCompatibleBitmap(hReference, cx, cy);
    m_selImage = CSelection(m_dcImage.GetSafeHdc(), m_bmpImage.GetSafeHandle());
    {
        CBrush face(::GetSysColor(COLOR_BTNFACE));
        m_dcImage.FillRect(client, face.GetSafeHandle());
    }

    m_dcSource.CreateCompatibleDC(hReference);
    m_bmpSource.GetBitmap(&m_bmInfo);
    m_selSource = CSelection(m_dcSource.GetSafeHdc(), m_bmpSource.GetSafeHandle());

    m_dcStretched.CreateCompatibleDC(hReference);
    m_bmpStretched.CreateCompatibleBitmap(hReference, cx, cy);
    m_bBuffersCreated = TRUE;
    m_selStretched = CSelection(m_dcStretched.GetSafeHdc(), m_bmpStretched.GetSafeHandle());
    {
        CBrush transparent(m_crTransparent); // around a picture smaller than the control
        m_dcStretched.FillRect(client, transparent.GetSafeHandle());
    }
    DrawPixelArt(m_dcStretched.GetSafeHdc(), LayOutPixelArt(cx, cy, DpiOfWindow(m_hWnd)), 0,
                 m_dcSource.GetSafeHdc(), m_bmInfo.bmWidth, m_bmInfo.bmHeight);

    DrawTransparent(m_dcStretched.GetSafeHdc(), m_dcImage.GetSafeHdc(), 0, 0, cx, cy, 0, 0, m_crTransparent);
}

void CMyTBmp::OnPaint() {
    CPaintDC dc(m_hWnd);
    if (!m_bBitmapSet || !m_bBuffersCreated)
        return; // the class brush has laid the button face
    CRect client;
    GetClientRect(&client);
    ::BitBlt(dc.GetSafeHdc(), 0, 0, client.Width(), client.Height(), m_dcImage.GetSafeHdc(), 0, 0, SRCCOPY);
}
