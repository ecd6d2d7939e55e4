#include "engine/compare/DiffTool.h"

#include "engine/base/Settings.h"

DiffToolOutcome MakeDiffToolCommandLine(const std::wstring& pattern, const std::wstring& older,
                                        const std::wstring& newer, std::wstring* commandLine) {
    if (pattern.find_first_not_of(L" \t") == std::wstring::npos)
        return DiffToolOutcome::NotSet;
    if (pattern.find(L"%1") == std::wstring::npos || pattern.find(L"%2") == std::wstring::npos)
        return DiffToolOutcome::MissingPlaceholders;
    // One pass over the template: a path that itself holds "%2" is never replaced again.
    std::wstring made;
    for (size_t at = 0; at < pattern.size(); ++at) {
        if (pattern[at] == L'%' && at + 1 < pattern.size() &&
            (pattern[at + 1] == L'1' || pattern[at + 1] == L'2')) {
            made += pattern[++at] == L'1' ? older : newer;
            continue;
        }
        made += pattern[at];
    }
    if (made.size() > kMaxCommandLineLength)
        return DiffToolOutcome::TooLong;
    *commandLine = std::move(made);
    return DiffToolOutcome::Ready;
}
