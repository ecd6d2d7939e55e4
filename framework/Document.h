// CDocument: the data behind the views of one frame. This framework knows no file formats:
// a document that reads or writes files does so in its own OnOpenDocument/Serialize.
#pragma once

#include "RuntimeClass.h"

#include <vector>

class CView;
class CFrameWnd;
class CSingleDocTemplate;

// Stands for the stream a document is saved to or loaded from; nothing here reads or writes one.
class CArchive {
public:
    explicit CArchive(BOOL bStoring) : m_bStoring(bStoring) {}
    BOOL IsStoring() const { return m_bStoring; }
    BOOL IsLoading() const { return !m_bStoring; }

private:
    BOOL m_bStoring;
};

class CDocument : public CCmdTarget {
public:
    static const CRuntimeClass runtimeClass;
    virtual const CRuntimeClass* GetRuntimeClass() const { return &runtimeClass; }

    CDocument() = default;
    ~CDocument() override;

    // Empties the path name and clears the modified flag.
    virtual BOOL OnNewDocument();
    // The base reads nothing and accepts any path.
    virtual BOOL OnOpenDocument(LPCSTR lpszPathName);
    virtual void Serialize(CArchive& ar) { (void)ar; }
    virtual void DeleteContents() {}
    // Whether the frame may close; a document that was never modified never asks.
    virtual BOOL CanCloseFrame(CFrameWnd* pFrame);
    virtual BOOL SaveModified();
    // Destroys the frames of every view, then deletes the document when m_bAutoDelete.
    virtual void OnCloseDocument();

    void SetPathName(LPCSTR lpszPathName);
    const CString& GetPathName() const { return m_strPathName; }
    void SetTitle(LPCSTR lpszTitle) { m_strTitle = lpszTitle; }
    const CString& GetTitle() const { return m_strTitle; }
    void SetModifiedFlag(BOOL bModified = TRUE) { m_bModified = bModified; }
    BOOL IsModified() const { return m_bModified; }

    void AddView(CView* pView);
    void RemoveView(CView* pView);
    const std::vector<CView*>& GetViews() const { return m_viewList; }

    BOOL m_bAutoDelete = TRUE;
    CSingleDocTemplate* m_pDocTemplate = nullptr;

private:
    CString m_strPathName;
    CString m_strTitle;
    BOOL m_bModified = FALSE;
    std::vector<CView*> m_viewList;
};

// The last path component (after the last backslash or colon that is not a trail byte).
CString FileTitleOf(LPCSTR lpszPathName);
