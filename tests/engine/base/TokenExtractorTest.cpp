// The quoted-piece extractor: the pieces found, and the caller's buffer never overrun.
#include <gtest/gtest.h>

#include <cstring>

#include "common/TempFolder.h"
#include "engine/base/BackupPaths.h"
#include "engine/base/CommandLineItems.h"
#include "engine/base/TokenExtractor.h"

namespace {

std::vector<std::string> Pieces(const char* text, const char* open = "\"", const char* close = "\"") {
    CTokenExtractor extractor;
    extractor.Parse(text, open, close);
    std::vector<std::string> pieces;
    for (int i = 1; i <= extractor.GetCount(); ++i) {
        char buffer[260]; // what the program passes
        extractor.GetToken(i, buffer, sizeof buffer);
        pieces.push_back(buffer);
    }
    return pieces;
}

using List = std::vector<std::string>;
using Wide = std::vector<std::wstring>;

} // namespace

TEST(TokenExtractor, PiecesBetweenQuotes) {
    EXPECT_EQ((List{"C:\\a b\\x.txt", "D:\\y"}), Pieces("\"C:\\a b\\x.txt\" \"D:\\y\""));
    EXPECT_EQ(List{}, Pieces("C:\\x.txt"));
    EXPECT_EQ(List{"C:\\x.txt"}, Pieces("\"C:\\x.txt\" D:\\y \"E:\\z"));
    EXPECT_EQ(List{""}, Pieces("\"\""));
    EXPECT_EQ((List{"a", "b"}), Pieces("\"a\"\"b\""));
    EXPECT_EQ(List{}, Pieces(""));
    EXPECT_EQ(List{}, Pieces("\"a\"", "", "\""));
    EXPECT_EQ(List{}, Pieces("\"a\"", "\"", ""));
    EXPECT_EQ(List{}, Pieces(nullptr));
    EXPECT_EQ((List{"/p", "x"}), Pieces("prog.exe \"/p\" skipped \"x\""));
}

TEST(TokenExtractor, OtherDelimiters) {
    EXPECT_EQ((List{"a", "b"}), Pieces("x{{a}}y{{b}}", "{{", "}}"));
    EXPECT_EQ(List{"a[b"}, Pieces("[a[b]", "[", "]"));
    EXPECT_EQ(List{"x"}, Pieces("]x]", "]", "]"));
}

TEST(TokenExtractor, DoubleByteTextIsCopiedAsBytes) {
    const std::string path = std::string("C:\\\x95\x5c\\\xb1\\\x82\xa0.txt");
    EXPECT_EQ(List{path}, Pieces(("\"" + path + "\"").c_str()));
}

TEST(TokenExtractor, IndexOutOfRangeWritesEmptyText) {
    CTokenExtractor extractor;
    char buffer[8] = "xxxxxxx";
    extractor.GetToken(1, buffer, sizeof buffer);
    EXPECT_STREQ("", buffer);
    EXPECT_EQ(0, extractor.GetCount());
    extractor.Parse("\"a\" \"b\"", "\"", "\"");
    ASSERT_EQ(2, extractor.GetCount());
    for (int index : {0, 3, -1}) {
        std::strcpy(buffer, "xxxxxxx");
        extractor.GetToken(index, buffer, sizeof buffer);
        EXPECT_STREQ("", buffer) << "index " << index;
        EXPECT_EQ(-1, extractor.GetTokenLength(index));
        EXPECT_EQ("", extractor.GetTokenText(index));
    }
}

TEST(TokenExtractor, PieceLongerThanTheBufferIsRefusedWhole) {
    const std::string longPiece(300, 'p');
    CTokenExtractor extractor;
    extractor.Parse(("\"" + longPiece + "\" \"1234567\" \"12345678\"").c_str(), "\"", "\"");
    ASSERT_EQ(3, extractor.GetCount());
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    extractor.GetToken(1, buffer, 8); // only 8 of the 16 bytes are the caller's
    EXPECT_STREQ("", buffer);
    EXPECT_EQ(std::string(8, '#'), std::string(buffer + 8, 8));
    EXPECT_EQ(300, extractor.GetTokenLength(1));
    EXPECT_EQ(longPiece, extractor.GetTokenText(1));

    std::memset(buffer, '#', sizeof buffer);
    extractor.GetToken(2, buffer, 8); // 7 bytes and the zero fit exactly
    EXPECT_STREQ("1234567", buffer);
    EXPECT_EQ(std::string(8, '#'), std::string(buffer + 8, 8));
    extractor.GetToken(3, buffer, 8); // one byte too many
    EXPECT_STREQ("", buffer);

    std::memset(buffer, '#', sizeof buffer);
    extractor.GetToken(2, buffer, 0);
    EXPECT_EQ(std::string(16, '#'), std::string(buffer, 16));
}

TEST(TokenExtractor, TheCallersTextMayGoAndASecondScanReplaces) {
    CTokenExtractor extractor;
    {
        std::string text = "\"first\"";
        extractor.Parse(text.c_str(), "\"", "\"");
        text.assign(text.size(), 'z');
    }
    EXPECT_EQ("first", extractor.GetTokenText(1));
    extractor.Parse("\"x\" \"y\"", "\"", "\"");
    ASSERT_EQ(2, extractor.GetCount());
    EXPECT_EQ("x", extractor.GetTokenText(1));
    EXPECT_EQ("y", extractor.GetTokenText(2));
    extractor.Parse("", "\"", "\""); // nothing to scan: the pieces stay
    EXPECT_EQ(2, extractor.GetCount());
}

// The items of a command line as the shell builds it: quoted pieces and unquoted full paths in
// order; switches, relative names, device paths and text after an unmatched quote are no items.
TEST(CommandLineItems, QuotedPiecesAndUnquotedFullPathsInOrder) {
    const struct {
        const wchar_t* line;
        Wide items;
    } cases[] = {
        {L"C:\\data\\a.txt \"C:\\My Data\\b.txt\" d:\\c",
         {L"C:\\data\\a.txt", L"C:\\My Data\\b.txt", L"d:\\c"}},
        {L"/p -x relative.txt word C: C:rel.txt \\\\server \\\\server\\ \\\\\\share", {}},
        {L"\\\\server\\share\\f.txt\t\\\\host\\docs", {L"\\\\server\\share\\f.txt", L"\\\\host\\docs"}},
        {L"\\\\?\\C:\\x.txt \\\\.\\PhysicalDrive0 \\\\.\\C:\\x", {}},
        {L"\"\" C:\\a\"C:\\q d\"C:\\b \"C:\\unmatched C:\\after", {L"C:\\a", L"C:\\q d", L"C:\\b"}},
        {L"\"relative words\" \"/p\"", {L"relative words", L"/p"}}, // a quoted piece stands as it is
        {L"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.items, CommandLineItems(c.line)) << ToAnsiText(c.line);
}

// A short (8.3) name on the command line is listed under its long names.
TEST(CommandLineItems, ShortNamesComeBackLong) {
    TempFolder folder;
    const std::string longFile = folder / "Long Folder Name\\report for march.txt";
    ASSERT_TRUE(WriteFileText(longFile, "x"));
    char shortPath[MAX_PATH] = "";
    const DWORD length = ::GetShortPathNameA(longFile.c_str(), shortPath, MAX_PATH);
    ASSERT_TRUE(length > 0 && length < MAX_PATH) << "GetShortPathNameA returned " << length;
    ASSERT_NE(std::string(shortPath), longFile) << "the volume keeps short names";
    const std::wstring shortWide = FromAnsiText(shortPath);
    EXPECT_EQ(Wide{FromAnsiText(longFile)}, CommandLineItems(shortWide)) << shortPath;
    EXPECT_EQ(Wide{FromAnsiText(longFile)}, CommandLineItems(L"\"" + shortWide + L"\""));
    EXPECT_EQ(Wide{L"C:\\NOSUCH~1\\GONE~2.TXT"}, CommandLineItems(L"C:\\NOSUCH~1\\GONE~2.TXT"))
        << "a short name that names nothing stays as given";
}
