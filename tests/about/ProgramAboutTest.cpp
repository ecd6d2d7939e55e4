// The about box of the real program: Tallowbox.exe is started from a temporary copy, and its
// Help menu's about command is sent to the main window as the menu sends it, several times.
#include "GdiProbe.h"

#include "common/TempFolder.h"
#include "resource.h"
#include "version.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char kAboutCaption[] = "Tallowboxのﾊﾞｰｼﾞｮﾝ情報";

// build\tests\about\this.exe -> build\shell\Tallowbox.exe
std::string BuiltProgramPath() {
    char path[MAX_PATH];
    ::GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path);
    for (int up = 0; up < 3; ++up)
        folder.erase(folder.find_last_of('\\'));
    return folder + "\\shell\\Tallowbox.exe";
}

struct WindowQuery {
    DWORD processId;
    const char* caption; // nullptr: the main window (the one with a menu)
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND hWnd, LPARAM lParam) {
    auto* query = reinterpret_cast<WindowQuery*>(lParam);
    DWORD processId = 0;
    ::GetWindowThreadProcessId(hWnd, &processId);
    if (processId != query->processId || !::IsWindowVisible(hWnd))
        return TRUE;
    char text[128] = "";
    ::GetWindowTextA(hWnd, text, sizeof text);
    const bool match = query->caption != nullptr ? std::string(text) == query->caption : ::GetMenu(hWnd) != nullptr;
    if (match) {
        query->found = hWnd;
        return FALSE;
    }
    return TRUE;
}

// Waits up to timeoutMs for a visible top-level window of the process; nullptr if none came.
HWND WaitForWindow(DWORD processId, const char* caption, DWORD timeoutMs) {
    for (DWORD waited = 0;; waited += 50) {
        WindowQuery query = {processId, caption, nullptr};
        ::EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&query));
        if (query.found != nullptr || waited >= timeoutMs)
            return query.found;
        ::Sleep(50);
    }
}

bool WaitUntilGone(HWND hWnd, DWORD timeoutMs) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
        if (!::IsWindow(hWnd) || !::IsWindowVisible(hWnd))
            return true;
        ::Sleep(50);
    }
    return false;
}

// What is on screen over a window's client area (another process's window cannot be read directly).
Pixels ScreenPixelsOf(HWND hWnd) {
    RECT client;
    ::GetClientRect(hWnd, &client);
    POINT origin = {0, 0};
    ::ClientToScreen(hWnd, &origin);
    HDC hScreen = ::GetDC(nullptr);
    HDC hMemory = ::CreateCompatibleDC(hScreen);
    HBITMAP hBitmap = ::CreateCompatibleBitmap(hScreen, client.right, client.bottom);
    HGDIOBJ hOld = ::SelectObject(hMemory, hBitmap);
    ::BitBlt(hMemory, 0, 0, client.right, client.bottom, hScreen, origin.x, origin.y, SRCCOPY);
    Pixels pixels = ReadPixels(hMemory, client.right, client.bottom);
    ::SelectObject(hMemory, hOld);
    ::DeleteObject(hBitmap);
    ::DeleteDC(hMemory);
    ::ReleaseDC(nullptr, hScreen);
    return pixels;
}

int CountNot(const Pixels& pixels, COLORREF colour) {
    int count = 0;
    for (COLORREF pixel : pixels.data)
        count += pixel != colour;
    return count;
}

std::string ClassOf(HWND hWnd) {
    char name[64] = "";
    ::GetClassNameA(hWnd, name, sizeof name);
    return name;
}

// The started program; ended by force only if the test could not close it.
class RunningProgram {
public:
    explicit RunningProgram(const std::string& exePath) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        char commandLine[] = "Tallowbox.exe"; // no quoted pieces: nothing to back up
        const std::string folder = exePath.substr(0, exePath.find_last_of('\\'));
        m_started = ::CreateProcessA(exePath.c_str(), commandLine, nullptr, nullptr, FALSE, 0, nullptr,
                                     folder.c_str(), &startup, &m_process) != FALSE;
    }
    ~RunningProgram() {
        if (!m_started)
            return;
        if (::WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT)
            ::TerminateProcess(m_process.hProcess, 99);
        ::CloseHandle(m_process.hThread);
        ::CloseHandle(m_process.hProcess);
    }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    bool started() const { return m_started; }
    DWORD id() const { return m_process.dwProcessId; }
    // The exit code, or STILL_ACTIVE when it did not end within timeoutMs.
    DWORD WaitForExit(DWORD timeoutMs) const {
        ::WaitForSingleObject(m_process.hProcess, timeoutMs);
        DWORD code = STILL_ACTIVE;
        ::GetExitCodeProcess(m_process.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION m_process = {};
    bool m_started = false;
};

} // namespace

TEST(ProgramAboutBox, OpensFromTheHelpCommandEveryTimeAndClosesWithOk) {
    const std::string built = BuiltProgramPath();
    ASSERT_TRUE(FileExists(built)) << built;
    TempFolder folder;
    const std::string exe = folder / "Tallowbox.exe";
    ASSERT_TRUE(::CopyFileA(built.c_str(), exe.c_str(), FALSE)) << ::GetLastError();
    ::SetCursorPos(1270, 1010);

    RunningProgram program(exe);
    ASSERT_TRUE(program.started()) << ::GetLastError();
    HWND hMain = WaitForWindow(program.id(), nullptr, 30000);
    ASSERT_NE(nullptr, hMain) << "main window";
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);

    for (int opening = 1; opening <= 3; ++opening) {
        SCOPED_TRACE("opening " + std::to_string(opening));
        ASSERT_TRUE(::PostMessageA(hMain, WM_COMMAND, MAKEWPARAM(ID_APP_ABOUT, 0), 0));
        HWND hAbout = WaitForWindow(program.id(), kAboutCaption, 10000);
        ASSERT_NE(nullptr, hAbout) << "about box";
        EXPECT_EQ(hMain, ::GetWindow(hAbout, GW_OWNER));
        EXPECT_FALSE(::IsWindowEnabled(hMain)) << "main window while the box is open";

        HWND hPicture = ::GetDlgItem(hAbout, IDC_PICTURE);
        HWND hLink = ::GetDlgItem(hAbout, IDC_LINK);
        HWND hOk = ::GetDlgItem(hAbout, IDOK);
        EXPECT_EQ("MyTBmp", ClassOf(hPicture));
        EXPECT_EQ("MyBmpUrl", ClassOf(hLink));
        EXPECT_NE(nullptr,
                  ::FindWindowExA(hAbout, nullptr, "Static", "Tallowbox Version " TALLOWBOX_VERSION_TEXT));

        ::Sleep(300); // let it paint
        // A machine busy beside the tests may take longer: look again until both pictures show.
        Pixels picture = ScreenPixelsOf(hPicture), link = ScreenPixelsOf(hLink);
        for (int waited = 0; waited < 50 && (CountNot(picture, face) <= static_cast<int>(picture.data.size()) / 10 ||
                                             CountNot(link, face) <= link.width * 2);
             ++waited) {
            ::Sleep(100);
            picture = ScreenPixelsOf(hPicture);
            link = ScreenPixelsOf(hLink);
        }
        EXPECT_GT(CountNot(picture, face), static_cast<int>(picture.data.size()) / 10) << "picture drawn";
        int marginNotFace = 0;
        for (int y = 0; y < link.height; ++y)
            for (int x = 0; x < link.width; ++x)
                if ((x < 2 || y < 2 || x >= link.width - 2 || y >= link.height - 2) && link.at(x, y) != face)
                    ++marginNotFace;
        EXPECT_EQ(0, marginNotFace) << "the link shows its inset picture, margin in button face";
        EXPECT_GT(CountNot(link, face), link.width * 2) << "link picture drawn";

        ASSERT_TRUE(::PostMessageA(hOk, BM_CLICK, 0, 0));
        EXPECT_TRUE(WaitUntilGone(hAbout, 10000)) << "OK closes the box";
        for (int waited = 0; waited < 100 && !::IsWindowEnabled(hMain); ++waited)
            ::Sleep(20);
        EXPECT_TRUE(::IsWindowEnabled(hMain)) << "main window after the box";
    }

    ::PostMessageA(hMain, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, program.WaitForExit(15000)) << "exit code";
}
