#include "Gdi.h"

#include "Afx.h"

BOOL CDC::CreateCompatibleDC(HDC hReference) {
    DeleteDC();
    m_hDC = ::CreateCompatibleDC(hReference);
    return m_hDC != nullptr;
}

BOOL CDC::DeleteDC() {
    if (m_hDC == nullptr)
        return FALSE;
    return ::DeleteDC(std::exchange(m_hDC, nullptr));
}

BOOL CBitmap::LoadBitmap(UINT nID) {
    return Attach(::LoadBitmapA(AfxGetResourceHandle(), MAKEINTRESOURCEA(LOWORD(nID))));
}

CSelection::CSelection(HDC hDC, HGDIOBJ hObject) {
    if (hDC == nullptr || hObject == nullptr)
        return;
    HGDIOBJ previous = ::SelectObject(hDC, hObject);
    if (previous == nullptr || previous == HGDI_ERROR)
        return;
    m_hDC = hDC;
    m_hPrevious = previous;
}

CSelection& CSelection::operator=(CSelection&& other) noexcept {
    if (this != &other) {
        Restore();
        m_hDC = std::exchange(other.m_hDC, nullptr);
        m_hPrevious = std::exchange(other.m_hPrevious, nullptr);
    }
    return *this;
}

void CSelection::Restore() {
    if (m_hPrevious != nullptr)
        ::SelectObject(m_hDC, m_hPrevious);
    m_hDC = nullptr;
    m_hPrevious = nullptr;
}

BOOL CFont::CreateScaledCopy(HFONT hSource, UINT oldDpi, UINT newDpi) {
    LOGFONTW font = {};
    HGDIOBJ hObject = hSource != nullptr ? static_cast<HGDIOBJ>(hSource) : ::GetStockObject(SYSTEM_FONT);
    if (oldDpi == 0 || ::GetObjectW(hObject, sizeof font, &font) != sizeof font)
        return FALSE;
    font.lfHeight = ::MulDiv(font.lfHeight, static_cast<int>(newDpi), static_cast<int>(oldDpi));
    font.lfWidth = ::MulDiv(font.lfWidth, static_cast<int>(newDpi), static_cast<int>(oldDpi));
    return Attach(::CreateFontIndirectW(&font));
}
