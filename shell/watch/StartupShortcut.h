// The program's shortcut in the user's Startup folder (起動時に開始): made to start the program
// minimized, so it watches from the notification area after logon; nothing goes in the registry.
#pragma once

#include <windows.h>

#include <string>

// <Startup folder>\Tallowbox.lnk; empty when the shell names no Startup folder.
std::wstring StartupShortcutPath();
bool HasStartupShortcut();
// The running program's full path (empty when the system cannot give it).
std::wstring RunningProgramPath();
// Makes (or remakes) the shortcut to program; an HRESULT error says why it could not be made.
HRESULT MakeStartupShortcut(const std::wstring& program);
// Removes the shortcut; ERROR_SUCCESS also when there was none.
DWORD RemoveStartupShortcut();
