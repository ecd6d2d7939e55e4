// The framework's message boxes: texts from the string table, caption = application title.
#pragma once

#include <windows.h>

#include <exception>

int AfxMessageBox(LPCSTR lpszText, UINT nType = MB_OK | MB_ICONEXCLAMATION);
int AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK | MB_ICONEXCLAMATION);
