// The file finder over a real folder: read-ahead semantics, dots, masks, and telling the end
// of a folder from a failure.
#include <gtest/gtest.h>

#include <algorithm>

#include "EngineTestSupport.h"
#include "common/TempFolder.h"
#include "framework/FileFind.h"

namespace {

struct Seen {
    std::vector<std::string> names;
    std::vector<std::string> dots;
    std::vector<std::string> folders;
    int falseReturns = 0;
};

// Walks the way the folder copy does: the entry loaded by the FALSE return is still used.
Seen Walk(CFileFind& finder) {
    Seen seen;
    bool more = true;
    while (more) {
        more = finder.FindNextFile() != FALSE;
        if (!more)
            ++seen.falseReturns;
        const std::string name = N(finder.GetFileName());
        if (finder.IsDots())
            seen.dots.push_back(name);
        else
            seen.names.push_back(name);
        if (finder.MatchesMask(FILE_ATTRIBUTE_DIRECTORY))
            seen.folders.push_back(name);
    }
    std::sort(seen.names.begin(), seen.names.end());
    std::sort(seen.dots.begin(), seen.dots.end());
    std::sort(seen.folders.begin(), seen.folders.end());
    return seen;
}

} // namespace

TEST(FileFind, EveryEntryOnceAndTheLastStillLoaded) {
    TempFolder temp;
    WriteFileText(temp / "a.txt", "a");
    WriteFileText(temp / "b.txt", "b");
    WriteFileWithAttributes(temp / "hidden.ini", "h", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    MakeFolders(temp / "sub");
    CFileFind finder;
    ASSERT_TRUE(finder.FindFile(W(temp.path() + "\\*.*").c_str()));
    const Seen seen = Walk(finder);
    EXPECT_EQ((std::vector<std::string>{"a.txt", "b.txt", "hidden.ini", "sub"}), seen.names);
    EXPECT_EQ((std::vector<std::string>{".", ".."}), seen.dots);
    EXPECT_EQ((std::vector<std::string>{".", "..", "sub"}), seen.folders);
    EXPECT_EQ(1, seen.falseReturns);
    EXPECT_FALSE(finder.FailedWithError());
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), finder.GetReadAheadError());
    EXPECT_FALSE(finder.FindNextFile()); // nothing after the end
}

TEST(FileFind, DotNamedFilesAreNotDots) {
    TempFolder temp;
    WriteFileText(temp / "..x", "x");
    WriteFileText(temp / ".profile", "p");
    CFileFind finder;
    ASSERT_TRUE(finder.FindFile(W(temp.path() + "\\*").c_str()));
    EXPECT_EQ((std::vector<std::string>{"..x", ".profile"}), Walk(finder).names);
}

TEST(FileFind, NoMatchAndMissingFolderAreTold) {
    TempFolder temp;
    CFileFind finder;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(finder.FindFile(W(temp.path() + "\\*.none").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_FALSE(finder.FindNextFile());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(finder.FindFile(W(temp.path() + "\\missing\\*.*").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
    EXPECT_TRUE(finder.FailedWithError());
}

TEST(FileFind, CloseEndsTheWalkAndASecondFindStartsOver) {
    TempFolder temp;
    WriteFileText(temp / "one.txt", "1");
    CFileFind finder;
    ASSERT_TRUE(finder.FindFile(W(temp.path() + "\\*.txt").c_str()));
    finder.Close();
    EXPECT_FALSE(finder.FindNextFile());
    ASSERT_TRUE(finder.FindFile(W(temp.path() + "\\*.txt").c_str()));
    EXPECT_FALSE(finder.FindNextFile()); // the only entry is also the last
    EXPECT_EQ("one.txt", N(finder.GetFileName()));
    EXPECT_FALSE(finder.IsDots());
}
