// CDialog: a dialog from a dialog template, modal and run by its own message loop, or modeless.
// The dialog manager creates the window; at WM_INITDIALOG the object subclasses it, so from
// then on messages reach the virtual WindowProc like any other CWnd. DoModal's loop offers each
// queued message to PreTranslateMessage of the target window's objects, up to the dialog
// (which runs IsDialogMessage for the keyboard), before dispatching it: controls that need
// posted messages such as WM_MOUSEHOVER take them there.
#pragma once

#include "Wnd.h"

class CDialog : public CWnd {
public:
    // nIDTemplate: dialog template in the resource module; pParentWnd: owner, or nullptr for
    // the application's main window.
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    ~CDialog() override;

    // Creates the dialog, disables its owner and runs until EndDialog. Returns the value given
    // to EndDialog, or -1 when the dialog could not be created or failed to initialise.
    virtual INT_PTR DoModal();
    // Ends the modal loop with nResult as DoModal's result.
    void EndDialog(int nResult);
    // Creates the dialog without a loop of its own: the application's loop serves it (its
    // PreTranslateMessage runs the dialog keys). Its texts are kept whole (a Unicode window).
    // FALSE when it could not be created.
    BOOL CreateModeless(CWnd* pParentWnd = nullptr);
    // CreateModeless, then shows the dialog with the icon, offset (at 96 DPI) below and to the
    // right of owner so neither hides the other's title.
    // A window that would reach past its display's work area moves back onto it.
    BOOL ShowModelessBeside(CWnd* owner, UINT iconId, int offset);
    // Widens the dialog until list, which its layout stretches with it, shows every column whole;
    // never wider than its display's work area.
    void WidenToShowColumns(HWND list);

    // For a layout: rect (left, top, right, bottom) in dialog units, as pixels at the dialog's
    // font and scale; a control's rectangle in the dialog's client coordinates; and a control
    // moved and sized (a negative size taken as 0), its place in the tab order kept.
    RECT DialogUnits(RECT rect) const;
    RECT ControlRect(int id) const;
    static void PlaceControl(HWND control, int x, int y, int cx, int cy);

    // Runs the data exchange; FALSE when it threw (reported already).
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    BOOL PreTranslateMessage(MSG* pMsg) override;

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    // Binds the controls (first data exchange). TRUE lets the dialog manager focus the first tab stop.
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    static INT_PTR CALLBACK DialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleInitDialog(HWND hDlg);
    HWND FindOwner() const;
    void RunModalLoop();
    BOOL PreTranslateModalMessage(MSG* pMsg);
    // The dialog's own commands (OK, Cancel); false for anything else.
    bool OnCommand(WPARAM wParam);

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;
    bool m_bEndModal = false;
    int m_nModalResult = -1;
};
