#include "Document.h"

#include "DocTemplate.h"
#include "Frame.h"
#include "View.h"

#include <algorithm>

const CRuntimeClass CDocument::runtimeClass = {"CDocument", nullptr, nullptr};

CDocument::~CDocument() {
    // Views outliving their document must not point at it.
    for (CView* pView : m_viewList)
        pView->m_pDocument = nullptr;
    if (m_pDocTemplate != nullptr)
        m_pDocTemplate->RemoveDocument(this);
}

BOOL CDocument::OnNewDocument() {
    DeleteContents();
    m_strPathName = CString();
    SetModifiedFlag(FALSE);
    return TRUE;
}

BOOL CDocument::OnOpenDocument(LPCSTR lpszPathName) {
    (void)lpszPathName;
    DeleteContents();
    SetModifiedFlag(FALSE);
    return TRUE;
}

BOOL CDocument::CanCloseFrame(CFrameWnd* pFrame) {
    (void)pFrame;
    return SaveModified();
}

BOOL CDocument::SaveModified() {
    // Nothing here can save: an unmodified document closes, and so does a modified one
    // rather than keeping its window open for ever.
    return TRUE;
}

void CDocument::OnCloseDocument() {
    const BOOL bAutoDelete = m_bAutoDelete;
    m_bAutoDelete = FALSE; // destroying the last view must not delete us half-way
    // Each frame is destroyed once, with all the views it holds.
    while (!m_viewList.empty()) {
        CView* pView = m_viewList.front();
        CFrameWnd* pFrame = pView->GetParentFrame();
        if (pFrame != nullptr)
            pFrame->DestroyWindow();
        else
            pView->DestroyWindow();
        // A view whose window was already gone leaves the list here.
        if (!m_viewList.empty() && m_viewList.front() == pView)
            RemoveView(pView);
    }
    m_bAutoDelete = bAutoDelete;
    DeleteContents();
    if (m_bAutoDelete)
        delete this;
}

void CDocument::SetPathName(LPCSTR lpszPathName) {
    m_strPathName = lpszPathName;
    SetTitle(FileTitleOf(lpszPathName).GetString());
}

void CDocument::AddView(CView* pView) {
    m_viewList.push_back(pView);
    pView->m_pDocument = this;
}

void CDocument::RemoveView(CView* pView) {
    m_viewList.erase(std::remove(m_viewList.begin(), m_viewList.end(), pView), m_viewList.end());
    pView->m_pDocument = nullptr;
}

CString FileTitleOf(LPCSTR lpszPathName) {
    if (lpszPathName == nullptr)
        return CString();
    const char* title = lpszPathName;
    for (const char* p = lpszPathName; *p != '\0'; ++p) {
        if (::IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0') {
            ++p;
            continue;
        }
        if (*p == '\\' || *p == '/' || *p == ':')
            title = p + 1;
    }
    return CString(title);
}
