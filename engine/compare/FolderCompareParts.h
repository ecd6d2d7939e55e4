// What the folder compare's two ways share: the walk over both folders (FolderCompare.cpp) and two
// versions listed from their manifests (VersionCompare.cpp). Internal to the compare.
#pragma once

#include <string>

#include "engine/compare/FolderCompare.h"

// A file both sides hold, judged without reading it where that can be: by the two hashes when both
// manifests prove it, else by size and time as the unchanged check does. False when only the bytes
// can tell (one size, and other hashes or times: a manifest may speak for a damaged copy).
bool MatchUnread(const FileFacts& older, const ManifestEntry* olderProof, const FileFacts& newer,
                 const ManifestEntry* newerProof, CounterpartMatch* match);

// The entry of a file one side holds (the other's facts null) or both, whose match and error
// decide it; a stopped match adds none.
void AddFileEntry(std::wstring path, const FileFacts* older, const FileFacts* newer, CounterpartMatch match,
                  DWORD error, bool listSame, FolderComparison& result);

// An entry counted, and listed unless it is the same and those are only counted.
void CountEntry(FolderEntry entry, bool listSame, FolderComparison& result);
