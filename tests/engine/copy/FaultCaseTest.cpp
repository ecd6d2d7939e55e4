// Harder trees and names: a blocked minute folder, a deep tree, names the code page and the
// command line make awkward. Each checks the source is unchanged and the copy is whole.
#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "common/TempFolder.h"
#include "engine/copy/BackupItem.h"

namespace {

class FaultCaseTest : public ::testing::Test {
protected:
    FaultCaseTest() : m_program(m_temp / "prog"), m_data(m_temp / "data") {
        MakeFolders(m_program);
        MakeFolders(m_data);
    }

    bool Backup(const std::string& path) {
        return BackupItemBelow(m_host, W(path).c_str(), At(2004, 3, 7, 14, 5), W(m_program));
    }
    std::string MinuteFolder() const { return m_program + "\\backups\\2004-0307\\1405"; }

    TempFolder m_temp;
    const std::string m_program;
    const std::string m_data;
    RecordingHost m_host;
};

} // namespace

TEST_F(FaultCaseTest, AFileWhereTheMinuteFolderMustGoIsKept) {
    WriteFileText(MinuteFolder(), "a file named 1405");
    WriteFileText(m_data + "\\a.txt", "a");
    EXPECT_FALSE(Backup(m_data + "\\a.txt"));
    EXPECT_EQ("a file named 1405", ReadWhole(MinuteFolder()));
    ASSERT_EQ(1u, m_host.rows.size());
    EXPECT_EQ("(失敗)" + MinuteFolder(), m_host.rows[0].destination.str());
}

TEST_F(FaultCaseTest, ThirtyLevelsDeep) {
    std::string folder = m_data + "\\deep";
    for (int level = 1; level <= 30; ++level) {
        folder += "\\" + std::to_string(level % 10);
        WriteFileText(folder + "\\f.txt", "level " + std::to_string(level));
    }
    const auto before = ReadTree(m_data + "\\deep");
    ASSERT_EQ(60u, before.size());
    EXPECT_TRUE(Backup(m_data + "\\deep"));
    EXPECT_TRUE(ReadTree(MinuteFolder() + "\\deep") == before);
    EXPECT_TRUE(ReadTree(m_data + "\\deep") == before);
}

TEST_F(FaultCaseTest, AwkwardNames) {
    const std::string names[] = {
        "\x83\x4a\x83\x5e\x83\x4a\x83\x69", // カタカナ, full width
        "\xb6\xc0\xb6\xc5",                 // ｶﾀｶﾅ, half width
        "\x83\x5c\x94\x5c\x95\x5c",         // ソ能表: every trail byte 0x5C
        "with space.txt",
        "many.dots.in.name",
        "..leading dots",
        "-dash",
        "--gtest_filter=x",
        "\xb1.txt",
    };
    // Folders made one by one: a byte-wise parent search would cut a name at its 0x5C trail byte.
    const std::string folder = m_data + "\\names";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    for (const auto& name : names) {
        ASSERT_TRUE(CreateDirectoryA((folder + "\\dir " + name).c_str(), nullptr)) << name;
        ASSERT_TRUE(WriteFileOnly(folder + "\\" + name, "file " + name));
        ASSERT_TRUE(WriteFileOnly(folder + "\\dir " + name + "\\" + name, "inner " + name));
    }
    const auto before = ReadTree(folder);
    ASSERT_EQ(3 * (sizeof names / sizeof names[0]), before.size());
    EXPECT_TRUE(Backup(folder));
    EXPECT_TRUE(ReadTree(MinuteFolder() + "\\names") == before);
    for (const auto& name : names) { // and each as an item of its own
        SCOPED_TRACE(name);
        EXPECT_TRUE(Backup(folder + "\\" + name));
        EXPECT_EQ("file " + name, ReadWhole(MinuteFolder() + "\\" + name));
        EXPECT_EQ(name, m_host.rows.back().name.str());
        EXPECT_TRUE(Backup(folder + "\\dir " + name));
        EXPECT_EQ("inner " + name, ReadWhole(MinuteFolder() + "\\dir " + name + "\\" + name));
    }
    EXPECT_TRUE(ReadTree(folder) == before);
}
