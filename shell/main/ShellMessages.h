// Messages the view sends the main window, so neither includes the other's header: the frame
// owns the history and the watch list windows, the view only asks for them.
#pragma once

#include <windows.h>

// Shows the history narrowed to one item's versions; lParam: const std::wstring* (the original path).
#define WM_SHOW_VERSIONS (WM_APP + 60)
// A batch of backups ended: the windows that list backups read them again.
#define WM_BACKUPS_CHANGED (WM_APP + 61)
// Posted once the main window has shown: the start work nobody sees at first runs then.
#define WM_AFTER_FIRST_PAINT (WM_APP + 68)
