#include "engine/base/ByteCompare.h"

#include <algorithm>
#include <memory>

#include "engine/base/StopFlag.h"
#include "framework/FileHandle.h"

namespace {

constexpr DWORD kCompareChunk = 256 * 1024;

HANDLE OpenForComparing(const std::wstring& path) {
    return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

bool ReadOpenFacts(HANDLE file, FileFacts* facts) {
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file, &information))
        return false;
    facts->size = (static_cast<ULONGLONG>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    facts->modified = information.ftLastWriteTime;
    facts->attributes = information.dwFileAttributes;
    return true;
}

// Fills buffer up to size unless the file ends first (a read may return less than asked).
bool ReadFull(HANDLE file, char* buffer, DWORD size, DWORD* filled) {
    *filled = 0;
    while (*filled < size) {
        DWORD read = 0;
        if (!ReadFile(file, buffer + *filled, size - *filled, &read, nullptr))
            return false;
        if (read == 0)
            return true;
        *filled += read;
    }
    return true;
}

} // namespace

ByteComparison CompareFileBytes(const std::wstring& left, const std::wstring& right, const BOOL* stop) {
    ByteComparison result;
    CFileHandle a(OpenForComparing(left));
    if (!a.IsOpen() || !ReadOpenFacts(a.get(), &result.left)) {
        result.error = GetLastError();
        result.outcome = ByteCompareOutcome::LeftUnreadable;
        return result;
    }
    CFileHandle b(OpenForComparing(right));
    if (!b.IsOpen() || !ReadOpenFacts(b.get(), &result.right)) {
        result.error = GetLastError();
        result.outcome = ByteCompareOutcome::RightUnreadable;
        return result;
    }
    std::unique_ptr<char[]> bufferA(new char[kCompareChunk]), bufferB(new char[kCompareChunk]);
    for (ULONGLONG offset = 0;;) {
        if (IsStopRequested(stop)) {
            result.outcome = ByteCompareOutcome::Stopped;
            return result;
        }
        DWORD readA = 0, readB = 0;
        if (!ReadFull(a.get(), bufferA.get(), kCompareChunk, &readA)) {
            result.error = GetLastError();
            result.outcome = ByteCompareOutcome::LeftUnreadable;
            return result;
        }
        if (!ReadFull(b.get(), bufferB.get(), kCompareChunk, &readB)) {
            result.error = GetLastError();
            result.outcome = ByteCompareOutcome::RightUnreadable;
            return result;
        }
        const DWORD common = std::min(readA, readB);
        const char* differs = std::mismatch(bufferA.get(), bufferA.get() + common, bufferB.get()).first;
        if (differs != bufferA.get() + common || readA != readB) {
            result.outcome = ByteCompareOutcome::Different;
            result.firstDifference = offset + static_cast<ULONGLONG>(differs - bufferA.get()) + 1;
            return result;
        }
        if (readA == 0)
            return result; // both ended together
        offset += readA;
    }
}
