// The built Tallowbox.exe, copied into a temporary folder (its backups go beside it) and
// started with exact command lines, as a user or the shell starts it.
#include "RunningApp.h"
#include "WindowProbe.h"

#include "common/TempFolder.h"
#include "framework/FrameworkIds.h"
#include "res/resource.h"
#include "shell/main/MainFrm.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <psapi.h>

#include <string>

namespace {

const char kFrameClass[] = "TallowboxFrame";
const char kProfileKey[] = "Software\\Local AppWizard-Generated Applications\\Tallowbox";

std::string BuiltProgram() {
    return WindowsPathOfBuildFile(TALLOWBOX_EXE);
}

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

// Where the process loaded its common controls library from, in lower case; "" if nowhere.
// Version 6 lives in the side-by-side store, in the folder of the assembly the manifest names
// (its file version says 5.81 under Wine, so the folder is what tells).
std::string CommonControlsPathIn(HANDLE hProcess) {
    HMODULE modules[512];
    DWORD bytes = 0; // stays 0 when the modules cannot be listed
    ::EnumProcessModules(hProcess, modules, sizeof modules, &bytes);
    for (DWORD i = 0; i < bytes / sizeof(HMODULE) && i < 512; ++i) {
        char path[MAX_PATH] = "";
        ::GetModuleFileNameExA(hProcess, modules[i], path, MAX_PATH);
        const std::string name = ::CharLowerA(path);
        if (name.size() >= 13 && name.compare(name.size() - 13, 13, "\\comctl32.dll") == 0)
            return name;
    }
    return "";
}

bool KeyExists(const char* path) {
    HKEY hKey = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(hKey);
    return true;
}

// One started copy of the program; ended by force only if a test left it running.
class Program {
public:
    // showCommand < 0: the default; else passed as the start-up show command. ini: Tallowbox.ini's text.
    explicit Program(const std::string& arguments, int showCommand = -1, const std::string& ini = "") {
        exe = folder / "Tallowbox.exe";
        if (!ini.empty())
            WriteFileText(folder / "Tallowbox.ini", ini);
        copied = ::CopyFileA(BuiltProgram().c_str(), exe.c_str(), FALSE) != FALSE;
        std::string commandLine = Quoted(exe) + (arguments.empty() ? "" : " " + arguments);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        if (showCommand >= 0) {
            startup.dwFlags = STARTF_USESHOWWINDOW;
            startup.wShowWindow = static_cast<WORD>(showCommand);
        }
        started = copied && ::CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0,
                                             nullptr, folder.path().c_str(), &startup, &process) != FALSE;
    }
    ~Program() {
        if (started) {
            if (::WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
                ::TerminateProcess(process.hProcess, 99);
                ::WaitForSingleObject(process.hProcess, 5000);
            }
            ::CloseHandle(process.hProcess);
            ::CloseHandle(process.hThread);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // The main frame once it is visible, or nullptr after the timeout.
    HWND WaitForVisibleFrame(DWORD timeoutMs = 20000) const {
        const ULONGLONG end = ::GetTickCount64() + timeoutMs;
        while (::GetTickCount64() < end) {
            for (HWND frame : TopLevelWindowsOf(process.dwProcessId, kFrameClass))
                if (::IsWindowVisible(frame))
                    return frame;
            if (::WaitForSingleObject(process.hProcess, 5) != WAIT_TIMEOUT)
                return nullptr;
        }
        return nullptr;
    }
    // Waits for the process to end, noting whether a frame of it was ever visible meanwhile.
    bool WaitForEnd(DWORD timeoutMs, bool* frameEverVisible) const {
        const ULONGLONG end = ::GetTickCount64() + timeoutMs;
        while (::GetTickCount64() < end) {
            for (HWND frame : TopLevelWindowsOf(process.dwProcessId, kFrameClass))
                if (::IsWindowVisible(frame))
                    *frameEverVisible = true;
            if (::WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0)
                return true;
        }
        return false;
    }
    DWORD ExitCode() const {
        DWORD code = 0xDEAD;
        ::GetExitCodeProcess(process.hProcess, &code);
        return code;
    }
    DWORD pid() const { return process.dwProcessId; }

    TempFolder folder;
    std::string exe;
    bool copied = false;
    bool started = false;
    PROCESS_INFORMATION process = {};
};

// Every file name found below folder, at any depth.
int CountFilesBelow(const std::string& folder, const std::string& name) {
    int count = 0;
    WIN32_FIND_DATAA entry;
    HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    do {
        const std::string entryName = entry.cFileName;
        if (entryName == "." || entryName == "..")
            continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            count += CountFilesBelow(folder + "\\" + entryName, name);
        else if (entryName == name)
            ++count;
    } while (::FindNextFileA(find, &entry));
    ::FindClose(find);
    return count;
}

class StartedProgram : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WriteFileText(sources / "report.txt", "report"));
        ASSERT_TRUE(WriteFileText(sources / "photos\\one.txt", "one"));
    }
    TempFolder sources;
};

// A watched item without a copy gets its version only once the window has shown: the first
// picture holds the command line's rows alone, and the status line's first text.
TEST_F(StartedProgram, QuotedFileAndFolderAreListedWhenTheWindowFirstShows) {
    TempFolder backups;
    ASSERT_TRUE(WriteFileText(sources / "watched.txt", "watched"));
    ASSERT_TRUE(WriteFileText(backups / "Tallowbox-watch.tsv",
                              "#Tallowbox-watch 1\n" + sources / "watched.txt" + "\n"));
    Program program(Quoted(sources / "report.txt") + " " + Quoted(sources / "photos"), -1,
                    "[Tallowbox]\r\nWatchDelay=1\r\nBackupFolder=" + backups.path() + "\r\n");
    ASSERT_TRUE(program.started) << BuiltProgram();
    HWND frame = program.WaitForVisibleFrame();
    ASSERT_NE(frame, nullptr);
    HWND list = ::GetDlgItem(::GetDlgItem(frame, AFX_IDW_PANE_FIRST), IDC_BACKUP_LIST);
    RemoteControlReader rows(list);
    EXPECT_EQ(rows.ItemCount(), 2) << "rows present at the first showing";
    EXPECT_EQ(rows.ItemText(0, 2), "report.txt");
    EXPECT_EQ(rows.ItemText(1, 2), "(フォルダ)");
    EXPECT_EQ(rows.ItemText(1, 3), sources / "photos");
    EXPECT_EQ(WindowText(frame), "Tallowbox");
    EXPECT_TRUE(::GetWindowLongA(frame, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_NE(CommonControlsPathIn(program.process.hProcess)
                  .find("microsoft.windows.common-controls_6595b64144ccf1df_6."),
              std::string::npos)
        << "common controls 6 loaded, not " << CommonControlsPathIn(program.process.hProcess);
    EXPECT_EQ(CountFilesBelow(backups.path(), "report.txt"), 1);
    EXPECT_EQ(CountFilesBelow(backups.path(), "one.txt"), 1);
    EXPECT_TRUE(KeyExists(kProfileKey)) << "the profile exists after a start";

    RemoteControlReader status(::GetDlgItem(frame, AFX_IDW_STATUS_BAR));
    for (int i = 0; i < 100 && status.StatusText(0) != "ready"; ++i) // the last copy's end, on a busy machine
        ::Sleep(50);
    EXPECT_EQ(status.StatusText(0), "ready");
    for (int i = 0; i < 200 && rows.ItemCount() < 3; ++i)
        ::Sleep(50);
    ASSERT_EQ(rows.ItemCount(), 3) << "the watch resumed after the first showing";
    EXPECT_EQ(rows.ItemText(2, 2), "watched.txt");
    EXPECT_EQ(rows.ItemText(2, 4).rfind("(自動)", 0), 0u) << rows.ItemText(2, 4);

    ::PostMessageA(frame, WM_COMMAND, MAKEWPARAM(ID_APP_EXIT, 0), 0);
    std::vector<HWND> question; // closing while an item is watched asks first
    for (int i = 0; i < 200 && question.empty(); ++i, ::Sleep(50))
        question = TopLevelWindowsOf(program.pid(), "#32770");
    ASSERT_EQ(question.size(), 1u);
    ::PostMessageA(question[0], WM_COMMAND, IDYES, 0);
    bool unused = false;
    ASSERT_TRUE(program.WaitForEnd(10000, &unused));
    EXPECT_EQ(program.ExitCode(), 0u);
}

// As the shell starts a program for files dropped on its icon or sent to it: a path is quoted
// only when it holds a space. Switches and relative words are no items; a short name is listed long.
TEST_F(StartedProgram, ACommandLineAsTheShellBuildsItBacksUpEveryFullPathInOrder) {
    ASSERT_TRUE(WriteFileText(sources / "my data\\spaced.txt", "spaced"));
    ASSERT_TRUE(WriteFileText(sources / "LongFolderName\\longfilename.txt", "long"));
    char shortPath[MAX_PATH] = "";
    ASSERT_GT(
        ::GetShortPathNameA((sources / "LongFolderName\\longfilename.txt").c_str(), shortPath, MAX_PATH), 0u);
    ASSERT_EQ(std::string(shortPath).find(' '), std::string::npos);
    // "Tallowbox.exe" names the program itself in its working folder: a relative word all the same.
    Program program(sources / "report.txt" + " /x -v " + Quoted(sources / "my data\\spaced.txt") +
                    " Tallowbox.exe word " + shortPath);
    ASSERT_TRUE(program.started);
    HWND frame = program.WaitForVisibleFrame();
    ASSERT_NE(frame, nullptr);
    HWND list = ::GetDlgItem(::GetDlgItem(frame, AFX_IDW_PANE_FIRST), IDC_BACKUP_LIST);
    RemoteControlReader rows(list);
    ASSERT_EQ(rows.ItemCount(), 3) << "rows present at the first showing";
    EXPECT_EQ(rows.ItemText(0, 2), "report.txt");
    EXPECT_EQ(rows.ItemText(1, 2), "spaced.txt");
    EXPECT_EQ(rows.ItemText(2, 2), "longfilename.txt");
    EXPECT_EQ(rows.ItemText(2, 3), sources / "LongFolderName");
    EXPECT_EQ(rows.ItemText(0, 1), rows.ItemText(2, 1)) << "one time stamp";
    std::string content;
    EXPECT_TRUE(ReadFileText(rows.ItemText(2, 4) + "\\longfilename.txt", &content));
    EXPECT_EQ(content, "long");
    EXPECT_EQ(CountFilesBelow(program.folder / "backups", "Tallowbox.exe"), 0);
    EXPECT_EQ(WindowText(frame), "Tallowbox") << "the document's name never reaches the title";
    ::PostMessageA(frame, WM_CLOSE, 0, 0);
    bool unused = false;
    ASSERT_TRUE(program.WaitForEnd(10000, &unused));
    EXPECT_EQ(program.ExitCode(), 0u);
}

// The real shell opens the folder here (Wine's file manager, ended with the test prefix).
TEST_F(StartedProgram, OpenFolderMakesTheBackupRootAndAsksTheShell) {
    Program program("");
    HWND frame = program.WaitForVisibleFrame();
    ASSERT_NE(frame, nullptr);
    ASSERT_FALSE(FolderExists(program.folder / "backups"));
    ::PostMessageA(frame, WM_COMMAND, MAKEWPARAM(ID_OPEN_FOLDER, 0), 0);
    for (int i = 0; i < 200 && !FolderExists(program.folder / "backups"); ++i)
        ::Sleep(50);
    EXPECT_TRUE(FolderExists(program.folder / "backups"));
    DWORD_PTR result = 0;
    EXPECT_TRUE(::SendMessageTimeoutA(frame, WM_NULL, 0, 0, SMTO_BLOCK, 20000, &result))
        << "the program answers again once the shell call returned";
    EXPECT_TRUE(::GetWindowLongA(frame, GWL_EXSTYLE) & WS_EX_TOPMOST);
    ::PostMessageA(frame, WM_CLOSE, 0, 0);
    bool unused = false;
    ASSERT_TRUE(program.WaitForEnd(10000, &unused));
    EXPECT_EQ(program.ExitCode(), 0u);
}

TEST_F(StartedProgram, AHiddenStartStillShowsTheWindow) {
    Program program("", SW_HIDE);
    ASSERT_TRUE(program.started);
    HWND frame = program.WaitForVisibleFrame();
    ASSERT_NE(frame, nullptr) << "shown although started hidden";
    ::PostMessageA(frame, WM_CLOSE, 0, 0);
    bool unused = false;
    ASSERT_TRUE(program.WaitForEnd(10000, &unused));
    EXPECT_EQ(program.ExitCode(), 0u);
}

TEST_F(StartedProgram, PrintSwitchBacksUpWithoutEverShowingAWindowAndEnds) {
    const struct {
        std::string item, copied;
    } cases[] = {{Quoted(sources / "report.txt"), "report.txt"}, {sources / "photos", "one.txt"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item);
        Program program("/p " + c.item);
        ASSERT_TRUE(program.started);
        bool frameEverVisible = false;
        ASSERT_TRUE(program.WaitForEnd(20000, &frameEverVisible)) << "the process ends by itself";
        EXPECT_FALSE(frameEverVisible);
        EXPECT_EQ(CountFilesBelow(program.folder / "backups", c.copied), 1);
    }
}

TEST_F(StartedProgram, DdeSwitchEndsWithoutAWindow) {
    Program program("/dde");
    ASSERT_TRUE(program.started);
    bool frameEverVisible = false;
    ASSERT_TRUE(program.WaitForEnd(20000, &frameEverVisible));
    EXPECT_FALSE(frameEverVisible);
}

TEST_F(StartedProgram, UnregisterRemovesTheProfileAndSaysSo) {
    {
        Program first("");
        HWND frame = first.WaitForVisibleFrame();
        ASSERT_NE(frame, nullptr);
        ::PostMessageA(frame, WM_CLOSE, 0, 0);
        bool unused = false;
        ASSERT_TRUE(first.WaitForEnd(10000, &unused));
    }
    ASSERT_TRUE(KeyExists(kProfileKey));

    Program program("/Unregister");
    ASSERT_TRUE(program.started);
    MessageBoxAnswerer answerer(program.pid(), 20000);
    bool frameEverVisible = false;
    ASSERT_TRUE(program.WaitForEnd(25000, &frameEverVisible));
    ASSERT_TRUE(answerer.Wait());
    EXPECT_EQ(answerer.caption, "Tallowbox");
    EXPECT_EQ(answerer.text,
              "ｼｽﾃﾑ ﾚｼﾞｽﾄﾘ ｴﾝﾄﾘは削除されています。また、INI ﾌｧｲﾙがある場合は、INI ﾌｧｲﾙも削除されました。");
    EXPECT_FALSE(frameEverVisible);
    EXPECT_TRUE(TopLevelWindowsOf(program.pid(), kFrameClass).empty());
    EXPECT_FALSE(KeyExists(kProfileKey));
}

TEST_F(StartedProgram, UnregisterWithEmbeddingIsSilent) {
    Program program("-unregserver /Embedding");
    ASSERT_TRUE(program.started);
    MessageBoxAnswerer answerer(program.pid(), 3000);
    bool frameEverVisible = false;
    EXPECT_TRUE(program.WaitForEnd(20000, &frameEverVisible));
    EXPECT_FALSE(answerer.Wait()) << "box shown: " << answerer.text;
    EXPECT_FALSE(frameEverVisible);
    EXPECT_FALSE(KeyExists(kProfileKey));
}

// Started minimized, as the Startup folder's shortcut starts it, with items to watch: it goes to the
// notification area. Two programs on one backups folder's watch list: only the first watches, so a
// save is versioned once (the first also versions the item at its start: it had no copy yet).
TEST_F(StartedProgram, StartedMinimizedItWatchesOutOfSightASecondProgramLeavesTheWatchesToIt) {
    TempFolder shared;
    const std::string report = sources / "report.txt";
    const std::string ini = "[Tallowbox]\r\nWatchDelay=1\r\nBackupFolder=" + shared / "backups" + "\r\n";
    ASSERT_TRUE(WriteFileText(shared / "Tallowbox.ini", ini));
    ASSERT_TRUE(
        WriteFileText(shared / "backups\\Tallowbox-watch.tsv", "#Tallowbox-watch 1\n" + report + "\n"));
    Program first("", SW_SHOWMINNOACTIVE, ini);
    HWND frame = nullptr;
    for (int i = 0; i < 200 && frame == nullptr; ++i, ::Sleep(50))
        for (HWND found : TopLevelWindowsOf(first.pid(), kFrameClass))
            frame = found;
    ASSERT_NE(frame, nullptr);
    RemoteControlReader rows(::GetDlgItem(::GetDlgItem(frame, AFX_IDW_PANE_FIRST), IDC_BACKUP_LIST));
    // The start's own backup, bounded for a machine that is busy with builds beside the tests.
    for (int i = 0; i < 400 && (rows.ItemCount() < 1 || ::IsWindowVisible(frame)); ++i)
        ::Sleep(50);
    ASSERT_EQ(1, rows.ItemCount());
    EXPECT_FALSE(::IsWindowVisible(frame)) << "in the notification area";

    const CMainFrame::Asker ask = CMainFrame::s_pfnAsk;
    CMainFrame::s_pfnAsk = [](HWND, const std::wstring&, UINT) { return IDYES; };
    {
        RunningApp second("", shared.path());
        ASSERT_TRUE(second.started());
        second.Pump(1500);
        ASSERT_TRUE(WriteFileText(report, "saved"));
        second.Pump(4000);
        EXPECT_EQ(0, second.ItemCount()) << "the second program leaves the list to the first";
        EXPECT_EQ(2, rows.ItemCount());
        EXPECT_EQ(0u, rows.ItemText(1, 4).rfind("(自動)", 0)) << rows.ItemText(1, 4);
    }
    CMainFrame::s_pfnAsk = ask;
}

} // namespace
