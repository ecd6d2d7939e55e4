#include "engine/office/ZipArchive.h"

#include <algorithm>

#include "engine/office/ByteSource.h"

namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kEnd64LocatorSignature = 0x07064b50;
constexpr uint32_t kDirectorySignature = 0x02014b50;
constexpr size_t kEndSize = 22;
constexpr size_t kDirectoryRecordSize = 46;
constexpr size_t kLongestComment = 0xFFFF;

} // namespace

OfficeOutcome SourceOutcome(SourceRead read) {
    switch (read) {
    case SourceRead::Ok:
        return OfficeOutcome::Ok;
    case SourceRead::PastEnd:
        return OfficeOutcome::Truncated;
    case SourceRead::Failed:
        return OfficeOutcome::Unreadable;
    case SourceRead::Stopped:
        return OfficeOutcome::Stopped;
    }
    return OfficeOutcome::Unreadable;
}

std::string LowerAscii(std::string name) {
    for (char& c : name)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return name;
}

OfficeOutcome CZipArchive::Open() {
    uint64_t endAt = 0;
    uint32_t count = 0, directorySize = 0, directoryAt = 0;
    OfficeOutcome outcome = FindEnd(&endAt, &count, &directorySize, &directoryAt);
    if (outcome != OfficeOutcome::Ok)
        return outcome;
    return ReadDirectory(endAt, count, directorySize, directoryAt);
}

// The end record is searched for backwards over the longest comment it may carry; the first whose
// comment ends within the file is taken. A file with none that starts as a zip entry was cut off.
OfficeOutcome CZipArchive::FindEnd(uint64_t* endAt, uint32_t* count, uint32_t* directorySize,
                                   uint32_t* directoryAt) {
    const uint64_t size = m_source.Size();
    const size_t tailSize = static_cast<size_t>(std::min<uint64_t>(size, kEndSize + kLongestComment));
    std::vector<unsigned char> tail(tailSize);
    const OfficeOutcome read = SourceOutcome(m_source.ReadAt(size - tailSize, tail.data(), tailSize));
    if (read != OfficeOutcome::Ok)
        return read;
    for (size_t at = tailSize >= kEndSize ? tailSize - kEndSize + 1 : 0; at-- > 0;) {
        const unsigned char* record = tail.data() + at;
        if (Le32(record) != kEndSignature || at + kEndSize + Le16(record + 20) > tailSize)
            continue;
        *endAt = size - tailSize + at;
        if (Le16(record + 4) != 0 || Le16(record + 6) != 0 || Le16(record + 8) != Le16(record + 10))
            return OfficeOutcome::Unsupported; // spanned over several disks
        *count = Le16(record + 10);
        *directorySize = Le32(record + 12);
        *directoryAt = Le32(record + 16);
        const bool zip64 = *count == 0xFFFF || *directorySize == 0xFFFFFFFF || *directoryAt == 0xFFFFFFFF ||
                           (at >= 20 && Le32(record - 20) == kEnd64LocatorSignature);
        return zip64 ? OfficeOutcome::Unsupported : OfficeOutcome::Ok;
    }
    unsigned char head[4] = {};
    const bool startsAsZip = m_source.ReadAt(0, head, sizeof head) == SourceRead::Ok && Le32(head) == kLocalSignature;
    return startsAsZip ? OfficeOutcome::Truncated : OfficeOutcome::NotZip;
}

OfficeOutcome CZipArchive::ReadDirectory(uint64_t endAt, uint32_t count, uint32_t directorySize,
                                         uint32_t directoryAt) {
    if (count > kMaxZipEntries || directorySize > kMaxZipDirectoryBytes)
        return OfficeOutcome::TooLarge;
    if (directorySize < uint64_t{count} * kDirectoryRecordSize)
        return OfficeOutcome::Damaged;
    if (uint64_t{directoryAt} + directorySize > endAt)
        return OfficeOutcome::Truncated; // the directory runs into the end record: the file lost bytes
    std::vector<unsigned char> directory(directorySize);
    const OfficeOutcome read =
        SourceOutcome(m_source.ReadAt(directoryAt, directory.data(), directory.size()));
    if (read != OfficeOutcome::Ok)
        return read;
    return ParseDirectory(directory, count);
}

OfficeOutcome CZipArchive::ParseDirectory(const std::vector<unsigned char>& directory, uint32_t count) {
    m_entries.reserve(count);
    size_t at = 0;
    for (uint32_t index = 0; index < count; ++index) {
        if (directory.size() - at < kDirectoryRecordSize || Le32(&directory[at]) != kDirectorySignature)
            return OfficeOutcome::Damaged;
        const unsigned char* record = &directory[at];
        const size_t nameSize = Le16(record + 28), extraSize = Le16(record + 30), commentSize = Le16(record + 32);
        if (nameSize > kMaxZipNameBytes)
            return OfficeOutcome::TooLarge;
        if (directory.size() - at - kDirectoryRecordSize < nameSize + extraSize + commentSize)
            return OfficeOutcome::Damaged;
        ZipEntry entry;
        entry.flags = Le16(record + 8);
        entry.method = Le16(record + 10);
        entry.crc = Le32(record + 16);
        entry.packedSize = Le32(record + 20);
        entry.unpackedSize = Le32(record + 24);
        entry.localHeader = Le32(record + 42);
        if (entry.packedSize == 0xFFFFFFFF || entry.unpackedSize == 0xFFFFFFFF || entry.localHeader == 0xFFFFFFFF)
            return OfficeOutcome::Unsupported; // zip64 sizes in the extra field
        entry.name.assign(reinterpret_cast<const char*>(record + kDirectoryRecordSize), nameSize);
        // Two entries of one name would let two readers see two documents: refused.
        if (!m_byName.emplace(LowerAscii(entry.name), m_entries.size()).second)
            return OfficeOutcome::Damaged;
        m_entries.push_back(std::move(entry));
        at += kDirectoryRecordSize + nameSize + extraSize + commentSize;
    }
    return OfficeOutcome::Ok;
}

const ZipEntry* CZipArchive::Find(const std::string& name) const {
    const auto found = m_byName.find(LowerAscii(name));
    return found == m_byName.end() ? nullptr : &m_entries[found->second];
}
