// CString formatting with Shift_JIS literals and arguments.
#include "framework/String.h"

#include <gtest/gtest.h>

TEST(CStringFormat, FillsPrintfFieldsInShiftJis) {
    CString text;
    text.Format("%d月%d日", 3, 7);
    // 月 is 0x8C 0x8E and 日 is 0x93 0xFA in code page 932.
    EXPECT_EQ(std::string("3\x8C\x8E" "7\x93\xFA"), text.str());
}

TEST(CStringFormat, LongTextIsNotCut) {
    const std::string longPart(5000, 'x');
    CString text;
    text.Format("[%s]", longPart.c_str());
    EXPECT_EQ(5002, text.GetLength());
}
