// The built program started with awkward command lines: many quoted pieces among unquoted
// text, empty and unmatched quotes, a command line near the platform's limit, quoted names
// that look like switches, over-long pieces, its own folder and that folder's parent as items,
// and a program folder whose name ends in a 0x5C trail byte. Each case checks that every piece is
// backed up whole or listed as failed, and that nothing outside the backup root changed.
#include "FaultSupport.h"

#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

class CommandLineFault : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(InstallProgram(program));
        ASSERT_TRUE(MakeFolders(data));
    }
    void TakeSnapshot() { before = ReadTree(area.path()); }
    std::string ChangedOutsideBackups() const {
        return ChangesOutside(before, ReadTree(area.path()), "prog\\backups");
    }
    // The time-stamped folder a batch started between started and now must have used.
    bool IsMinuteFolderSince(const std::string& folder, const SYSTEMTIME& started) const {
        for (int later = 0; later < 3; ++later)
            if (folder == program + "\\" + MinuteFolderText(started, later))
                return true;
        return false;
    }

    TempFolder area;
    const std::string program = area / "prog";
    const std::string data = area / "data";
    Tree before;
};

// One name from each kind the code page and the argument rules make awkward.
std::string AwkwardName(int index) {
    static const char* const kTemplates[] = {
        "#カタカナ.txt",    "ｶﾀｶﾅ#",      "ソ能表#", "#末尾表",  "#末尾ｱ", "with  spaces #.txt",
        "many.dots.#..txt", "..leading#", "-x#",     "--flag=#", "#あ",
    };
    std::string name = kTemplates[index % (sizeof kTemplates / sizeof kTemplates[0])];
    char number[8];
    std::snprintf(number, sizeof number, "%02d", index);
    name.replace(name.find('#'), 1, number);
    return name;
}

// Unquoted full paths among them are items too, in their place (the shell quotes only paths
// with a space); switches and other unquoted words are not.
TEST_F(CommandLineFault, FortyQuotedPiecesAmongUnquotedTextAndSwitchesAreBackedUpInOrder) {
    const int kFiles = 38;
    std::vector<std::string> items;
    std::map<std::string, std::string> contents; // of every file item
    for (int i = 0; i < kFiles; ++i) {
        items.push_back(data + "\\" + AwkwardName(i));
        contents[items.back()] = "piece " + std::to_string(i) + " " + AwkwardName(i);
        ASSERT_TRUE(WriteFileOnly(items.back(), contents[items.back()])) << items.back();
    }
    // Two folders whose names end in a 0x5C trail byte and in a half-width byte.
    const std::string hyouFolder = data + "\\dir ソ能表";
    const std::string kanaFolder = data + "\\-dir ｶﾅ";
    ASSERT_TRUE(::CreateDirectoryA(hyouFolder.c_str(), nullptr));
    ASSERT_TRUE(WriteFileOnly(hyouFolder + "\\中身表", "inside"));
    ASSERT_TRUE(WriteFileText(kanaFolder + "\\ｻﾌﾞ\\x.txt", "below"));
    ASSERT_TRUE(MakeFolders(kanaFolder + "\\空"));
    items.push_back(hyouFolder);
    items.push_back(kanaFolder);

    const char* const kNoise[] = {"", "/Embedding", "-Automation", "/x", "\"\"\"\"", "-unknown", "bare.txt"};
    std::string arguments;
    std::vector<std::string> listed; // every item in command-line order
    for (size_t i = 0; i < items.size(); ++i) {
        arguments += Quoted(items[i]) + " ";
        listed.push_back(items[i]);
        if (i % 5 != 4)
            continue;
        if (i % 10 == 4) {
            const std::string bare = data + "\\bare" + std::to_string(i) + ".表";
            contents[bare] = "never quoted " + std::to_string(i);
            ASSERT_TRUE(WriteFileOnly(bare, contents[bare]));
            arguments += bare + " \"\" ";
            listed.push_back(bare);
        } else {
            arguments += std::string(kNoise[i / 5 % 7]) + " \"\" ";
        }
    }
    TakeSnapshot();
    const SYSTEMTIME started = Now();
    StartedTallowbox tallowbox(program, arguments, data);
    ASSERT_TRUE(tallowbox.started());
    HWND frame = tallowbox.WaitForVisibleFrame();
    ASSERT_NE(frame, nullptr);

    const std::vector<ListedRow> rows = tallowbox.Rows(frame);
    ASSERT_EQ(listed.size(), rows.size()) << "one row per item, empty pieces skipped";
    const std::string minute = rows[0].destination;
    EXPECT_TRUE(IsMinuteFolderSince(minute, started)) << minute;
    for (size_t i = 0; i < listed.size(); ++i) {
        SCOPED_TRACE(listed[i]);
        const std::string name = listed[i].substr(data.size() + 1);
        if (contents.count(listed[i]) == 0) {
            EXPECT_EQ("(フォルダ)", rows[i].name);
            EXPECT_EQ(listed[i], rows[i].source);
            EXPECT_EQ(minute + "\\" + name, rows[i].destination);
            const Tree source = ReadTree(listed[i]), copy = ReadTree(minute + "\\" + name);
            EXPECT_EQ("", MissingFromCopy(source, copy));
            EXPECT_EQ("", ExtraInCopy(source, copy));
            continue;
        }
        EXPECT_EQ(name, rows[i].name);
        EXPECT_EQ(data, rows[i].source);
        EXPECT_EQ(minute, rows[i].destination) << "one time stamp for the batch";
        EXPECT_EQ(contents[listed[i]], ReadWhole(minute + "\\" + name));
        CountVerifiedBytes(contents[listed[i]].size());
    }
    EXPECT_FALSE(FileExists(minute + "\\bare.txt")) << "a relative word is no item";
    EXPECT_EQ(0u, tallowbox.Close(frame));
    EXPECT_EQ("", ChangedOutsideBackups());
}

// The runtime's argument rules read a backslash before a quote as an escaped quote; the
// pieces backed up are the plain quoted runs all the same.
TEST_F(CommandLineFault, EmptyUnmatchedAndBackslashEndedQuotesAreTakenAsTheyStand) {
    ASSERT_TRUE(WriteFileText(data + "\\a.txt", "a"));
    ASSERT_TRUE(WriteFileText(data + "\\b.txt", "b"));
    ASSERT_TRUE(WriteFileText(data + "\\c.txt", "c"));
    ASSERT_TRUE(WriteFileText(data + "\\d.txt", "d")); // backed up once: a file backed up again unchanged
    ASSERT_TRUE(WriteFileText(data + "\\tree\\t.txt", "t")); // would name its earlier copy
    TakeSnapshot();
    {
        SCOPED_TRACE("only empty pairs of quotes");
        StartedTallowbox tallowbox(program, "\"\" \"\"\"\" \"\"", data);
        HWND frame = tallowbox.WaitForVisibleFrame();
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(0u, tallowbox.Rows(frame).size());
        EXPECT_EQ(0u, tallowbox.Close(frame));
        EXPECT_FALSE(FolderExists(program + "\\backups")) << "an empty piece touches nothing";
    }
    {
        SCOPED_TRACE("adjacent pieces, then an unmatched quote");
        StartedTallowbox tallowbox(
            program, "\"\" " + Quoted(data + "\\a.txt") + Quoted(data + "\\c.txt") + " \"" + data + "\\b.txt",
            data);
        HWND frame = tallowbox.WaitForVisibleFrame();
        ASSERT_NE(frame, nullptr);
        const std::vector<ListedRow> rows = tallowbox.Rows(frame);
        ASSERT_EQ(2u, rows.size());
        EXPECT_EQ("a.txt", rows[0].name);
        EXPECT_EQ("c.txt", rows[1].name);
        EXPECT_EQ("a", ReadWhole(rows[0].destination + "\\a.txt"));
        EXPECT_EQ("c", ReadWhole(rows[1].destination + "\\c.txt"));
        CountVerifiedBytes(2);
        EXPECT_FALSE(FileExists(rows[0].destination + "\\b.txt")) << "the unmatched quote adds no piece";
        EXPECT_EQ(0u, tallowbox.Close(frame));
    }
    {
        SCOPED_TRACE("a folder ending in a backslash, then a file");
        StartedTallowbox tallowbox(program, Quoted(data + "\\tree\\") + " " + Quoted(data + "\\d.txt"), data);
        HWND frame = tallowbox.WaitForVisibleFrame();
        ASSERT_NE(frame, nullptr);
        const std::vector<ListedRow> rows = tallowbox.Rows(frame);
        ASSERT_EQ(2u, rows.size());
        EXPECT_EQ("(フォルダ)", rows[0].name);
        EXPECT_EQ(rows[1].destination + "\\tree", rows[0].destination) << "the folder keeps its own name";
        EXPECT_EQ("t", ReadWhole(rows[0].destination + "\\t.txt"));
        EXPECT_EQ("d.txt", rows[1].name);
        EXPECT_EQ("d", ReadWhole(rows[1].destination + "\\d.txt"));
        CountVerifiedBytes(2);
        EXPECT_EQ(0u, tallowbox.Close(frame));
    }
    EXPECT_EQ("", ChangedOutsideBackups());
}

// A command line near the platform's limit: 300 pieces, most naming nothing.
TEST_F(CommandLineFault, ThreeHundredPiecesNearTheCommandLineLimitAreEachListed) {
    const int kPieces = 300;
    // About 103 bytes a piece, quotes and space included.
    const size_t kFolderNameSize = 103 - (data.size() + 19);
    ASSERT_LT(kFolderNameSize, 100u);
    std::vector<std::string> pieces;
    std::string arguments;
    for (int i = 0; i < kPieces; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%s%03d.txt", i % 10 == 0 ? "real" : "missing", i);
        pieces.push_back(data + "\\" + std::string(kFolderNameSize, 'p') + "\\" + name);
        if (i % 10 == 0) {
            ASSERT_TRUE(WriteFileText(pieces.back(), name));
        }
        arguments += Quoted(pieces.back()) + " ";
    }
    ASSERT_GT(arguments.size(), 30000u);
    ASSERT_LT(arguments.size(), 32000u);
    TakeSnapshot();
    StartedTallowbox tallowbox(program, arguments, data);
    ASSERT_TRUE(tallowbox.started()) << "error " << ::GetLastError();
    HWND frame = tallowbox.WaitForVisibleFrame();
    ASSERT_NE(frame, nullptr);
    const std::vector<ListedRow> rows = tallowbox.Rows(frame);
    ASSERT_EQ(static_cast<size_t>(kPieces), rows.size());
    for (int i = 0; i < kPieces; ++i) {
        SCOPED_TRACE(pieces[i]);
        const std::string name = pieces[i].substr(pieces[i].rfind('\\') + 1);
        ASSERT_EQ(name, rows[i].name) << "in command-line order";
        if (i % 10 == 0) {
            EXPECT_FALSE(IsFailedDestination(rows[i].destination)) << rows[i].destination;
            EXPECT_EQ(name, ReadWhole(rows[i].destination + "\\" + name));
            CountVerifiedBytes(name.size());
        } else {
            EXPECT_TRUE(IsFailedDestination(rows[i].destination)) << rows[i].destination;
            if (IsFailedDestination(rows[i].destination)) {
                CountFailureShown();
            }
        }
    }
    EXPECT_EQ(0u, tallowbox.Close(frame));
    EXPECT_EQ("", ChangedOutsideBackups());
}

// Quoted pieces are paths, whatever the framework's own reading of the same command line.
TEST_F(CommandLineFault, QuotedNamesThatLookLikeSwitchesAreBackedUpAsPaths) {
    const char* const kNames[] = {"-x", "--help", "-p.txt"};
    for (const char* name : kNames)
        ASSERT_TRUE(WriteFileText(data + "\\" + name, std::string("switch-like ") + name));
    TakeSnapshot();
    // Relative pieces, found in the current folder; "/Embedding" names nothing there.
    StartedTallowbox tallowbox(program, "\"-x\" \"--help\" \"/Embedding\" \"-p.txt\"", data);
    HWND frame = tallowbox.WaitForVisibleFrame();
    ASSERT_NE(frame, nullptr);
    const std::vector<ListedRow> rows = tallowbox.Rows(frame);
    ASSERT_EQ(4u, rows.size());
    const int kCopied[] = {0, 1, 3};
    for (int row : kCopied) {
        const std::string name = kNames[row == 3 ? 2 : row];
        SCOPED_TRACE(name);
        EXPECT_EQ(name, rows[row].name);
        EXPECT_FALSE(IsFailedDestination(rows[row].destination)) << rows[row].destination;
        EXPECT_EQ("switch-like " + name, ReadWhole(rows[row].destination + "\\" + name));
        CountVerifiedBytes(name.size() + 12);
    }
    EXPECT_EQ("/Embedding", rows[2].name);
    EXPECT_TRUE(IsFailedDestination(rows[2].destination))
        << "a piece naming nothing is shown as failed, seen " << rows[2].destination;
    if (IsFailedDestination(rows[2].destination))
        CountFailureShown();
    EXPECT_EQ(0u, tallowbox.Close(frame));
    EXPECT_EQ("", ChangedOutsideBackups());
}

// The framework reads a quoted "-p" or "/p" as its print switch: the window never shows and the
// program ends, but the batch has run first: every quoted piece that names something is backed up.
TEST_F(CommandLineFault, AQuotedPrintSwitchStillBacksUpEveryPieceAndEnds) {
    ASSERT_TRUE(WriteFileText(data + "\\-p", "named like the switch"));
    ASSERT_TRUE(WriteFileText(data + "\\b.txt", "b"));
    // "/p" is the switch itself, and names nothing on the current drive.
    ASSERT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA("\\p"));
    TakeSnapshot();
    StartedTallowbox tallowbox(program, "\"-p\" \"/p\" " + Quoted(data + "\\b.txt"), data);
    ASSERT_TRUE(tallowbox.started());
    bool frameEverVisible = false;
    ASSERT_TRUE(tallowbox.WaitForEnd(30000, &frameEverVisible)) << "the program ends by itself";
    EXPECT_FALSE(frameEverVisible);
    const Tree backups = ReadTree(program + "\\backups");
    ASSERT_EQ(5u, backups.size()) << "a day folder with its journal, a minute folder and two files";
    const std::string minute =
        backups.begin()->first + "\\" + ListFolder(program + "\\backups\\" + backups.begin()->first)[0];
    EXPECT_EQ("named like the switch", ReadWhole(program + "\\backups\\" + minute + "\\-p"));
    EXPECT_EQ("b", ReadWhole(program + "\\backups\\" + minute + "\\b.txt"));
    CountVerifiedBytes(22);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA("\\p"))
        << "nothing is made for a piece naming nothing";
    EXPECT_EQ("", ChangedOutsideBackups());
}

TEST_F(CommandLineFault, PiecesOfAnyLengthAndAnyNameAreTakenWhole) {
    const std::string folder = data + "\\" + std::string(30, 'd');
    ASSERT_TRUE(MakeFolders(folder));
    const std::string path259 = folder + "\\" + std::string(259 - folder.size() - 1, 'n');
    ASSERT_TRUE(WriteFileOnly(path259, "two hundred fifty-nine"));
    // Cut to 259 characters, this missing one would name the file above.
    const std::string path260 = path259 + "x";
    const std::wstring path300 = W(folder + "\\" + std::string(300 - folder.size() - 1, 'o'));
    ASSERT_TRUE(WriteWideFile(path300, "three hundred"));
    // "café.txt" beside its look-alike "cafe.txt", and a character beyond the 16-bit range.
    const std::wstring cafe = W(data) + L"\\caf\u00E9.txt", kanji = W(data) + L"\\\U00020BB7.txt";
    ASSERT_TRUE(WriteWideFile(W(data) + L"\\cafe.txt", "the look-alike"));
    ASSERT_TRUE(WriteWideFile(cafe, "accented"));
    ASSERT_TRUE(WriteWideFile(kanji, "kanji"));
    TakeSnapshot();
    const auto quoted = [](const std::wstring& path) { return L"\"" + path + L"\""; };
    StartedTallowbox tallowbox(program,
                               quoted(W(path259)) + L" " + quoted(W(path260)) + L" " + quoted(path300) +
                                   L" " + quoted(cafe) + L" " + quoted(kanji),
                               data);
    HWND frame = tallowbox.WaitForVisibleFrame();
    ASSERT_NE(frame, nullptr);
    const std::vector<ListedRow> rows = tallowbox.Rows(frame);
    ASSERT_EQ(5u, rows.size());
    for (int row : {0, 2, 3, 4})
        EXPECT_FALSE(IsFailedDestination(rows[row].destination)) << row << ": " << rows[row].destination;
    EXPECT_EQ(path260.substr(folder.size() + 1), rows[1].name) << "the whole name, never a cut one";
    EXPECT_TRUE(IsFailedDestination(rows[1].destination)) << rows[1].destination;
    if (IsFailedDestination(rows[1].destination))
        CountFailureShown();
    EXPECT_EQ(0u, tallowbox.Close(frame));

    const std::string minute = rows[0].destination;
    std::string copied;
    EXPECT_EQ("two hundred fifty-nine", ReadWhole(minute + "\\" + rows[0].name));
    EXPECT_TRUE(ReadWideFile(W(minute) + L"\\" + LastComponent(path300), &copied) &&
                copied == "three hundred");
    EXPECT_TRUE(ReadWideFile(W(minute) + L"\\caf\u00E9.txt", &copied) && copied == "accented") << copied;
    EXPECT_TRUE(ReadWideFile(W(minute) + L"\\\U00020BB7.txt", &copied) && copied == "kanji");
    EXPECT_FALSE(FileExists(minute + "\\cafe.txt")) << "never the look-alike";
    CountVerifiedBytes(22 + 13 + 8 + 5);
    EXPECT_EQ("", ChangedOutsideBackups());
    EXPECT_EQ(4u, ListWideFolder(W(minute)).size());
}

// Backing up the folder that holds the program, or its parent, would copy the copies being
// made: the copy ends and holds everything except the backup root.
TEST_F(CommandLineFault, TheProgramFolderAndItsParentAreCopiedWithoutTheBackups) {
    ASSERT_TRUE(WriteFileText(program + "\\notes.txt", "notes"));
    ASSERT_TRUE(WriteFileText(program + "\\sub\\x.txt", "x"));
    ASSERT_TRUE(WriteFileText(program + "\\backups\\2000-0101\\0000\\old.txt", "an earlier backup"));
    ASSERT_TRUE(WriteFileText(data + "\\d.txt", "d"));
    TakeSnapshot();
    const Tree programBefore = ReadTree(program);
    const Tree olderBackup = ReadTree(program + "\\backups\\2000-0101");
    StartedTallowbox tallowbox(program, Quoted(program) + " " + Quoted(area.path()), area.path());
    HWND frame = tallowbox.WaitForVisibleFrame(60000);
    ASSERT_NE(frame, nullptr) << "the batch ends";
    const std::vector<ListedRow> rows = tallowbox.Rows(frame);
    ASSERT_EQ(2u, rows.size());
    for (const ListedRow& row : rows)
        EXPECT_FALSE(IsFailedDestination(row.destination)) << row.destination;
    const std::string areaName = area.path().substr(area.path().rfind('\\') + 1);
    EXPECT_EQ(rows[0].destination.substr(0, rows[0].destination.size() - 5) + "\\" + areaName,
              rows[1].destination);

    const Tree programCopy = ReadTree(rows[0].destination);
    EXPECT_EQ("", MissingFromCopy(programBefore, programCopy, {"backups"}));
    EXPECT_EQ("", ExtraInCopy(programBefore, programCopy));
    const Tree areaCopy = ReadTree(rows[1].destination);
    EXPECT_EQ("", MissingFromCopy(before, areaCopy, {"prog\\backups"}));
    EXPECT_EQ("", ExtraInCopy(before, areaCopy));
    EXPECT_EQ(0u, tallowbox.Close(frame));
    EXPECT_EQ("", ChangesOutside(olderBackup, ReadTree(program + "\\backups\\2000-0101"), ""))
        << "earlier backups are left as they were";
    EXPECT_EQ("", ChangedOutsideBackups());
}

// The program's own folder name ends in a double-byte character whose second byte is 0x5C:
// the backups still go beside the program, and its folder's copy still leaves them out.
TEST_F(CommandLineFault, AProgramFolderNameEndingInA5CTrailByteKeepsItsBackupsBesideIt) {
    const std::string tools = area / "ツール表";
    ASSERT_TRUE(InstallProgram(tools));
    ASSERT_TRUE(WriteFileText(data + "\\a.txt", "a"));
    ASSERT_TRUE(WriteFileText(data + "\\tree\\t.txt", "t"));
    ASSERT_TRUE(WriteFileText(tools + "\\backups\\2000-0101\\0000\\old.txt", "an earlier backup"));
    TakeSnapshot();
    const Tree toolsBefore = ReadTree(tools);
    StartedTallowbox tallowbox(
        tools, Quoted(data + "\\a.txt") + " " + Quoted(data + "\\tree") + " " + Quoted(tools), data);
    HWND frame = tallowbox.WaitForVisibleFrame();
    ASSERT_NE(frame, nullptr);
    const std::vector<ListedRow> rows = tallowbox.Rows(frame);
    ASSERT_EQ(3u, rows.size());
    for (const ListedRow& row : rows)
        EXPECT_FALSE(IsFailedDestination(row.destination)) << row.destination;
    EXPECT_EQ(0u, rows[0].destination.rfind(tools + "\\backups\\", 0)) << rows[0].destination;
    EXPECT_EQ("a", ReadWhole(rows[0].destination + "\\a.txt"));
    EXPECT_EQ("t", ReadWhole(rows[1].destination + "\\t.txt"));
    CountVerifiedBytes(2);
    EXPECT_EQ(rows[0].destination + "\\ツール表", rows[2].destination);
    const Tree toolsCopy = ReadTree(rows[2].destination);
    EXPECT_EQ("", MissingFromCopy(toolsBefore, toolsCopy, {"backups"}));
    EXPECT_EQ("", ExtraInCopy(toolsBefore, toolsCopy));
    EXPECT_EQ(0u, tallowbox.Close(frame));
    EXPECT_EQ("", ChangesOutside(before, ReadTree(area.path()), "ツール表\\backups"));
}

} // namespace
