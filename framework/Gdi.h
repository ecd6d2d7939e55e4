// Graphics wrappers. The name says who owns the handle:
//  - CDC owns a memory DC and deletes it; CPaintDC and CClientDC borrow a window's DC for one
//    scope (BeginPaint/EndPaint, GetDC/ReleaseDC);
//  - CBitmap, CBrush and CFont own their GDI object and delete it;
//  - CSelection is one SelectObject: it puts the previous object back when it goes. Declare it
//    after the object it selects, so it lets go before that object is deleted.
// All of them are non-copyable; a selection is movable so a long-lived one can be a member.
#pragma once

#include <windows.h>

#include <utility>

// Owns one device context made by CreateCompatibleDC.
class CDC {
public:
    CDC() = default;
    ~CDC() { DeleteDC(); }
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    HDC GetSafeHdc() const { return m_hDC; }
    // A memory DC compatible with hReference (nullptr: the screen). Any DC held before is deleted.
    BOOL CreateCompatibleDC(HDC hReference);
    BOOL DeleteDC();

    BOOL BitBlt(int x, int y, int cx, int cy, HDC hSource, int xSource, int ySource, DWORD rop) const {
        return ::BitBlt(m_hDC, x, y, cx, cy, hSource, xSource, ySource, rop);
    }
    BOOL StretchBlt(int x, int y, int cx, int cy, HDC hSource, int xSource, int ySource, int cxSource,
                    int cySource, DWORD rop) const {
        return ::StretchBlt(m_hDC, x, y, cx, cy, hSource, xSource, ySource, cxSource, cySource, rop);
    }
    int FillRect(const RECT& rect, HBRUSH hBrush) const { return ::FillRect(m_hDC, &rect, hBrush); }

private:
    HDC m_hDC = nullptr;
};

// The window's DC for one paint: BeginPaint in the constructor, EndPaint in the destructor.
class CPaintDC {
public:
    explicit CPaintDC(HWND hWnd) : m_hWnd(hWnd), m_hDC(::BeginPaint(hWnd, &m_ps)) {}
    ~CPaintDC() { ::EndPaint(m_hWnd, &m_ps); }
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    HDC GetSafeHdc() const { return m_hDC; }

private:
    HWND m_hWnd;
    PAINTSTRUCT m_ps{}; // filled by BeginPaint, before m_hDC
    HDC m_hDC;
};

// A window's client-area DC, borrowed with GetDC and given back with ReleaseDC.
class CClientDC {
public:
    explicit CClientDC(HWND hWnd) : m_hDC(::GetDC(hWnd)), m_hWnd(hWnd) {}
    ~CClientDC() {
        if (m_hDC != nullptr)
            ::ReleaseDC(m_hWnd, m_hDC);
    }
    CClientDC(const CClientDC&) = delete;
    CClientDC& operator=(const CClientDC&) = delete;

    HDC GetSafeHdc() const { return m_hDC; }

private:
    HDC m_hDC;
    HWND m_hWnd;
};

// Owns one GDI object of type T (HBITMAP, HBRUSH): DeleteObject when it goes.
template <typename T>
class CGdiObject {
public:
    CGdiObject() = default;
    ~CGdiObject() { DeleteObject(); }
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;

    T GetSafeHandle() const { return m_hObject; }
    // Takes ownership of hObject; whatever was held before is deleted.
    BOOL Attach(T hObject) {
        DeleteObject();
        m_hObject = hObject;
        return hObject != nullptr;
    }
    // Gives up ownership: the caller deletes what is returned.
    T Detach() { return std::exchange(m_hObject, nullptr); }
    // FALSE when nothing was held or the object is still selected into a DC.
    BOOL DeleteObject() {
        if (m_hObject == nullptr)
            return FALSE;
        return ::DeleteObject(std::exchange(m_hObject, nullptr));
    }

protected:
    T m_hObject = nullptr;
};

class CBitmap : public CGdiObject<HBITMAP> {
public:
    // Loads bitmap resource nID (the low 16 bits) from the resource module.
    BOOL LoadBitmap(UINT nID);
    BOOL CreateCompatibleBitmap(HDC hReference, int cx, int cy) {
        return Attach(::CreateCompatibleBitmap(hReference, cx, cy));
    }
    BOOL CreateBitmap(int cx, int cy, UINT planes, UINT bitsPerPixel, const void* bits) {
        return Attach(::CreateBitmap(cx, cy, planes, bitsPerPixel, bits));
    }
    // Fills *info; 0 when there is no bitmap.
    int GetBitmap(BITMAP* info) const {
        return m_hObject == nullptr ? 0 : ::GetObjectA(m_hObject, sizeof(BITMAP), info);
    }
};

class CBrush : public CGdiObject<HBRUSH> {
public:
    CBrush() = default;
    explicit CBrush(COLORREF color) { CreateSolidBrush(color); }
    BOOL CreateSolidBrush(COLORREF color) { return Attach(::CreateSolidBrush(color)); }
};

class CFont : public CGdiObject<HFONT> {
public:
    // A copy of hSource (the system font for nullptr) with its height taken from oldDpi to newDpi.
    BOOL CreateScaledCopy(HFONT hSource, UINT oldDpi, UINT newDpi);
};

// One SelectObject: restores the previous object when it goes (or on Restore). Does nothing
// if the selection failed. Movable, so a long-lived selection can be a member.
class CSelection {
public:
    CSelection() = default;
    CSelection(HDC hDC, HGDIOBJ hObject);
    ~CSelection() { Restore(); }
    CSelection(const CSelection&) = delete;
    CSelection& operator=(const CSelection&) = delete;
    CSelection(CSelection&& other) noexcept
        : m_hDC(std::exchange(other.m_hDC, nullptr)), m_hPrevious(std::exchange(other.m_hPrevious, nullptr)) {}
    CSelection& operator=(CSelection&& other) noexcept;

    bool IsSelected() const { return m_hPrevious != nullptr; }
    // Puts the previous object back; afterwards the guard holds nothing.
    void Restore();

private:
    HDC m_hDC = nullptr;
    HGDIOBJ m_hPrevious = nullptr;
};

// Text and background colours of a DC for one scope: restores both when it goes.
class CColorsScope {
public:
    CColorsScope(HDC hDC, COLORREF text, COLORREF back)
        : m_hDC(hDC), m_crOldText(::SetTextColor(hDC, text)), m_crOldBack(::SetBkColor(hDC, back)) {}
    ~CColorsScope() {
        ::SetTextColor(m_hDC, m_crOldText);
        ::SetBkColor(m_hDC, m_crOldBack);
    }
    CColorsScope(const CColorsScope&) = delete;
    CColorsScope& operator=(const CColorsScope&) = delete;

private:
    HDC m_hDC;
    COLORREF m_crOldText;
    COLORREF m_crOldBack;
};
