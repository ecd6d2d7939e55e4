// What every benchmark program needs: the performance counter in milliseconds, and its own
// command line split into wide arguments (freed with the block the system gave).
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <memory>

inline double NowMs() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct LocalFreer {
    void operator()(LPWSTR* block) const { ::LocalFree(block); }
};
using UniqueArgv = std::unique_ptr<LPWSTR, LocalFreer>;
