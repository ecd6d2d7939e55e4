// Views: CView (a child of a frame that shows a document), CScrollView (scroll bars for a
// content larger than the window) and CFormView (a view made from a dialog template).
#pragma once

#include "Gdi.h"
#include "RuntimeClass.h"

class CDocument;
class CFrameWnd;
struct CCreateContext;

class CView : public CWnd {
public:
    static const CRuntimeClass runtimeClass;
    virtual const CRuntimeClass* GetRuntimeClass() const { return &runtimeClass; }

    CDocument* GetDocument() const { return m_pDocument; }
    CFrameWnd* GetParentFrame() const;

    // Creates the view's window as child nID of pParentWnd.
    virtual BOOL Create(CWnd* pParentWnd, UINT nID, CCreateContext* pContext) = 0;
    virtual void OnInitialUpdate();
    virtual void OnUpdate() { Invalidate(); }
    // The frame moved to a display of another scale; it resizes itself afterwards.
    virtual void OnDpiChanged(UINT oldDpi, UINT newDpi) {
        (void)oldDpi;
        (void)newDpi;
    }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void PostNcDestroy() override;

private:
    friend class CDocument;
    CDocument* m_pDocument = nullptr;
};

class CScrollView : public CView {
public:
    static const CRuntimeClass runtimeClass;
    const CRuntimeClass* GetRuntimeClass() const override { return &runtimeClass; }

    void SetScrollSizes(SIZE sizeTotal);
    SIZE GetTotalSize() const { return m_totalLog; }
    POINT GetScrollPosition() const { return m_scrollPos; }
    // Resizes the parent frame so the client area matches the content; bShrinkOnly: never larger.
    void ResizeParentToFit(BOOL bShrinkOnly = TRUE);

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Updates the scroll bars for the new client size.
    void OnSize(UINT nType, int cx, int cy);

private:
    void UpdateBars();
    void OnScroll(int nBar, UINT nSBCode);
    void ScrollTo(POINT pos);
    SIZE ClientSizeWithoutBars() const;

    SIZE m_totalLog = {0, 0};
    POINT m_scrollPos = {0, 0};
    bool m_bInsideUpdate = false;
};

class CFormView : public CScrollView {
public:
    static const CRuntimeClass runtimeClass;
    const CRuntimeClass* GetRuntimeClass() const override { return &runtimeClass; }

    explicit CFormView(UINT nIDTemplate) : m_nIDTemplate(nIDTemplate) {}

    // Makes the form from its dialog template as a visible child with a sunken edge in
    // place of the template's border.
    BOOL Create(CWnd* pParentWnd, UINT nID, CCreateContext* pContext) override;
    // The first data exchange binds the controls, then the view is updated.
    void OnInitialUpdate() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
    // Places every control and the form's size at the new scale, with the form's font remade for it.
    void OnDpiChanged(UINT oldDpi, UINT newDpi) override;

protected:
    virtual void DoDataExchange(CDataExchange* pDX) { (void)pDX; }

private:
    UINT m_nIDTemplate;
    // The controls' font after a scale change (the template's font stays the dialog manager's).
    CFont m_font;
};
