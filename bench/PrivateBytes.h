// The private memory of the calling process, for the benchmarks that measure its growth.
#pragma once

#include <windows.h>
#include <psapi.h>

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
