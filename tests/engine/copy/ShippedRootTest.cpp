// The shipped backup root lies beside the running executable: a copy of this test program,
// started from a temporary folder, backs a file up and the copy appears beside it, even when
// the folder's name is outside code page 932 and a look-alike of it stands next to it.
#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "common/TempFolder.h"
#include "engine/copy/BackupItem.h"

namespace {

const wchar_t* const kItemVariable = L"TALLOWBOX_ENGINE_TEST_ITEM";

DWORD RunAndWait(const std::wstring& program, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return 0xFFFFFFFF;
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 0xFFFFFFFE;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

} // namespace

// Run only inside the copy started below (disabled tests are skipped in a normal run).
TEST(ShippedRootChild, DISABLED_BacksUpBesideItsOwnExecutable) {
    wchar_t item[1024] = L"";
    ASSERT_NE(0u, GetEnvironmentVariableW(kItemVariable, item, 1024));
    RecordingHost host;
    EXPECT_EQ(0, BackupItem(host, item, At(2004, 3, 7, 14, 5)));
    ASSERT_EQ(1u, host.rows.size());
    EXPECT_EQ("status ready", host.events.back());
}

TEST(ShippedRoot, BackupsGoBesideTheExecutable) {
    TempFolder temp;
    wchar_t self[MAX_PATH];
    ASSERT_LT(GetModuleFileNameW(nullptr, self, MAX_PATH), static_cast<DWORD>(MAX_PATH));
    // "café" next to "cafe", the name a best-fit conversion would make of it.
    const std::wstring app = W(temp.path()) + L"\\caf\u00E9";
    MakeFolders(temp / "cafe");
    ASSERT_TRUE(CreateDirectoryW(app.c_str(), nullptr));
    const std::wstring copy = app + L"\\engine_copy.exe";
    ASSERT_TRUE(CopyFileW(self, copy.c_str(), TRUE));
    const std::string item = temp / "data\\report.txt";
    WriteFileText(item, "report");
    ASSERT_TRUE(SetEnvironmentVariableW(kItemVariable, W(item).c_str()));
    const DWORD exitCode = RunAndWait(
        copy, L"--gtest_also_run_disabled_tests --gtest_filter=ShippedRootChild.* --gtest_brief=1");
    SetEnvironmentVariableW(kItemVariable, nullptr);
    EXPECT_EQ(0u, exitCode);
    std::string copied;
    EXPECT_TRUE(ReadWideFile(app + L"\\backups\\2004-0307\\1405\\report.txt", &copied));
    EXPECT_EQ("report", copied);
    EXPECT_TRUE(ListFolder(temp / "cafe").empty()) << "nothing is ever written into the look-alike";
}
