// Putting a backup back where its item came from: the one time the program writes outside its
// backup folder. Only a row's own source is written, only once what is there now has been
// backed up, and nothing is ever deleted. Every file goes through the same safe replace as a
// backup, so a failure or a stop leaves each target file as it was or wholly restored.
// CBackupEngine::Restore lives in Restore.cpp; these are the tests it shares.
#pragma once

#include <string>

#include "engine/copy/BackupItem.h"

// True for a backup row whose copy was made whole: the only kind a restore may put back (to
// its original; elsewhere also when the original is unknown). Never for a damaged row.
bool CanRestore(const BackupRow& row);
bool CanRestoreElsewhere(const BackupRow& row);
