// Two files compared byte by byte: equal, or where they first differ, with the facts of both (sizes
// and last-write times as the files were opened). The unchanged check and the compare of files that
// are not text both read through here.
#pragma once

#include <windows.h>

#include <string>

#include "engine/base/FileFacts.h"

enum class ByteCompareOutcome : unsigned char { Equal, Different, LeftUnreadable, RightUnreadable, Stopped };

struct ByteComparison {
    ByteCompareOutcome outcome = ByteCompareOutcome::Equal;
    // Different: the first byte that differs, counted from 1; where one file is the other's start,
    // the byte after the shorter one's end.
    ULONGLONG firstDifference = 0;
    DWORD error = ERROR_SUCCESS; // why a side could not be read
    FileFacts left, right;
};

// Paths in SystemPath's form. A set *stop (read between chunks) ends it with Stopped.
ByteComparison CompareFileBytes(const std::wstring& left, const std::wstring& right, const BOOL* stop);
