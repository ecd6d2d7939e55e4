// The flag a long compare is stopped by: a BOOL the window's thread sets and the worker reads as
// it goes, through a volatile read so that each read looks at memory again.
#pragma once

#include <windows.h>

inline bool IsStopRequested(const BOOL* stop) {
    return stop != nullptr && *static_cast<const volatile BOOL*>(stop) != FALSE;
}
