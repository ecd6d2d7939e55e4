// Another program for comparing two files, named by DiffTool= in the settings: the command line it
// is started with, made from the setting's template with %1 and %2 replaced by the two files' paths
// as they stand (the older first). The user writes the quotes: "C:\Tools\diff.exe" "%1" "%2".
#pragma once

#include <string>

enum class DiffToolOutcome : unsigned char {
    Ready,
    NotSet,              // no DiffTool=, or an empty one: the program's own window compares
    MissingPlaceholders, // the template lacks %1 or %2: refused, nothing is started
    TooLong              // the command line would be longer than a program can be given
};

// commandLine is set only for Ready.
DiffToolOutcome MakeDiffToolCommandLine(const std::wstring& pattern, const std::wstring& older,
                                        const std::wstring& newer, std::wstring* commandLine);
