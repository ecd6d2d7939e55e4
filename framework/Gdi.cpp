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
