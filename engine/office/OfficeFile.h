// A document on disk read as text (OfficeText.h): the file is read where the zip reader asks, a
// piece at a time, never whole; a set stop flag ends the reading at its next piece.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "engine/office/OfficeText.h"

// Reads path (SystemPath's form) as kind into units. error: the system's error code for Unreadable.
OfficeOutcome ReadOfficeFile(const std::wstring& path, OfficeKind kind, const BOOL* stop,
                             std::vector<wchar_t>* units, DWORD* error);
