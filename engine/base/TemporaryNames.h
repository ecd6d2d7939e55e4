// The names a file is made under before it takes its own: every copy into the backups folder or the
// mirror, and every rewrite of the settings or the watch list, is written as a temporary beside its
// target and renamed once whole.
// A reader of those folders (the history, the folder compare) skips them; a copy killed half-way
// leaves one, which the next copy into that folder removes once its maker has ended.
#pragma once

#include <string>

// A fresh temporary name of this process, of the kind RemoveLeftoverTemporaries knows.
std::wstring TemporaryName();
// True when name is one of the temporary names the copy uses.
bool IsTemporaryName(const std::wstring& name);

// Deletes a temporary of this program, clearing first the read-only attribute a copied temporary
// may carry from its source (which refuses deletion).
void RemoveTemporary(const std::wstring& path);

// Removes what copies of this program left in folder when they were killed mid-copy: files
// under the temporary names only it uses, whose making process has ended (not one that got
// its number later), and not open any more. A running program's temporaries are kept.
void RemoveLeftoverTemporaries(const std::wstring& folder);
