// The component operations, the program folder, the folder-item name and the date, time and
// time-stamp texts.
#include <gtest/gtest.h>

#include <cstring>

#include "EngineTestSupport.h"
#include "common/TempFolder.h"
#include "engine/base/BackupPaths.h"
#include "engine/copy/BackupItem.h"
#include "framework/Language.h"
#include "res/resource.h"

namespace {

struct ComponentCase {
    std::string path, last, rest;
};

std::string Kept(const std::string& path) {
    wchar_t buffer[MAX_PATH];
    std::wcscpy(buffer, W(path).c_str());
    KeepLastComponent(buffer);
    return N(buffer);
}

std::string Stripped(const std::string& path) {
    wchar_t buffer[MAX_PATH];
    std::wcscpy(buffer, W(path).c_str());
    StripLastComponent(buffer);
    return N(buffer);
}

std::string Hex(const std::string& text) {
    std::string hex;
    char byte[4];
    for (unsigned char c : text) {
        wsprintfA(byte, "%02X ", c);
        hex += byte;
    }
    return hex;
}

} // namespace

TEST(ComponentOperations, SingleByteAndDoubleBytePaths) {
    const std::string hyou = kHyou, halfA = kHalfA, hiraA = kHiraA;
    const ComponentCase cases[] = {
        {"C:\\data\\report.txt", "report.txt", "C:\\data"},
        {"C:\\data\\", "", "C:\\data"},
        {"report.txt", "report.txt", "report.txt"},
        {"\\abc", "abc", ""},
        {"", "", ""},
        {"C:\\", "", "C:"},
        // a trail byte 0x5C is part of its character, never a separator
        {"C:\\" + hyou + "\\a.txt", "a.txt", "C:\\" + hyou},
        {"C:\\" + hyou, hyou, "C:"},
        {"C:\\dir\\" + hyou + hyou, hyou + hyou, "C:\\dir"},
        // a half-width katakana byte is a character of its own: the backslash after it separates
        {"C:\\" + halfA + "\\a.txt", "a.txt", "C:\\" + halfA},
        {"C:\\" + halfA + "\\", "", "C:\\" + halfA},
        // a double-byte character with a high trail byte does not hide the next backslash
        {"C:\\" + hiraA + "\\a.txt", "a.txt", "C:\\" + hiraA},
        {"C:\\" + halfA + hyou + "\\x", "x", "C:\\" + halfA + hyou},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("path bytes: " + Hex(c.path));
        EXPECT_EQ(Hex(c.last), Hex(Kept(c.path)));
        EXPECT_EQ(Hex(c.rest), Hex(Stripped(c.path)));
        EXPECT_EQ(Hex(c.last), Hex(N(LastComponent(W(c.path)))));
        EXPECT_EQ(Hex(c.rest), Hex(N(WithoutLastComponent(W(c.path)))));
    }
}

TEST(ComponentOperations, SeparatorTests) {
    const std::string hyou = kHyou, halfA = kHalfA;
    EXPECT_TRUE(EndsWithSeparator(W("C:\\data\\")));
    EXPECT_TRUE(EndsWithSeparator(W("C:\\" + halfA + "\\")));
    EXPECT_TRUE(EndsWithSeparator(W("C:\\" + hyou + "\\")));
    EXPECT_FALSE(EndsWithSeparator(W("C:\\" + hyou)));
    EXPECT_FALSE(EndsWithSeparator(L""));
    EXPECT_EQ("C:\\data", N(WithoutTrailingSeparators(W("C:\\data\\\\"))));
    EXPECT_EQ("C:\\" + hyou, N(WithoutTrailingSeparators(W("C:\\" + hyou + "\\"))));
}

TEST(ComponentOperations, TextsLongerThanABufferAreHandledWhole) {
    const std::wstring folder = L"C:\\" + std::wstring(300, L'f');
    const std::wstring path = folder + L"\\" + std::wstring(280, L'n');
    EXPECT_EQ(std::wstring(280, L'n'), LastComponent(path));
    EXPECT_EQ(folder, WithoutLastComponent(path));
    // Outside the code page and beyond the 16-bit range: surrogate pairs are never split.
    EXPECT_EQ(L"\U00020BB7\u91CE\u5BB6.txt", LastComponent(L"C:\\caf\u00E9\\\U00020BB7\u91CE\u5BB6.txt"));
    EXPECT_EQ(L"C:\\caf\u00E9", WithoutLastComponent(L"C:\\caf\u00E9\\\U00020BB7\u91CE\u5BB6.txt"));
}

TEST(ProgramFolder, IsTheFolderOfTheRunningExecutable) {
    const std::string text = N(GetModuleFolder());
    ASSERT_GE(text.size(), 2u);
    EXPECT_NE('\\', text.back());
    EXPECT_TRUE(FolderExists(text)) << text;
    EXPECT_TRUE(FileExists(text + "\\engine_tests.exe")) << text;
}

TEST(FolderItemNames, LastComponentOrDriveLetter) {
    EXPECT_EQ("data", N(FolderItemName(W("C:\\data"))));
    EXPECT_EQ("data", N(FolderItemName(W("C:\\data\\"))));
    EXPECT_EQ("data", N(FolderItemName(W("C:\\data\\."))));
    EXPECT_EQ("a", N(FolderItemName(W("C:\\a\\b\\.."))));
    EXPECT_EQ("C", N(FolderItemName(W("C:\\"))));
    EXPECT_EQ("D", N(FolderItemName(W("D:\\\\"))));
    EXPECT_EQ(std::string("x") + kHyou, N(FolderItemName(W(std::string("C:\\x") + kHyou + "\\"))));
}

TEST(BatchTexts, DateTimeAndTimeStamp) {
    struct Case {
        SYSTEMTIME time;
        const char *date, *timeText, *stamp;
    };
    const Case cases[] = {
        {At(2004, 3, 7, 14, 5), "3月7日", "14時5分", "\\2004-0307\\1405"},
        {At(2004, 1, 1, 9, 5), "1月1日", "9時5分", "\\2004-0101\\0905"},
        {At(2005, 1, 1, 0, 0), "1月1日", "0時0分", "\\2005-0101\\0000"},
        {At(1999, 12, 31, 23, 59), "12月31日", "23時59分", "\\1999-1231\\2359"},
        {At(10000, 10, 10, 10, 10), "10月10日", "10時10分", "\\10000-1010\\1010"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.date, N(RowDateText(c.time)));
        EXPECT_EQ(c.timeText, N(RowTimeText(c.time)));
        EXPECT_EQ(c.stamp, N(FormatTimeStampText(c.time)));
    }
}

TEST(BatchTexts, AreShiftJisBytes) {
    // Spelled out, so a wrong execution character set cannot pass unnoticed.
    EXPECT_EQ("33 8C 8E 37 93 FA ", Hex(N(RowDateText(At(2004, 3, 7, 14, 5)))));
    EXPECT_EQ("31 34 8E 9E 35 95 AA ", Hex(N(RowTimeText(At(2004, 3, 7, 14, 5)))));
}

TEST(BatchTexts, FailureMarkIsShiftJis) {
    EXPECT_EQ("28 8E B8 94 73 29 ", Hex(N(LoadResourceText(IDS_MARK_FAILED))));
}
