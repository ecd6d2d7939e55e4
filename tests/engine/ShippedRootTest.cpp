// The shipped backup root lies beside the running executable: a copy of this test program,
// started from a temporary folder, backs a file up and the copy appears beside it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "EngineTestSupport.h"
#include "common/TempFolder.h"
#include "engine/BackupItem.h"

namespace {

const char* const kItemVariable = "TALLOWBOX_ENGINE_TEST_ITEM";

DWORD RunAndWait(const std::string& program, const std::string& arguments) {
    std::string commandLine = "\"" + program + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
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
    const char* item = std::getenv(kItemVariable);
    ASSERT_NE(nullptr, item);
    RecordingHost host;
    EXPECT_EQ(0, BackupItem(host, item, At(2004, 3, 7, 14, 5)));
    ASSERT_EQ(1u, host.rows.size());
    EXPECT_EQ("status ready", host.events.back());
}

TEST(ShippedRoot, BackupsGoBesideTheExecutable) {
    TempFolder temp;
    char self[MAX_PATH];
    ASSERT_LT(GetModuleFileNameA(nullptr, self, MAX_PATH), static_cast<DWORD>(MAX_PATH));
    const std::string copy = temp / "app\\engine_copy.exe";
    MakeFolders(temp / "app");
    ASSERT_TRUE(CopyFileA(self, copy.c_str(), TRUE));
    const std::string item = temp / "data\\report.txt";
    WriteFileText(item, "report");
    ASSERT_TRUE(SetEnvironmentVariableA(kItemVariable, item.c_str()));
    const DWORD exitCode =
        RunAndWait(copy, "--gtest_also_run_disabled_tests --gtest_filter=ShippedRootChild.* --gtest_brief=1");
    SetEnvironmentVariableA(kItemVariable, nullptr);
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ("report", ReadWhole(temp / "app\\backups\\2004-0307\\1405\\report.txt"));
    EXPECT_EQ((std::vector<std::string>{"backups", "engine_copy.exe"}), ListFolder(temp / "app"));
}
