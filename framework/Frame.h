// CFrameWnd: a main window made from one resource id (menu, icon, title). It makes its view at
// creation, lays out view and status bar, shows menu prompts and the idle text in pane 0 of its
// status bar, routes commands (active view, document, frame, application) and runs the close
// sequence. The object deletes itself after its window's last message.
#pragma once

#include "RuntimeClass.h"

class CView;
class CDocument;
struct CCreateContext;

// The frame's title style bits (low word, the frame's own; never given to the system).
#define FWS_ADDTOTITLE 0x8000
#define FWS_PREFIXTITLE 0x4000
#define FWS_FRAME_BITS (FWS_ADDTOTITLE | FWS_PREFIXTITLE)

// Framework messages (below WM_USER, in the range the system leaves unused).
#define WM_SETMESSAGESTRING 0x0362 // wParam: string id, or 0 with lParam: text
#define WM_INITIALUPDATE 0x0364    // sent to the frame's descendants once the document is made

class CFrameWnd : public CWnd {
public:
    static const CRuntimeClass runtimeClass;
    virtual const CRuntimeClass* GetRuntimeClass() const { return &runtimeClass; }

    CFrameWnd() = default;

    // Creates the window from resource nIDResource (menu, icon, document string for the title).
    // On failure the object is gone (it deleted itself) and FALSE is returned.
    virtual BOOL LoadFrame(UINT nIDResource, DWORD dwDefaultStyle, CWnd* pParentWnd, CCreateContext* pContext,
                           LPCSTR lpszTitle);
    virtual BOOL PreCreateWindow(CREATESTRUCTA& cs);

    CView* GetActiveView() const { return m_pViewActive; }
    void SetActiveView(CView* pView) { m_pViewActive = pView; }
    CDocument* GetActiveDocument() const;

    // Stacks the status bar at the bottom and gives the pane the rest of the client area.
    virtual void RecalcLayout(BOOL bNotify = TRUE);
    // Sets the active view, sends WM_INITIALUPDATE to the descendants, then shows the frame.
    void InitialUpdateFrame(CDocument* pDoc, BOOL bMakeVisible);
    virtual void ActivateFrame(int nCmdShow = -1);

    void SetMessageText(LPCSTR lpszText);
    void SetMessageText(UINT nID);
    // Offers command nID to the active view, its document, this frame and the application.
    BOOL RouteCommand(UINT nID);

    DWORD GetFrameStyle() const { return m_dwFrameStyle; }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    virtual int OnCreate(LPCREATESTRUCTA lpcs);
    virtual BOOL OnCreateClient(LPCREATESTRUCTA lpcs, CCreateContext* pContext);
    virtual void OnUpdateFrameTitle(BOOL bAddToTitle);
    virtual void OnClose();
    void PostNcDestroy() override;

private:
    CView* CreateView(CCreateContext* pContext, UINT nID);
    BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    void OnMenuSelect(UINT nItemID, UINT nFlags, HMENU hMenu);
    void OnSetMessageString(WPARAM wParam, LPARAM lParam);
    void OnSize();
    // Moved to a display of another scale: bar, view and fonts follow, then the suggested rectangle.
    void OnDpiChanged(UINT newDpi, const RECT& suggested);
    void OnSetFocus();
    // The status bar's stretched pane is drawn by the bar's object; FALSE for any other item.
    BOOL OnDrawItem(const DRAWITEMSTRUCT& item);
    void OnNcDestroy();
    static LPCSTR RegisterFrameClass(UINT nIDResource);

    CView* m_pViewActive = nullptr;
    CCreateContext* m_pCreateContext = nullptr;
    DWORD m_dwFrameStyle = 0;
    UINT m_nIDTracking = 0;
    UINT m_nDpi = 0;             // the scale the frame's contents are laid out for
    bool* m_pbDeleted = nullptr; // set while LoadFrame waits to learn whether a failed create freed us
};

// The prompt shown for a menu item: string nID up to its first "\n"; empty when there is none.
CString LoadMenuPrompt(UINT nID);
// The string id whose prompt describes a highlighted menu item (0: show a blank pane).
UINT MenuPromptId(UINT nItemID, UINT nFlags);
