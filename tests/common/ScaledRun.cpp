#include "ScaledRun.h"

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
        if (::RegCreateKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                              &m_hKey, nullptr) != ERROR_SUCCESS) {
            m_hKey = nullptr;
            return;
        }
        DWORD size = sizeof m_previous;
        m_hadValue = ::RegQueryValueExA(m_hKey, kLogPixels, nullptr, nullptr,
                                        reinterpret_cast<BYTE*>(&m_previous), &size) == ERROR_SUCCESS;
        const DWORD value = dpi;
        m_set = ::RegSetValueExA(m_hKey, kLogPixels, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                 sizeof value) == ERROR_SUCCESS;
    }
    ~LogPixelsScope() {
        if (m_hKey == nullptr)
            return;
        if (m_hadValue)
            ::RegSetValueExA(m_hKey, kLogPixels, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&m_previous),
                             sizeof m_previous);
        else
            ::RegDeleteValueA(m_hKey, kLogPixels);
        ::RegCloseKey(m_hKey);
    }
    LogPixelsScope(const LogPixelsScope&) = delete;
    LogPixelsScope& operator=(const LogPixelsScope&) = delete;

    bool set() const { return m_set; }

private:
    HKEY m_hKey = nullptr;
    DWORD m_previous = 0;
    bool m_hadValue = false;
    bool m_set = false;
};

} // namespace

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

UINT ChildRunDpi() {
    const char* value = std::getenv(kDpiVariable);
    return value != nullptr ? static_cast<UINT>(std::strtoul(value, nullptr, 10)) : 0;
}
