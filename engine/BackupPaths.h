// Where backup copies go and how an item is described in the list: the program folder, the
// two component operations on path buffers, the date, time and time-stamp texts of a batch's
// moment, and the five texts of one list row.
//
// Paths are narrow texts in the ANSI code page. A backslash separates components unless it is
// the second byte of a double-byte character; that is judged by walking the text from its
// start with the code page's lead bytes, because a trail byte may itself be 0x5C.
#pragma once

#include <windows.h>

#include <string>

#include "framework/String.h"

struct BackupRow {
    CString date, time, name, source, destination;
};

// The executable's folder, without a trailing backslash, into a buffer of MAX_PATH bytes.
// An empty text when the platform cannot give the executable's full path.
void GetModuleFolder(char* buffer);
// Leaves the part after the last separator (empty when the text ends in one).
void KeepLastComponent(char* text);
// Ends the text at its last separator.
void StripLastComponent(char* text);

// Offset of the last separator in text[0, length), or -1. Double-byte characters are skipped whole.
int FindLastSeparator(const char* text, size_t length);
// TRUE when the text's last character is a separator (and not the trail byte of a double-byte one).
bool EndsWithSeparator(const std::string& text);

// The component operations on a text of any length: the last component, the text without it,
// and the text without the separators it ends in.
std::string LastComponent(const std::string& path);
std::string WithoutLastComponent(const std::string& path);
std::string WithoutTrailingSeparators(std::string path);
// The name a folder item's copy is given: its last component once "." and ".." are resolved;
// a drive root is named after its letter ("C:\" gives "C"). Empty when no name can be had.
std::string FolderItemName(const std::string& path);

// "3月7日", "14時5分" and "\2004-0307\1405" for 2004-03-07 14:05.
CString FormatDateText(const SYSTEMTIME& time);
CString FormatTimeText(const SYSTEMTIME& time);
CString FormatTimeStampText(const SYSTEMTIME& time);
