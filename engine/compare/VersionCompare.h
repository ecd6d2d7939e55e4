// Two folder versions compared from their manifests instead of their folders: both sides' files,
// their folder tree, sizes and times as the manifests record them, in the order and with the states
// the walk over both folders gives an intact version (each folder's files by name, case aside, then
// its sub-folders; the Exclude= patterns and the copy's temporaries left out). Listing two folders
// of 40,000 files each costs most of a compare under Wine; reading two manifests a fraction of it.
// Only a file the two cannot judge (one size, and other hashes, or other times with a hash unknown)
// is opened, and only when no part of its way from its backups folder is a link.
#pragma once

#include <string>

#include "engine/compare/FolderCompare.h"

// older and newer in SystemPath's form, their files as their trusted manifests give them. False,
// with nothing done, when either is no copy below a backups folder.
bool CompareVersionsFromManifests(const std::wstring& older, const std::wstring& newer,
                                  const ManifestIndex& olderFiles, const ManifestIndex& newerFiles,
                                  const FolderCompareOptions& options, FolderComparison& result);
