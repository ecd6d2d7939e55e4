// CToolWnd: what the shell's tool windows share (the history, the check of the mirror, the watch
// list, the two compare windows). Each is a resizable, modeless dialog beside the window that
// opened it: WM_SIZE lays it out, it keeps a smallest size at every scale, Enter does nothing,
// Esc stops the work it runs on a thread of its own (its job) or, with none running, closes it,
// and closing lets the job go. A window either belongs to the object that opened it, which
// destroys it, or owns itself and deletes its object when it is destroyed.
#pragma once

#include "framework/Dialog.h"
#include "framework/ListCtrl.h"
#include "shell/common/WindowJob.h"

#include <cstddef>
#include <memory>

class CToolWnd : public CDialog {
public:
    ~CToolWnd() override;

protected:
    enum class Lifetime { OwnedByOpener, OwnsItself };
    // minTrack: the smallest size the user may drag it to, at 96 DPI ({0, 0}: no limit).
    CToolWnd(UINT templateId, SIZE minTrack, Lifetime lifetime);

    // Shows a window that owns itself beside owner (offset at 96 DPI, with the icon); when it
    // cannot be made, deletes it and returns false.
    static bool ShowOwnedBeside(CToolWnd* window, HWND owner, UINT iconId, int offset);
    // The list control id becomes m_list, its rows selected whole, with the columns given (as
    // InsertListColumns makes them at the window's DPI).
    template <size_t N> void BindList(int id, const ListColumn (&columns)[N]) {
        BindList(id, columns, static_cast<int>(N));
    }
    void BindList(int id, const ListColumn* columns, int count);
    // Places the controls for the client area's size.
    virtual void Layout() {}

    void OnOK() override {}
    void OnCancel() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void PostNcDestroy() override;

    HWND m_list = nullptr;               // the window's list, if it has one; null once it is gone
    std::unique_ptr<CWindowWork> m_job; // the work running for the window; null when none runs

private:
    const SIZE m_minTrack;
    const Lifetime m_lifetime;
};
