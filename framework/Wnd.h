// The window base of the framework: CCmdTarget (command routing), CRect, and CWnd, the
// non-copyable object behind one window. A CWnd is attached to its window in one of two ways:
//  - created by us (CreateEx) with the framework's window procedure: attached at WM_NCCREATE;
//  - made by someone else (dialog manager, controls): subclassed (SubclassWindow).
// Either way each message goes to the virtual WindowProc, where a class handles what it
// wants in a switch and hands the rest to its base; CWnd::WindowProc calls Default(), the
// window's original procedure. The map from HWND to CWnd lets the message loop offer queued
// messages to the objects of a window and its parents (WalkPreTranslateTree).
#pragma once

#include "Afx.h"
#include "String.h"

class CCmdTarget {
public:
    CCmdTarget() = default;
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;
    virtual ~CCmdTarget() = default;

    // Handles command nID if this target knows it; TRUE when handled.
    virtual BOOL OnCmdMsg(UINT nID) {
        (void)nID;
        return FALSE;
    }
};

class CRect : public RECT {
public:
    CRect() : RECT{0, 0, 0, 0} {}
    CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
    CRect(const RECT& r) : RECT(r) {}
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

class CWnd : public CCmdTarget {
public:
    HWND m_hWnd = nullptr;

    CWnd() = default;
    ~CWnd() override;

    HWND GetSafeHwnd() const { return m_hWnd; }

    // The object attached to hWnd, or nullptr for a window no CWnd owns.
    static CWnd* FromHandlePermanent(HWND hWnd);

    // Attaches this object to an existing window by replacing its window procedure.
    BOOL SubclassWindow(HWND hWnd);
    BOOL SubclassDlgItem(UINT nID, CWnd* pParent);
    // Gives the window its original procedure back and detaches; returns the window.
    HWND UnsubclassWindow();

    // Offered every queued message for this window before it is dispatched.
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    // Offers pMsg to the objects of its window and of each parent, up to and including hWndStop.
    static BOOL WalkPreTranslateTree(HWND hWndStop, MSG* pMsg);

    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Runs the window's original procedure on the message being handled.
    LRESULT Default();

    // Thin helpers over the user services.
    BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
    BOOL UpdateWindow() { return ::UpdateWindow(m_hWnd); }
    BOOL DestroyWindow();
    void Invalidate(BOOL bErase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, bErase); }
    void GetClientRect(LPRECT rect) const { ::GetClientRect(m_hWnd, rect); }
    void GetWindowRect(LPRECT rect) const { ::GetWindowRect(m_hWnd, rect); }
    void MoveWindow(int x, int y, int cx, int cy, BOOL bRepaint = TRUE) {
        ::MoveWindow(m_hWnd, x, y, cx, cy, bRepaint);
    }
    BOOL SetWindowPos(HWND hWndAfter, int x, int y, int cx, int cy, UINT flags) {
        return ::SetWindowPos(m_hWnd, hWndAfter, x, y, cx, cy, flags);
    }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return ::PostMessageA(m_hWnd, message, wParam, lParam);
    }
    HWND GetDlgItem(int nID) const { return ::GetDlgItem(m_hWnd, nID); }
    // Searches children, grandchildren and so on for the control id nID.
    HWND GetDescendantWindow(int nID) const;
    CWnd* GetParent() const { return FromHandlePermanent(::GetParent(m_hWnd)); }

protected:
    // Creates a window whose class uses StdWndProc (see RegisterFrameworkClass) and
    // attaches this object to it during WM_NCCREATE.
    BOOL CreateEx(DWORD dwExStyle, LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, int x, int y,
                  int cx, int cy, HWND hWndParent, HMENU hMenu);
    // Registers (once) a window class whose procedure is the framework's; returns its name.
    static LPCSTR RegisterFrameworkClass(LPCSTR lpszClassName, UINT style, HICON hIcon, HBRUSH hbrBackground);

    // Called after the window's last message; windows owned by the framework delete themselves here.
    virtual void PostNcDestroy() {}

private:
    struct CurrentMessage {
        UINT message = 0;
        WPARAM wParam = 0;
        LPARAM lParam = 0;
    };

    static LRESULT CALLBACK StdWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Attach(HWND hWnd, WNDPROC pfnSuper);
    void Detach();
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    WNDPROC m_pfnSuper = nullptr;
    bool m_bSubclassed = false;
    CurrentMessage m_current;
    // A window destroyed from inside one of its own handlers lets its object go (PostNcDestroy)
    // only once the outermost handler has returned, so no handler runs on a freed object.
    int m_nDispatchDepth = 0;
    bool m_bPostNcDestroyPending = false;
};

// Data exchange between a dialog (or form) and its member objects.
class CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate) : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}
    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
};

// Binds control nIDC of the dialog to rControl by subclassing it, on the first exchange only.
// A missing control is a broken resource: it throws CResourceException.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
