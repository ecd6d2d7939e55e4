// CMyBmpUrl: window class "MyBmpUrl", a bitmap that reacts to the pointer and opens the
// maker's web address when clicked. Two pictures are built once, in SetBitmap: the full one
// (bitmap over the whole client area) shown while the pointer moves over the control, and the
// inset one (2 pixels in, button-face margin) shown otherwise. Hover and leave arrive as posted
// messages and are taken in PreTranslateMessage, so the dialog's modal loop must offer them.
// At a larger display scale both pictures are the 96-DPI ones enlarged by a whole factor,
// the inset margin with them.
#pragma once

#include "framework/Gdi.h"
#include "framework/Wnd.h"

// The maker's web address, opened by a click on the link control.
extern const char kMakerWebAddress[];

class CMyBmpUrl : public CWnd {
public:
    static constexpr const char* kClassName = "MyBmpUrl";
    enum MouseState { MOUSE_OUT = 0, MOUSE_OVER = 1, MOUSE_HOVER = 2 };
    static constexpr DWORD kHoverTimeMs = 1000;

    // How a click asks the shell to open the address (ShellExecuteA's shape). Tests put their
    // own in its place so no browser starts.
    using ShellOpenFn = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
    // Replaces the shell call for every link control; returns the previous one.
    static ShellOpenFn SetShellOpen(ShellOpenFn pfnShellOpen);

    // Registers the window class when missing (throws CResourceException if it cannot).
    CMyBmpUrl();
    ~CMyBmpUrl() override;

    BOOL RegisterWindowClass();
    // Loads bitmap nIDResource and builds both pictures for the current client size; a second
    // call rebuilds them from the new bitmap. FALSE when the bitmap could not be loaded: the
    // control then shows the plain button face. FALSE and nothing done when there is no window yet.
    BOOL SetBitmap(UINT nIDResource);

    BOOL PreTranslateMessage(MSG* pMsg) override;

    int GetMouseState() const { return m_nMouseState; }
    int GetBitmapID() const { return m_nBitmapID; }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void OnPaint();
    LRESULT OnSetCursor();
    void OnLButtonDown();
    void OnMouseMove();
    void BuildImages();
    void OnDpiChangedAfterParent();
    // Lets go of every selection, then the bitmaps, then the DCs.
    void ReleaseImages();

    int m_nBitmapID = 0;
    BOOL m_bBitmapSet = FALSE;
    const COLORREF m_crTransparent = RGB(255, 255, 255);
    CDC m_dcSource;
    CDC m_dcFull;
    CDC m_dcBack;
    CDC m_dcWork;
    CDC m_dcInset;
    CBitmap m_bmpSource;
    CBitmap m_bmpFull;
    CBitmap m_bmpBack;
    CBitmap m_bmpWork;
    CBitmap m_bmpInset;
    BITMAP m_bmInfo{};
    BOOL m_bImagesBuilt = FALSE;
    int m_nMouseState = MOUSE_OUT;
    // Declared last so they let go before the bitmaps and DCs above are deleted.
    CSelection m_selSource;
    CSelection m_selFull;
    CSelection m_selBack;
    CSelection m_selWork;
    CSelection m_selInset;
};
