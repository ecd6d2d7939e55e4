// Folder-tree creation on the real disk.
#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "common/TempFolder.h"
#include "engine/base/FolderTree.h"

TEST(FolderTree, CreatesAMissingChainTopDown) {
    TempFolder temp;
    const std::string deepest = temp / "backups\\2004-0307\\1405";
    EXPECT_EQ(1, CreateFolderTree(W(deepest)));
    EXPECT_TRUE(FolderExists(temp / "backups"));
    EXPECT_TRUE(FolderExists(temp / "backups\\2004-0307"));
    EXPECT_TRUE(FolderExists(deepest));
    EXPECT_EQ(std::vector<std::string>{"backups"}, ListFolder(temp.path()));
    // The long-path form (a folder the user picked), and one on a drive that is not there: made,
    // or refused, and the walk ends either way.
    EXPECT_EQ(1, CreateFolderTree(L"\\\\?\\" + W(temp / "long\\a\\b")));
    EXPECT_TRUE(FolderExists(temp / "long\\a\\b"));
    EXPECT_EQ(0, CreateFolderTree(L"\\\\?\\Q:\\no drive\\x"));
    EXPECT_EQ(0, CreateFolderTree(L"\\\\?\\UNC\\nowhere\\share\\x"));
}

TEST(FolderTree, ExistingEmptyAndTrailingSeparator) {
    TempFolder temp;
    WriteFileText(temp / "there\\keep.txt", "kept");
    EXPECT_EQ(0, CreateFolderTree(W(temp / "there")));
    EXPECT_EQ("kept", ReadWhole(temp / "there\\keep.txt"));
    EXPECT_EQ(0, CreateFolderTree(W("")));
    EXPECT_EQ(1, CreateFolderTree(W(temp / "new\\")));
    EXPECT_TRUE(FolderExists(temp / "new"));
    EXPECT_EQ(0, CreateFolderTree(W(temp / "new\\")));
    EXPECT_EQ((std::vector<std::string>{"new", "there"}), ListFolder(temp.path()));
}

TEST(FolderTree, RelativePathWithMissingParentCreatesNothing) {
    TempFolder temp;
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(temp.path().c_str()));
    const int result = CreateFolderTree(L"a\\b");
    SetCurrentDirectoryA(previous);
    EXPECT_EQ(0, result);
    EXPECT_TRUE(ListFolder(temp.path()).empty());
}

TEST(FolderTree, FileInTheWayIsLeftAlone) {
    TempFolder temp;
    WriteFileText(temp / "2004-0307", "a file, not a folder");
    EXPECT_EQ(0, CreateFolderTree(W(temp / "2004-0307\\1405")));
    EXPECT_EQ("a file, not a folder", ReadWhole(temp / "2004-0307"));
    EXPECT_FALSE(FolderExists(temp / "2004-0307\\1405"));
}

TEST(FolderTree, NamesEndingInTrailByte5C) {
    TempFolder temp;
    const std::string hyou = kHyou;
    // The 0x5C closing 表 is not a trailing separator, nor a place to cut a parent at.
    EXPECT_EQ(1, CreateFolderTree(W(temp / ("x" + hyou))));
    EXPECT_TRUE(FolderExists(temp / ("x" + hyou)));
    EXPECT_EQ(1, CreateFolderTree(W(temp / (hyou + "\\sub" + hyou + "\\" + kHalfA))));
    EXPECT_TRUE(FolderExists(temp / (hyou + "\\sub" + hyou + "\\" + kHalfA)));
    EXPECT_EQ((std::vector<std::string>{"x" + hyou, hyou}), ListFolder(temp.path()));
}
