// CSingleDocTemplate: ties one document class, one frame class and one view class together
// (by their runtime classes) on one resource id; it makes the one document with its frame.
#pragma once

#include "RuntimeClass.h"

class CDocument;
class CFrameWnd;

// Handed to the frame while it is created, so it can make its view for the document.
struct CCreateContext {
    const CRuntimeClass* m_pNewViewClass = nullptr;
    CDocument* m_pCurrentDoc = nullptr;
};

class CSingleDocTemplate {
public:
    CSingleDocTemplate(UINT nIDResource, const CRuntimeClass* pDocClass, const CRuntimeClass* pFrameClass,
                       const CRuntimeClass* pViewClass);
    ~CSingleDocTemplate();
    CSingleDocTemplate(const CSingleDocTemplate&) = delete;
    CSingleDocTemplate& operator=(const CSingleDocTemplate&) = delete;

    enum DocStringIndex { windowTitle, docName, fileNewName, filterName, filterExt, regFileTypeId, regFileTypeName };

    // Makes (or, when it exists, reuses) the document, then its frame and view, and shows the
    // frame after the initial update. nullptr (with a message box) when it cannot.
    // lpszPathName: nullptr for a new document, else an already normalised full path.
    CDocument* OpenDocumentFile(LPCSTR lpszPathName, BOOL bMakeVisible = TRUE);

    // Field nIndex of the "\n"-separated document string; FALSE when empty or missing.
    BOOL GetDocString(CString& rString, DocStringIndex nIndex) const;

    CDocument* GetOnlyDocument() const { return m_pOnlyDoc; }
    // Called by a document as it goes.
    void RemoveDocument(CDocument* pDoc);

private:
    CDocument* CreateNewDocument();
    CFrameWnd* CreateNewFrame(CDocument* pDoc);
    CFrameWnd* FrameOf(CDocument* pDoc) const;

    UINT m_nIDResource;
    const CRuntimeClass* m_pDocClass;
    const CRuntimeClass* m_pFrameClass;
    const CRuntimeClass* m_pViewClass;
    CString m_strDocStrings;
    CDocument* m_pOnlyDoc = nullptr;
};
