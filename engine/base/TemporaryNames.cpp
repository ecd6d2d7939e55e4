#include "engine/base/TemporaryNames.h"

#include <atomic>
#include <cwchar>

#include "framework/FileFind.h"
#include "framework/FileHandle.h"

namespace {

// "~tallowbox-partial-<process>-<start>-<number>.tmp": the process number and its start time
// (16 hex digits) name the process that makes it, so a leftover of a killed copy is told from
// one still being made, even once the number has gone to a later process. Earlier versions
// wrote "~tallowbox-partial-<process>-<number>.tmp".
const wchar_t* const kTemporaryPrefix = L"~tallowbox-partial-";
const wchar_t* const kTemporarySuffix = L".tmp";

ULONGLONG Ticks(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The start time of a process, or 0 when it cannot be read.
ULONGLONG ProcessStart(HANDLE process) {
    FILETIME started, exited, kernel, user;
    return GetProcessTimes(process, &started, &exited, &kernel, &user) ? Ticks(started) : 0;
}

// The process that made a temporary, as its name says: its number (0 when the name gives none)
// and its start time (0 in an earlier version's name).
struct TemporaryMaker {
    DWORD process = 0;
    ULONGLONG start = 0;
};

TemporaryMaker MakerOfTemporary(const std::wstring& name) {
    TemporaryMaker maker;
    if (!IsTemporaryName(name))
        return maker;
    const wchar_t* text = name.c_str() + std::wcslen(kTemporaryPrefix);
    wchar_t* end = nullptr;
    maker.process = static_cast<DWORD>(std::wcstoul(text, &end, 10));
    if (end == text || *end != L'-')
        return TemporaryMaker();
    // "<start>-<number>" after the process number; an earlier version's name has "<number>." there.
    text = end + 1;
    const ULONGLONG start = std::wcstoull(text, &end, 16);
    if (end == text + 16 && *end == L'-')
        maker.start = start;
    return maker;
}

// True only when the process that made a temporary has surely ended: no process has its number,
// the one that has it ended, or it started at another time than the maker (the number was
// reused). Anything else, a process that cannot be asked too, keeps the temporary.
bool MakerHasEnded(const TemporaryMaker& maker) {
    const HANDLE opened = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, maker.process);
    if (opened == nullptr)
        return GetLastError() == ERROR_INVALID_PARAMETER; // no such process
    CFileHandle process(opened);
    DWORD exitCode = 0;
    if (GetExitCodeProcess(process.get(), &exitCode) && exitCode != STILL_ACTIVE)
        return true; // ended; a handle held somewhere keeps its number taken
    if (maker.start == 0)
        return false; // an earlier version's name: this may be its maker
    const ULONGLONG start = ProcessStart(process.get());
    return start != 0 && start != maker.start;
}

} // namespace

std::wstring TemporaryName() {
    static std::atomic<unsigned long> s_next{0};
    static const ULONGLONG s_start = ProcessStart(GetCurrentProcess());
    wchar_t name[96];
    if (s_start != 0)
        std::swprintf(name, 96, L"%ls%lu-%016llX-%lu%ls", kTemporaryPrefix, GetCurrentProcessId(), s_start,
                      ++s_next, kTemporarySuffix);
    else // unknown: other copies keep it while a process has this number
        std::swprintf(name, 96, L"%ls%lu-%lu%ls", kTemporaryPrefix, GetCurrentProcessId(), ++s_next,
                      kTemporarySuffix);
    return name;
}

bool IsTemporaryName(const std::wstring& name) {
    const size_t prefix = std::wcslen(kTemporaryPrefix), suffix = std::wcslen(kTemporarySuffix);
    return name.size() > prefix + suffix && name.compare(0, prefix, kTemporaryPrefix) == 0 &&
           name.compare(name.size() - suffix, suffix, kTemporarySuffix) == 0;
}

void RemoveTemporary(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    DeleteFileW(path.c_str());
}

void RemoveLeftoverTemporaries(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    const std::wstring pattern = folder + L"\\" + kTemporaryPrefix + L"*" + kTemporarySuffix;
    CFindHandle find(
        FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
    if (find.get() == INVALID_HANDLE_VALUE)
        return;
    do {
        const TemporaryMaker maker = MakerOfTemporary(found.cFileName);
        // A running maker (this process too) may be between its copy and its rename; one open
        // elsewhere refuses deletion and is kept as well.
        if (maker.process != 0 && !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            MakerHasEnded(maker))
            RemoveTemporary(folder + L"\\" + found.cFileName);
    } while (FindNextFileW(find.get(), &found));
}
