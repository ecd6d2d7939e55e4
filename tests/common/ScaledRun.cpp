#include "ScaledRun.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

const char kDesktopKey[] = "Control Panel\\Desktop";
const char kLogPixels[] = "LogPixels";
const char kDpiVariable[] = "TALLOWBOX_TEST_DPI";

// Sets LogPixels to dpi, or removes the value for 0; true when done.
bool SetLogPixels(DWORD dpi) {
    if (dpi == 0)
        return ::RegDeleteKeyValueA(HKEY_CURRENT_USER, kDesktopKey, kLogPixels) == ERROR_SUCCESS;
    return ::RegSetKeyValueA(HKEY_CURRENT_USER, kDesktopKey, kLogPixels, REG_DWORD, &dpi, sizeof dpi) ==
           ERROR_SUCCESS;
}

// Runs this program again with --gtest_filter=filter, telling it dpi. Returns the child's exit
// code, -1 if it could not be started, -2 if it did not end within two minutes.
int RunThisProgramAt(UINT dpi, const std::string& filter) {
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
    ExpectPassingAtScales(filter, {120u, 144u, 192u});
}

void ExpectPassingAtScales(const std::string& filter, std::initializer_list<UINT> scales) {
    if (ChildRunDpi() != 0)
        GTEST_SKIP() << "a child run at one scale";
    DWORD previous = 0, size = sizeof previous; // stays 0 when there is no value of its own
    ::RegGetValueA(HKEY_CURRENT_USER, kDesktopKey, kLogPixels, RRF_RT_REG_DWORD, nullptr, &previous, &size);
    for (UINT dpi : scales)
        EXPECT_EQ(0, SetLogPixels(dpi) ? RunThisProgramAt(dpi, filter) : -3)
            << "failures at " << dpi << " DPI (the child's report is above; -3: LogPixels not set)";
    SetLogPixels(previous);
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
