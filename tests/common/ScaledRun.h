// Display scales for the GUI tests. Wine reads the scale (the prefix's LogPixels) once, when a
// process starts: a case runs this same test program again as a child, at another scale and
// with only the cases it names, and counts the child's failures as its own.
#pragma once

#include <windows.h>

#include <string>

// Runs this program again with --gtest_filter=filter while LogPixels is dpi (put back
// afterwards). The child finds dpi in ChildRunDpi. Returns the child's exit code, -1 if it
// could not be started, -2 if it did not end within two minutes.
int RunThisProgramAtDpi(UINT dpi, const std::string& filter);

// The scale a parent asked this run to be at; 0 in an ordinary run.
UINT ChildRunDpi();
