// The framework's message boxes: texts from the string table, caption = application title; and
// the program's questions, whose buttons speak the screen language too.
#pragma once

#include <windows.h>

#include <exception>
#include <string>

int AfxMessageBox(LPCSTR lpszText, UINT nType = MB_OK | MB_ICONEXCLAMATION);
int AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK | MB_ICONEXCLAMATION);

// A question (MB_YESNO) or a notice (MB_OK) in a task dialog whose buttons' words come from the
// string table: the system's message box words them in the system's language, whatever the
// screens speak. type takes an MB_ICON* and MB_DEFBUTTON2 as MessageBox does; Esc closes a notice
// and does nothing to a question, as there. The answer is MessageBox's (IDYES, IDNO, IDOK).
int AfxAsk(HWND owner, const std::wstring& text, UINT type);
