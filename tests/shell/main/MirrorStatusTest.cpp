// The mirror in the running program: a drop while the mirror folder cannot be reached is a
// success whose waiting the status line says; Copy Now once it is there catches up and says so.
#include "RunningApp.h"

#include "common/TempFolder.h"
#include "res/resource.h"

#include <gtest/gtest.h>

namespace {

// Pumps until the status line holds text (the mirror's thread posts its state), at most a while.
bool PumpUntilStatus(RunningApp& running, const std::wstring& text) {
    for (int tries = 0; tries < 100 && running.WideStatusText() != text; ++tries)
        running.Pump(100);
    return running.WideStatusText() == text;
}

} // namespace

TEST(MirrorStatus, WaitingSaidWhileAwayCaughtUpOnCopyNow) {
    TempFolder sources, program, disk;
    const std::string mirror = disk / "usb\\mirror";
    ASSERT_TRUE(WriteFileText(program / "Tallowbox.ini", "[Tallowbox]\r\nMirrorFolder=" + mirror + "\r\n"));
    ASSERT_TRUE(WriteFileText(sources / "note.txt", "first"));
    RunningApp running("", program.path());
    ASSERT_TRUE(running.started());
    ::PostMessageA(running.View(), WM_DROPFILES,
                   reinterpret_cast<WPARAM>(MakeDropBlock({sources / "note.txt"})), 0);
    running.PumpUntilRows(1);
    EXPECT_EQ(std::string::npos, running.ItemText(0, 4).find("(失敗)")) << "the mirror fails no row";
    EXPECT_TRUE(PumpUntilStatus(running, L"ミラー先に届きません: 1 件待ち")) << running.StatusText();

    ASSERT_TRUE(MakeFolders(disk / "usb"));
    ::PostMessageW(running.Frame(), WM_COMMAND, ID_MIRROR_NOW, 0);
    EXPECT_TRUE(PumpUntilStatus(running, L"ミラーに写し終えました")) << running.StatusText();
    std::string copied;
    const std::string backup = running.ItemText(0, 4);
    ASSERT_TRUE(ReadFileText(mirror + backup.substr(backup.find("\\backups\\") + 8) + "\\note.txt", &copied))
        << backup;
    EXPECT_EQ("first", copied);
}
