// Entry point of every test program. Double-byte cases only mean something in code page 932;
// a run a parent started at another display scale must really be at that scale.
#include "common/ScaledRun.h"
#include "framework/Dpi.h"

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
    const UINT askedDpi = ChildRunDpi();
    if (askedDpi != 0 && DpiOfWindow(nullptr) != askedDpi) {
        std::fprintf(stderr, "FATAL: this run was to be at %u DPI and is at %u\n", askedDpi,
                     DpiOfWindow(nullptr));
        return 100;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
