// Display scales for the GUI tests. Wine reads the scale (the prefix's LogPixels) once, when a
// process starts: a case runs this same test program again as a child, at another scale and
// with only the cases it names, and counts the child's failures as its own.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

// Runs this program again with --gtest_filter=filter at 120, 144 and 192 DPI, LogPixels put back
// afterwards, and expects each child to pass; skips the case in a child run. The child finds
// its scale in ChildRunDpi.
void ExpectPassingAtEveryScale(const std::string& filter);
// The same at the scales given only.
void ExpectPassingAtScales(const std::string& filter, std::initializer_list<UINT> scales);

// The scale a parent asked this run to be at; 0 in an ordinary run.
UINT ChildRunDpi();

// The height in pixels of the font the window draws with.
int FontHeightOf(HWND hWnd);
