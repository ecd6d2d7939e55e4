#include "engine/hash/ProvenCopy.h"

#include "engine/base/FileFacts.h"

namespace {

// A disk that finds a sector unreadable says so with one of these: the copy is damaged there too.
bool IsDamage(DWORD error) {
    return error == kDamagedCopy || error == ERROR_CRC;
}

// The original as the proof saw it, by its facts alone: its bytes are read only by the copy.
bool StillAsRecorded(const std::wstring& original, const ExpectedContent& expected) {
    FileFacts facts;
    if (original.empty() || !ReadFileFacts(original, &facts) || facts.size != expected.size)
        return false;
    const auto ticks = [&expected](const FILETIME& time) {
        const ULONGLONG value = (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
        return expected.toTheSecond ? value / 10000000 : value;
    };
    return ticks(facts.modified) == ticks(expected.modified);
}

} // namespace

DWORD CheckContent(const CopiedContent& written, const ExpectedContent& expected) {
    return written.size == expected.size && written.hash == expected.hash ? ERROR_SUCCESS : kDamagedCopy;
}

DWORD CopyProvenContent(const std::wstring& copy, const std::wstring& original,
                        const ExpectedContent& expected, const CheckedCopy& copyFrom) {
    const ContentCheck check = [&expected](const CopiedContent& written) {
        return CheckContent(written, expected);
    };
    const DWORD error = copyFrom(copy, check);
    if (!IsDamage(error))
        return error;
    if (!StillAsRecorded(original, expected))
        return kDamagedCopy;
    const DWORD fromOriginal = copyFrom(original, check);
    // The original could not be read or has changed since: there is no good copy at hand.
    const bool full = fromOriginal == ERROR_DISK_FULL || fromOriginal == ERROR_HANDLE_DISK_FULL;
    return fromOriginal == ERROR_SUCCESS || full || fromOriginal == ERROR_REQUEST_ABORTED ? fromOriginal
                                                                                          : kDamagedCopy;
}
