#include "DocTemplate.h"

#include "App.h"
#include "Document.h"
#include "Frame.h"
#include "FrameworkIds.h"
#include "Language.h"
#include "MessageBox.h"
#include "View.h"

#include <memory>
#include <string>

CSingleDocTemplate::CSingleDocTemplate(UINT nIDResource, const CRuntimeClass* pDocClass,
                                       const CRuntimeClass* pFrameClass, const CRuntimeClass* pViewClass)
    : m_nIDResource(nIDResource), m_pDocClass(pDocClass), m_pFrameClass(pFrameClass), m_pViewClass(pViewClass) {
    m_strDocStrings = LoadResourceTextA(nIDResource);
}

CSingleDocTemplate::~CSingleDocTemplate() {
    // A document whose frame never closed (start-up ended early) goes with its template.
    if (m_pOnlyDoc != nullptr) {
        CDocument* pDoc = m_pOnlyDoc;
        m_pOnlyDoc = nullptr;
        pDoc->m_pDocTemplate = nullptr;
        for (CView* pView : std::vector<CView*>(pDoc->GetViews()))
            pDoc->RemoveView(pView);
        delete pDoc;
    }
}

BOOL CSingleDocTemplate::GetDocString(CString& rString, DocStringIndex nIndex) const {
    const std::string& all = m_strDocStrings.str();
    size_t start = 0;
    for (int field = 0; field < nIndex; ++field) {
        start = all.find('\n', start);
        if (start == std::string::npos) {
            rString = CString();
            return FALSE;
        }
        ++start;
    }
    const size_t end = all.find('\n', start);
    rString = all.substr(start, end == std::string::npos ? std::string::npos : end - start);
    return !rString.IsEmpty();
}

void CSingleDocTemplate::RemoveDocument(CDocument* pDoc) {
    if (m_pOnlyDoc == pDoc)
        m_pOnlyDoc = nullptr;
}

CDocument* CSingleDocTemplate::CreateNewDocument() {
    CCmdTarget* pObject = m_pDocClass != nullptr ? m_pDocClass->CreateObject() : nullptr;
    auto* pDoc = dynamic_cast<CDocument*>(pObject);
    if (pDoc == nullptr) {
        delete pObject;
        return nullptr;
    }
    pDoc->m_pDocTemplate = this;
    m_pOnlyDoc = pDoc;
    return pDoc;
}

CFrameWnd* CSingleDocTemplate::CreateNewFrame(CDocument* pDoc) {
    CCmdTarget* pObject = m_pFrameClass != nullptr ? m_pFrameClass->CreateObject() : nullptr;
    auto* pFrame = dynamic_cast<CFrameWnd*>(pObject);
    if (pFrame == nullptr) {
        delete pObject;
        return nullptr;
    }
    CCreateContext context;
    context.m_pNewViewClass = m_pViewClass;
    context.m_pCurrentDoc = pDoc;
    CString title;
    GetDocString(title, windowTitle);
    // On failure the frame has deleted itself.
    if (!pFrame->LoadFrame(m_nIDResource, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE, nullptr, &context,
                           title.GetString()))
        return nullptr;
    return pFrame;
}

CFrameWnd* CSingleDocTemplate::FrameOf(CDocument* pDoc) const {
    for (CView* pView : pDoc->GetViews()) {
        if (CFrameWnd* pFrame = pView->GetParentFrame())
            return pFrame;
    }
    return nullptr;
}

CDocument* CSingleDocTemplate::OpenDocumentFile(LPCSTR lpszPathName, BOOL bMakeVisible) {
    CDocument* pDoc = m_pOnlyDoc;
    CFrameWnd* pFrame = nullptr;
    bool bCreated = false;
    if (pDoc != nullptr) {
        // One document only: it is reused, with its frame.
        if (!pDoc->SaveModified())
            return nullptr;
        pFrame = FrameOf(pDoc);
    } else {
        pDoc = CreateNewDocument();
        if (pDoc != nullptr)
            pFrame = CreateNewFrame(pDoc);
        bCreated = true;
    }
    if (pDoc == nullptr || pFrame == nullptr) {
        AfxMessageBox(AFX_IDP_FAILED_TO_CREATE_DOC);
        if (bCreated)
            delete pDoc;
        return nullptr;
    }

    BOOL opened = FALSE;
    if (lpszPathName == nullptr) {
        CString name;
        GetDocString(name, docName);
        pDoc->SetTitle(name.IsEmpty() ? "Untitled" : name.GetString());
        opened = pDoc->OnNewDocument();
    } else {
        pDoc->SetModifiedFlag(FALSE);
        opened = pDoc->OnOpenDocument(lpszPathName);
        if (opened)
            pDoc->SetPathName(lpszPathName);
    }
    if (!opened) {
        if (bCreated)
            pFrame->DestroyWindow(); // takes the view with it; the document goes below
        if (bCreated && m_pOnlyDoc == pDoc)
            delete pDoc;
        return nullptr;
    }

    CWinApp* pApp = AfxGetApp();
    if (bCreated && pApp != nullptr && pApp->m_pMainWnd == nullptr)
        pApp->m_pMainWnd = pFrame;
    pFrame->InitialUpdateFrame(pDoc, bMakeVisible);
    return pDoc;
}
