#include "ScaledRun.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

const char kDesktopKey[] = "Control Panel\\Desktop";
const char kLogPixels[] = "LogPixels";
const char kDpiVariable[] = "TALLOWBOX_TEST_DPI";

// LogPixels set for as long as the object lives, then the value it had (or none) again.
class LogPixelsScope {
public:
    explicit LogPixelsScope(UINT dpi) {
        DWORD size = sizeof m_previous;
        m_hadValue = ::RegGetValueA(HKEY_CURRENT_USER, kDesktopKey, kLogPixels, RRF_RT_REG_DWORD, nullptr,
                                    &m_previous, &size) == ERROR_SUCCESS;
        const DWORD value = dpi;
        m_set = ::RegSetKeyValueA(HKEY_CURRENT_USER, kDesktopKey, kLogPixels, REG_DWORD, &value,
                                  sizeof value) == ERROR_SUCCESS;
    }
    ~LogPixelsScope() {
        if (m_hadValue)
            ::RegSetKeyValueA(HKEY_CURRENT_USER, kDesktopKey, kLogPixels, REG_DWORD, &m_previous,
                              sizeof m_previous);
        else
            ::RegDeleteKeyValueA(HKEY_CURRENT_USER, kDesktopKey, kLogPixels);
    }
    LogPixelsScope(const LogPixelsScope&) = delete;
    LogPixelsScope& operator=(const LogPixelsScope&) = delete;

    bool set() const { return m_set; }

private:
    DWORD m_previous = 0;
    bool m_hadValue = false;
    bool m_set = false;
};

// Runs this program again with --gtest_filter=filter while LogPixels is dpi. Returns the
// child's exit code, -1 if it could not be started, -2 if it did not end within two minutes.
int RunThisProgramAtDpi(UINT dpi, const std::string& filter) {
    LogPixelsScope scale(dpi);
    if (!scale.set()) {
        std::fprintf(stderr, "RunThisProgramAtDpi: cannot set LogPixels to %u\n", dpi);
        return -1;
    }
    char program[MAX_PATH] = "";
    ::GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string commandLine = "\"" + std::string(program) + "\" --gtest_filter=" + filter;
    ::SetEnvironmentVariableA(kDpiVariable, std::to_string(dpi).c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES; // the child's report goes where this program's goes
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child = {};
    const BOOL started = ::CreateProcessA(program, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                          nullptr, &startup, &child);
    ::SetEnvironmentVariableA(kDpiVariable, nullptr);
    if (!started)
        return -1;
    int result = -2;
    if (::WaitForSingleObject(child.hProcess, 120000) == WAIT_OBJECT_0) {
        DWORD code = 0;
        ::GetExitCodeProcess(child.hProcess, &code);
        result = static_cast<int>(code);
    } else {
        ::TerminateProcess(child.hProcess, 99);
        ::WaitForSingleObject(child.hProcess, 5000);
    }
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);
    return result;
}

} // namespace

void ExpectPassingAtEveryScale(const std::string& filter) {
    if (ChildRunDpi() != 0)
        GTEST_SKIP() << "a child run at one scale";
    for (UINT dpi : {120u, 144u, 192u})
        EXPECT_EQ(0, RunThisProgramAtDpi(dpi, filter))
            << "failures at " << dpi << " DPI (the child's report is above)";
}

UINT ChildRunDpi() {
    const char* value = std::getenv(kDpiVariable);
    return value != nullptr ? static_cast<UINT>(std::strtoul(value, nullptr, 10)) : 0;
}

int FontHeightOf(HWND hWnd) {
    LOGFONTW font = {};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(hWnd, WM_GETFONT, 0, 0)), sizeof font, &font);
    return std::abs(font.lfHeight);
}
