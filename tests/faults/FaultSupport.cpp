#include "FaultSupport.h"

#include "WindowProbe.h"
#include "common/TempFolder.h"
#include "framework/FrameworkIds.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

const char kFrameClass[] = "TallowboxFrame";
uint64_t g_verifiedBytes = 0;
int g_failuresShown = 0;

std::string BuiltProgram() {
    return WindowsPathOfBuildFile(TALLOWBOX_EXE);
}

bool IsAtOrBelow(const std::string& path, const std::string& folder) {
    return !folder.empty() && path.compare(0, folder.size(), folder) == 0 &&
           (path.size() == folder.size() || path[folder.size()] == '\\');
}

std::string Describe(const TreeEntry& entry) {
    if (entry.folder)
        return "folder";
    char text[96];
    std::snprintf(text, sizeof text, "file of %zu bytes, written %llu, attributes 0x%lx",
                  entry.content.size(), entry.written, static_cast<unsigned long>(entry.attributes));
    return text;
}

bool SameEntry(const TreeEntry& a, const TreeEntry& b) {
    // A folder's own attributes may gain the archive bit as files are read below it.
    return a == b && (a.folder || a.attributes == b.attributes);
}

SYSTEMTIME Shifted(const SYSTEMTIME& time, ULONGLONG minutes) {
    FILETIME asFileTime;
    ::SystemTimeToFileTime(&time, &asFileTime);
    ULARGE_INTEGER value;
    value.LowPart = asFileTime.dwLowDateTime;
    value.HighPart = asFileTime.dwHighDateTime;
    value.QuadPart += minutes * 60ULL * 10000000ULL;
    asFileTime.dwLowDateTime = value.LowPart;
    asFileTime.dwHighDateTime = value.HighPart;
    SYSTEMTIME shifted;
    ::FileTimeToSystemTime(&asFileTime, &shifted);
    return shifted;
}

// Prints the totals after the last case, as the suite's last line.
class TotalsPrinter : public ::testing::Environment {
public:
    void TearDown() override {
        const ::testing::UnitTest& unit = *::testing::UnitTest::GetInstance();
        std::printf("fault-suite totals: cases=%d failed=%d bytes_verified=%llu failures_shown=%d\n",
                    unit.test_to_run_count(), unit.failed_test_count(),
                    static_cast<unsigned long long>(g_verifiedBytes), g_failuresShown);
        std::fflush(stdout);
    }
};

::testing::Environment* const g_totals = ::testing::AddGlobalTestEnvironment(new TotalsPrinter);

} // namespace

bool InstallProgram(const std::string& folder) {
    return MakeFolders(folder) &&
           ::CopyFileA(BuiltProgram().c_str(), (folder + "\\Tallowbox.exe").c_str(), FALSE);
}

StartedTallowbox::StartedTallowbox(const std::string& programFolder, const std::string& arguments,
                                   const std::string& currentFolder)
    : StartedTallowbox(programFolder, W(arguments), currentFolder) {}

StartedTallowbox::StartedTallowbox(const std::string& programFolder, const std::wstring& arguments,
                                   const std::string& currentFolder) {
    const std::wstring exe = W(programFolder + "\\Tallowbox.exe");
    std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    m_started = ::CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                 W(currentFolder).c_str(), &startup, &m_process) != FALSE;
}

StartedTallowbox::~StartedTallowbox() {
    if (!m_started)
        return;
    if (::WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(m_process.hProcess, 99);
        ::WaitForSingleObject(m_process.hProcess, 5000);
    }
    ::CloseHandle(m_process.hProcess);
    ::CloseHandle(m_process.hThread);
}

HWND StartedTallowbox::WaitForVisibleFrame(DWORD timeoutMs) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    while (m_started && ::GetTickCount64() < end) {
        for (HWND frame : TopLevelWindowsOf(m_process.dwProcessId, kFrameClass))
            if (::IsWindowVisible(frame))
                return frame;
        if (::WaitForSingleObject(m_process.hProcess, 10) != WAIT_TIMEOUT)
            return nullptr;
    }
    return nullptr;
}

bool StartedTallowbox::WaitForEnd(DWORD timeoutMs, bool* frameEverVisible) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    while (m_started && ::GetTickCount64() < end) {
        for (HWND frame : TopLevelWindowsOf(m_process.dwProcessId, kFrameClass))
            if (::IsWindowVisible(frame))
                *frameEverVisible = true;
        if (::WaitForSingleObject(m_process.hProcess, 10) == WAIT_OBJECT_0)
            return true;
    }
    return false;
}

DWORD StartedTallowbox::Close(HWND frame) {
    ::PostMessageA(frame, WM_CLOSE, 0, 0);
    bool unused = false;
    DWORD code = 0xDEAD;
    if (WaitForEnd(20000, &unused))
        ::GetExitCodeProcess(m_process.hProcess, &code);
    return code;
}

std::vector<ListedRow> StartedTallowbox::Rows(HWND frame) const {
    RemoteControlReader list(::GetDlgItem(::GetDlgItem(frame, AFX_IDW_PANE_FIRST), IDC_BACKUP_LIST));
    std::vector<ListedRow> rows;
    for (int i = 0; i < list.ItemCount(); ++i)
        rows.push_back({list.ItemText(i, 0), list.ItemText(i, 1), list.ItemText(i, 2), list.ItemText(i, 3),
                        list.ItemText(i, 4)});
    return rows;
}

// The journal of a day folder: every batch appends its records there.
// The program's records, which any backup or check may append to: the journals and the checks' ledger.
bool IsRecordFile(const std::string& path) {
    for (const std::string name : {"Tallowbox-journal.tsv", "Tallowbox-checks.tsv"})
        if (path.size() >= name.size() && path.compare(path.size() - name.size(), name.size(), name) == 0)
            return true;
    return false;
}

std::string ChangesOutside(const Tree& before, const Tree& after, const std::string& excluded) {
    std::string changes;
    for (const auto& [path, entry] : before) {
        if (IsAtOrBelow(path, excluded) || IsRecordFile(path))
            continue;
        const auto now = after.find(path);
        if (now == after.end())
            changes += "removed " + path + "; ";
        else if (!SameEntry(entry, now->second))
            changes += "changed " + path + " from " + Describe(entry) + " to " + Describe(now->second) + "; ";
    }
    for (const auto& [path, entry] : after) {
        if (!IsAtOrBelow(path, excluded) && !IsRecordFile(path) && before.find(path) == before.end())
            changes += "added " + path + " (" + Describe(entry) + "); ";
    }
    return changes;
}

std::string MissingFromCopy(const Tree& source, const Tree& copy, const std::vector<std::string>& skipped) {
    std::string missing;
    for (const auto& [path, entry] : source) {
        bool skip = false;
        for (const std::string& folder : skipped)
            skip = skip || IsAtOrBelow(path, folder);
        if (skip)
            continue;
        const auto copied = copy.find(path);
        if (copied == copy.end())
            missing += "missing " + path + "; ";
        else if (!(copied->second == entry))
            missing += "differs " + path + ": source " + Describe(entry) + ", copy " +
                       Describe(copied->second) + "; ";
        else
            CountVerifiedBytes(entry.content.size());
    }
    return missing;
}

std::string ExtraInCopy(const Tree& source, const Tree& copy) {
    std::string extra;
    for (const auto& entry : copy) {
        if (source.find(entry.first) == source.end())
            extra += entry.first + "; ";
    }
    return extra;
}

SYSTEMTIME Now() {
    SYSTEMTIME time;
    ::GetLocalTime(&time);
    return time;
}

std::string DayFolderText(const SYSTEMTIME& time, int daysLater) {
    const SYSTEMTIME day = Shifted(time, static_cast<ULONGLONG>(daysLater) * 24 * 60);
    char text[32];
    std::snprintf(text, sizeof text, "backups\\%04d-%02d%02d", day.wYear, day.wMonth, day.wDay);
    return text;
}

std::string MinuteFolderText(const SYSTEMTIME& time, int minutesLater) {
    const SYSTEMTIME minute = Shifted(time, static_cast<ULONGLONG>(minutesLater));
    char text[16];
    std::snprintf(text, sizeof text, "\\%02d%02d", minute.wHour, minute.wMinute);
    return DayFolderText(minute) + text;
}

bool IsFailedDestination(const std::string& destination) {
    return destination.rfind("(失敗)", 0) == 0;
}

bool IsFailureStatus(const std::string& status, const std::string& path) {
    const std::string start = path + "のバックアップに失敗しました（", end = "）";
    return status.size() > start.size() + end.size() && status.compare(0, start.size(), start) == 0 &&
           status.compare(status.size() - end.size(), end.size(), end) == 0;
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

void CountVerifiedBytes(uint64_t bytes) {
    g_verifiedBytes += bytes;
}

void CountFailureShown() {
    ++g_failuresShown;
}
