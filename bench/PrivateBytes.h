// The private memory of the calling process, for the benchmarks that measure its growth.
#pragma once

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <thread>

struct PrivateMemory {
    unsigned long long bytes = 0;
    const char* source = ""; // where the figure comes from
};

// The platform's private usage where it reports one. Wine reports none, so there the committed
// private regions of the address space are added up, which is what that figure counts. (The
// host's /proc/self seen through drive Z: is the Wine server's, not this process's: the server
// opens the files.)
inline PrivateMemory PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof counters);
    if (counters.PrivateUsage != 0)
        return {counters.PrivateUsage, "PrivateUsage"};
    PrivateMemory committed{0, "committed private regions"};
    MEMORY_BASIC_INFORMATION region;
    const char* address = nullptr;
    while (::VirtualQuery(address, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            committed.bytes += region.RegionSize;
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= address)
            break;
        address = next;
    }
    return committed;
}

// The highest private memory seen while work runs, sampled from a thread of its own every millisecond.
template <typename Work> unsigned long long PeakPrivateBytes(Work work) {
    std::atomic<bool> done{false};
    std::atomic<unsigned long long> peak{PrivateBytes().bytes};
    std::thread sampler([&] {
        while (!done.load()) {
            peak = std::max(peak.load(), PrivateBytes().bytes);
            ::Sleep(1);
        }
    });
    work();
    peak = std::max(peak.load(), PrivateBytes().bytes);
    done = true;
    sampler.join();
    return peak.load();
}
