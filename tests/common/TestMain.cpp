// Entry point of every test program. Double-byte cases only mean something in code page 932.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
    const UINT codePage = GetACP();
    if (codePage != 932) {
        std::fprintf(stderr, "FATAL: the ANSI code page is %u, not 932; run with LC_ALL=ja_JP.UTF-8 and the locale generated\n",
                     codePage);
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
