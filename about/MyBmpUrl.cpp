#include "about/MyBmpUrl.h"

#include "about/MyTBmp.h"

#include <shellapi.h>

const char kMakerWebAddress[] = "https://tallowbox.example.jp/";

namespace {

CMyBmpUrl::ShellOpenFn& ShellOpen() {
    static CMyBmpUrl::ShellOpenFn pfnShellOpen = &::ShellExecuteA;
    return pfnShellOpen;
}

// Inset picture: this many pixels of button face on each side.
constexpr int kInsetMargin = 2;

} // namespace

CMyBmpUrl::ShellOpenFn CMyBmpUrl::SetShellOpen(ShellOpenFn pfnShellOpen) {
    ShellOpenFn previous = ShellOpen();
    ShellOpen() = pfnShellOpen != nullptr ? pfnShellOpen : &::ShellExecuteA;
    return previous;
}

CMyBmpUrl::CMyBmpUrl() {
    RegisterWindowClass();
}

CMyBmpUrl::~CMyBmpUrl() {
    ReleaseImages();
}

BOOL CMyBmpUrl::RegisterWindowClass() {
    RegisterControlClass(kClassName);
    return TRUE;
}

LRESULT CMyBmpUrl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_SETCURSOR:
        return OnSetCursor();
    case WM_LBUTTONDOWN:
        OnLButtonDown();
        return Default();
    case WM_MOUSEMOVE:
        OnMouseMove();
        return Default();
    default:
        return CWnd::WindowProc(message, wParam, lParam);
    }
}

BOOL CMyBmpUrl::SetBitmap(UINT nIDResource) {
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

void CMyBmpUrl::ReleaseImages() {
    m_bImagesBuilt = FALSE;
    m_selInset.Restore();
    m_selWork.Restore();
    m_selBack.Restore();
    m_selFull.Restore();
    m_selSource.Restore();
    m_bmpInset.DeleteObject();
    m_bmpWork.DeleteObject();
    m_bmpBack.DeleteObject();
    m_bmpFull.DeleteObject();
    m_bmpSource.DeleteObject();
    m_dcInset.DeleteDC();
    m_dcWork.DeleteDC();
    m_dcBack.DeleteDC();
    m_dcFull.DeleteDC();
    m_dcSource.DeleteDC();
}

void CMyBmpUrl::BuildImages() {
    CRect client;
    GetClientRect(&client);
    const int cx = client.Width();
    const int cy = client.Height();
    CClientDC reference(m_hWnd);
    HDC hReference = reference.GetSafeHdc();
    CBrush face(::GetSysColor(COLOR_BTNFACE));

    m_dcBack.CreateCompatibleDC(hReference);
    m_bmpBack.CreateCompatibleBitmap(hReference, cx, cy);
    m_selBack = CSelection(m_dcBack.GetSafeHdc(), m_bmpBack.GetSafeHandle());
    m_dcBack.FillRect(client, face.GetSafeHandle());

    m_dcWork.CreateCompatibleDC(hReference);
    m_bmpWork.CreateCompatibleBitmap(hReference, cx, cy);
    m_selWork = CSelection(m_dcWork.GetSafeHdc(), m_bmpWork.GetSafeHandle());

    m_dcSource.CreateCompatibleDC(hReference);
    m_bmpSource.GetBitmap(&m_bmInfo);
    m_selSource = CSelection(m_dcSource.GetSafeHdc(), m_bmpSource.GetSafeHandle());

    m_dcFull.CreateCompatibleDC(hReference);
    m_bmpFull.CreateCompatibleBitmap(hReference, cx, cy);
    m_selFull = CSelection(m_dcFull.GetSafeHdc(), m_bmpFull.GetSafeHandle());
    m_dcFull.StretchBlt(0, 0, cx, cy, m_dcSource.GetSafeHdc(), 0, 0, m_bmInfo.bmWidth, m_bmInfo.bmHeight,
                        SRCCOPY);

    m_dcInset.CreateCompatibleDC(hReference);
    m_bmpInset.CreateCompatibleBitmap(hReference, cx, cy);
    m_selInset = CSelection(m_dcInset.GetSafeHdc(), m_bmpInset.GetSafeHandle());
    m_dcInset.BitBlt(0, 0, cx, cy, m_dcBack.GetSafeHdc(), 0, 0, SRCCOPY);
    m_dcInset.StretchBlt(kInsetMargin, kInsetMargin, cx - 2 * kInsetMargin, cy - 2 * kInsetMargin,
                         m_dcSource.GetSafeHdc(), 0, 0, m_bmInfo.bmWidth, m_bmInfo.bmHeight, SRCCOPY);

    m_bImagesBuilt = TRUE;
}

void CMyBmpUrl::OnPaint() {
    CPaintDC dc(m_hWnd);
    if (!m_bBitmapSet || !m_bImagesBuilt)
        return; // the class brush has laid the button face
    CRect client;
    GetClientRect(&client);
    const int cx = client.Width();
    const int cy = client.Height();
    const CDC& picture = m_nMouseState == MOUSE_OVER ? m_dcFull : m_dcInset;
    m_dcWork.BitBlt(0, 0, cx, cy, m_dcBack.GetSafeHdc(), 0, 0, SRCCOPY);
    DrawTransparent(picture.GetSafeHdc(), m_dcWork.GetSafeHdc(), 0, 0, cx, cy, 0, 0, m_crTransparent);
    ::BitBlt(dc.GetSafeHdc(), 0, 0, cx, cy, m_dcWork.GetSafeHdc(), 0, 0, SRCCOPY);
}

LRESULT CMyBmpUrl::OnSetCursor() {
    // The class cursor, the arrow, whenever the system asks.
    return Default();
}

void CMyBmpUrl::OnLButtonDown() {
    ShellOpen()(m_hWnd, "open", kMakerWebAddress, nullptr, nullptr, SW_SHOW);
}

void CMyBmpUrl::OnMouseMove() {
    m_nMouseState = MOUSE_OVER;
    // Armed again on every move, so the hover time restarts with each movement.
    TRACKMOUSEEVENT track = {};
    track.cbSize = sizeof track;
    track.dwFlags = TME_HOVER | TME_LEAVE;
    track.hwndTrack = m_hWnd;
    track.dwHoverTime = kHoverTimeMs;
    ::TrackMouseEvent(&track);
    ::SetCursor(::LoadCursor(nullptr, IDC_UPARROW));
    Invalidate(FALSE);
}

BOOL CMyBmpUrl::PreTranslateMessage(MSG* pMsg) {
    switch (pMsg->message) {
    case WM_MOUSEHOVER:
        m_nMouseState = MOUSE_HOVER;
        Invalidate(FALSE);
        break;
    case WM_MOUSELEAVE:
        m_nMouseState = MOUSE_OUT;
        ::SetCursor(::LoadCursor(nullptr, IDC_ARROW));
        Invalidate(FALSE);
        break;
    default:
        break;
    }
    return CWnd::PreTranslateMessage(pMsg);
}
