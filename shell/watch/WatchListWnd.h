// CWatchListWnd: the list of watches (見張り一覧). A small modeless window beside the main one that
// lists every watched item, the time of its last version and its state, with a button that stops
// watching the selected items. It reads the document's watches and is told when they change.
#pragma once

#include "engine/watch/Watcher.h"
#include "shell/common/ToolWnd.h"

#include <string>
#include <vector>

class CTallowboxDoc;

class CWatchListWnd : public CToolWnd {
public:
    explicit CWatchListWnd(CTallowboxDoc& doc);

    // Makes the window, owned by owner, and fills it.
    BOOL Create(CWnd* owner);
    // The watches or their states changed: the list shows them as they are now.
    void Refresh();

    // For tests: the list control.
    HWND List() const { return m_list; }

protected:
    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Layout() override;
    void StopSelected();

    CTallowboxDoc& m_doc;
    std::vector<std::wstring> m_paths; // what each list item stands for, by index
};
