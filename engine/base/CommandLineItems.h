// The items a command line names, in the order it names them: every double-quoted piece, and
// every unquoted word that is a full path. The shell quotes a path only when it holds a space, so
// a file dropped on the program's icon or sent to it arrives either way; switches, relative names
// and other words outside quotes are no items.
#pragma once

#include <string>
#include <vector>

// The items of line (the command line without the program's name). A quoted piece is taken
// whole and as it stands (an empty one is skipped); text after an unmatched quote is no item.
// A path given in short (8.3) form comes back under its long names when it exists.
std::vector<std::wstring> CommandLineItems(const std::wstring& line);

// True for "C:\..." (a drive letter, a colon and a backslash) and "\\server\share\...".
bool IsFullPathWord(const std::wstring& word);

// The path under its long names when it holds a short-name component and exists; else as given.
std::wstring WithLongNames(const std::wstring& path);
